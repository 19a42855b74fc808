#pragma once

#include "IdText.h"

#include <string>
#include <string_view>

// Small text helpers shared by the HTTP client sources. Text is UTF-16 at the client's surface and
// UTF-8 towards the transport; wire bytes are held in std::string.
namespace IdHTTPText {

using IdText::EqualsNoCase;
using IdText::FromLatin1;
using IdText::FromUTF8;
using IdText::ToUTF8;

// 7-bit wire text: every character (a surrogate pair counting as one) above 127 becomes "?".
std::string ToASCII(std::u16string_view AText);

// Characters with codes up to 32 removed at both ends.
std::u16string_view Trim(std::u16string_view AText);
std::string_view Trim(std::string_view AText);
// Blanks (space and tab) removed at both ends.
std::string_view TrimBlanks(std::string_view AText);

bool StartsWithNoCase(std::string_view AText, std::string_view APrefix);
bool EndsWithNoCase(std::string_view AText, std::string_view ASuffix);
std::string LowerCase(std::string_view AText);

// Decimal digits only, optional leading sign; false on anything else or on overflow.
bool ParseInt64(std::string_view AText, long long& AValue);

} // namespace IdHTTPText
