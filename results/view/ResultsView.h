#pragma once

#include "LineWrap.h"
#include "TextDocument.h"

#include <QAbstractScrollArea>
#include <QFutureWatcher>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QTextLayout;

// A read-only view of a large text: lines wrapped at word boundaries to the view's width, in the
// system's fixed-pitch font. Only the rows on screen are laid out and painted; the row count of
// every line comes from one pass over the lines, in which only ASCII lines longer than the view's
// columns and lines with other characters are looked at. Those are measured by the widths the
// characters are drawn with (wide, zero-width, tabs), and a character is never split between
// rows. Selection by mouse and keyboard, select all and copy; matches of a search are
// marked where they are visible.
// A large text is wrapped for a new width on the background pool: until that pass lands, the
// lines around what is shown are wrapped at once, as the view reaches them, and every other line
// counts the rows it had before (one for a new text). The rows shown are always those of the
// new width; the row numbers, and so the scroll bar, are exact once the pass has landed.
class TResultsView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TResultsView(QWidget* AParent = nullptr);
    ~TResultsView() override;

    // Shows ADocument from its top with nothing selected; null shows nothing.
    void SetDocument(std::shared_ptr<const TTextDocument> ADocument);
    const std::shared_ptr<const TTextDocument>& Document() const { return FDoc; }
    bool isReadOnly() const { return true; }

    // The whole shown text, line breaks as LF.
    QString toPlainText() const;

    // Offsets in the shown text (see TTextDocument).
    int64_t Anchor() const { return FAnchorPos; }
    int64_t Cursor() const { return FCursorPos; }
    int64_t SelectionStart() const { return std::min(FAnchorPos, FCursorPos); }
    int64_t SelectionEnd() const { return std::max(FAnchorPos, FCursorPos); }
    // Selects from AAnchor to ACursor and scrolls the cursor into view.
    void SetSelection(int64_t AAnchor, int64_t ACursor);
    QString SelectedText() const;
    void SelectAll();
    void Copy() const;

    // Marks every match of a search: offsets in order, each ALength long.
    void SetMatches(std::vector<int64_t> AMatches, int64_t ALength);
    const std::vector<int64_t>& Matches() const { return FMatchStarts; }

    int64_t RowCount() const { return FTotalRows; }
    // Whether a background pass is still wrapping the text for the current width.
    bool Wrapping() const { return FWrapPending; }
    // The width rows are wrapped to, in pixels.
    qreal TextWidth() const;
    int64_t FirstVisibleRow() const;
    // The row showing AOffset.
    int64_t RowOf(int64_t AOffset);
    // The offset under a point of the viewport.
    int64_t OffsetAt(QPoint APoint);
    // Where AOffset is drawn in the viewport; invalid when not on screen.
    QRect CursorRect(int64_t AOffset);

signals:
    void SelectionChanged();
    // The background pass has landed: every row number is exact.
    void WrapDone();

protected:
    void paintEvent(QPaintEvent* AEvent) override;
    void resizeEvent(QResizeEvent* AEvent) override;
    void keyPressEvent(QKeyEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseMoveEvent(QMouseEvent* AEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
    void focusInEvent(QFocusEvent* AEvent) override;
    void focusOutEvent(QFocusEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;
    bool event(QEvent* AEvent) override;

private:
    using TWrapped = TWrappedLine;
    struct TPlace {
        int64_t Line;
        int64_t RowInLine;
    };
    // A line wrapped during a pass whose rows differ from those counted before; Delta: the rows
    // it and the ones before it added.
    struct TOverride {
        int64_t Line;
        int64_t Rows;
        int64_t Delta;
    };
    struct TWrapPass {
        std::shared_ptr<const TTextDocument> Document;
        TWrapLayout Layout;
    };
    struct TRow {
        int64_t Line;
        int64_t From; // columns of the line shown in the row
        int64_t To;
    };

    void Relayout();
    void UpdateScrollBar();
    int Columns() const;
    void TakeLayout(TWrapLayout&& ALayout);
    void WrapLanded();
    void StopWrapping();
    // Whether ALine is wrapped for the current width (always, but while a pass runs).
    bool Exact(int64_t ALine) const;
    // Wraps ALine for the current width, then the lines after it (ADirection 1) or before it
    // (-1) until they make ARows rows; the top row keeps its text.
    void WrapNow(int64_t ALine, int ADirection, int64_t ARows);
    // Where ARow falls by the rows counted now.
    TPlace Locate(int64_t ARow) const;
    int64_t RowsOfLine(int64_t ALine) const;
    int64_t FirstRowOfLine(int64_t ALine) const;
    // The same by the rows of the last layout taken, without the lines counted anew since.
    TPlace BaseLocate(int64_t ARow) const;
    int64_t BaseRows(int64_t ALine) const;
    int64_t BaseFirstRow(int64_t ALine) const;
    std::vector<TOverride>::const_iterator OverrideFrom(int64_t ALine) const;
    // The offset of the top row's first character.
    int64_t TopOffset();
    const TWrapped* WrappedLine(int64_t ALine) const;
    int RowHeight() const;
    int VisibleRows() const;
    TRow RowAt(int64_t ARow);
    const std::vector<int64_t>& RowStarts(int64_t ALine);
    void LayoutRow(const TRow& ARow, QTextLayout& ALayout, bool AFormats);
    void MoveCursor(int64_t AOffset, bool AExtend);
    void EnsureVisible(int64_t AOffset);
    int64_t ClampToLine(int64_t AOffset) const;
    void SelectionMoved();

    std::shared_ptr<const TTextDocument> FDoc;
    std::vector<TWrapped> FWrapped;
    int64_t FBaseTotalRows = 0; // by FWrapped alone
    // Lines counted anew during a pass, by line: a few, so that counting one is cheap.
    std::vector<TOverride> FOverrides;
    int64_t FTotalRows = 0;
    int FLaidOutColumns = 0;
    qreal FLaidOutWidth = 0;
    std::unique_ptr<TLineWrapper> FWrapper; // this thread's
    // While a pass runs: one bit per line wrapped for the current width.
    std::vector<uint64_t> FExactLines;
    bool FWrapPending = false;
    std::shared_ptr<std::atomic<bool>> FWrapCancel;
    QFutureWatcher<std::shared_ptr<TWrapPass>> FWrapWatcher;
    std::unordered_map<int64_t, std::vector<int64_t>> FRowStartCache;
    std::u16string FLineBuffer;
    int64_t FAnchorPos = 0;
    int64_t FCursorPos = 0;
    int64_t FWantedColumn = -1; // kept while moving up and down
    std::vector<int64_t> FMatchStarts;
    int64_t FMatchLength = 0;
};
