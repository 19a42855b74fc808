#pragma once

#include "TextRows.h"

#include <QAbstractScrollArea>
#include <QFutureWatcher>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QPainter;
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
// The rows, the top row, the cursor and its moves are a TTextRows's; the view draws them and maps
// keys, the mouse and the scroll bar to them.
class TResultsView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TResultsView(QWidget* AParent = nullptr);
    ~TResultsView() override;

    // Shows ADocument from its top with nothing selected; null shows nothing.
    void SetDocument(std::shared_ptr<const TTextDocument> ADocument);
    const std::shared_ptr<const TTextDocument>& Document() const { return FRows.Document(); }
    bool isReadOnly() const { return true; }

    // The whole shown text, line breaks as LF.
    QString toPlainText() const;

    // Offsets in the shown text (see TTextDocument).
    int64_t Anchor() const { return FRows.Anchor(); }
    int64_t Cursor() const { return FRows.Cursor(); }
    int64_t SelectionStart() const { return FRows.SelectionStart(); }
    int64_t SelectionEnd() const { return FRows.SelectionEnd(); }
    // Selects from AAnchor to ACursor and scrolls the cursor into view.
    void SetSelection(int64_t AAnchor, int64_t ACursor);
    QString SelectedText() const;
    void SelectAll();
    // Puts the selection on the clipboard; a selection longer than MaxCopyLength characters, or
    // one there is no memory to make, is not copied and CopyRefused says why.
    void Copy();
    static constexpr int64_t DefaultMaxCopyLength = int64_t(256) << 20;
    int64_t MaxCopyLength = DefaultMaxCopyLength;

    // Marks every match of a search: offsets in order, each ALength long.
    void SetMatches(std::vector<int64_t> AMatches, int64_t ALength);
    const std::vector<int64_t>& Matches() const { return FMatchStarts; }

    int64_t RowCount() const { return FRows.RowCount(); }
    // Whether a background pass is still wrapping the text for the current width.
    bool Wrapping() const { return FRows.Wrapping(); }
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
    void CopyRefused(const QString& AReason);
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
    // The rows for the view's present width and font; the rows and the top row follow.
    void Relayout();
    // The scroll bar shows the rows' count, page and top row.
    void UpdateScrollBar();
    int Columns() const;
    void WrapLanded();
    int RowHeight() const;
    int VisibleRows() const;
    void LayoutRow(const TTextRows::TRow& ARow, QTextLayout& ALayout, bool AFormats);
    void PaintDepthMark(QPainter& APainter, const TTextDocument& ADocument, int64_t ALine,
                        const QTextLayout& ALayout, int ATop) const;
    void SelectionMoved();

    // Row bookkeeping, cursor and selection; the scroll bar follows its top row.
    TTextRows FRows;
    bool FUpdatingScrollBar = false;
    QFutureWatcher<std::shared_ptr<TTextRows::TWrapPass>> FWrapWatcher;
    std::u16string FLineBuffer;
    std::vector<int64_t> FMatchStarts;
    int64_t FMatchLength = 0;
};
