#include "VersionText.h"

#include <cstdint>
#include <limits>
#include <string>

const TFormatSettings DotFormat{};

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Decimal digits and a power of ten: the number is Digits * 10^Exponent.
struct Decimal {
    bool Negative = false;
    std::string Digits;
    long long Exponent = 0;
};

bool ParseDecimal(QStringView AText, Decimal& AOut) {
    qsizetype i = 0, end = AText.size();
    while (i < end && AText[i] == u' ')
        ++i;
    while (end > i && AText[end - 1] == u' ')
        --end;
    if (i < end && (AText[i] == u'+' || AText[i] == u'-'))
        AOut.Negative = AText[i++] == u'-';
    bool seenPoint = false;
    qsizetype fractionDigits = 0;
    for (; i < end; ++i) {
        const QChar c = AText[i];
        if (IsDigit(c)) {
            AOut.Digits += static_cast<char>(c.unicode());
            if (seenPoint)
                ++fractionDigits;
        } else if (c == DotFormat.DecimalSeparator && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (AOut.Digits.empty())
        return false;
    long long exponent = 0;
    if (i < end && (AText[i] == u'e' || AText[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < end && (AText[i] == u'+' || AText[i] == u'-'))
            negativeExponent = AText[i++] == u'-';
        if (i == end || !IsDigit(AText[i]))
            return false;
        for (; i < end && IsDigit(AText[i]); ++i)
            if (exponent < 1'000'000) // far beyond any 64-bit result; keeps the sum small
                exponent = exponent * 10 + (AText[i].unicode() - u'0');
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != end)
        return false;
    AOut.Exponent = exponent - fractionDigits;
    return true;
}

} // namespace

bool IsVersionText(QStringView AText) {
    Decimal number;
    return AText.trimmed().isEmpty() || ParseDecimal(AText, number);
}

Version ParseVersionText(QStringView AText) {
    Decimal number;
    if (!ParseDecimal(AText, number))
        return 0;
    // Scale to ten-thousandths exactly, then round the dropped digits half to even.
    std::string digits =
        number.Digits.substr(std::min(number.Digits.find_first_not_of('0'), number.Digits.size()));
    if (digits.empty())
        return 0;
    const long long scale = number.Exponent + 4;
    std::string whole, dropped;
    if (scale >= 0) {
        if (static_cast<long long>(digits.size()) + scale > 19)
            return number.Negative ? std::numeric_limits<Version>::min()
                                   : std::numeric_limits<Version>::max();
        whole = digits + std::string(static_cast<std::size_t>(scale), '0');
    } else {
        const long long keep = static_cast<long long>(digits.size()) + scale;
        if (keep > 0) {
            whole = digits.substr(0, static_cast<std::size_t>(keep));
            dropped = digits.substr(static_cast<std::size_t>(keep));
        } else {
            // Every digit lies below the last kept place; leading zeros show how far below.
            dropped = std::string(static_cast<std::size_t>(-keep), '0') + digits;
        }
    }
    std::uint64_t magnitude = 0; // at most 19 digits: fits
    for (const char c : whole)
        magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
    if (!dropped.empty()) {
        const char first = dropped[0];
        const bool restNonZero = dropped.find_first_not_of('0', 1) != std::string::npos;
        const bool odd = magnitude % 2 == 1;
        if (first > '5' || (first == '5' && (restNonZero || odd)))
            ++magnitude;
    }
    constexpr auto maxValue = static_cast<std::uint64_t>(std::numeric_limits<Version>::max());
    if (magnitude > maxValue)
        return number.Negative ? std::numeric_limits<Version>::min()
                               : std::numeric_limits<Version>::max();
    const auto value = static_cast<Version>(magnitude);
    return number.Negative ? -value : value;
}
