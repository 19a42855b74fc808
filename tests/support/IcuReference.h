#pragma once

#include <string>
#include <string_view>

// ICU's conversion of a whole body in one call by the converter named AConverter, a byte-order
// mark at the front of a Unicode encoding dropped: the reference that the client's decoding, fed
// whole or in pieces, must equal. AOk (when given) says whether ICU opened the converter and
// converted without error.
std::u16string IcuWholeConversion(std::string_view ABytes, const char* AConverter,
                                  bool* AOk = nullptr);

// AText in the character set AConverter, by ICU; AOk as above.
std::string IcuEncode(std::u16string_view AText, const char* AConverter, bool* AOk = nullptr);
