#pragma once

#include <string>
#include <string_view>
#include <vector>

// application/x-www-form-urlencoded body of a list of name=value lines.
namespace IdHTTPForm {

// One text: space as "+", A-Z a-z 0-9 * - . _ kept, every other character as %XX of its UTF-8
// bytes (upper-case hex); a character without UTF-8 bytes (a lone surrogate) as "&#N;".
std::string EncodeText(std::u16string_view AText);

// Each line split at its first "=", both sides encoded, lines joined with "&". Pure ASCII.
std::string EncodeLines(const std::vector<std::u16string>& ALines);

} // namespace IdHTTPForm
