#pragma once

#include <cstdint>
#include <string>

// A server version as a signed count of ten-thousandths: version 2.10 is 21000.
using Version = std::int64_t;

// As an upper bound, 9.99 means "no upper version limit".
inline constexpr Version OpenEnded = 99900;

// Builds a version from its whole and hundredths parts: MakeVersion(2, 10) is 21000.
constexpr Version MakeVersion(int AWhole, int AHundredths) {
    return static_cast<Version>(AWhole) * 10000 + static_cast<Version>(AHundredths) * 100;
}

// True when AVersion lies inside the inclusive range.
constexpr bool VersionInRange(Version AVersion, Version AVerMin, Version AVerMax) {
    return AVerMin <= AVersion && AVersion <= AVerMax;
}

// The version with exactly two decimals and "." as separator, whatever the locale ("2.10").
std::string FormatVersion(Version AVersion);

// The suffix appended to help texts: " [Version 2.10+]" or " [Version 2.25 to 4.99]".
std::string VersionRangeText(Version VerMin, Version VerMax);
