// Which JSON \uXXXX escapes decode, in UTF-16 and UTF-8 texts alike and in place: the one rule
// the viewer's pretty text and the history's word index follow.

#include "JsonEscapes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Utf8(std::u16string_view AText) {
    std::string out;
    for (std::size_t i = 0; i < AText.size(); ++i) {
        char32_t c = AText[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 &&
            AText[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (AText[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

template <class TString> TString Decoded(const TString& AText) {
    TString out(AText.size(), {});
    out.resize(DecodeEscapes(AText, out.data()));
    return out;
}

template <class TString> TString DecodedInPlace(TString AText) {
    AText.resize(DecodeEscapes(AText, AText.data()));
    return AText;
}

} // namespace

TEST(JsonEscapes, PrintableCharactersDecodeTheRestStayEscaped) {
    const struct {
        std::u16string Text;
        std::u16string Decoded; // the same when nothing decodes
    } cases[] = {
        {u"plain, no escape", u"plain, no escape"},
        {uR"({"n":"M\u00fcller"})", u"{\"n\":\"M\u00fcller\"}"},
        {uR"(\u00E9t\u00e9 \u0041)", u"\u00e9t\u00e9 A"},
        {uR"(\u20ac\uFFFD)", u"\u20ac\uFFFD"},
        // a surrogate pair is one character; a lone half stays
        {uR"(\ud83d\ude00)", u"\U0001F600"},
        {uR"(\ud83d \ude00 \ud83d\u0041)", uR"(\ud83d \ude00 \ud83dA)"},
        // quote, backslash, C0, DEL, C1, line and paragraph separators stay
        {uR"(\u0022\u005c\u0000\u001f\u007f\u009f\u2028\u2029)",
         uR"(\u0022\u005c\u0000\u001f\u007f\u009f\u2028\u2029)"},
        // an escaped backslash is no escape; the one after it is
        {uR"(\\u00e9 \\\u00e9)", uR"(\\u00e9 \\)"
                                 u"\u00e9"},
        {uR"(\"\u00e9\n)", u"\\\"\u00e9\\n"},
        // not hexadecimal, or cut short by the end
        {uR"(\u00g9 \u00e)", uR"(\u00g9 \u00e)"},
        {uR"(ends in \)", uR"(ends in \)"},
        // characters beside escapes stay whole
        {uR"(Gr\u00fc\u00dfe aus K\u00f6ln, 日本\u8a9e)", u"Gr\u00fc\u00dfe aus K\u00f6ln, 日本語"},
    };
    for (const auto& c : cases) {
        const std::string utf8 = Utf8(c.Text);
        SCOPED_TRACE(utf8);
        const bool decodes = c.Text != c.Decoded;
        EXPECT_EQ(HasDecodableEscape(c.Text), decodes);
        EXPECT_EQ(HasDecodableEscape(utf8), decodes);
        EXPECT_EQ(Decoded(c.Text), c.Decoded);
        EXPECT_EQ(DecodedInPlace(c.Text), c.Decoded);
        EXPECT_EQ(Decoded(utf8), Utf8(c.Decoded));
        EXPECT_EQ(DecodedInPlace(utf8), Utf8(c.Decoded));
    }
}
