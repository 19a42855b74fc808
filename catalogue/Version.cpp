#include "Version.h"

std::string FormatVersion(Version AVersion) {
    // Integer arithmetic keeps the text independent of the locale and of floating point; the
    // magnitude is taken unsigned so that the most negative value cannot overflow.
    const bool negative = AVersion < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(AVersion) : static_cast<std::uint64_t>(AVersion);
    const std::uint64_t hundredths = magnitude / 100 + (magnitude % 100 >= 50 ? 1 : 0);
    std::string text = negative && hundredths != 0 ? "-" : "";
    text += std::to_string(hundredths / 100);
    text += '.';
    text += static_cast<char>('0' + hundredths % 100 / 10);
    text += static_cast<char>('0' + hundredths % 10);
    return text;
}

std::string VersionRangeText(Version VerMin, Version VerMax) {
    std::string text = " [Version " + FormatVersion(VerMin);
    if (VerMax == OpenEnded)
        text += "+]";
    else
        text += " to " + FormatVersion(VerMax) + "]";
    return text;
}
