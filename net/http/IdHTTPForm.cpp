#include "IdHTTPForm.h"

namespace IdHTTPForm {

namespace {

bool IsUnreserved(char16_t C) {
    return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z') || (C >= u'0' && C <= u'9') ||
           C == u'*' || C == u'-' || C == u'.' || C == u'_';
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
    for (std::size_t I = 0; I < AText.size(); ++I) {
        const char16_t C = AText[I];
        if (C == u' ') {
            Out += '+';
        } else if (IsUnreserved(C)) {
            Out += static_cast<char>(C);
        } else if (C < 0x80) {
            AppendHexByte(Out, C);
        } else if (C < 0x800) {
            AppendHexByte(Out, 0xC0 | (C >> 6));
            AppendHexByte(Out, 0x80 | (C & 0x3F));
        } else if (C >= 0xD800 && C <= 0xDBFF && I + 1 < AText.size() && AText[I + 1] >= 0xDC00 &&
                   AText[I + 1] <= 0xDFFF) {
            const char32_t Code =
                0x10000 + ((char32_t(C) - 0xD800) << 10) + (AText[I + 1] - 0xDC00);
            ++I;
            AppendHexByte(Out, 0xF0 | (Code >> 18));
            AppendHexByte(Out, 0x80 | ((Code >> 12) & 0x3F));
            AppendHexByte(Out, 0x80 | ((Code >> 6) & 0x3F));
            AppendHexByte(Out, 0x80 | (Code & 0x3F));
        } else if (C >= 0xD800 && C <= 0xDFFF) {
            // A lone surrogate has no UTF-8 form: it goes out as a numeric character reference.
            Out += "&#" + std::to_string(static_cast<unsigned>(C)) + ";";
        } else {
            AppendHexByte(Out, 0xE0 | (C >> 12));
            AppendHexByte(Out, 0x80 | ((C >> 6) & 0x3F));
            AppendHexByte(Out, 0x80 | (C & 0x3F));
        }
    }
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
