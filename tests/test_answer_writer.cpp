// The tools' answer output: UTF-16 pieces written out as UTF-8, ASCII narrowed a block at a time.

#include "AnswerWriter.h"
#include "IdText.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// What a writer puts out for the pieces written one after the other, then EndLine. What the
// writer hands its copy is the same but for the line break EndLine adds.
std::string Written(const std::vector<std::u16string>& APieces) {
    const int fd = ::memfd_create("answer", MFD_CLOEXEC);
    EXPECT_GE(fd, 0);
    std::string copied;
    {
        TAnswerWriter writer(fd, [&copied](std::string_view AUtf8) { copied += AUtf8; });
        for (const std::u16string& piece : APieces)
            writer.Write(piece);
        writer.EndLine();
    }
    std::string text(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    EXPECT_EQ(::pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    ::close(fd);
    const bool lineAdded = !text.empty() && (copied.empty() || copied.back() != '\n');
    EXPECT_EQ(copied, lineAdded ? text.substr(0, text.size() - 1) : text);
    return text;
}

TEST(AnswerWriter, CharactersEncodeAlikeAtEveryPlaceOfABlock) {
    const std::u16string samples[] = {
        u"\u00E9",          u"\u007F\u0080",    u"\u07FF\u0800",
        u"\u20AC",          u"\U0001F600",      u"\uFFFF",
        {char16_t(0xD800)}, {char16_t(0xDC00)}, {char16_t(0xDBFF), u'x'},
    };
    for (const std::u16string& sample : samples)
        for (std::size_t before = 0; before <= 33; ++before)
            for (const std::size_t after : {0, 1, 15, 16, 17, 40}) {
                const std::u16string text =
                    std::u16string(before, u'a') + sample + std::u16string(after, u'z') + u'\n';
                ASSERT_EQ(Written({text}), IdText::ToUTF8(text)) << before << " " << after;
            }
}

TEST(AnswerWriter, LargePiecesKeepPairsAndEndWithOneLineBreak) {
    // Longer than the writer converts at once, with a pair across every likely step boundary.
    std::u16string text;
    while (text.size() < 300000)
        text += u"{\"Name\":\"M\u00FCller \U0001F600\"},";
    const std::string expected = IdText::ToUTF8(text);
    EXPECT_EQ(Written({text}), expected + "\n");
    for (std::size_t shift = 0; shift < 4; ++shift) {
        const std::u16string shifted = u"xyz" + text.substr(shift);
        EXPECT_EQ(Written({shifted.substr(0, 1000), shifted.substr(1000)}),
                  IdText::ToUTF8(shifted) + "\n")
            << shift;
    }
    // An answer that ends with a line break gets no other; an empty one stays empty.
    EXPECT_EQ(Written({u"a\n"}), "a\n");
    EXPECT_EQ(Written({}), "");
}

} // namespace
