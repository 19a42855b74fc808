// A body in one of a list of character sets (the first input byte chooses it and the size of the
// pieces it arrives in), decoded by the client: the result equals ICU's conversion of the whole
// body, whether decoded at once or as it arrives, as UTF-16 or as UTF-8; META and XML detection
// read any bytes.

#include "IcuReference.h"
#include "IdCharsets.h"
#include "IdHTTPResponse.h"
#include "IdText.h"
#include "IdTextDecoder.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr const char* CharSets[] = {
    "UTF-8",    "utf8",      "ISO-8859-1",   "windows-1251", "KOI8-R",  "UTF-16",      "UTF-16BE",
    "UTF-16LE", "UTF-32",    "Shift_JIS",    "EUC-JP",       "GB18030", "Big5",        "UTF-7",
    "IBM037",   "x-unknown", "windows-1252", "EUC-KR",       "CESU-8",  "ISO-2022-JP",
};

[[noreturn]] void Fail(const char* AWhat, const char* ACharSet) {
    std::fprintf(stderr, "%s (%s)\n", AWhat, ACharSet);
    std::abort();
}

// ICU's conversion of the whole body, as the client names the converter; a byte-order mark at
// the front of a Unicode encoding is no part of the text.
std::u16string Reference(std::string_view ABytes, const char* ACharSet) {
    const IdCharsets::TDecoding Decoding = IdCharsets::DecodingOf(ACharSet);
    if (Decoding == IdCharsets::TDecoding::Bytes) {
        std::u16string Text;
        for (const char C : ABytes)
            Text += static_cast<char16_t>(static_cast<unsigned char>(C));
        return Text;
    }
    bool Ok = false;
    std::u16string Text = IcuWholeConversion(
        ABytes, Decoding == IdCharsets::TDecoding::UTF8 ? "UTF-8" : ACharSet, &Ok);
    if (!Ok)
        Fail("ICU cannot convert the whole body", ACharSet);
    return Text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize == 0)
        return 0;
    const char* CharSet = CharSets[AData[0] % std::size(CharSets)];
    const std::size_t PieceSize = AData[0] / std::size(CharSets) + 1;
    const std::string_view Bytes(reinterpret_cast<const char*>(AData) + 1, ASize - 1);

    const std::u16string Expected = Reference(Bytes, CharSet);
    if (IdCharsets::Decode(Bytes, CharSet) != Expected)
        Fail("the decoded body differs from the whole conversion", CharSet);
    // As the tools take it, piece by piece: no piece ends in the first half of a surrogate pair.
    TIdTextDecoder Decoder = IdCharsets::MakeDecoder(CharSet);
    const std::span<const uint8_t> All(AData + 1, ASize - 1);
    std::u16string Taken;
    for (std::size_t Pos = 0; Pos < All.size(); Pos += PieceSize) {
        Decoder.Feed(All.subspan(Pos, std::min(PieceSize, All.size() - Pos)));
        const std::u16string_view Piece = Decoder.Take();
        if (!Piece.empty() && U16_IS_LEAD(Piece.back()))
            Fail("a piece of text ends in half a surrogate pair", CharSet);
        Taken += Piece;
    }
    if (Taken + Decoder.Finish() != Expected)
        Fail("the body decoded in pieces differs from the whole conversion", CharSet);
    // Taken as UTF-8, as the tools write it: the UTF-8 form of the same text.
    TIdTextDecoder Bytewise = IdCharsets::MakeDecoder(CharSet);
    Bytewise.SetOutputUTF8();
    std::string TakenUTF8;
    for (std::size_t Pos = 0; Pos < All.size(); Pos += PieceSize) {
        Bytewise.Feed(All.subspan(Pos, std::min(PieceSize, All.size() - Pos)));
        TakenUTF8 += Bytewise.TakeUTF8();
    }
    if (TakenUTF8 + Bytewise.FinishUTF8() != IdText::ToUTF8(Expected))
        Fail("the body taken as UTF-8 differs from the whole conversion", CharSet);

    // The body as a page and as an XML document: detection takes any bytes.
    for (const char* Type : {"text/html", "application/xml"}) {
        TIdHTTPResponse Response;
        Response.RawHeaders.Add("Content-Type", Type);
        Response.InterpretHeaders();
        Response.Body = std::string(Bytes);
        Response.DetectBodyCharSet();
        const IdCharsets::TMetaInfo Meta = IdCharsets::ScanHTMLMeta(Bytes);
        if (Type[0] == 't' && !Meta.CharSet.empty() && Response.CharSet != Meta.CharSet)
            Fail("a META charset that was not taken", Type);
        if (Type[0] == 'a' && Response.CharSet.empty())
            Fail("no encoding for an XML document", Type);
        IdCharsets::Decode(Response.Body, Response.CharSet);
    }
    return 0;
}
