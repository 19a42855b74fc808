#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

// The one place where text changes form: UTF-16 at the client's surface, UTF-8 inside, bytes on
// the wire. Ill-formed input becomes U+FFFD exactly as ICU's own conversions do it, so every layer
// replaces the same bytes the same way.
namespace IdText {

// Calls AVisit(char32_t) for each code point of UTF-16 text; a lone surrogate comes as itself.
template <typename TVisit> void ForEachCodePoint(std::u16string_view AText, TVisit&& AVisit) {
    const std::size_t Length = AText.size();
    for (std::size_t I = 0; I < Length;) {
        UChar32 C = 0;
        U16_NEXT(AText.data(), I, Length, C);
        AVisit(static_cast<char32_t>(C));
    }
}

// Calls AVisit(char32_t) for each code point of UTF-8 text; an ill-formed sequence comes as
// U+FFFD.
template <typename TVisit> void ForEachCodePoint(std::string_view AText, TVisit&& AVisit) {
    const auto* Bytes = reinterpret_cast<const uint8_t*>(AText.data());
    const std::size_t Length = AText.size();
    for (std::size_t I = 0; I < Length;) {
        UChar32 C = 0;
        U8_NEXT_OR_FFFD(Bytes, I, Length, C);
        AVisit(static_cast<char32_t>(C));
    }
}

// Appends the UTF-8 bytes of one code point; a surrogate code point becomes U+FFFD.
void AppendUTF8(std::string& AOut, char32_t ACode);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUTF8(std::u16string_view AText);
// The same into AOut, which has room for three bytes a unit; returns the bytes written. ASCII is
// narrowed sixteen units at a time.
std::size_t EncodeUTF8(std::u16string_view AText, char* AOut);
// The length of the longest start of ABytes made of whole, well-formed UTF-8 characters: bytes
// that decoding gives back unchanged when encoded again.
std::size_t WellFormedUTF8(std::span<const uint8_t> ABytes);
// UTF-8 to UTF-16.
std::u16string FromUTF8(std::string_view AText);
// Decodes the UTF-8 bytes of ABytes into AOut, which has room for ABytes.size() units (never more
// are written); returns the units written. A character cut short at the end becomes U+FFFD.
std::size_t DecodeUTF8(std::span<const uint8_t> ABytes, char16_t* AOut);
// UTF-8 bytes as UTF-8 text with every ill-formed sequence replaced.
std::string ValidUTF8(std::span<const uint8_t> ABytes);

// A host name in UTF-8 as the ASCII name the resolver and the Host header take: names with other
// letters by IDNA (UTS #46, as browsers do it), 7-bit names unchanged. False when the name cannot
// be converted.
bool HostToASCII(std::string_view AHost, std::string& AASCII);

// One byte per character: bytes 0..255 become U+0000..U+00FF.
std::u16string FromLatin1(std::string_view ABytes);
std::string Latin1ToUTF8(std::string_view ABytes);

// Case-insensitive for the letters A-Z only, as protocol names, header names and tokens compare;
// a character outside 7-bit ASCII matches only the same code unit of the same width.
template <typename TCharA, typename TCharB>
bool EqualsNoCase(std::basic_string_view<TCharA> A, std::basic_string_view<TCharB> B) {
    if (A.size() != B.size())
        return false;
    const auto Lower = [](char32_t C) { return C >= U'A' && C <= U'Z' ? C - U'A' + U'a' : C; };
    for (std::size_t I = 0; I < A.size(); ++I) {
        const auto X = static_cast<char32_t>(static_cast<std::make_unsigned_t<TCharA>>(A[I]));
        const auto Y = static_cast<char32_t>(static_cast<std::make_unsigned_t<TCharB>>(B[I]));
        if constexpr (!std::is_same_v<TCharA, TCharB>) {
            if (X > 127 || Y > 127)
                return false;
        }
        if (Lower(X) != Lower(Y))
            return false;
    }
    return true;
}
inline bool EqualsNoCase(std::string_view A, std::string_view B) {
    return EqualsNoCase<char, char>(A, B);
}
inline bool EqualsNoCase(std::u16string_view A, std::string_view B) {
    return EqualsNoCase<char16_t, char>(A, B);
}

} // namespace IdText
