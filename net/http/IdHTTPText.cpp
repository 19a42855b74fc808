#include "IdHTTPText.h"

#include "IdGlobal.h"

#include <limits>

namespace IdHTTPText {

namespace {

char Lower(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

} // namespace

std::string ToUTF8(std::u16string_view AText) {
    std::string Out;
    Out.reserve(AText.size());
    for (std::size_t I = 0; I < AText.size(); ++I) {
        char32_t C = AText[I];
        if (C >= 0xD800 && C <= 0xDBFF && I + 1 < AText.size() && AText[I + 1] >= 0xDC00 &&
            AText[I + 1] <= 0xDFFF) {
            C = 0x10000 + ((C - 0xD800) << 10) + (AText[I + 1] - 0xDC00);
            ++I;
        } else if (C >= 0xD800 && C <= 0xDFFF) {
            C = 0xFFFD;
        }
        AppendUtf8(Out, C);
    }
    return Out;
}

std::u16string FromUTF8(std::string_view AText) {
    std::u16string Out;
    Out.reserve(AText.size());
    std::size_t I = 0;
    while (I < AText.size()) {
        const auto B = static_cast<unsigned char>(AText[I]);
        char32_t C = 0xFFFD;
        std::size_t Len = 1;
        std::size_t Need = 0;
        char32_t Min = 0;
        if (B < 0x80) {
            C = B;
        } else if (B >= 0xC2 && B <= 0xDF) {
            Need = 1, C = B & 0x1F, Min = 0x80;
        } else if (B >= 0xE0 && B <= 0xEF) {
            Need = 2, C = B & 0x0F, Min = 0x800;
        } else if (B >= 0xF0 && B <= 0xF4) {
            Need = 3, C = B & 0x07, Min = 0x10000;
        }
        if (Need > 0) {
            bool Ok = true;
            for (std::size_t K = 1; Ok && K <= Need; ++K) {
                if (I + K >= AText.size() ||
                    (static_cast<unsigned char>(AText[I + K]) & 0xC0) != 0x80)
                    Ok = false;
                else
                    C = (C << 6) | (static_cast<unsigned char>(AText[I + K]) & 0x3F);
            }
            if (Ok && C >= Min && C <= 0x10FFFF && !(C >= 0xD800 && C <= 0xDFFF))
                Len = Need + 1;
            else
                C = 0xFFFD;
        }
        if (C >= 0x10000) {
            Out += static_cast<char16_t>(0xD800 + ((C - 0x10000) >> 10));
            Out += static_cast<char16_t>(0xDC00 + ((C - 0x10000) & 0x3FF));
        } else {
            Out += static_cast<char16_t>(C);
        }
        I += Len;
    }
    return Out;
}

std::u16string FromLatin1(std::string_view ABytes) {
    std::u16string Out(ABytes.size(), u'\0');
    for (std::size_t I = 0; I < ABytes.size(); ++I)
        Out[I] = static_cast<unsigned char>(ABytes[I]);
    return Out;
}

std::string ToASCII(std::u16string_view AText) {
    std::string Out;
    Out.reserve(AText.size());
    for (std::size_t I = 0; I < AText.size(); ++I) {
        const char16_t C = AText[I];
        if (C < 0x80) {
            Out += static_cast<char>(C);
            continue;
        }
        if (C >= 0xD800 && C <= 0xDBFF && I + 1 < AText.size() && AText[I + 1] >= 0xDC00 &&
            AText[I + 1] <= 0xDFFF)
            ++I;
        Out += '?';
    }
    return Out;
}

std::u16string_view Trim(std::u16string_view AText) {
    while (!AText.empty() && AText.front() <= 32)
        AText.remove_prefix(1);
    while (!AText.empty() && AText.back() <= 32)
        AText.remove_suffix(1);
    return AText;
}

std::string_view Trim(std::string_view AText) {
    while (!AText.empty() && static_cast<unsigned char>(AText.front()) <= 32)
        AText.remove_prefix(1);
    while (!AText.empty() && static_cast<unsigned char>(AText.back()) <= 32)
        AText.remove_suffix(1);
    return AText;
}

std::string_view TrimBlanks(std::string_view AText) {
    while (!AText.empty() && (AText.front() == ' ' || AText.front() == '\t'))
        AText.remove_prefix(1);
    while (!AText.empty() && (AText.back() == ' ' || AText.back() == '\t'))
        AText.remove_suffix(1);
    return AText;
}

bool EqualsNoCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t I = 0; I < A.size(); ++I)
        if (Lower(A[I]) != Lower(B[I]))
            return false;
    return true;
}

bool EqualsNoCase(std::u16string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t I = 0; I < A.size(); ++I) {
        if (A[I] > 127 || Lower(static_cast<char>(A[I])) != Lower(B[I]))
            return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view AText, std::string_view APrefix) {
    return AText.size() >= APrefix.size() && EqualsNoCase(AText.substr(0, APrefix.size()), APrefix);
}

bool EndsWithNoCase(std::string_view AText, std::string_view ASuffix) {
    return AText.size() >= ASuffix.size() &&
           EqualsNoCase(AText.substr(AText.size() - ASuffix.size()), ASuffix);
}

std::string LowerCase(std::string_view AText) {
    std::string Out(AText);
    for (char& C : Out)
        C = Lower(C);
    return Out;
}

bool ParseInt64(std::string_view AText, long long& AValue) {
    bool Negative = false;
    if (!AText.empty() && (AText.front() == '-' || AText.front() == '+')) {
        Negative = AText.front() == '-';
        AText.remove_prefix(1);
    }
    if (AText.empty())
        return false;
    unsigned long long Value = 0;
    const unsigned long long Limit =
        static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + (Negative ? 1 : 0);
    for (char C : AText) {
        if (C < '0' || C > '9')
            return false;
        const unsigned Digit = static_cast<unsigned>(C - '0');
        if (Value > (Limit - Digit) / 10)
            return false;
        Value = Value * 10 + Digit;
    }
    AValue = Negative ? static_cast<long long>(0 - Value) : static_cast<long long>(Value);
    return true;
}

} // namespace IdHTTPText
