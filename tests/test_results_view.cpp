// The results view in its window on the offscreen platform: selection by keys and mouse, copy and
// accessibility, wrapping by drawn widths, a 50 MB answer on one line, and wrapping for a new
// width in the background.

#include "BackgroundPool.h"
#include "LineWrap.h"
#include "ResultsFixture.h"
#include "ResultsView.h"
#include "TextDocument.h"

#include <QAccessible>
#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QSemaphore>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace {

TEST_F(ResultsTest, SelectionByKeysAndMouseCopiesAndIsAccessible) {
    SetAnswer(QStringLiteral("first line\r\nsecond"), "text/plain");
    TResultsView* view = FForm.ResultsMemo;
    view->setFocus();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->CursorRect(6).center());
    EXPECT_EQ(view->Cursor(), 6);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), QStringLiteral("line\nsecond"));
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("line\nsecond"));
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Selected(), QStringLiteral("first line\nsecond"));

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(accessible, nullptr);
    QAccessibleTextInterface* text = accessible->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(accessible->state().readOnly);
    // A reader gets the text Copy gives, each line break one line feed.
    EXPECT_EQ(text->characterCount(), 17);
    EXPECT_EQ(text->text(0, 17), Selected());
    EXPECT_EQ(text->text(6, 13), QStringLiteral("line\nse"));
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(0, 17));
    text->setSelection(0, 11, 17);
    EXPECT_EQ(Selected(), QStringLiteral("second"));
    EXPECT_EQ(text->cursorPosition(), 17);

    // Every kind of line break, and offsets that differ more with each CR LF.
    SetAnswer(QStringLiteral("a\r\nbb\rccc\nd\r\n\r\ne"), "text/plain");
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    const QString copied = QStringLiteral("a\nbb\nccc\nd\n\ne");
    ASSERT_EQ(QGuiApplication::clipboard()->text(), copied);
    accessible = QAccessible::queryAccessibleInterface(view);
    text = accessible->textInterface();
    ASSERT_EQ(text->characterCount(), copied.size());
    for (int from = 0; from <= copied.size(); ++from)
        for (int to = from; to <= copied.size(); ++to)
            EXPECT_EQ(text->text(from, to), copied.mid(from, to - from)) << from << " " << to;
    text->setSelection(0, 2, 10);
    EXPECT_EQ(Selected(), QStringLiteral("bb\nccc\nd"));
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(2, 10));
}

// Lines are wrapped by the widths their characters are drawn with: each row fits the view, the
// next character would not have fitted, and no character is split between rows.
TEST_F(ResultsTest, WrapsByTheWidthsCharactersAreDrawnWith) {
    QString wide;
    QString marks;
    QString tabs;
    while (wide.size() < 600)
        wide += QStringLiteral("\u4e2d\U0001F600\u2460\u2a0cx");
    while (marks.size() < 600)
        marks += QStringLiteral("e\u0301\u0323\U0001D11E\U0001F44D\U0001F3FDa\u200d\u00e9");
    while (tabs.size() < 300)
        tabs += QStringLiteral("ab\tcd \u00e9\t");
    const QString ascii = QString(40, u'x') + QStringLiteral(" ") + QString(400, u'y');
    SetAnswer(QStringList{wide, marks, tabs, ascii}.join(u'\n'), "text/plain");
    TResultsView* view = FForm.ResultsMemo;
    const TTextDocument& document = *view->Document();
    const qreal width = view->TextWidth();
    // The width of a row as the view draws it.
    const auto drawn = [&](const QString& AText) {
        QTextLayout layout(AText, view->font());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e9);
        layout.endLayout();
        return line.cursorToX(static_cast<int>(AText.size()));
    };
    for (int64_t line = 0; line < document.LineCount(); ++line) {
        std::u16string buffer;
        const QString text = QString::fromStdU16String(std::u16string(document.Line(line, buffer)));
        const int64_t start = document.LineStart(line);
        std::vector<qsizetype> rows{0};
        for (qsizetype i = 1; i < text.size(); ++i)
            if (view->RowOf(start + i) != view->RowOf(start + i - 1))
                rows.push_back(i);
        EXPECT_GT(rows.size(), 2u) << line;
        rows.push_back(text.size());
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
        for (std::size_t row = 0; row + 1 < rows.size(); ++row) {
            const qsizetype from = rows[row];
            const qsizetype to = rows[row + 1];
            characters.setPosition(from);
            EXPECT_TRUE(characters.isAtBoundary()) << "line " << line << " row " << row;
            // A blank at the edge hangs past it.
            qsizetype end = to;
            while (end > from && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
                --end;
            EXPECT_LE(drawn(text.mid(from, end - from)), width + 0.01)
                << "line " << line << " row " << row;
            // A row of a line without blanks takes every character that fits.
            if (line < 2 && row + 2 < rows.size()) {
                characters.setPosition(to);
                const qsizetype after = characters.toNextBoundary();
                EXPECT_GT(drawn(text.mid(from, after - from)), width) << "line " << line;
            }
        }
    }
    // An ASCII line breaks after the blank, by columns as before.
    const int64_t asciiStart = document.LineStart(3);
    EXPECT_NE(view->RowOf(asciiStart + 40), view->RowOf(asciiStart + 41));
}

TEST_F(ResultsTest, FiftyMegabytesOnOneLine) {
    QString line;
    line.reserve(50 * 1024 * 1024 + 32);
    while (line.size() < 50 * 1024 * 1024)
        line += QStringLiteral("{\"Player\":\"p\",\"Note\":\"a b c\"},");
    line += QStringLiteral("END");
    SetAnswer(line, "text/plain");
    TResultsView* view = FForm.ResultsMemo;
    ASSERT_EQ(view->Document()->LineCount(), 1);
    // Wrapped to the width: many rows, no horizontal scrolling.
    EXPECT_GT(view->RowCount(), line.size() / 200);
    EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    view->setFocus();
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->Cursor(), line.size());
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), QStringLiteral("END"));
    QTest::keyClick(FForm.ResultsMemo, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(FForm.FindBar->FindEdit, QStringLiteral("player"));
    WaitIdle();
    const QString expected = QLocale().toString(qulonglong(line.size() / 30));
    EXPECT_EQ(Count(), QStringLiteral("1 of ") + expected);
}

// Keeps every thread of the background pool busy while it lives, so that work queued there
// waits: what the window does while a pass is still to come is then certain.
class TPoolHold {
public:
    TPoolHold() : FCount(BackgroundPool().maxThreadCount()) {
        for (int i = 0; i < FCount; ++i)
            BackgroundPool().start([this] {
                FStarted.release();
                FGo.acquire();
            });
        EXPECT_TRUE(FStarted.tryAcquire(FCount, 30000));
    }
    ~TPoolHold() { Release(); }
    TPoolHold(const TPoolHold&) = delete;
    TPoolHold& operator=(const TPoolHold&) = delete;
    void Release() {
        if (!FReleased)
            FGo.release(FCount);
        FReleased = true;
    }

private:
    const int FCount;
    bool FReleased = false;
    QSemaphore FStarted;
    QSemaphore FGo;
};

// Log lines of wide characters and marks, wrapped by drawn widths, more than is wrapped at once.
QString WideLog() {
    QString text;
    for (int line = 0; line < 4000; ++line) {
        text += QStringLiteral("%1 ").arg(line, 5, 10, QLatin1Char('0'));
        for (int word = 0; word < 3 + line % 11; ++word)
            text += QStringLiteral("\u738b\u5c0f\u660e Nguye\u0302\u0303n w%1 ").arg(word);
        text += u'\n';
    }
    return text;
}

// The rows of every line as a wrap for the view's present width, made here and at once, gives
// them: the starts of each row as offsets of the text, and the first row of each line.
struct TReferenceRows {
    std::vector<std::vector<int64_t>> Starts; // by line
    std::vector<int64_t> FirstRow;            // by line
    int64_t Total = 0;

    explicit TReferenceRows(const TResultsView& AView) {
        const TTextDocument& document = *AView.Document();
        TLineWrapper wrapper(AView.font());
        const qreal column = QFontMetricsF(AView.font()).horizontalAdvance(u'0');
        wrapper.SetWidth(AView.TextWidth(),
                         std::max(1, static_cast<int>(AView.TextWidth() / std::max(1.0, column))));
        std::u16string buffer;
        std::vector<int64_t> rows;
        for (int64_t line = 0; line < document.LineCount(); ++line) {
            wrapper.Wrap(document, line, document.Line(line, buffer), rows);
            for (int64_t& start : rows)
                start += document.LineStart(line);
            FirstRow.push_back(Total);
            Total += static_cast<int64_t>(rows.size());
            Starts.push_back(rows);
        }
    }
    // The start of the row AAfter rows below (above, when negative) the first row of ALine.
    int64_t RowStart(int64_t ALine, int64_t AAfter) const {
        const int64_t row = FirstRow[static_cast<std::size_t>(ALine)] + AAfter;
        const auto line = static_cast<std::size_t>(
            std::upper_bound(FirstRow.begin(), FirstRow.end(), row) - FirstRow.begin() - 1);
        return Starts[line][static_cast<std::size_t>(row - FirstRow[line])];
    }
};

class ResultsRewrapTest : public ResultsTest {
protected:
    TResultsView& View() { return *FForm.ResultsMemo; }
    const TTextDocument& Document() { return *View().Document(); }
    QScrollBar& Bar() { return *View().verticalScrollBar(); }

    void Resize(int ADelta) {
        const int before = View().viewport()->width();
        FForm.resize(FForm.width() + ADelta, FForm.height());
        EXPECT_TRUE(QTest::qWaitFor([&] { return View().viewport()->width() != before; }, 10000));
    }
    // The text offset at the start of the ARow-th row on screen.
    int64_t ShownRowStart(int ARow) {
        const int height = QFontMetrics(View().font()).lineSpacing();
        return View().OffsetAt(QPoint(4, 2 + ARow * height + height / 2));
    }
    // The rows on screen, painted, are the reference's from row AAfter below the start of ALine.
    void ExpectShownRows(const TReferenceRows& AReference, int64_t ALine, int64_t AAfter) {
        View().viewport()->repaint();
        for (int row = 0; row < Bar().pageStep(); ++row)
            EXPECT_EQ(ShownRowStart(row), AReference.RowStart(ALine, AAfter + row)) << row;
    }
    // The rows of every line are those of the reference, the scroll range theirs.
    void ExpectAllRows(const TReferenceRows& AReference) {
        ASSERT_EQ(View().RowCount(), AReference.Total);
        for (std::size_t line = 0; line < AReference.Starts.size(); ++line)
            for (std::size_t row = 0; row < AReference.Starts[line].size(); ++row)
                ASSERT_EQ(View().RowOf(AReference.Starts[line][row]),
                          AReference.FirstRow[line] + static_cast<int64_t>(row))
                    << "line " << line << " row " << row;
        EXPECT_EQ(Bar().maximum(), AReference.Total - Bar().pageStep());
    }
    void WaitWrapped() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !View().Wrapping(); }, 60000));
    }
};

// While the pass for a new width is still to come, the rows shown, the top line, paging,
// jumps, selection and copy are those of the new width; once it lands, every row is.
TEST_F(ResultsRewrapTest, ResizeKeepsRowsAndTopLineWhileThePassRuns) {
    const QString text = WideLog();
    SetAnswer(text, "text/plain");
    constexpr int64_t TopLine = 2000;
    Bar().setValue(static_cast<int>(View().RowOf(Document().LineStart(TopLine))));
    ASSERT_EQ(ShownRowStart(0), Document().LineStart(TopLine));
    {
        TPoolHold hold;
        Resize(-170);
        ASSERT_TRUE(View().Wrapping());
        const TReferenceRows reference(View());
        EXPECT_EQ(ShownRowStart(0), Document().LineStart(TopLine));
        ExpectShownRows(reference, TopLine, 0);
        // Scrolled by the bar and by keys, a page at a time.
        Bar().triggerAction(QAbstractSlider::SliderPageStepAdd);
        ExpectShownRows(reference, TopLine, Bar().pageStep());
        View().setFocus();
        View().SetSelection(ShownRowStart(0), ShownRowStart(0));
        QTest::keyClick(&View(), Qt::Key_PageDown);
        EXPECT_EQ(View().Cursor(), reference.RowStart(TopLine, 2 * Bar().pageStep()));
        QTest::keyClick(&View(), Qt::Key_PageUp);
        QTest::keyClick(&View(), Qt::Key_PageUp);
        EXPECT_EQ(View().Cursor(), reference.RowStart(TopLine, 0));
        ExpectShownRows(reference, TopLine, 0);
        // Above the top line, through lines not wrapped yet.
        QTest::keyClick(&View(), Qt::Key_PageUp);
        QTest::keyClick(&View(), Qt::Key_PageUp);
        EXPECT_EQ(View().Cursor(), reference.RowStart(TopLine, -2 * Bar().pageStep()));
        ExpectShownRows(reference, TopLine, -2 * Bar().pageStep());
        // Selection, copy and marks are by offset: the wrap does not touch them.
        const int64_t from = Document().LineStart(TopLine) + 6;
        const int64_t to = Document().LineStart(TopLine + 2) + 5;
        View().SetSelection(from, to);
        View().SetMatches({from, to}, 3);
        View().Copy();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), text.mid(from, to - from));
        View().viewport()->repaint();
        // To the end and back: the last row shows the end, the first the start.
        QTest::keyClick(&View(), Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(View().Cursor(), Document().Length());
        EXPECT_EQ(Bar().value(), Bar().maximum());
        EXPECT_TRUE(View().CursorRect(Document().Length()).isValid());
        View().viewport()->repaint();
        QTest::keyClick(&View(), Qt::Key_Home, Qt::ControlModifier);
        ExpectShownRows(reference, 0, 0);
        Bar().setValue(static_cast<int>(View().RowOf(Document().LineStart(TopLine))));
        ExpectShownRows(reference, TopLine, 0);
        EXPECT_TRUE(View().Wrapping());
    }
    WaitWrapped();
    // The same rows as a wrap made at once, and the top line still on top.
    EXPECT_EQ(ShownRowStart(0), Document().LineStart(TopLine));
    ExpectAllRows(TReferenceRows(View()));
}

// A second resize while the first pass is still to come ends with the second width's rows.
TEST_F(ResultsRewrapTest, SecondResizeDuringAPassWins) {
    SetAnswer(WideLog(), "text/plain");
    {
        TPoolHold hold;
        Resize(-150);
        View().viewport()->repaint();
        Resize(260);
        EXPECT_TRUE(View().Wrapping());
        ExpectShownRows(TReferenceRows(View()), 0, 0);
    }
    WaitWrapped();
    const TReferenceRows reference(View());
    ExpectAllRows(reference);
    ExpectShownRows(reference, 0, 0);
}

// A window closed while its pass is still to come goes at once; the pass then ends harmlessly.
TEST(ResultsWindow, ClosingDuringARewrapIsSafe) {
    auto form = std::make_unique<TResultsForm>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->SetResultsText(WideLog());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Busy(); }, 60000));
    TPoolHold hold;
    const int before = form->ResultsMemo->viewport()->width();
    form->resize(form->width() - 120, form->height());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->ResultsMemo->viewport()->width() != before; }, 10000));
    EXPECT_TRUE(form->ResultsMemo->Wrapping());
    form->close();
    form.reset();
    hold.Release();
    EXPECT_TRUE(BackgroundPool().waitForDone(60000));
}

} // namespace
