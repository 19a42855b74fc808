#pragma once

#include "LineWrap.h"
#include "TextDocument.h"

#include <QFuture>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class QFont;

// The rows of a document wrapped for a width, the top row of a page of them, and the cursor and
// selection anchor with the moves of the keys: what a view of the document keeps apart from its
// drawing. Rows are counted from one pass over the lines (see WrapDocument); only lines that do
// not fit at sight are looked at, and the row starts of a line are made when it is reached.
// A large text is wrapped for a new width by a background pass (Layout hands its future out, the
// owner hands the result back to TakePass): until then, the lines around what is reached are
// wrapped at once and every other line counts the rows it had before (one for a new text). One
// bit per line says which lines are wrapped for the current width; lines whose rows differ from
// those counted are kept aside as overrides, each with the rows it and those before it added.
// Offsets are those of the shown text (see TTextDocument). One thread.
class TTextRows {
public:
    // Columns [From, To) of Line shown in one row.
    struct TRow {
        int64_t Line;
        int64_t From;
        int64_t To;
    };
    struct TWrapPass {
        std::shared_ptr<const TTextDocument> Document;
        TWrapLayout Layout;
    };
    using TPassFuture = QFuture<std::shared_ptr<TWrapPass>>;

    enum class TMove {
        Left,
        Right,
        Up,
        Down,
        PageUp,
        PageDown,
        RowStart,
        RowEnd,
        TextStart,
        TextEnd,
    };

    explicit TTextRows(const QFont& AFont);
    ~TTextRows();
    TTextRows(const TTextRows&) = delete;
    TTextRows& operator=(const TTextRows&) = delete;

    // Called whenever the row count, the top row or the page changes (a scroll bar follows).
    void SetRowsChanged(std::function<void()> ARowsChanged) {
        FRowsChanged = std::move(ARowsChanged);
    }

    // ADocument from its top with nothing selected, each line one row until the next Layout.
    void SetDocument(std::shared_ptr<const TTextDocument> ADocument);
    const std::shared_ptr<const TTextDocument>& Document() const { return FDoc; }
    // Rows are measured in AFont from the next Layout on.
    void SetFont(const QFont& AFont);
    // Wraps for AWidth pixels or AColumns columns (ASCII lines), APageRows rows on a page. A large
    // text is wrapped by a pass on the background pool: its future, for TakePass.
    std::optional<TPassFuture> Layout(qreal AWidth, int AColumns, int64_t APageRows);
    // Takes the rows of a pass that landed, keeping the top row's text on top; false (nothing
    // taken) for a pass of an older text or width, or one stopped.
    bool TakePass(const std::shared_ptr<TWrapPass>& APass);
    // Whether a pass is still to land for the current width.
    bool Wrapping() const { return FWrapPending; }

    int64_t RowCount() const { return FTotalRows; }
    int64_t PageRows() const { return FPageRows; }
    int64_t TopRow() const { return FTop; }
    // The last row that can be on top: the last page ends with the last row.
    int64_t MaxTopRow() const;
    void SetTopRow(int64_t ARow);
    // The offset of the top row's first character.
    int64_t TopOffset();
    // Puts the row of AOffset on top, with a page above and two below wrapped for the width, so
    // that paging stays exact during a pass.
    void ShowOnTop(int64_t AOffset);
    // Wraps every line of the page from the top row, before it is drawn.
    void WrapPage();
    // The row showing AOffset.
    int64_t RowOf(int64_t AOffset);
    // The row ARow (past the end, the last row).
    TRow RowAt(int64_t ARow);

    int64_t Anchor() const { return FAnchorPos; }
    int64_t Cursor() const { return FCursorPos; }
    int64_t SelectionStart() const { return std::min(FAnchorPos, FCursorPos); }
    int64_t SelectionEnd() const { return std::max(FAnchorPos, FCursorPos); }
    // Selects from AAnchor to ACursor, each kept within its line, and brings the cursor on page.
    void SetSelection(int64_t AAnchor, int64_t ACursor);
    void SelectAll();
    // A click: the cursor to AOffset, the anchor too unless AExtend.
    void MoveTo(int64_t AOffset, bool AExtend);
    // A drag: the cursor to AOffset, the anchor stays; the column kept by up and down stays too.
    void DragTo(int64_t AOffset);
    // The word (letters, digits, '_') around AOffset, selected.
    void SelectWordAt(int64_t AOffset);
    // A key's move; AExtend (Shift) keeps the anchor.
    void Move(TMove AMove, bool AExtend);

private:
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

    void TakeLayout(TWrapLayout&& ALayout);
    void StopWrapping();
    void RowsChanged();
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
    const TWrappedLine* WrappedLine(int64_t ALine) const;
    const std::vector<int64_t>& RowStarts(int64_t ALine);
    // Up and down by ARows rows, keeping the column the cursor had in its row.
    void MoveRows(int64_t ARows, bool AExtend);
    void MoveCursor(int64_t AOffset, bool AExtend);
    void EnsureVisible(int64_t AOffset);
    int64_t ClampToLine(int64_t AOffset) const;

    std::shared_ptr<const TTextDocument> FDoc;
    std::function<void()> FRowsChanged;
    std::vector<TWrappedLine> FWrapped;
    int64_t FBaseTotalRows = 0; // by FWrapped alone
    // Lines counted anew during a pass, by line: a few, so that counting one is cheap.
    std::vector<TOverride> FOverrides;
    int64_t FTotalRows = 0;
    int64_t FTop = 0;
    int64_t FPageRows = 1;
    int FLaidOutColumns = 0;
    qreal FLaidOutWidth = 0;
    std::unique_ptr<TLineWrapper> FWrapper;
    // While a pass runs: one bit per line wrapped for the current width.
    std::vector<uint64_t> FExactLines;
    bool FWrapPending = false;
    std::shared_ptr<std::atomic<bool>> FWrapCancel;
    std::unordered_map<int64_t, std::vector<int64_t>> FRowStartCache;
    int64_t FAnchorPos = 0;
    int64_t FCursorPos = 0;
    int64_t FWantedColumn = -1; // kept while moving up and down
};
