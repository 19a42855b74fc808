#include "JsonEscapes.h"

#include <array>

namespace {

int HexValue(char32_t AChar) {
    if (AChar >= u'0' && AChar <= u'9')
        return static_cast<int>(AChar - u'0');
    if (AChar >= u'a' && AChar <= u'f')
        return static_cast<int>(AChar - u'a' + 10);
    if (AChar >= u'A' && AChar <= u'F')
        return static_cast<int>(AChar - u'A' + 10);
    return -1;
}

// The code unit of the escape "\uXXXX" at AText[AAt], or -1 when there is none.
template <class TChar> int EscapedUnit(std::basic_string_view<TChar> AText, std::size_t AAt) {
    if (AAt + 6 > AText.size() || AText[AAt] != '\\' || AText[AAt + 1] != 'u')
        return -1;
    int unit = 0;
    for (std::size_t i = AAt + 2; i < AAt + 6; ++i) {
        const int digit = HexValue(static_cast<char32_t>(AText[i]));
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

bool ShownAsCharacter(int AUnit) {
    return AUnit >= 0x20 && AUnit != u'"' && AUnit != u'\\' && !(AUnit >= 0x7F && AUnit <= 0x9F) &&
           AUnit != 0x2028 && AUnit != 0x2029;
}

// An escape at a position as it decodes: the character, and the units it takes (12 for a
// surrogate pair, 6 for one character, 0 when it stays an escape).
struct TEscape {
    char32_t Character = 0;
    std::size_t Length = 0;
};

template <class TChar>
TEscape DecodableEscape(std::basic_string_view<TChar> AText, std::size_t AAt) {
    const int unit = EscapedUnit(AText, AAt);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        const int low = EscapedUnit(AText, AAt + 6);
        if (low >= 0xDC00 && low <= 0xDFFF)
            return {static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)), 12};
        return {};
    }
    if (unit >= 0 && (unit < 0xDC00 || unit > 0xDFFF) && ShownAsCharacter(unit))
        return {static_cast<char32_t>(unit), 6};
    return {};
}

// AChar in AOut's form; returns the units written.
std::size_t Encode(char32_t AChar, std::array<char16_t, 4>& AOut) {
    if (AChar < 0x10000) {
        AOut[0] = static_cast<char16_t>(AChar);
        return 1;
    }
    AOut[0] = static_cast<char16_t>(0xD800 + ((AChar - 0x10000) >> 10));
    AOut[1] = static_cast<char16_t>(0xDC00 + ((AChar - 0x10000) & 0x3FF));
    return 2;
}

std::size_t Encode(char32_t AChar, std::array<char, 4>& AOut) {
    const auto byte = [](char32_t AValue) {
        return static_cast<char>(static_cast<unsigned char>(AValue));
    };
    if (AChar < 0x80) {
        AOut[0] = byte(AChar);
        return 1;
    }
    if (AChar < 0x800) {
        AOut[0] = byte(0xC0 | (AChar >> 6));
        AOut[1] = byte(0x80 | (AChar & 0x3F));
        return 2;
    }
    if (AChar < 0x10000) {
        AOut[0] = byte(0xE0 | (AChar >> 12));
        AOut[1] = byte(0x80 | ((AChar >> 6) & 0x3F));
        AOut[2] = byte(0x80 | (AChar & 0x3F));
        return 3;
    }
    AOut[0] = byte(0xF0 | (AChar >> 18));
    AOut[1] = byte(0x80 | ((AChar >> 12) & 0x3F));
    AOut[2] = byte(0x80 | ((AChar >> 6) & 0x3F));
    AOut[3] = byte(0x80 | (AChar & 0x3F));
    return 4;
}

template <class TChar> bool HasDecodable(std::basic_string_view<TChar> AText) {
    constexpr std::array<TChar, 2> start{'\\', 'u'};
    const std::basic_string_view<TChar> escape(start.data(), start.size());
    for (std::size_t at = AText.find(escape); at != std::basic_string_view<TChar>::npos;
         at = AText.find(escape, at + 1)) {
        // Preceded by an odd run of backslashes it is an escaped backslash and a "u".
        std::size_t run = 0;
        while (run < at && AText[at - 1 - run] == '\\')
            ++run;
        if (run % 2 == 0 && DecodableEscape(AText, at).Length != 0)
            return true;
    }
    return false;
}

// Every unit is read before anything is written over it: what is written never runs ahead of
// what is read, so AOut may be AText's own data.
template <class TChar> std::size_t Decode(std::basic_string_view<TChar> AText, TChar* AOut) {
    std::size_t written = 0;
    std::array<TChar, 4> decoded{};
    for (std::size_t i = 0; i < AText.size();) {
        if (AText[i] != '\\') {
            AOut[written++] = AText[i++];
            continue;
        }
        const TEscape escape = DecodableEscape(AText, i);
        if (escape.Length != 0) {
            const std::size_t length = Encode(escape.Character, decoded);
            for (std::size_t k = 0; k < length; ++k)
                AOut[written++] = decoded[k];
            i += escape.Length;
            continue;
        }
        // An escape kept: the backslash and the unit after it, so that an escaped backslash is
        // never read as the start of another escape.
        const TChar next = i + 1 < AText.size() ? AText[i + 1] : TChar{};
        AOut[written++] = AText[i];
        if (i + 1 < AText.size())
            AOut[written++] = next;
        i += 2;
    }
    return written;
}

} // namespace

bool HasDecodableEscape(std::u16string_view AText) {
    return HasDecodable(AText);
}

bool HasDecodableEscape(std::string_view AText) {
    return HasDecodable(AText);
}

std::size_t DecodeEscapes(std::u16string_view AText, char16_t* AOut) {
    return Decode(AText, AOut);
}

std::size_t DecodeEscapes(std::string_view AText, char* AOut) {
    return Decode(AText, AOut);
}
