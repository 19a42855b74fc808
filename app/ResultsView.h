#pragma once

#include "TextDocument.h"

#include <QAbstractScrollArea>

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
    // A line that takes more than one row, with the rows of the wrapped lines before it.
    struct TWrapped {
        int64_t Line;
        int64_t ExtraBefore;
        int64_t Rows;
    };
    struct TRow {
        int64_t Line;
        int64_t From; // columns of the line shown in the row
        int64_t To;
    };

    void Relayout();
    void UpdateScrollBar();
    int Columns() const;
    void MeasureFont();
    // The rows of ALine: their starts, the first 0.
    void WrapLine(int64_t ALine, std::u16string_view AText, std::vector<int64_t>& AStarts);
    void WrapByWidth(std::u16string_view ALine, std::vector<int64_t>& AStarts);
    // The width of the character [AFrom, ATo) of ALine as drawn at AX from the row's start.
    qreal Advance(std::u16string_view ALine, std::size_t AFrom, std::size_t ATo, qreal AX);
    const TWrapped* WrappedLine(int64_t ALine) const;
    int RowHeight() const;
    int VisibleRows() const;
    int64_t FirstRowOfLine(int64_t ALine) const;
    TRow RowAt(int64_t ARow);
    const std::vector<int64_t>& RowStarts(int64_t ALine);
    void LayoutRow(const TRow& ARow, QTextLayout& ALayout, bool AFormats);
    void MoveCursor(int64_t AOffset, bool AExtend);
    void EnsureVisible(int64_t AOffset);
    int64_t ClampToLine(int64_t AOffset) const;
    void SelectionMoved();

    std::shared_ptr<const TTextDocument> FDoc;
    std::vector<TWrapped> FWrapped;
    int64_t FTotalRows = 0;
    int FLaidOutColumns = 0;
    qreal FLaidOutWidth = 0;
    // Widths of characters as drawn in the view's font, measured once each.
    std::vector<float> FBmpAdvances; // by code unit; negative: not measured yet
    std::unordered_map<char32_t, qreal> FAstralAdvances;
    std::unordered_map<std::u16string, qreal> FOtherAdvances; // of more than one code point
    bool FAsciiOneColumn = true; // every printable ASCII character as wide as '0'
    qreal FColumn = 1;           // the width of '0'
    qreal FTabStop = 80;
    std::unordered_map<int64_t, std::vector<int64_t>> FRowStartCache;
    std::u16string FLineBuffer;
    int64_t FAnchorPos = 0;
    int64_t FCursorPos = 0;
    int64_t FWantedColumn = -1; // kept while moving up and down
    std::vector<int64_t> FMatchStarts;
    int64_t FMatchLength = 0;
};
