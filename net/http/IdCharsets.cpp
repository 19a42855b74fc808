#include "IdCharsets.h"

#include "IdHTTPText.h"
#include "IdTextDecoder.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <unicode/ucnv.h>

using IdHTTPText::EndsWithNoCase;
using IdHTTPText::StartsWithNoCase;
using IdHTTPText::Trim;
using IdText::EqualsNoCase;

namespace IdCharsets {

namespace {

// Media type without parameters, trimmed.
std::string_view BareType(std::string_view AMediaType) {
    return Trim(AMediaType.substr(0, AMediaType.find(';')));
}

std::string_view Subtype(std::string_view ABareType) {
    const std::size_t Slash = ABareType.find('/');
    return Slash == std::string_view::npos ? std::string_view() : ABareType.substr(Slash + 1);
}

std::string Unquote(std::string_view AText) {
    AText = Trim(AText);
    if (AText.size() >= 2 && (AText.front() == '"' || AText.front() == '\'') &&
        AText.back() == AText.front())
        AText = AText.substr(1, AText.size() - 2);
    return std::string(AText);
}

// Parameters of a media type as (name, raw value) pieces; quoted ";" is respected.
std::vector<std::string_view> SplitParams(std::string_view AValue) {
    std::vector<std::string_view> Pieces;
    std::size_t Start = 0;
    bool Quoted = false;
    for (std::size_t I = 0; I <= AValue.size(); ++I) {
        if (I < AValue.size() && AValue[I] == '"')
            Quoted = !Quoted;
        if (I == AValue.size() || (AValue[I] == ';' && !Quoted)) {
            Pieces.push_back(AValue.substr(Start, I - Start));
            Start = I + 1;
        }
    }
    return Pieces;
}

bool IsCharsetParam(std::string_view APiece) {
    const std::size_t Equals = APiece.find('=');
    return Equals != std::string_view::npos &&
           EqualsNoCase(Trim(APiece.substr(0, Equals)), "charset");
}

// ICU name for an IANA name or alias, or for one of the short forms; nullptr when unknown.
const char* LookupConverterName(const std::string& AName) {
    static constexpr std::pair<std::string_view, const char*> ShortForms[] = {
        {"UTF7", "UTF-7"},       {"UTF8", "UTF-8"},       {"UTF16", "UTF-16"},
        {"UTF16LE", "UTF-16LE"}, {"UTF16BE", "UTF-16BE"}, {"UTF32", "UTF-32"},
        {"UTF32LE", "UTF-32LE"}, {"UTF32BE", "UTF-32BE"}};
    for (const auto& [Short, Name] : ShortForms)
        if (EqualsNoCase(AName, Short))
            return Name;
    for (const char* Standard : {"IANA", "MIME"}) {
        UErrorCode Status = U_ZERO_ERROR;
        const char* Name = ucnv_getCanonicalName(AName.c_str(), Standard, &Status);
        if (U_SUCCESS(Status) && Name != nullptr)
            return Name;
    }
    return nullptr;
}

// The converter for a character set as the client names it; nullptr for byte by byte.
const char* ConverterNameOf(std::string_view ACharSet) {
    const std::string Name(Trim(ACharSet));
    return Name.empty() ? nullptr : LookupConverterName(Name);
}

TDecoding DecodingOfConverter(const char* AConverterName) {
    if (AConverterName == nullptr)
        return TDecoding::Bytes;
    const std::string_view Converter(AConverterName);
    if (Converter == "UTF-8")
        return TDecoding::UTF8;
    // ISO-8859-1 maps every byte to the character with its code, which is what byte-by-byte
    // decoding does; it is what every text type without a charset gets, so such answers are
    // decoded as they arrive rather than held whole for a converter.
    return Converter == "ISO-8859-1" ? TDecoding::Bytes : TDecoding::Converter;
}

std::size_t FindNoCase(std::string_view AText, std::string_view ANeedle, std::size_t AFrom) {
    const char Front = ANeedle.front();
    const char Firsts[2] = {static_cast<char>(std::tolower(static_cast<unsigned char>(Front))),
                            static_cast<char>(std::toupper(static_cast<unsigned char>(Front)))};
    for (std::size_t I = AFrom; I + ANeedle.size() <= AText.size(); ++I) {
        I = AText.find_first_of(std::string_view(Firsts, 2), I);
        if (I == std::string_view::npos || I + ANeedle.size() > AText.size())
            return std::string_view::npos;
        if (EqualsNoCase(AText.substr(I, ANeedle.size()), ANeedle))
            return I;
    }
    return std::string_view::npos;
}

// Reads the value of `encoding` in an XML declaration held as ASCII-compatible text.
std::string EncodingFromDeclaration(std::string_view AText) {
    if (!AText.starts_with("<?xml"))
        return {};
    const std::size_t End = AText.find("?>");
    const std::string_view Decl = AText.substr(0, End);
    std::size_t Pos = Decl.find("encoding");
    if (Pos == std::string_view::npos)
        return {};
    Pos += 8;
    while (Pos < Decl.size() &&
           (Decl[Pos] == ' ' || Decl[Pos] == '\t' || Decl[Pos] == '\r' || Decl[Pos] == '\n'))
        ++Pos;
    if (Pos >= Decl.size() || Decl[Pos] != '=')
        return {};
    ++Pos;
    while (Pos < Decl.size() &&
           (Decl[Pos] == ' ' || Decl[Pos] == '\t' || Decl[Pos] == '\r' || Decl[Pos] == '\n'))
        ++Pos;
    if (Pos >= Decl.size() || (Decl[Pos] != '"' && Decl[Pos] != '\''))
        return {};
    const char Quote = Decl[Pos++];
    const std::size_t Close = Decl.find(Quote, Pos);
    if (Close == std::string_view::npos)
        return {};
    return std::string(Decl.substr(Pos, Close - Pos));
}

} // namespace

bool IsHTMLType(std::string_view AMediaType) {
    const std::string_view Type = BareType(AMediaType);
    return EqualsNoCase(Type, "text/html") || EqualsNoCase(Type, "text/html-sandboxed") ||
           EqualsNoCase(Type, "application/xhtml+xml");
}

bool IsXMLType(std::string_view AMediaType) {
    const std::string_view Type = BareType(AMediaType);
    if (EqualsNoCase(Type, "application/xml") ||
        EqualsNoCase(Type, "application/xml-external-parsed-entity") ||
        EqualsNoCase(Type, "application/xml-dtd"))
        return true;
    return !StartsWithNoCase(Type, "text/") && EndsWithNoCase(Subtype(Type), "+xml");
}

std::string DefaultCharset(std::string_view AMediaType) {
    const std::string_view Type = BareType(AMediaType);
    const std::string_view Sub = Subtype(Type);
    if (StartsWithNoCase(Type, "text/")) {
        if (EqualsNoCase(Sub, "xml") || EqualsNoCase(Sub, "xml-external-parsed-entity") ||
            EndsWithNoCase(Sub, "+xml"))
            return "us-ascii";
        return "ISO-8859-1";
    }
    // JSON has exactly one encoding on the wire; reading it byte by byte garbles every non-ASCII
    // character.
    if (EqualsNoCase(Type, "application/json") || EndsWithNoCase(Sub, "+json"))
        return "UTF-8";
    return {};
}

void SplitContentType(std::string_view AValue, std::string& AContentType, std::string& ACharSet) {
    AContentType.clear();
    ACharSet.clear();
    bool First = true;
    for (const std::string_view Piece : SplitParams(AValue)) {
        if (!First && IsCharsetParam(Piece)) {
            if (ACharSet.empty())
                ACharSet = Unquote(Piece.substr(Piece.find('=') + 1));
            continue;
        }
        if (!First)
            AContentType += ';';
        AContentType += First ? std::string(Trim(Piece)) : std::string(Piece);
        First = false;
    }
    AContentType = std::string(Trim(AContentType));
}

std::string MediaTypeParam(std::string_view AValue, std::string_view AName) {
    const std::vector<std::string_view> Pieces = SplitParams(AValue);
    for (std::size_t I = 1; I < Pieces.size(); ++I) {
        const std::size_t Equals = Pieces[I].find('=');
        if (Equals != std::string_view::npos &&
            EqualsNoCase(Trim(Pieces[I].substr(0, Equals)), AName))
            return Unquote(Pieces[I].substr(Equals + 1));
    }
    return {};
}

TMetaInfo ScanHTMLMeta(std::string_view ABody, const std::function<void()>& ACheckAbort) {
    TMetaInfo Info;
    std::size_t Seen = 0;
    // Read in place: a copy of a large page would cost as much memory as the page.
    const std::string_view Lower = ABody;
    std::size_t Pos = 0;
    while ((Pos = FindNoCase(ABody, "<meta", Pos)) != std::string_view::npos) {
        Pos += 5;
        if (ACheckAbort && ++Seen % 1024 == 0)
            ACheckAbort();
        if (Pos < Lower.size() && !(Lower[Pos] == ' ' || Lower[Pos] == '\t' || Lower[Pos] == '\r' ||
                                    Lower[Pos] == '\n' || Lower[Pos] == '/' || Lower[Pos] == '>'))
            continue;
        std::string HttpEquiv, Content, CharSet;
        bool HasContent = false;
        while (Pos < Lower.size() && Lower[Pos] != '>') {
            const char C = Lower[Pos];
            if (C == ' ' || C == '\t' || C == '\r' || C == '\n' || C == '/') {
                ++Pos;
                continue;
            }
            const std::size_t NameStart = Pos;
            while (Pos < Lower.size() && Lower[Pos] != '=' && Lower[Pos] != '>' &&
                   Lower[Pos] != ' ' && Lower[Pos] != '\t' && Lower[Pos] != '\r' &&
                   Lower[Pos] != '\n' && Lower[Pos] != '/')
                ++Pos;
            const std::string_view Name = Lower.substr(NameStart, Pos - NameStart);
            while (Pos < Lower.size() && (Lower[Pos] == ' ' || Lower[Pos] == '\t'))
                ++Pos;
            std::string_view Value;
            if (Pos < Lower.size() && Lower[Pos] == '=') {
                ++Pos;
                while (Pos < Lower.size() && (Lower[Pos] == ' ' || Lower[Pos] == '\t'))
                    ++Pos;
                if (Pos < Lower.size() && (Lower[Pos] == '"' || Lower[Pos] == '\'')) {
                    const char Quote = Lower[Pos++];
                    const std::size_t Close = Lower.find(Quote, Pos);
                    const std::size_t End = Close == std::string_view::npos ? Lower.size() : Close;
                    Value = ABody.substr(Pos, End - Pos);
                    Pos = Close == std::string_view::npos ? End : End + 1;
                } else {
                    const std::size_t Start = Pos;
                    // "/>" closes an element; it is not part of an unquoted value.
                    while (Pos < Lower.size() && Lower[Pos] != '>' && Lower[Pos] != ' ' &&
                           Lower[Pos] != '\t' && Lower[Pos] != '\r' && Lower[Pos] != '\n' &&
                           !(Lower[Pos] == '/' && Pos + 1 < Lower.size() && Lower[Pos + 1] == '>'))
                        ++Pos;
                    Value = ABody.substr(Start, Pos - Start);
                }
            }
            if (EqualsNoCase(Name, "http-equiv")) {
                HttpEquiv = std::string(Trim(Value));
            } else if (EqualsNoCase(Name, "content")) {
                Content = std::string(Value);
                HasContent = true;
            } else if (EqualsNoCase(Name, "charset")) {
                CharSet = std::string(Trim(Value));
            }
        }
        if (!HttpEquiv.empty() && HasContent)
            Info.HttpEquiv.emplace_back(HttpEquiv, std::string(Trim(Content)));
        if (!CharSet.empty() && Info.CharSet.empty())
            Info.CharSet = CharSet;
    }
    return Info;
}

std::string DetectXMLEncoding(std::string_view ABody) {
    const auto Starts = [&](std::initializer_list<unsigned char> ABytes) {
        if (ABody.size() < ABytes.size())
            return false;
        std::size_t I = 0;
        for (unsigned char B : ABytes)
            if (static_cast<unsigned char>(ABody[I++]) != B)
                return false;
        return true;
    };
    if (Starts({0x00, 0x00, 0xFE, 0xFF}))
        return "UTF-32BE";
    if (Starts({0xFF, 0xFE, 0x00, 0x00}))
        return "UTF-32LE";
    if (Starts({0xFE, 0xFF}))
        return "UTF-16BE";
    if (Starts({0xFF, 0xFE}))
        return "UTF-16LE";
    if (Starts({0xEF, 0xBB, 0xBF}))
        return "UTF-8";
    if (Starts({0x00, 0x00, 0x00, 0x3C}))
        return "UTF-32BE";
    if (Starts({0x3C, 0x00, 0x00, 0x00}))
        return "UTF-32LE";
    if (Starts({0x00, 0x3C, 0x00, 0x3F}))
        return "UTF-16BE";
    if (Starts({0x3C, 0x00, 0x3F, 0x00}))
        return "UTF-16LE";
    if (Starts({0x3C, 0x3F, 0x78, 0x6D})) {
        const std::string Declared = EncodingFromDeclaration(ABody.substr(0, 1024));
        return Declared.empty() ? "UTF-8" : Declared;
    }
    if (Starts({0x4C, 0x6F, 0xA7, 0x94})) {
        // EBCDIC: read the declaration through code page 037 to learn the exact variant.
        const std::u16string Head = Decode(ABody.substr(0, 1024), "IBM037");
        std::string Ascii;
        for (char16_t C : Head)
            Ascii += C < 0x80 ? static_cast<char>(C) : '?';
        const std::string Declared = EncodingFromDeclaration(Ascii);
        return Declared.empty() ? "IBM037" : Declared;
    }
    return "UTF-8";
}

TDecoding DecodingOf(std::string_view ACharSet) {
    return DecodingOfConverter(ConverterNameOf(ACharSet));
}

TIdTextDecoder MakeDecoder(std::string_view ACharSet) {
    const char* ConverterName = ConverterNameOf(ACharSet);
    switch (DecodingOfConverter(ConverterName)) {
    case TDecoding::Bytes:
        return TIdTextDecoder(TIdTextDecoder::TMode::Bytes);
    case TDecoding::UTF8:
        return TIdTextDecoder(TIdTextDecoder::TMode::UTF8);
    case TDecoding::Converter:
        break;
    }
    return TIdTextDecoder(ConverterName);
}

std::u16string Decode(std::string_view ABody, std::string_view ACharSet) {
    TIdTextDecoder Decoder = MakeDecoder(ACharSet);
    Decoder.Feed(std::span(reinterpret_cast<const uint8_t*>(ABody.data()), ABody.size()),
                 static_cast<int64_t>(ABody.size()));
    return Decoder.Finish();
}

} // namespace IdCharsets
