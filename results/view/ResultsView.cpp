#include "ResultsView.h"

#include "ResultsViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <new>

namespace {

constexpr int Margin = 4;

int ClampedInt(int64_t AValue) {
    return static_cast<int>(std::min<int64_t>(AValue, INT_MAX));
}

} // namespace

TResultsView::TResultsView(QWidget* AParent)
    : QAbstractScrollArea(AParent), FRows(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
    InstallResultsViewAccessibility();
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    FRows.SetFont(font());
    FRows.SetRowsChanged([this] { UpdateScrollBar(); });
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int AValue) {
        if (!FUpdatingScrollBar)
            FRows.SetTopRow(AValue);
    });
    connect(&FWrapWatcher, &QFutureWatcherBase::finished, this, &TResultsView::WrapLanded);
}

TResultsView::~TResultsView() {
    // The rows stop a pass still running; it ends on its own, early, and holds nothing of the
    // view. The scroll bar outlives the rows: it moves them no more.
    verticalScrollBar()->disconnect(this);
}

void TResultsView::SetDocument(std::shared_ptr<const TTextDocument> ADocument) {
    FRows.SetDocument(std::move(ADocument));
    FMatchStarts.clear();
    FMatchLength = 0;
    Relayout();
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    emit SelectionChanged();
}

QString TResultsView::toPlainText() const {
    const auto& document = Document();
    return document ? document->Text(0, document->Length()) : QString();
}

int TResultsView::Columns() const {
    const qreal width = QFontMetricsF(font()).horizontalAdvance(u'0');
    return std::max(1, static_cast<int>(TextWidth() / std::max(1.0, width)));
}

qreal TResultsView::TextWidth() const {
    return viewport()->width() - 2 * Margin;
}

int TResultsView::RowHeight() const {
    return std::max(1, QFontMetrics(font()).lineSpacing());
}

int TResultsView::VisibleRows() const {
    return std::max(1, (viewport()->height() - Margin) / RowHeight());
}

void TResultsView::Relayout() {
    if (auto pass = FRows.Layout(TextWidth(), Columns(), VisibleRows()))
        FWrapWatcher.setFuture(*pass);
}

void TResultsView::UpdateScrollBar() {
    // The bar's own clamping to an old range must not move the rows' top row.
    FUpdatingScrollBar = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, ClampedInt(FRows.MaxTopRow()));
    bar->setPageStep(VisibleRows());
    bar->setSingleStep(1);
    bar->setValue(ClampedInt(FRows.TopRow()));
    FUpdatingScrollBar = false;
}

void TResultsView::WrapLanded() {
    if (!FRows.TakePass(FWrapWatcher.result()))
        return;
    viewport()->update();
    emit WrapDone();
}

int64_t TResultsView::FirstVisibleRow() const {
    return FRows.TopRow();
}

int64_t TResultsView::RowOf(int64_t AOffset) {
    return FRows.RowOf(AOffset);
}

void TResultsView::LayoutRow(const TTextRows::TRow& ARow, QTextLayout& ALayout, bool AFormats) {
    const TTextDocument& document = *Document();
    const std::u16string_view line = document.Line(ARow.Line, FLineBuffer);
    const QString text(reinterpret_cast<const QChar*>(line.data() + ARow.From),
                       static_cast<qsizetype>(ARow.To - ARow.From));
    ALayout.setText(text);
    ALayout.setFont(font());
    if (AFormats) {
        QList<QTextLayout::FormatRange> formats;
        const int64_t rowStart = document.LineStart(ARow.Line) + ARow.From;
        const int64_t rowEnd = rowStart + (ARow.To - ARow.From);
        const auto add = [&](int64_t AFrom, int64_t ATo, const QTextCharFormat& AFormat) {
            AFrom = std::max(AFrom, rowStart);
            ATo = std::min(ATo, rowEnd);
            if (ATo > AFrom)
                formats.append(
                    {static_cast<int>(AFrom - rowStart), static_cast<int>(ATo - AFrom), AFormat});
        };
        std::vector<TJsonSpan> spans;
        document.Spans(ARow.Line, spans);
        const QPalette& colours = palette();
        const bool darkBase = colours.color(QPalette::Base).lightnessF() < 0.5;
        // Hues from the palette, at a lightness that reads on its base colour.
        const auto tint = [&](QPalette::ColorRole ARole, int AHueShift) {
            QColor colour = colours.color(ARole).toHsl();
            const int hue = colour.hslHue() < 0 ? 210 : colour.hslHue();
            return QColor::fromHsl((hue + AHueShift) % 360, std::max(140, colour.hslSaturation()),
                                   darkBase ? 175 : 85);
        };
        for (const TJsonSpan& span : spans) {
            QTextCharFormat format;
            switch (span.Kind) {
            case TJsonTokenKind::Key:
                format.setForeground(tint(QPalette::Link, 0));
                break;
            case TJsonTokenKind::String:
                format.setForeground(tint(QPalette::LinkVisited, 0));
                break;
            case TJsonTokenKind::Number:
                format.setForeground(tint(QPalette::Highlight, 150));
                break;
            case TJsonTokenKind::Literal:
                format.setForeground(tint(QPalette::Highlight, 200));
                format.setFontWeight(QFont::Bold);
                break;
            case TJsonTokenKind::Punctuation:
                break;
            }
            const int64_t lineStart = document.LineStart(ARow.Line);
            add(lineStart + span.Start, lineStart + span.Start + span.Length, format);
        }
        if (FMatchLength > 0) {
            QTextCharFormat found;
            QColor mark = colours.color(QPalette::Highlight);
            mark.setAlpha(90);
            found.setBackground(mark);
            auto match = std::lower_bound(FMatchStarts.begin(), FMatchStarts.end(),
                                          rowStart - FMatchLength + 1);
            for (; match != FMatchStarts.end() && *match < rowEnd; ++match)
                add(*match, *match + FMatchLength, found);
        }
        if (SelectionEnd() > SelectionStart()) {
            QTextCharFormat selected;
            const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
            selected.setBackground(colours.color(group, QPalette::Highlight));
            selected.setForeground(colours.color(group, QPalette::HighlightedText));
            add(SelectionStart(), SelectionEnd(), selected);
        }
        ALayout.setFormats(formats);
    }
    ALayout.beginLayout();
    QTextLine textLine = ALayout.createLine();
    if (textLine.isValid())
        textLine.setLineWidth(1e9);
    ALayout.endLayout();
}

void TResultsView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    const auto& document = Document();
    if (!document)
        return;
    // Every line on screen wrapped for this width before the first row is drawn.
    FRows.WrapPage();
    painter.setPen(palette().color(QPalette::Text));
    const int64_t cursor = FRows.Cursor();
    const int height = RowHeight();
    int y = Margin / 2;
    for (int64_t row = FirstVisibleRow(); row < FRows.RowCount() && y < viewport()->height();
         ++row, y += height) {
        const TTextRows::TRow place = FRows.RowAt(row);
        QTextLayout layout;
        LayoutRow(place, layout, true);
        layout.draw(&painter, QPointF(Margin, y));
        if (place.From == 0)
            PaintDepthMark(painter, *document, place.Line, layout, y);
        const int64_t rowStart = document->LineStart(place.Line) + place.From;
        const int64_t rowEnd = rowStart + (place.To - place.From);
        // The caret sits at the start of the next row when the cursor is at a wrap.
        const bool lastRow = place.To == document->LineLength(place.Line);
        if (hasFocus() && cursor >= rowStart &&
            (cursor < rowEnd || (lastRow && cursor <= rowEnd + 0) ||
             (lastRow && place.Line + 1 == document->LineCount()))) {
            const qreal x = layout.lineAt(0).cursorToX(
                static_cast<int>(std::min<int64_t>(cursor - rowStart, rowEnd - rowStart)));
            painter.fillRect(QRectF(Margin + x, y, 1, height), palette().color(QPalette::Text));
        }
    }
}

// A line nested deeper than the indentation goes shows its depth in its indent.
void TResultsView::PaintDepthMark(QPainter& APainter, const TTextDocument& ADocument, int64_t ALine,
                                  const QTextLayout& ALayout, int ATop) const {
    if (!ADocument.Pretty() || !ADocument.JsonLine(ALine).DeeperThanIndent())
        return;
    const TJsonLine& line = ADocument.JsonLine(ALine);
    const qreal indentEnd = ALayout.lineAt(0).cursorToX(static_cast<int>(line.Indent()));
    const qreal space = fontMetrics().horizontalAdvance(u' ');
    const QRectF room(Margin, ATop, std::max<qreal>(0, indentEnd - space), RowHeight());
    APainter.save();
    APainter.setPen(palette().color(QPalette::PlaceholderText));
    APainter.drawText(room, Qt::AlignRight | Qt::AlignVCenter,
                      QStringLiteral("depth %1").arg(line.Depth()));
    APainter.restore();
}

void TResultsView::resizeEvent(QResizeEvent* AEvent) {
    QAbstractScrollArea::resizeEvent(AEvent);
    // The top row's text stays at the top.
    const int64_t top = FRows.TopOffset();
    Relayout();
    FRows.ShowOnTop(top);
}

int64_t TResultsView::OffsetAt(QPoint APoint) {
    const auto& document = Document();
    if (!document || FRows.RowCount() == 0)
        return 0;
    const int64_t row = FirstVisibleRow() + (APoint.y() - Margin / 2) / RowHeight() -
                        (APoint.y() < Margin / 2 ? 1 : 0);
    if (row < 0)
        return 0;
    if (row >= FRows.RowCount())
        return document->Length();
    const TTextRows::TRow place = FRows.RowAt(row);
    QTextLayout layout;
    LayoutRow(place, layout, false);
    int column = layout.lineAt(0).xToCursor(APoint.x() - Margin);
    // A click past the end of a wrapped row lands before the next row's first character.
    if (place.To < document->LineLength(place.Line) && column >= place.To - place.From)
        column = static_cast<int>(place.To - place.From);
    return document->LineStart(place.Line) + place.From + column;
}

QRect TResultsView::CursorRect(int64_t AOffset) {
    const auto& document = Document();
    if (!document)
        return {};
    const int64_t row = RowOf(AOffset);
    const int64_t visible = row - FirstVisibleRow();
    if (visible < 0 || visible > VisibleRows())
        return {};
    const TTextRows::TRow place = FRows.RowAt(row);
    QTextLayout layout;
    LayoutRow(place, layout, false);
    const int64_t column = std::clamp<int64_t>(
        AOffset - document->LineStart(place.Line) - place.From, 0, place.To - place.From);
    const qreal x = layout.lineAt(0).cursorToX(static_cast<int>(column));
    return QRect(Margin + static_cast<int>(x), Margin / 2 + static_cast<int>(visible) * RowHeight(),
                 1, RowHeight());
}

void TResultsView::SelectionMoved() {
    viewport()->update();
    emit SelectionChanged();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent cursor(this, ClampedInt(Cursor()));
        QAccessible::updateAccessibility(&cursor);
        QAccessibleTextSelectionEvent selection(this, ClampedInt(SelectionStart()),
                                                ClampedInt(SelectionEnd()));
        QAccessible::updateAccessibility(&selection);
    }
}

void TResultsView::SetSelection(int64_t AAnchor, int64_t ACursor) {
    FRows.SetSelection(AAnchor, ACursor);
    SelectionMoved();
}

QString TResultsView::SelectedText() const {
    const auto& document = Document();
    return document ? document->Text(SelectionStart(), SelectionEnd()) : QString();
}

void TResultsView::SelectAll() {
    if (!Document())
        return;
    FRows.SelectAll();
    SelectionMoved();
}

void TResultsView::Copy() {
    const int64_t length = SelectionEnd() - SelectionStart();
    if (length <= 0)
        return;
    const QLocale locale;
    if (length > MaxCopyLength) {
        emit CopyRefused(QStringLiteral("The selection is too large for the clipboard: %1 "
                                        "characters, at most %2. Save the answer to a file "
                                        "instead.")
                             .arg(locale.toString(length), locale.toString(MaxCopyLength)));
        return;
    }
    QString text;
    try {
        text = SelectedText();
    } catch (const std::bad_alloc&) {
        emit CopyRefused(QStringLiteral("There is not enough memory to copy %1 characters.")
                             .arg(locale.toString(length)));
        return;
    }
    QGuiApplication::clipboard()->setText(text);
}

void TResultsView::SetMatches(std::vector<int64_t> AMatches, int64_t ALength) {
    FMatchStarts = std::move(AMatches);
    FMatchLength = FMatchStarts.empty() ? 0 : ALength;
    viewport()->update();
}

bool TResultsView::event(QEvent* AEvent) {
    // The view's own keys win over shortcuts of the window.
    if (AEvent->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(AEvent);
        if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
            AEvent->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(AEvent);
}

void TResultsView::keyPressEvent(QKeyEvent* AEvent) {
    if (!Document())
        return QAbstractScrollArea::keyPressEvent(AEvent);
    if (AEvent == QKeySequence::Copy)
        return Copy();
    if (AEvent == QKeySequence::SelectAll)
        return SelectAll();
    const bool control = AEvent->modifiers() & Qt::ControlModifier;
    using TMove = TTextRows::TMove;
    TMove move = TMove::Left;
    switch (AEvent->key()) {
    case Qt::Key_Left:
        move = TMove::Left;
        break;
    case Qt::Key_Right:
        move = TMove::Right;
        break;
    case Qt::Key_Up:
        move = TMove::Up;
        break;
    case Qt::Key_Down:
        move = TMove::Down;
        break;
    case Qt::Key_PageUp:
        move = TMove::PageUp;
        break;
    case Qt::Key_PageDown:
        move = TMove::PageDown;
        break;
    case Qt::Key_Home:
        move = control ? TMove::TextStart : TMove::RowStart;
        break;
    case Qt::Key_End:
        move = control ? TMove::TextEnd : TMove::RowEnd;
        break;
    default:
        return QAbstractScrollArea::keyPressEvent(AEvent);
    }
    FRows.Move(move, AEvent->modifiers() & Qt::ShiftModifier);
    SelectionMoved();
}

void TResultsView::mousePressEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(AEvent);
    FRows.MoveTo(OffsetAt(AEvent->position().toPoint()), AEvent->modifiers() & Qt::ShiftModifier);
    SelectionMoved();
}

void TResultsView::mouseMoveEvent(QMouseEvent* AEvent) {
    if (!(AEvent->buttons() & Qt::LeftButton))
        return;
    FRows.DragTo(OffsetAt(AEvent->position().toPoint()));
    SelectionMoved();
}

void TResultsView::mouseDoubleClickEvent(QMouseEvent* AEvent) {
    if (!Document() || AEvent->button() != Qt::LeftButton)
        return;
    FRows.SelectWordAt(OffsetAt(AEvent->position().toPoint()));
    SelectionMoved();
}

void TResultsView::focusInEvent(QFocusEvent* AEvent) {
    QAbstractScrollArea::focusInEvent(AEvent);
    viewport()->update();
}

void TResultsView::focusOutEvent(QFocusEvent* AEvent) {
    QAbstractScrollArea::focusOutEvent(AEvent);
    viewport()->update();
}

void TResultsView::changeEvent(QEvent* AEvent) {
    QAbstractScrollArea::changeEvent(AEvent);
    if (AEvent->type() == QEvent::FontChange) {
        FRows.SetFont(font());
        Relayout();
    }
}
