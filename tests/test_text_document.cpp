// The results viewer's document: the line index of a raw answer.

#include "TextDocument.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

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

} // namespace
