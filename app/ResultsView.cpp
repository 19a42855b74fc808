#include "ResultsView.h"

#include "ResultsViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <unicode/uchar.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int Margin = 4;
constexpr int64_t CachedLines = 64;

bool IsBlank(char16_t AChar) {
    return AChar == u' ' || AChar == u'\t';
}

bool IsWordChar(char16_t AChar) {
    return QChar(AChar).isLetterOrNumber() || AChar == u'_';
}

// Cuts ALine into rows of at most AColumns characters, after the last blank of a row when it
// has one (a blank at the edge hangs past it), anywhere else; a surrogate pair stays whole.
void WrapColumns(std::u16string_view ALine, int64_t AColumns, std::vector<int64_t>& AStarts) {
    AStarts.assign(1, 0);
    const int64_t size = static_cast<int64_t>(ALine.size());
    int64_t start = 0;
    while (size - start > AColumns) {
        const int64_t edge = start + AColumns;
        int64_t next = edge;
        if (IsBlank(ALine[static_cast<std::size_t>(edge)])) {
            next = edge + 1;
        } else {
            while (next > start && !IsBlank(ALine[static_cast<std::size_t>(next - 1)]))
                --next;
            if (next == start) {
                next = edge;
                if (QChar::isLowSurrogate(ALine[static_cast<std::size_t>(next)]) &&
                    next - 1 > start)
                    --next;
            }
        }
        if (next >= size)
            break;
        AStarts.push_back(next);
        start = next;
    }
}

char32_t CodeAt(std::u16string_view AText, std::size_t AAt, std::size_t& ALength) {
    const char16_t c = AText[AAt];
    if (QChar::isHighSurrogate(c) && AAt + 1 < AText.size() &&
        QChar::isLowSurrogate(AText[AAt + 1])) {
        ALength = 2;
        return QChar::surrogateToUcs4(c, AText[AAt + 1]);
    }
    ALength = 1;
    return c;
}

int BreakClass(char32_t ACode) {
    // The classes of the basic plane, looked up once: most text never leaves it.
    static const std::vector<uint8_t> basic = [] {
        std::vector<uint8_t> classes(0x10000);
        for (UChar32 code = 0; code < 0x10000; ++code)
            classes[static_cast<std::size_t>(code)] =
                static_cast<uint8_t>(u_getIntPropertyValue(code, UCHAR_GRAPHEME_CLUSTER_BREAK));
        return classes;
    }();
    if (ACode < 0x10000)
        return basic[ACode];
    return u_getIntPropertyValue(static_cast<UChar32>(ACode), UCHAR_GRAPHEME_CLUSTER_BREAK);
}

bool IsPictographic(char32_t ACode) {
    return u_hasBinaryProperty(static_cast<UChar32>(ACode), UCHAR_EXTENDED_PICTOGRAPHIC) != 0;
}

// Whether a code point of class AAfter stays with the one of class ABefore in one character (the
// grapheme cluster rules of Unicode; those that need more than the pair are handled by the caller).
bool Joins(int ABefore, int AAfter) {
    switch (AAfter) {
    case U_GCB_EXTEND:
    case U_GCB_ZWJ:
    case U_GCB_SPACING_MARK:
        return true;
    default:
        break;
    }
    switch (ABefore) {
    case U_GCB_L:
        return AAfter == U_GCB_L || AAfter == U_GCB_V || AAfter == U_GCB_LV || AAfter == U_GCB_LVT;
    case U_GCB_LV:
    case U_GCB_V:
        return AAfter == U_GCB_V || AAfter == U_GCB_T;
    case U_GCB_LVT:
    case U_GCB_T:
        return AAfter == U_GCB_T;
    default:
        return false;
    }
}

// The end of the character that starts at AAt as a reader sees it (a grapheme cluster): a
// surrogate pair, a base with its marks, an emoji sequence, the two regional indicators of a flag.
std::size_t CharacterEnd(std::u16string_view AText, std::size_t AAt) {
    // Nothing below U+0300 extends a character, and a character of class Other extends none but
    // a joiner (pictographs, which are of that class, join only after one).
    if (AAt + 1 >= AText.size())
        return AAt + 1;
    const char16_t here = AText[AAt];
    const char16_t after = AText[AAt + 1];
    if (!QChar::isSurrogate(here) &&
        (after < 0x300 || (!QChar::isSurrogate(after) && BreakClass(after) == U_GCB_OTHER &&
                           BreakClass(here) != U_GCB_ZWJ)))
        return AAt + 1;
    std::size_t length = 0;
    const char32_t first = CodeAt(AText, AAt, length);
    AAt += length;
    int before = BreakClass(first);
    char32_t base = first; // the last code point that is neither a mark nor a joiner
    int regional = before == U_GCB_REGIONAL_INDICATOR ? 1 : 0;
    while (AAt < AText.size()) {
        const char32_t next = CodeAt(AText, AAt, length);
        const int after = BreakClass(next);
        // A joiner joins two pictographs (the first perhaps with marks).
        const bool joins = Joins(before, after) ||
                           (before == U_GCB_ZWJ && IsPictographic(base) && IsPictographic(next)) ||
                           (before == U_GCB_REGIONAL_INDICATOR &&
                            after == U_GCB_REGIONAL_INDICATOR && regional % 2 == 1);
        if (!joins)
            break;
        if (after != U_GCB_EXTEND && after != U_GCB_ZWJ)
            base = next;
        regional += after == U_GCB_REGIONAL_INDICATOR ? 1 : 0;
        before = after;
        AAt += length;
    }
    return AAt;
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
    MeasureFont();
}

TResultsView::~TResultsView() = default;

void TResultsView::SetDocument(std::shared_ptr<const TTextDocument> ADocument) {
    FDoc = std::move(ADocument);
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

void TResultsView::MeasureFont() {
    FBmpAdvances.clear();
    FAstralAdvances.clear();
    FOtherAdvances.clear();
    const QFontMetricsF metrics(font());
    FColumn = metrics.horizontalAdvance(u'0');
    FAsciiOneColumn = true;
    for (char16_t c = u' '; c < 0x7F; ++c)
        FAsciiOneColumn = FAsciiOneColumn && metrics.horizontalAdvance(QChar(c)) == FColumn;
    // Rows are laid out with the default options: a tab stop every 80 pixels.
    FTabStop = QTextOption().tabStopDistance() > 0 ? QTextOption().tabStopDistance() : 80;
}

qreal TResultsView::Advance(std::u16string_view ALine, std::size_t AFrom, std::size_t ATo,
                            qreal AX) {
    if (ATo - AFrom == 1) {
        const char16_t c = ALine[AFrom];
        if (c == u'\t')
            return (std::floor(AX / FTabStop) + 1) * FTabStop - AX;
        if (FBmpAdvances.empty())
            FBmpAdvances.assign(0x10000, -1);
        float& advance = FBmpAdvances[c];
        if (advance < 0)
            advance =
                static_cast<float>(QFontMetricsF(font()).horizontalAdvance(QString(QChar(c))));
        return advance;
    }
    if (ATo - AFrom == 2 && QChar::isHighSurrogate(ALine[AFrom])) {
        const char32_t code = QChar::surrogateToUcs4(ALine[AFrom], ALine[AFrom + 1]);
        const auto found = FAstralAdvances.find(code);
        if (found != FAstralAdvances.end())
            return found->second;
        const qreal advance = QFontMetricsF(font()).horizontalAdvance(QString::fromUcs4(&code, 1));
        FAstralAdvances.emplace(code, advance);
        return advance;
    }
    std::u16string character(ALine.substr(AFrom, ATo - AFrom));
    const auto found = FOtherAdvances.find(character);
    if (found != FOtherAdvances.end())
        return found->second;
    if (FOtherAdvances.size() >= (1 << 16))
        FOtherAdvances.clear();
    const qreal advance = QFontMetricsF(font()).horizontalAdvance(
        QString(reinterpret_cast<const QChar*>(character.data()),
                static_cast<qsizetype>(character.size())));
    FOtherAdvances.emplace(std::move(character), advance);
    return advance;
}

// The rule of WrapColumns with each character as wide as it is drawn: as many whole characters
// as fit, then back to after the row's last blank.
void TResultsView::WrapByWidth(std::u16string_view ALine, std::vector<int64_t>& AStarts) {
    AStarts.assign(1, 0);
    const std::size_t size = ALine.size();
    // Sums of widths may stray by a rounding from the product of a column count.
    const qreal limit = FLaidOutWidth + 0.01;
    if (FBmpAdvances.empty())
        FBmpAdvances.assign(0x10000, -1);
    const float* measured = FBmpAdvances.data();
    std::size_t start = 0;
    while (start < size) {
        qreal x = 0;
        std::size_t edge = start;
        while (edge < size) {
            const char16_t c = ALine[edge];
            // A stretch of ASCII takes a column a character, as in an ASCII line: as many as
            // fit are taken at once. The last one stays behind when marks follow it.
            if (FAsciiOneColumn && c < 0x80 && c != u'\t') {
                const auto fit =
                    static_cast<std::size_t>(std::max<qreal>(0, (limit - x) / FColumn));
                const std::size_t stop = std::min(size, edge + std::max<std::size_t>(fit, 1));
                std::size_t at = edge;
#ifdef __SSE2__
                // Eight units at a time: any at 0x80 or above, or a tab, ends the stretch.
                const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
                const __m128i tab = _mm_set1_epi16(u'\t');
                for (; at + 8 <= stop; at += 8) {
                    const __m128i units =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(ALine.data() + at));
                    const __m128i ascii =
                        _mm_cmpeq_epi16(_mm_and_si128(units, high), _mm_setzero_si128());
                    const int plain =
                        _mm_movemask_epi8(ascii) & ~_mm_movemask_epi8(_mm_cmpeq_epi16(units, tab));
                    if (plain != 0xFFFF)
                        break;
                }
#endif
                while (at < stop && ALine[at] < 0x80 && ALine[at] != u'\t')
                    ++at;
                if (at < size && ALine[at] >= 0x300)
                    --at;
                if (at > edge && (fit > 0 || edge == start)) {
                    x += static_cast<qreal>(at - edge) * FColumn;
                    edge = at;
                    continue;
                }
                if (fit == 0 && edge > start)
                    break;
            }
            // Most other characters are one unit, measured before.
            const std::size_t end = CharacterEnd(ALine, edge);
            const qreal advance = end == edge + 1 && c != u'\t' && measured[c] >= 0
                                      ? qreal(measured[c])
                                      : Advance(ALine, edge, end, x);
            if (edge > start && x + advance > limit)
                break;
            x += advance;
            edge = end;
        }
        if (edge >= size)
            break;
        std::size_t next = edge;
        if (IsBlank(ALine[edge])) {
            next = CharacterEnd(ALine, edge);
        } else {
            std::size_t blank = edge;
            while (blank > start && !IsBlank(ALine[blank - 1]))
                --blank;
            // After the blank, unless marks hang on it.
            if (blank > start && CharacterEnd(ALine, blank - 1) == blank)
                next = blank;
        }
        if (next >= size)
            break;
        AStarts.push_back(static_cast<int64_t>(next));
        start = next;
    }
}

void TResultsView::WrapLine(int64_t ALine, std::u16string_view AText,
                            std::vector<int64_t>& AStarts) {
    if (FAsciiOneColumn && FDoc->AsciiLine(ALine))
        WrapColumns(AText, FLaidOutColumns, AStarts);
    else
        WrapByWidth(AText, AStarts);
}

const TResultsView::TWrapped* TResultsView::WrappedLine(int64_t ALine) const {
    const auto found = std::lower_bound(
        FWrapped.begin(), FWrapped.end(), ALine,
        [](const TWrapped& AWrapped, int64_t ALineNo) { return AWrapped.Line < ALineNo; });
    return found != FWrapped.end() && found->Line == ALine ? &*found : nullptr;
}

void TResultsView::Relayout() {
    const int columns = Columns();
    const qreal width = TextWidth();
    // Lines measured by width follow the width in pixels; ASCII ones only the column count.
    const bool measured = FDoc && !(FAsciiOneColumn && FDoc->AllAscii());
    if (FDoc && columns == FLaidOutColumns && (!measured || width == FLaidOutWidth))
        return UpdateScrollBar();
    FLaidOutColumns = columns;
    FLaidOutWidth = width;
    FWrapped.clear();
    FRowStartCache.clear();
    FTotalRows = 0;
    if (!FDoc)
        return UpdateScrollBar();
    // Only ASCII lines longer than the columns and lines with other characters are looked at.
    const int64_t lines = FDoc->LineCount();
    int64_t extra = 0;
    std::u16string buffer;
    std::vector<int64_t> starts;
    for (int64_t line = 0; line < lines; ++line) {
        if (FAsciiOneColumn && FDoc->AsciiLine(line) && FDoc->LineLength(line) <= columns)
            continue;
        WrapLine(line, FDoc->Line(line, buffer), starts);
        const auto rows = static_cast<int64_t>(starts.size());
        if (rows <= 1)
            continue;
        FWrapped.push_back({line, extra, rows});
        extra += rows - 1;
        if (rows > 256 && static_cast<int64_t>(FRowStartCache.size()) < CachedLines)
            FRowStartCache.emplace(line, starts);
    }
    FTotalRows = lines + extra;
    UpdateScrollBar();
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

int64_t TResultsView::FirstRowOfLine(int64_t ALine) const {
    const auto after = std::lower_bound(
        FWrapped.begin(), FWrapped.end(), ALine,
        [](const TWrapped& AWrapped, int64_t ALineNo) { return AWrapped.Line < ALineNo; });
    if (after == FWrapped.begin())
        return ALine;
    const TWrapped& before = *(after - 1);
    return ALine + before.ExtraBefore + before.Rows - 1;
}

const std::vector<int64_t>& TResultsView::RowStarts(int64_t ALine) {
    auto found = FRowStartCache.find(ALine);
    if (found != FRowStartCache.end())
        return found->second;
    if (static_cast<int64_t>(FRowStartCache.size()) >= 4 * CachedLines)
        FRowStartCache.clear();
    std::u16string buffer;
    std::vector<int64_t> starts;
    WrapLine(ALine, FDoc->Line(ALine, buffer), starts);
    return FRowStartCache.emplace(ALine, std::move(starts)).first->second;
}

TResultsView::TRow TResultsView::RowAt(int64_t ARow) {
    ARow = std::clamp<int64_t>(ARow, 0, std::max<int64_t>(0, FTotalRows - 1));
    // The last wrapped line that starts at or before the row.
    const auto after = std::upper_bound(FWrapped.begin(), FWrapped.end(), ARow,
                                        [](int64_t ARowNo, const TWrapped& AWrapped) {
                                            return ARowNo < AWrapped.Line + AWrapped.ExtraBefore;
                                        });
    int64_t line = ARow;
    int64_t rowInLine = 0;
    if (after != FWrapped.begin()) {
        const TWrapped& w = *(after - 1);
        const int64_t first = w.Line + w.ExtraBefore;
        if (ARow < first + w.Rows) {
            line = w.Line;
            rowInLine = ARow - first;
        } else {
            line = ARow - (w.ExtraBefore + w.Rows - 1);
        }
    }
    if (!FDoc || line >= FDoc->LineCount())
        return {0, 0, 0};
    const int64_t length = FDoc->LineLength(line);
    if (!WrappedLine(line))
        return {line, 0, length};
    const std::vector<int64_t>& starts = RowStarts(line);
    const auto index = static_cast<std::size_t>(rowInLine);
    return {line, starts[index], index + 1 < starts.size() ? starts[index + 1] : length};
}

int64_t TResultsView::RowOf(int64_t AOffset) {
    if (!FDoc)
        return 0;
    const int64_t line = FDoc->LineAt(AOffset);
    const int64_t column = std::min(AOffset - FDoc->LineStart(line), FDoc->LineLength(line));
    const int64_t first = FirstRowOfLine(line);
    if (!WrappedLine(line))
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
    const int64_t top = FDoc && FTotalRows > 0 ? [&] {
        const TRow row = RowAt(FirstVisibleRow());
        return FDoc->LineStart(row.Line) + row.From;
    }()
                                             : 0;
    Relayout();
    if (FDoc)
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
        MeasureFont();
        FLaidOutColumns = 0;
        Relayout();
    }
}
