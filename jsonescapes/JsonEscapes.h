#pragma once

#include <cstddef>
#include <string_view>

// JSON's \uXXXX escapes that stand for a character a reader would rather see (and find) as
// itself. Escapes that must stay escapes keep their form: the quote, the backslash, control
// characters (C0, DEL and C1), the line and paragraph separators, and surrogates that are not a
// high one followed by a low one. An escaped backslash never starts an escape.
//
// The text is UTF-16 or UTF-8; a decoded character is written in the same form.

// Whether AText holds an escape that decodes.
bool HasDecodableEscape(std::u16string_view AText);
bool HasDecodableEscape(std::string_view AText);

// Writes AText to AOut with every escape that decodes decoded and the rest as it is; returns the
// units written, never more than AText.size(). AOut may be AText's own first unit, for decoding
// in place.
std::size_t DecodeEscapes(std::u16string_view AText, char16_t* AOut);
std::size_t DecodeEscapes(std::string_view AText, char* AOut);
