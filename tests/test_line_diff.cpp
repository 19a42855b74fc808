// The line diff that compares two stored answers: the shortest script over a table of small
// cases, its marks, the cap on its work, and the Pretty lines it compares.

#include "LineDiff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::u16string> Lines(std::u16string_view AText) {
    std::vector<std::u16string> lines;
    for (const char16_t c : AText)
        lines.emplace_back(1, c);
    return lines;
}

// The diff written one mark and letter per line: " a", "-b", "+c".
std::string Marked(const std::vector<TDiffLine>& ADiff) {
    std::string text;
    for (const TDiffLine& line : ADiff) {
        text += line.Kind == TDiffKind::Same ? ' ' : line.Kind == TDiffKind::Removed ? '-' : '+';
        text += std::string(line.Text.begin(), line.Text.end());
    }
    return text;
}

std::size_t Edits(const std::vector<TDiffLine>& ADiff) {
    std::size_t edits = 0;
    for (const TDiffLine& line : ADiff)
        edits += line.Kind == TDiffKind::Same ? 0 : 1;
    return edits;
}

TEST(LineDiff, ShortestScriptForSmallCases) {
    const struct {
        const char16_t* Old;
        const char16_t* New;
        const char* Diff;
    } cases[] = {
        {u"", u"", ""},
        {u"abc", u"abc", " a b c"},
        {u"", u"ab", "+a+b"},
        {u"ab", u"", "-a-b"},
        {u"abc", u"abxc", " a b+x c"},
        {u"abc", u"ac", " a-b c"},
        {u"abc", u"xbc", "-a+x b c"},
        {u"abc", u"abx", " a b-c+x"},
        {u"ab", u"cd", "-a-b+c+d"},
        // the classic pair: five edits, however they are ordered
        {u"abcabba", u"cbabac", nullptr},
    };
    for (const auto& c : cases) {
        const std::vector<std::u16string> old = Lines(c.Old);
        const std::vector<std::u16string> now = Lines(c.New);
        const std::vector<TDiffLine> diff = DiffLines(old, now);
        SCOPED_TRACE(Marked(diff));
        if (c.Diff != nullptr)
            EXPECT_EQ(Marked(diff), c.Diff);
        else
            EXPECT_EQ(Edits(diff), 5U);
        // Either side read back from the diff.
        std::vector<std::u16string> left;
        std::vector<std::u16string> right;
        for (const TDiffLine& line : diff) {
            if (line.Kind != TDiffKind::Added)
                left.push_back(line.Text);
            if (line.Kind != TDiffKind::Removed)
                right.push_back(line.Text);
        }
        EXPECT_EQ(left, old);
        EXPECT_EQ(right, now);
    }
}

// Past the cap the middle is given whole as removed and added; the common ends stay kept.
TEST(LineDiff, CappedWorkStillGivesATrueDiff) {
    const std::vector<TDiffLine> diff = DiffLines(Lines(u"sabcde"), Lines(u"svwxyze"), 2);
    EXPECT_EQ(Marked(diff), " s-a-b-c-d+v+w+x+y+z e");
}

TEST(LineDiff, PrettyLinesAndMarkedText) {
    EXPECT_EQ(PrettyLines(u"{\"a\":[1,2],\"b\":\"M\\u00fcller\"}"),
              (std::vector<std::u16string>{u"{", u"  \"a\": [", u"    1,", u"    2", u"  ],",
                                           u"  \"b\": \"M\u00fcller\"", u"}"}));
    EXPECT_EQ(PrettyLines(u"Result=Ok\r\nPlayer=joe\nx\ry"),
              (std::vector<std::u16string>{u"Result=Ok", u"Player=joe", u"x", u"y"}));
    EXPECT_EQ(PrettyLines(u""), std::vector<std::u16string>{});
    const std::vector<TDiffLine> diff =
        DiffLines(PrettyLines(u"{\"Balance\":5}"), PrettyLines(u"{\"Balance\":7}"));
    EXPECT_EQ(DiffText(diff), u"  {\n-   \"Balance\": 5\n+   \"Balance\": 7\n  }\n");
}

} // namespace
