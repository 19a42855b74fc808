#include "IdHTTPForm.h"

#include "IdText.h"

namespace IdHTTPForm {

namespace {

bool IsUnreserved(char32_t C) {
    return (C >= U'A' && C <= U'Z') || (C >= U'a' && C <= U'z') || (C >= U'0' && C <= U'9') ||
           C == U'*' || C == U'-' || C == U'.' || C == U'_';
}

void AppendHexByte(std::string& AOut, unsigned AByte) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    AOut += '%';
    AOut += Hex[(AByte >> 4) & 0xF];
    AOut += Hex[AByte & 0xF];
}

} // namespace

std::string EncodeText(std::u16string_view AText) {
    std::string Out;
    Out.reserve(AText.size());
    IdText::ForEachCodePoint(AText, [&](char32_t C) {
        if (C == U' ') {
            Out += '+';
        } else if (IsUnreserved(C)) {
            Out += static_cast<char>(C);
        } else if (U_IS_SURROGATE(C)) {
            // A lone surrogate has no UTF-8 form: it goes out as a numeric character reference.
            Out += "&#" + std::to_string(static_cast<unsigned>(C)) + ";";
        } else {
            std::string Bytes;
            IdText::AppendUTF8(Bytes, C);
            for (const char Byte : Bytes)
                AppendHexByte(Out, static_cast<unsigned char>(Byte));
        }
    });
    return Out;
}

std::string EncodeLines(const std::vector<std::u16string>& ALines) {
    std::string Body;
    for (std::size_t I = 0; I < ALines.size(); ++I) {
        if (I > 0)
            Body += '&';
        const std::u16string_view Line = ALines[I];
        const std::size_t Equals = Line.find(u'=');
        if (Equals == std::u16string_view::npos) {
            Body += EncodeText(Line);
        } else {
            Body += EncodeText(Line.substr(0, Equals));
            Body += '=';
            Body += EncodeText(Line.substr(Equals + 1));
        }
    }
    return Body;
}

} // namespace IdHTTPForm
