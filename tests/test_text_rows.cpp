// The rows and cursor moves of the results view, without a widget: a small text wrapped at eight
// columns, the moves of the keys from chosen places, the top row, an empty text, and a large text
// while its background pass is still to land.

#include "TextRows.h"

#include <QFontDatabase>
#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using TMove = TTextRows::TMove;

std::shared_ptr<const TTextDocument> Raw(const std::u16string& AText) {
    return TTextDocument::MakeRaw(std::make_shared<const std::u16string>(AText));
}

QFont FixedFont() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

qreal ColumnWidth() {
    return QFontMetricsF(FixedFont()).horizontalAdvance(u'0');
}

// Eight columns, three rows a page. Lines start at 0, 19, 21 and 22; the text is 45 long.
// Rows: 0 "one two " 1 "three " 2 "four" | 3 "x" | 4 "" | 5 "abcdefgh" 6 "ijklmnop" 7 "qrstuvw".
class TextRowsTest : public ::testing::Test {
protected:
    TextRowsTest() : FRows(FixedFont()) {
        FRows.SetDocument(Raw(u"one two three four\nx\n\nabcdefghijklmnopqrstuvw"));
        EXPECT_FALSE(FRows.Layout(8 * ColumnWidth(), 8, 3).has_value());
    }

    TTextRows FRows;
};

TEST_F(TextRowsTest, RowsOfWrappedAndShortLines) {
    // ASCII lines wrap by columns only where every ASCII character is one column wide.
    ASSERT_TRUE(TLineWrapper(FixedFont()).AsciiOneColumn());
    ASSERT_EQ(FRows.Document()->Length(), 45);
    EXPECT_EQ(FRows.RowCount(), 8);
    EXPECT_EQ(FRows.MaxTopRow(), 5);
    const TTextRows::TRow rows[] = {
        {0, 0, 8}, {0, 8, 14}, {0, 14, 18}, {1, 0, 1},  {2, 0, 0},
        {3, 0, 8}, {3, 8, 16}, {3, 16, 23}, {3, 16, 23}}; // past the end: the last row
    for (int64_t row = 0; row < 9; ++row) {
        const TTextRows::TRow& want = rows[row];
        const TTextRows::TRow got = FRows.RowAt(row);
        EXPECT_EQ(std::make_tuple(got.Line, got.From, got.To),
                  std::make_tuple(want.Line, want.From, want.To))
            << "row " << row;
    }
    // An offset at a wrap is on the row that starts there; the end of a line on its last row.
    const std::pair<int64_t, int64_t> offsets[] = {{0, 0},  {7, 0},  {8, 1},  {13, 1}, {14, 2},
                                                   {18, 2}, {19, 3}, {20, 3}, {21, 4}, {22, 5},
                                                   {29, 5}, {30, 6}, {38, 7}, {45, 7}};
    for (const auto& [offset, row] : offsets)
        EXPECT_EQ(FRows.RowOf(offset), row) << "offset " << offset;
}

TEST_F(TextRowsTest, KeyMovesFromChosenPlaces) {
    struct Case {
        int64_t Anchor, Cursor;
        TMove Move;
        bool Extend;
        int64_t WantAnchor, WantCursor;
    };
    const Case cases[] = {
        {0, 0, TMove::Right, false, 1, 1},
        {18, 18, TMove::Right, false, 19, 19}, // over the line break
        {45, 45, TMove::Right, false, 45, 45}, // the end of the text
        {19, 19, TMove::Left, false, 18, 18},
        {22, 22, TMove::Left, false, 21, 21}, // onto the empty line
        {0, 0, TMove::Left, false, 0, 0},
        {2, 10, TMove::Left, false, 2, 2},    // a selection collapses to its start
        {10, 2, TMove::Right, false, 10, 10}, // or to its end
        {3, 5, TMove::Right, true, 3, 6},
        {3, 3, TMove::Down, false, 11, 11},
        {6, 6, TMove::Down, false, 13, 13}, // stays on the wrapped row, before the next one
        {16, 16, TMove::Down, false, 20, 20},
        {20, 20, TMove::Down, false, 21, 21},
        {21, 21, TMove::Down, false, 22, 22},
        {40, 40, TMove::Down, false, 45, 45}, // down on the last row: to its end
        {3, 3, TMove::Down, true, 3, 11},
        {2, 2, TMove::Up, false, 0, 0}, // up on the first row: to its start
        {30, 30, TMove::Up, false, 22, 22},
        {22, 22, TMove::Up, false, 21, 21},
        {0, 0, TMove::PageDown, false, 19, 19},
        {11, 11, TMove::PageDown, false, 21, 21},
        {30, 30, TMove::PageDown, false, 38, 38}, // only a row left
        {45, 45, TMove::PageUp, false, 21, 21},
        {35, 35, TMove::PageUp, false, 20, 20},
        {12, 12, TMove::RowStart, false, 8, 8},
        {12, 12, TMove::RowEnd, false, 14, 14},
        {40, 40, TMove::RowStart, false, 38, 38},
        {40, 40, TMove::RowEnd, false, 45, 45},
        {30, 30, TMove::TextStart, true, 30, 0},
        {3, 3, TMove::TextEnd, false, 45, 45},
    };
    for (const Case& c : cases) {
        FRows.SetSelection(c.Anchor, c.Cursor);
        FRows.Move(c.Move, c.Extend);
        EXPECT_EQ(std::make_pair(FRows.Anchor(), FRows.Cursor()),
                  std::make_pair(c.WantAnchor, c.WantCursor))
            << "from " << c.Anchor << "-" << c.Cursor << " move " << static_cast<int>(c.Move)
            << (c.Extend ? " extending" : "");
    }
}

// Up and down keep the column the cursor had before the first of them; the top row follows the
// cursor by as little as shows it.
TEST_F(TextRowsTest, VerticalMovesKeepTheColumnAndTheCursorOnThePage) {
    std::vector<std::pair<int64_t, int64_t>> reported; // row count, top row
    FRows.SetRowsChanged([&] { reported.emplace_back(FRows.RowCount(), FRows.TopRow()); });
    const std::pair<TMove, std::pair<int64_t, int64_t>> steps[] = {
        {TMove::TextEnd, {45, 5}}, {TMove::Up, {37, 5}},   {TMove::PageUp, {20, 3}},
        {TMove::PageUp, {7, 0}},   {TMove::Down, {13, 0}}, {TMove::Left, {12, 0}},
        {TMove::Down, {18, 0}},    {TMove::Down, {20, 1}}, {TMove::Down, {21, 2}},
    };
    for (const auto& [move, want] : steps) {
        FRows.Move(move, false);
        EXPECT_EQ(std::make_pair(FRows.Cursor(), FRows.TopRow()), want)
            << "move " << static_cast<int>(move);
    }
    // Each change of the top row was reported as it happened.
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), std::make_pair(int64_t(8), int64_t(2)));

    FRows.SetTopRow(100);
    EXPECT_EQ(FRows.TopRow(), 5);
    FRows.SetTopRow(-3);
    EXPECT_EQ(FRows.TopRow(), 0);
    FRows.SetTopRow(1);
    EXPECT_EQ(FRows.TopOffset(), 8);
    FRows.ShowOnTop(19);
    EXPECT_EQ(FRows.TopRow(), 3);
    FRows.ShowOnTop(30); // the last page ends with the last row
    EXPECT_EQ(FRows.TopRow(), 5);
    EXPECT_EQ(reported.back(), std::make_pair(int64_t(8), int64_t(5)));
}

TEST_F(TextRowsTest, SelectsWordsClicksAndDrags) {
    FRows.SelectWordAt(10);
    EXPECT_EQ(std::make_pair(FRows.Anchor(), FRows.Cursor()),
              std::make_pair(int64_t(8), int64_t(13)));
    FRows.SelectWordAt(3); // after a word: that word
    EXPECT_EQ(std::make_pair(FRows.Anchor(), FRows.Cursor()),
              std::make_pair(int64_t(0), int64_t(3)));
    FRows.SelectAll();
    EXPECT_EQ(std::make_pair(FRows.SelectionStart(), FRows.SelectionEnd()),
              std::make_pair(int64_t(0), int64_t(45)));

    // A drag keeps the column of the moves before it; a click forgets it.
    FRows.MoveTo(6, false);
    FRows.Move(TMove::Down, false); // column 6 wanted, 5 taken
    FRows.DragTo(9);
    FRows.Move(TMove::Up, true);
    EXPECT_EQ(std::make_pair(FRows.Anchor(), FRows.Cursor()),
              std::make_pair(int64_t(13), int64_t(6)));
    FRows.MoveTo(9, false);
    FRows.Move(TMove::Up, false);
    EXPECT_EQ(FRows.Cursor(), 1);
    FRows.MoveTo(100, true); // within the text
    EXPECT_EQ(std::make_pair(FRows.Anchor(), FRows.Cursor()),
              std::make_pair(int64_t(1), int64_t(45)));
}

TEST(TextRows, EmptyTextAndNoText) {
    TTextRows rows(FixedFont());
    rows.Layout(8 * ColumnWidth(), 8, 3);
    EXPECT_EQ(rows.RowCount(), 0);
    rows.Move(TMove::Down, false);
    EXPECT_EQ(rows.RowOf(5), 0);
    EXPECT_EQ(rows.TopOffset(), 0);

    rows.SetDocument(Raw(u""));
    rows.Layout(8 * ColumnWidth(), 8, 3);
    EXPECT_EQ(rows.RowCount(), 1);
    for (const TMove move :
         {TMove::Left, TMove::Right, TMove::Up, TMove::Down, TMove::PageUp, TMove::PageDown,
          TMove::RowStart, TMove::RowEnd, TMove::TextStart, TMove::TextEnd}) {
        rows.Move(move, false);
        EXPECT_EQ(rows.Cursor(), 0) << static_cast<int>(move);
    }
    const TTextRows::TRow row = rows.RowAt(0);
    EXPECT_EQ(std::make_tuple(row.Line, row.From, row.To), std::make_tuple(0, 0, 0));
    rows.SelectWordAt(0);
    EXPECT_EQ(rows.SelectionEnd(), 0);
}

// The rows of every line wrapped at once with a wrapper of its own: first row of each line, and
// the offsets where rows start.
struct TReference {
    std::vector<int64_t> FirstRow; // by line
    std::vector<int64_t> Starts;   // by row
    TReference(const TTextDocument& ADocument, int AColumns) {
        TLineWrapper wrapper(FixedFont());
        wrapper.SetWidth(AColumns * ColumnWidth(), AColumns);
        std::u16string buffer;
        std::vector<int64_t> rows;
        for (int64_t line = 0; line < ADocument.LineCount(); ++line) {
            wrapper.Wrap(ADocument, line, ADocument.Line(line, buffer), rows);
            FirstRow.push_back(static_cast<int64_t>(Starts.size()));
            for (const int64_t start : rows)
                Starts.push_back(ADocument.LineStart(line) + start);
        }
    }
};

// A text too large to be wrapped at once: until its pass is taken, the rows reached are wrapped
// as they are, pages move by true rows and the top line stays; a pass for an older width is
// dropped, and the pass for the current one gives every row.
TEST(TextRows, LargeTextWhileItsPassIsToLand) {
    std::u16string text;
    for (int line = 0; line < 20000; ++line) {
        text += QStringLiteral("%1 ").arg(line, 5, 10, QLatin1Char('0')).toStdU16String();
        for (int word = 0; word < line % 9; ++word)
            text += u"word ";
        text += u'\n';
    }
    const auto document = Raw(text);
    constexpr int64_t Page = 10;
    TTextRows rows(FixedFont());
    rows.SetDocument(document);
    auto stale = rows.Layout(30 * ColumnWidth(), 30, Page);
    ASSERT_TRUE(stale.has_value());
    auto pass = rows.Layout(20 * ColumnWidth(), 20, Page);
    ASSERT_TRUE(pass.has_value());
    EXPECT_TRUE(rows.Wrapping());
    const TReference reference(*document, 20);

    constexpr int64_t TopLine = 5000;
    rows.ShowOnTop(document->LineStart(TopLine));
    EXPECT_EQ(rows.TopOffset(), document->LineStart(TopLine));
    const int64_t topRow = reference.FirstRow[TopLine];
    rows.SetSelection(document->LineStart(TopLine), document->LineStart(TopLine));
    const std::pair<TMove, int64_t> steps[] = {{TMove::PageDown, Page}, {TMove::PageDown, 2 * Page},
                                               {TMove::PageUp, Page},   {TMove::PageUp, 0},
                                               {TMove::PageUp, -Page},  {TMove::Up, -Page - 1},
                                               {TMove::Down, -Page}};
    for (const auto& [move, after] : steps) {
        rows.Move(move, false);
        EXPECT_EQ(rows.Cursor(), reference.Starts[static_cast<std::size_t>(topRow + after)])
            << static_cast<int>(move) << " " << after;
    }
    EXPECT_TRUE(rows.Wrapping());

    stale->waitForFinished();
    EXPECT_FALSE(rows.TakePass(stale->result()));
    EXPECT_TRUE(rows.Wrapping());
    const int64_t top = rows.TopOffset();
    pass->waitForFinished();
    ASSERT_TRUE(rows.TakePass(pass->result()));
    EXPECT_FALSE(rows.Wrapping());
    EXPECT_EQ(rows.TopOffset(), top);
    ASSERT_EQ(rows.RowCount(), static_cast<int64_t>(reference.Starts.size()));
    for (std::size_t row = 0; row < reference.Starts.size(); ++row)
        ASSERT_EQ(rows.RowOf(reference.Starts[row]), static_cast<int64_t>(row)) << row;
}

} // namespace
