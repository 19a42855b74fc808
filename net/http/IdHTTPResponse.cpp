#include "IdHTTPResponse.h"

#include "IdCharsets.h"
#include "IdHTTPText.h"

#include <algorithm>
#include <unordered_map>

using IdHTTPText::Trim;
using IdText::EqualsNoCase;

void TIdHeaderList::AddReceivedLine(std::string_view ALine) {
    if (!ALine.empty() && (ALine.front() == ' ' || ALine.front() == '\t')) {
        if (!FLines.empty()) {
            // The value grows in place: copying it for each continuation line would make a long
            // folded header cost the square of its length.
            std::string& Value = FLines.back().second;
            const std::string_view Kept = Trim(Value);
            if (Kept.size() != Value.size()) {
                const std::size_t Lead = static_cast<std::size_t>(Kept.data() - Value.data());
                Value.resize(Lead + Kept.size());
                Value.erase(0, Lead);
            }
            Value += ' ';
            Value += Trim(ALine);
            return;
        }
    }
    // The name is everything before the first ":", as sent: "Content-Length : 2" does not name
    // the length.
    const std::size_t Colon = ALine.find(':');
    if (Colon == std::string_view::npos)
        FLines.emplace_back(std::string(Trim(ALine)), std::string());
    else
        FLines.emplace_back(std::string(ALine.substr(0, Colon)),
                            std::string(Trim(ALine.substr(Colon + 1))));
}

void TIdHeaderList::Add(std::string_view AName, std::string_view AValue) {
    FLines.emplace_back(std::string(AName), std::string(AValue));
}

void TIdHeaderList::SetValue(std::string_view AName, std::string_view AValue) {
    std::erase_if(FLines, [&](const auto& ALine) { return EqualsNoCase(ALine.first, AName); });
    Add(AName, AValue);
}

void TIdHeaderList::SetValues(const std::vector<std::pair<std::string, std::string>>& AValues,
                              const std::function<void()>& ACheckAbort) {
    // The same as SetValue for each pair in turn, in one pass over the lines: each name's last
    // value, in the order of those last settings, after the lines of other names.
    std::unordered_map<std::string, std::size_t> Last;
    for (std::size_t I = 0; I < AValues.size(); ++I) {
        if (ACheckAbort && I % 1024 == 0)
            ACheckAbort();
        Last[IdHTTPText::LowerCase(AValues[I].first)] = I;
    }
    std::erase_if(FLines, [&](const auto& ALine) {
        return Last.contains(IdHTTPText::LowerCase(ALine.first));
    });
    std::vector<std::size_t> Kept;
    Kept.reserve(Last.size());
    for (const auto& [Name, Index] : Last)
        Kept.push_back(Index);
    std::sort(Kept.begin(), Kept.end());
    for (const std::size_t Index : Kept)
        Add(AValues[Index].first, AValues[Index].second);
}

std::string TIdHeaderList::Value(std::string_view AName) const {
    for (const auto& [Name, Value] : FLines)
        if (EqualsNoCase(Name, AName))
            return Value;
    return {};
}

bool TIdHeaderList::Has(std::string_view AName) const {
    return std::any_of(FLines.begin(), FLines.end(),
                       [&](const auto& ALine) { return EqualsNoCase(ALine.first, AName); });
}

std::vector<std::string> TIdHeaderList::Values(std::string_view AName) const {
    std::vector<std::string> Result;
    for (const auto& [Name, Value] : FLines)
        if (EqualsNoCase(Name, AName))
            Result.push_back(Value);
    return Result;
}

int TIdHTTPResponse::ParseStatusCode(std::string_view AStatusLine) {
    const std::size_t Space = AStatusLine.find(' ');
    if (Space == std::string_view::npos)
        return -1;
    std::string_view Code = Trim(AStatusLine.substr(Space + 1));
    Code = Code.substr(0, Code.find(' '));
    Code = Code.substr(0, Code.find('.'));
    long long Value = 0;
    if (!IdHTTPText::ParseInt64(Code, Value) || Value < -2147483648LL || Value > 2147483647LL)
        return -1;
    return static_cast<int>(Value);
}

bool TIdHTTPResponse::IsChunked() const {
    return IdHTTPText::LowerCase(TransferEncoding).find("chunked") != std::string::npos;
}

void TIdHTTPResponse::InterpretContentType(std::string_view AValue) {
    IdCharsets::SplitContentType(AValue, ContentType, CharSet);
    CharSetAssumed = CharSet.empty();
    if (CharSetAssumed)
        CharSet = IdCharsets::DefaultCharset(ContentType);
}

void TIdHTTPResponse::InterpretHeaders() {
    InterpretContentType(RawHeaders.Value("Content-Type"));
    const std::string Length(Trim(RawHeaders.Value("Content-Length")));
    long long Value = -1;
    ContentLength = IdHTTPText::ParseInt64(Length, Value) ? Value : -1;
    TransferEncoding = RawHeaders.Value("Transfer-Encoding");
    Connection = RawHeaders.Value("Connection");
    Location = RawHeaders.Value("Location");
    WWWAuthenticate = RawHeaders.Values("WWW-Authenticate");
}

void TIdHTTPResponse::DetectBodyCharSet(const std::function<void()>& ACheckAbort) {
    if (IdCharsets::IsHTMLType(ContentType)) {
        const IdCharsets::TMetaInfo Meta = IdCharsets::ScanHTMLMeta(Body, ACheckAbort);
        RawHeaders.SetValues(Meta.HttpEquiv, ACheckAbort);
        const bool MetaContentType =
            std::any_of(Meta.HttpEquiv.begin(), Meta.HttpEquiv.end(), [](const auto& AItem) {
                return EqualsNoCase(AItem.first, "Content-Type");
            });
        const std::string HeaderCharSet = CharSet;
        if (MetaContentType) {
            // Only the media type and its character set are taken again: the body is already
            // framed and read by the real headers, and the connection kept or closed by them.
            InterpretContentType(RawHeaders.Value("Content-Type"));
        }
        if (!Meta.CharSet.empty()) {
            CharSet = Meta.CharSet;
            CharSetAssumed = false;
        } else if (!MetaContentType)
            CharSet = HeaderCharSet;
    } else if (IdCharsets::IsXMLType(ContentType)) {
        CharSet = IdCharsets::DetectXMLEncoding(Body);
    }
}
