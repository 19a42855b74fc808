#include "IdHTTPText.h"

#include "IdText.h"

#include <limits>

namespace IdHTTPText {

namespace {

char Lower(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

} // namespace

std::string ToASCII(std::u16string_view AText) {
    std::string Out;
    Out.reserve(AText.size());
    IdText::ForEachCodePoint(AText,
                             [&](char32_t C) { Out += C < 0x80 ? static_cast<char>(C) : '?'; });
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
