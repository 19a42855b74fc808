// The results viewer's document: the line index of a raw answer, made at once or as it arrives.

#include "AnswerIntake.h"
#include "LineOffsets.h"
#include "TextDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

std::shared_ptr<const std::u16string> Text(const QString& AText) {
    return std::make_shared<const std::u16string>(AText.toStdU16String());
}

TEST(TextDocument, RawLinesBreakAtCrLfLfAndCr) {
    const auto document = TTextDocument::MakeRaw(Text(QStringLiteral("ab\r\nc\nd\re\r\n")));
    ASSERT_EQ(document->LineCount(), 5);
    std::u16string buffer;
    const std::u16string lines[] = {u"ab", u"c", u"d", u"e", u""};
    for (int64_t i = 0; i < 5; ++i)
        EXPECT_EQ(document->Line(i, buffer), lines[i]) << i;
    EXPECT_EQ(document->LineAt(3), 0); // inside the CR LF
    EXPECT_EQ(document->LineAt(4), 1);
    EXPECT_EQ(document->Text(0, document->Length()), QStringLiteral("ab\nc\nd\ne\n"));
    EXPECT_EQ(document->Text(1, 5), QStringLiteral("b\nc"));
}

// Line offsets are kept in four bytes each as distances within a block; a block whose distances
// pass four bytes keeps them whole, and lookups read the same either way.
TEST(TextDocument, LineOffsetsKeepFarOffsetsExactly) {
    std::vector<int64_t> offsets;
    int64_t at = 0;
    for (int i = 0; i < 200000; ++i) {
        offsets.push_back(at);
        // Past four bytes within the second block, near ones around it.
        at += (i == 70000 || i == 150000) ? (int64_t(1) << 33) : 1 + i % 7;
    }
    TLineOffsets kept;
    for (const int64_t offset : offsets)
        kept.push_back(offset);
    ASSERT_EQ(kept.size(), offsets.size());
    for (std::size_t i = 0; i < offsets.size(); i += 997)
        EXPECT_EQ(kept[i], offsets[i]) << i;
    EXPECT_EQ(kept.back(), offsets.back());
    for (const int64_t probe :
         {int64_t(-1), int64_t(0), int64_t(5), offsets[65535], offsets[65536], offsets[70000] + 1,
          offsets[70001] - 1, offsets[70001], offsets[150001] - 7, at + (int64_t(1) << 40)})
        EXPECT_EQ(kept.UpperBound(probe),
                  static_cast<std::size_t>(std::upper_bound(offsets.begin(), offsets.end(), probe) -
                                           offsets.begin()))
            << probe;
}

// An answer indexed as it arrives, in every split into two pieces and in pieces of one unit,
// has the lines, the ASCII marks and the length of the one indexed whole, whatever falls at the
// split: a CR LF, a lone CR at the end, a pair of surrogates, a tab.
TEST(TextDocument, IndexedAsItArrivesEqualsIndexedWhole) {
    const std::u16string texts[] = {
        u"ab\r\nc\nd\re\r\n",           u"a\r",          u"\r\r\n\n\r", u"",
        u"x\t\u00e9\r\ny\U0001F600\rz", u"only one line"};
    const auto same = [](const TTextDocument& AWhole, const TTextDocument& AParts) {
        ASSERT_EQ(AParts.LineCount(), AWhole.LineCount());
        EXPECT_EQ(AParts.Length(), AWhole.Length());
        for (int64_t line = 0; line < AWhole.LineCount(); ++line) {
            EXPECT_EQ(AParts.LineStart(line), AWhole.LineStart(line)) << line;
            EXPECT_EQ(AParts.LineLength(line), AWhole.LineLength(line)) << line;
            EXPECT_EQ(AParts.AsciiLine(line), AWhole.AsciiLine(line)) << line;
        }
    };
    for (const std::u16string& text : texts) {
        SCOPED_TRACE(QString::fromStdU16String(text).toStdString());
        const auto whole = TTextDocument::MakeRaw(std::make_shared<const std::u16string>(text));
        for (std::size_t split = 0; split <= text.size(); ++split) {
            TAnswerIntake intake;
            intake.Start({}, -1);
            intake.Append(std::u16string_view(text).substr(0, split), 1);
            intake.Append(std::u16string_view(text).substr(split), 2);
            EXPECT_EQ(intake.Bytes(), 2);
            const auto parts = intake.TakeDocument();
            EXPECT_EQ(*parts->Source(), text);
            same(*whole, *parts);
        }
        TAnswerIntake intake;
        intake.Start({"HTTP/1.1 200 OK", "text/plain", "", true}, 4);
        for (std::size_t i = 0; i < text.size(); ++i)
            intake.Append(std::u16string_view(text).substr(i, 1), int64_t(i));
        EXPECT_EQ(intake.First(3), text.substr(0, 3));
        EXPECT_EQ(intake.Head().StatusLine, "HTTP/1.1 200 OK");
        same(*whole, *intake.TakeDocument());
    }
}

} // namespace
