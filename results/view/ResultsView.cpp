#include "ResultsView.h"

#include "BackgroundPool.h"
#include "ResultsViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

constexpr int Margin = 4;
constexpr int64_t CachedLines = 64;
// Texts up to this many characters are wrapped at once: it takes well under a millisecond.
constexpr int64_t WrappedAtOnce = 1 << 18;

bool IsWordChar(char16_t AChar) {
    return QChar(AChar).isLetterOrNumber() || AChar == u'_';
}

} // namespace

TResultsView::TResultsView(QWidget* AParent) : QAbstractScrollArea(AParent) {
    InstallResultsViewAccessibility();
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    FWrapper = std::make_unique<TLineWrapper>(font());
    connect(&FWrapWatcher, &QFutureWatcherBase::finished, this, &TResultsView::WrapLanded);
}

TResultsView::~TResultsView() {
    // A pass still running ends on its own, early; it holds nothing of the view.
    StopWrapping();
}

void TResultsView::SetDocument(std::shared_ptr<const TTextDocument> ADocument) {
    FDoc = std::move(ADocument);
    // Until the text is wrapped, each of its lines counts one row.
    FWrapped.clear();
    FOverrides.clear();
    FTotalRows = FBaseTotalRows = FDoc ? FDoc->LineCount() : 0;
    FExactLines.clear();
    FAnchorPos = FCursorPos = 0;
    FWantedColumn = -1;
    FMatchStarts.clear();
    FMatchLength = 0;
    FLaidOutColumns = 0;
    Relayout();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    emit SelectionChanged();
}

QString TResultsView::toPlainText() const {
    return FDoc ? FDoc->Text(0, FDoc->Length()) : QString();
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

const TResultsView::TWrapped* TResultsView::WrappedLine(int64_t ALine) const {
    const auto found = std::lower_bound(
        FWrapped.begin(), FWrapped.end(), ALine,
        [](const TWrapped& AWrapped, int64_t ALineNo) { return AWrapped.Line < ALineNo; });
    return found != FWrapped.end() && found->Line == ALine ? &*found : nullptr;
}

void TResultsView::StopWrapping() {
    if (FWrapCancel)
        FWrapCancel->store(true);
    FWrapCancel.reset();
    FWrapPending = false;
    FExactLines.clear();
}

void TResultsView::Relayout() {
    const int columns = Columns();
    const qreal width = TextWidth();
    // Lines measured by width follow the width in pixels; ASCII ones only the column count.
    const bool measured = FDoc && !(FWrapper->AsciiOneColumn() && FDoc->AllAscii());
    if (FDoc && columns == FLaidOutColumns && (!measured || width == FLaidOutWidth))
        return UpdateScrollBar();
    FLaidOutColumns = columns;
    FLaidOutWidth = width;
    FWrapper->SetWidth(width, columns);
    FRowStartCache.clear();
    StopWrapping();
    // A text of a few lines is wrapped here whole: they are all near the screen, so this thread
    // would wrap them anyway, and a pass would only do it again.
    if (!FDoc || FDoc->Length() <= WrappedAtOnce || FDoc->LineCount() <= 4 * VisibleRows())
        return TakeLayout(FDoc ? WrapDocument(*FDoc, *FWrapper) : TWrapLayout{});
    // The rows counted so far stand until the pass lands; lines are wrapped anew as they are
    // reached (WrapNow).
    FExactLines.assign(static_cast<std::size_t>((FDoc->LineCount() + 63) / 64), 0);
    FWrapPending = true;
    FWrapCancel = std::make_shared<std::atomic<bool>>(false);
    FWrapWatcher.setFuture(
        QtConcurrent::run(&BackgroundPool(), [document = FDoc, wrapper = FWrapper->Clone(),
                                              cancel = FWrapCancel]() mutable {
            auto pass = std::make_shared<TWrapPass>();
            pass->Layout = WrapDocument(*document, wrapper, cancel.get());
            pass->Document = std::move(document);
            return pass;
        }));
    UpdateScrollBar();
}

void TResultsView::TakeLayout(TWrapLayout&& ALayout) {
    FWrapped = std::move(ALayout.Wrapped);
    FOverrides.clear();
    FTotalRows = FBaseTotalRows = FDoc ? ALayout.TotalRows : 0;
    for (auto& [line, starts] : ALayout.LongLines)
        if (static_cast<int64_t>(FRowStartCache.size()) < CachedLines)
            FRowStartCache.emplace(line, std::move(starts));
    UpdateScrollBar();
}

void TResultsView::WrapLanded() {
    const std::shared_ptr<TWrapPass> pass = FWrapWatcher.result();
    // A pass for an older text or width, or stopped, is dropped.
    if (!FWrapPending || !pass || pass->Document != FDoc || !pass->Layout.Complete ||
        pass->Layout.Columns != FLaidOutColumns || pass->Layout.Width != FLaidOutWidth)
        return;
    const int64_t top = TopOffset();
    FWrapPending = false;
    FWrapCancel.reset();
    FExactLines.clear();
    TakeLayout(std::move(pass->Layout));
    verticalScrollBar()->setValue(static_cast<int>(std::min<int64_t>(RowOf(top), INT_MAX)));
    viewport()->update();
    emit WrapDone();
}

bool TResultsView::Exact(int64_t ALine) const {
    if (FExactLines.empty())
        return true;
    const auto line = static_cast<std::size_t>(ALine);
    return ((FExactLines[line / 64] >> (line % 64)) & 1) != 0;
}

int64_t TResultsView::BaseRows(int64_t ALine) const {
    const TWrapped* wrapped = WrappedLine(ALine);
    return wrapped ? wrapped->Rows : 1;
}

std::vector<TResultsView::TOverride>::const_iterator
TResultsView::OverrideFrom(int64_t ALine) const {
    return std::lower_bound(
        FOverrides.begin(), FOverrides.end(), ALine,
        [](const TOverride& AOverride, int64_t ALineNo) { return AOverride.Line < ALineNo; });
}

int64_t TResultsView::RowsOfLine(int64_t ALine) const {
    const auto at = OverrideFrom(ALine);
    return at != FOverrides.end() && at->Line == ALine ? at->Rows : BaseRows(ALine);
}

void TResultsView::WrapNow(int64_t ALine, int ADirection, int64_t ARows) {
    if (FExactLines.empty() || !FDoc)
        return;
    std::vector<std::pair<int64_t, int64_t>> changed; // line, rows
    std::vector<int64_t> starts;
    std::u16string buffer;
    int64_t covered = 0;
    for (int64_t line = ALine; line >= 0 && line < FDoc->LineCount(); line += ADirection) {
        if (line != ALine && covered >= ARows)
            break;
        if (Exact(line)) {
            covered += line == ALine ? 0 : RowsOfLine(line);
            continue;
        }
        FExactLines[static_cast<std::size_t>(line) / 64] |= uint64_t(1) << (line % 64);
        int64_t rows = 1;
        if (!FWrapper->FitsAtSight(*FDoc, line)) {
            FWrapper->Wrap(*FDoc, line, FDoc->Line(line, buffer), starts);
            rows = static_cast<int64_t>(starts.size());
            if (rows > 1 && static_cast<int64_t>(FRowStartCache.size()) < 4 * CachedLines)
                FRowStartCache.emplace(line, starts);
        }
        covered += line == ALine ? 0 : rows;
        if (rows != RowsOfLine(line))
            changed.emplace_back(line, rows);
    }
    if (changed.empty())
        return;
    const TPlace top = Locate(FirstVisibleRow());
    for (const auto& [line, rows] : changed) {
        const auto at = std::lower_bound(
            FOverrides.begin(), FOverrides.end(), line,
            [](const TOverride& AOverride, int64_t ALineNo) { return AOverride.Line < ALineNo; });
        if (at != FOverrides.end() && at->Line == line)
            at->Rows = rows;
        else
            FOverrides.insert(at, {line, rows, 0});
    }
    int64_t delta = 0;
    for (TOverride& entry : FOverrides) {
        delta += entry.Rows - BaseRows(entry.Line);
        entry.Delta = delta;
    }
    FTotalRows = FBaseTotalRows + delta;
    UpdateScrollBar();
    const int64_t topRow =
        FirstRowOfLine(top.Line) + std::min(top.RowInLine, RowsOfLine(top.Line) - 1);
    if (topRow != FirstVisibleRow())
        verticalScrollBar()->setValue(static_cast<int>(std::min<int64_t>(topRow, INT_MAX)));
}

int64_t TResultsView::TopOffset() {
    if (!FDoc || FTotalRows == 0)
        return 0;
    const TRow row = RowAt(FirstVisibleRow());
    return FDoc->LineStart(row.Line) + row.From;
}

void TResultsView::UpdateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    const int64_t maximum = std::max<int64_t>(0, FTotalRows - VisibleRows());
    bar->setRange(0, static_cast<int>(std::min<int64_t>(maximum, INT_MAX)));
    bar->setPageStep(VisibleRows());
    bar->setSingleStep(1);
}

int64_t TResultsView::FirstVisibleRow() const {
    return verticalScrollBar()->value();
}

int64_t TResultsView::BaseFirstRow(int64_t ALine) const {
    const auto after = std::lower_bound(
        FWrapped.begin(), FWrapped.end(), ALine,
        [](const TWrapped& AWrapped, int64_t ALineNo) { return AWrapped.Line < ALineNo; });
    if (after == FWrapped.begin())
        return ALine;
    const TWrapped& before = *(after - 1);
    return ALine + before.ExtraBefore + before.Rows - 1;
}

int64_t TResultsView::FirstRowOfLine(int64_t ALine) const {
    const auto at = OverrideFrom(ALine);
    return BaseFirstRow(ALine) + (at == FOverrides.begin() ? 0 : (at - 1)->Delta);
}

const std::vector<int64_t>& TResultsView::RowStarts(int64_t ALine) {
    auto found = FRowStartCache.find(ALine);
    if (found != FRowStartCache.end())
        return found->second;
    if (static_cast<int64_t>(FRowStartCache.size()) >= 4 * CachedLines)
        FRowStartCache.clear();
    std::u16string buffer;
    std::vector<int64_t> starts;
    FWrapper->Wrap(*FDoc, ALine, FDoc->Line(ALine, buffer), starts);
    return FRowStartCache.emplace(ALine, std::move(starts)).first->second;
}

TResultsView::TPlace TResultsView::BaseLocate(int64_t ARow) const {
    // The last wrapped line that starts at or before the row.
    const auto after = std::upper_bound(FWrapped.begin(), FWrapped.end(), ARow,
                                        [](int64_t ARowNo, const TWrapped& AWrapped) {
                                            return ARowNo < AWrapped.Line + AWrapped.ExtraBefore;
                                        });
    if (after == FWrapped.begin())
        return {ARow, 0};
    const TWrapped& w = *(after - 1);
    const int64_t first = w.Line + w.ExtraBefore;
    if (ARow < first + w.Rows)
        return {w.Line, ARow - first};
    return {ARow - (w.ExtraBefore + w.Rows - 1), 0};
}

TResultsView::TPlace TResultsView::Locate(int64_t ARow) const {
    ARow = std::clamp<int64_t>(ARow, 0, std::max<int64_t>(0, FTotalRows - 1));
    // The last line counted anew that starts at or before the row; past its rows, the lines up
    // to the next one have their rows counted before, moved by what the new counts added.
    const auto firstRow = [this](std::size_t AIndex) {
        return BaseFirstRow(FOverrides[AIndex].Line) +
               (AIndex == 0 ? 0 : FOverrides[AIndex - 1].Delta);
    };
    std::size_t low = 0;
    std::size_t high = FOverrides.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (firstRow(middle) <= ARow)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return BaseLocate(ARow);
    const TOverride& before = FOverrides[low - 1];
    const int64_t first = firstRow(low - 1);
    if (ARow < first + before.Rows)
        return {before.Line, ARow - first};
    return BaseLocate(ARow - before.Delta);
}

TResultsView::TRow TResultsView::RowAt(int64_t ARow) {
    if (!FDoc)
        return {0, 0, 0};
    TPlace place = Locate(ARow);
    // Until the pass lands, the line is wrapped when reached, which may move the rows after it.
    while (place.Line < FDoc->LineCount() && !Exact(place.Line)) {
        WrapNow(place.Line, 1, 0);
        place = Locate(ARow);
    }
    if (place.Line >= FDoc->LineCount())
        return {0, 0, 0};
    const int64_t length = FDoc->LineLength(place.Line);
    if (RowsOfLine(place.Line) <= 1)
        return {place.Line, 0, length};
    const std::vector<int64_t>& starts = RowStarts(place.Line);
    const auto index = std::min(static_cast<std::size_t>(place.RowInLine), starts.size() - 1);
    return {place.Line, starts[index], index + 1 < starts.size() ? starts[index + 1] : length};
}

int64_t TResultsView::RowOf(int64_t AOffset) {
    if (!FDoc)
        return 0;
    const int64_t line = FDoc->LineAt(AOffset);
    WrapNow(line, 1, 0);
    const int64_t column = std::min(AOffset - FDoc->LineStart(line), FDoc->LineLength(line));
    const int64_t first = FirstRowOfLine(line);
    if (RowsOfLine(line) <= 1)
        return first;
    const std::vector<int64_t>& starts = RowStarts(line);
    return first + (std::upper_bound(starts.begin(), starts.end(), column) - starts.begin()) - 1;
}

void TResultsView::LayoutRow(const TRow& ARow, QTextLayout& ALayout, bool AFormats) {
    const std::u16string_view line = FDoc->Line(ARow.Line, FLineBuffer);
    const QString text(reinterpret_cast<const QChar*>(line.data() + ARow.From),
                       static_cast<qsizetype>(ARow.To - ARow.From));
    ALayout.setText(text);
    ALayout.setFont(font());
    if (AFormats) {
        QList<QTextLayout::FormatRange> formats;
        const int64_t rowStart = FDoc->LineStart(ARow.Line) + ARow.From;
        const int64_t rowEnd = rowStart + (ARow.To - ARow.From);
        const auto add = [&](int64_t AFrom, int64_t ATo, const QTextCharFormat& AFormat) {
            AFrom = std::max(AFrom, rowStart);
            ATo = std::min(ATo, rowEnd);
            if (ATo > AFrom)
                formats.append(
                    {static_cast<int>(AFrom - rowStart), static_cast<int>(ATo - AFrom), AFormat});
        };
        std::vector<TJsonSpan> spans;
        FDoc->Spans(ARow.Line, spans);
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
            const int64_t lineStart = FDoc->LineStart(ARow.Line);
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
    if (!FDoc)
        return;
    if (FWrapPending) {
        // Every line on screen wrapped for this width before the first row is drawn.
        const TPlace top = Locate(FirstVisibleRow());
        WrapNow(top.Line, 1, VisibleRows() + 1);
    }
    painter.setPen(palette().color(QPalette::Text));
    const int height = RowHeight();
    int y = Margin / 2;
    for (int64_t row = FirstVisibleRow(); row < FTotalRows && y < viewport()->height();
         ++row, y += height) {
        const TRow place = RowAt(row);
        QTextLayout layout;
        LayoutRow(place, layout, true);
        layout.draw(&painter, QPointF(Margin, y));
        const int64_t rowStart = FDoc->LineStart(place.Line) + place.From;
        const int64_t rowEnd = rowStart + (place.To - place.From);
        // The caret sits at the start of the next row when the cursor is at a wrap.
        const bool lastRow = place.To == FDoc->LineLength(place.Line);
        if (hasFocus() && FCursorPos >= rowStart &&
            (FCursorPos < rowEnd || (lastRow && FCursorPos <= rowEnd + 0) ||
             (lastRow && place.Line + 1 == FDoc->LineCount()))) {
            const qreal x = layout.lineAt(0).cursorToX(
                static_cast<int>(std::min<int64_t>(FCursorPos - rowStart, rowEnd - rowStart)));
            painter.fillRect(QRectF(Margin + x, y, 1, height), palette().color(QPalette::Text));
        }
    }
}

void TResultsView::resizeEvent(QResizeEvent* AEvent) {
    QAbstractScrollArea::resizeEvent(AEvent);
    // The top row's text stays at the top.
    const int64_t top = TopOffset();
    Relayout();
    if (!FDoc)
        return;
    // A page above and two below are wrapped at once, so that paging stays exact during a pass.
    const int64_t line = FDoc->LineAt(top);
    WrapNow(line, -1, VisibleRows());
    WrapNow(line, 1, 2 * VisibleRows());
    verticalScrollBar()->setValue(static_cast<int>(std::min<int64_t>(RowOf(top), INT_MAX)));
}

int64_t TResultsView::OffsetAt(QPoint APoint) {
    if (!FDoc || FTotalRows == 0)
        return 0;
    const int64_t row = FirstVisibleRow() + (APoint.y() - Margin / 2) / RowHeight() -
                        (APoint.y() < Margin / 2 ? 1 : 0);
    if (row < 0)
        return 0;
    if (row >= FTotalRows)
        return FDoc->Length();
    const TRow place = RowAt(row);
    QTextLayout layout;
    LayoutRow(place, layout, false);
    int column = layout.lineAt(0).xToCursor(APoint.x() - Margin);
    // A click past the end of a wrapped row lands before the next row's first character.
    if (place.To < FDoc->LineLength(place.Line) && column >= place.To - place.From)
        column = static_cast<int>(place.To - place.From);
    return FDoc->LineStart(place.Line) + place.From + column;
}

QRect TResultsView::CursorRect(int64_t AOffset) {
    if (!FDoc)
        return {};
    const int64_t row = RowOf(AOffset);
    const int64_t visible = row - FirstVisibleRow();
    if (visible < 0 || visible > VisibleRows())
        return {};
    const TRow place = RowAt(row);
    QTextLayout layout;
    LayoutRow(place, layout, false);
    const int64_t column = std::clamp<int64_t>(AOffset - FDoc->LineStart(place.Line) - place.From,
                                               0, place.To - place.From);
    const qreal x = layout.lineAt(0).cursorToX(static_cast<int>(column));
    return QRect(Margin + static_cast<int>(x), Margin / 2 + static_cast<int>(visible) * RowHeight(),
                 1, RowHeight());
}

int64_t TResultsView::ClampToLine(int64_t AOffset) const {
    if (!FDoc)
        return 0;
    AOffset = std::clamp<int64_t>(AOffset, 0, FDoc->Length());
    const int64_t line = FDoc->LineAt(AOffset);
    return std::min(AOffset, FDoc->LineStart(line) + FDoc->LineLength(line));
}

void TResultsView::EnsureVisible(int64_t AOffset) {
    const int64_t row = RowOf(AOffset);
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(static_cast<int>(row));
    else if (row >= bar->value() + VisibleRows())
        bar->setValue(static_cast<int>(std::min<int64_t>(row - VisibleRows() + 1, INT_MAX)));
}

void TResultsView::SelectionMoved() {
    viewport()->update();
    emit SelectionChanged();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent cursor(this,
                                          static_cast<int>(std::min<int64_t>(FCursorPos, INT_MAX)));
        QAccessible::updateAccessibility(&cursor);
        QAccessibleTextSelectionEvent selection(
            this, static_cast<int>(std::min<int64_t>(SelectionStart(), INT_MAX)),
            static_cast<int>(std::min<int64_t>(SelectionEnd(), INT_MAX)));
        QAccessible::updateAccessibility(&selection);
    }
}

void TResultsView::SetSelection(int64_t AAnchor, int64_t ACursor) {
    FAnchorPos = ClampToLine(AAnchor);
    FCursorPos = ClampToLine(ACursor);
    FWantedColumn = -1;
    EnsureVisible(FCursorPos);
    SelectionMoved();
}

void TResultsView::MoveCursor(int64_t AOffset, bool AExtend) {
    FCursorPos = ClampToLine(AOffset);
    if (!AExtend)
        FAnchorPos = FCursorPos;
    EnsureVisible(FCursorPos);
    SelectionMoved();
}

QString TResultsView::SelectedText() const {
    return FDoc ? FDoc->Text(SelectionStart(), SelectionEnd()) : QString();
}

void TResultsView::SelectAll() {
    if (!FDoc)
        return;
    FAnchorPos = 0;
    FCursorPos = FDoc->Length();
    SelectionMoved();
}

void TResultsView::Copy() const {
    if (SelectionEnd() > SelectionStart())
        QGuiApplication::clipboard()->setText(SelectedText());
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
    if (!FDoc)
        return QAbstractScrollArea::keyPressEvent(AEvent);
    if (AEvent == QKeySequence::Copy)
        return Copy();
    if (AEvent == QKeySequence::SelectAll)
        return SelectAll();
    const bool extend = AEvent->modifiers() & Qt::ShiftModifier;
    const bool control = AEvent->modifiers() & Qt::ControlModifier;
    const int64_t line = FDoc->LineAt(FCursorPos);
    const int64_t lineStart = FDoc->LineStart(line);
    const int64_t lineEnd = lineStart + FDoc->LineLength(line);
    // Up and down keep the column the cursor had in its row.
    const auto verticalMove = [&](int64_t ARows) {
        // The rows passed over wrapped first, so that a move during a pass counts true rows.
        WrapNow(line, ARows < 0 ? -1 : 1, std::abs(ARows) + 1);
        const int64_t row = RowOf(FCursorPos);
        const TRow here = RowAt(row);
        if (FWantedColumn < 0)
            FWantedColumn = FCursorPos - FDoc->LineStart(here.Line) - here.From;
        const int64_t targetRow = std::clamp<int64_t>(row + ARows, 0, FTotalRows - 1);
        const TRow there = RowAt(targetRow);
        const int64_t wanted = FWantedColumn;
        int64_t column = std::min(wanted, there.To - there.From);
        // Stay on the row: a wrapped row ends before the next row's first character.
        if (there.To < FDoc->LineLength(there.Line) && column == there.To - there.From &&
            column > 0)
            --column;
        if (targetRow == row && ARows < 0)
            column = 0;
        else if (targetRow == row && ARows > 0)
            column = there.To - there.From;
        MoveCursor(FDoc->LineStart(there.Line) + there.From + column, extend);
        FWantedColumn = wanted;
    };
    switch (AEvent->key()) {
    case Qt::Key_Left:
        FWantedColumn = -1;
        if (!extend && SelectionEnd() > SelectionStart())
            return MoveCursor(SelectionStart(), false);
        return MoveCursor(FCursorPos > lineStart || line == 0
                              ? FCursorPos - 1
                              : FDoc->LineStart(line - 1) + FDoc->LineLength(line - 1),
                          extend);
    case Qt::Key_Right:
        FWantedColumn = -1;
        if (!extend && SelectionEnd() > SelectionStart())
            return MoveCursor(SelectionEnd(), false);
        return MoveCursor(FCursorPos < lineEnd || line + 1 >= FDoc->LineCount()
                              ? FCursorPos + 1
                              : FDoc->LineStart(line + 1),
                          extend);
    case Qt::Key_Up:
        return verticalMove(-1);
    case Qt::Key_Down:
        return verticalMove(1);
    case Qt::Key_PageUp:
        return verticalMove(-VisibleRows());
    case Qt::Key_PageDown:
        return verticalMove(VisibleRows());
    case Qt::Key_Home: {
        FWantedColumn = -1;
        if (control)
            return MoveCursor(0, extend);
        const TRow row = RowAt(RowOf(FCursorPos));
        return MoveCursor(FDoc->LineStart(row.Line) + row.From, extend);
    }
    case Qt::Key_End: {
        FWantedColumn = -1;
        if (control)
            return MoveCursor(FDoc->Length(), extend);
        const TRow row = RowAt(RowOf(FCursorPos));
        return MoveCursor(FDoc->LineStart(row.Line) + row.To, extend);
    }
    default:
        return QAbstractScrollArea::keyPressEvent(AEvent);
    }
}

void TResultsView::mousePressEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(AEvent);
    FWantedColumn = -1;
    MoveCursor(OffsetAt(AEvent->position().toPoint()), AEvent->modifiers() & Qt::ShiftModifier);
}

void TResultsView::mouseMoveEvent(QMouseEvent* AEvent) {
    if (!(AEvent->buttons() & Qt::LeftButton))
        return;
    MoveCursor(OffsetAt(AEvent->position().toPoint()), true);
}

void TResultsView::mouseDoubleClickEvent(QMouseEvent* AEvent) {
    if (!FDoc || AEvent->button() != Qt::LeftButton)
        return;
    const int64_t at = OffsetAt(AEvent->position().toPoint());
    const int64_t line = FDoc->LineAt(at);
    const std::u16string_view text = FDoc->Line(line, FLineBuffer);
    const int64_t start = FDoc->LineStart(line);
    int64_t from = at - start;
    int64_t to = from;
    while (from > 0 && IsWordChar(text[static_cast<std::size_t>(from - 1)]))
        --from;
    while (to < static_cast<int64_t>(text.size()) && IsWordChar(text[static_cast<std::size_t>(to)]))
        ++to;
    SetSelection(start + from, start + to);
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
        FWrapper = std::make_unique<TLineWrapper>(font());
        FLaidOutColumns = 0;
        Relayout();
    }
}
