#include "LineWrap.h"

#include "TextDocument.h"

#include <QFontMetricsF>
#include <QTextOption>

#include <unicode/uchar.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t KeptLongLines = 64;

bool IsBlank(char16_t AChar) {
    return AChar == u' ' || AChar == u'\t';
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
    const char16_t second = AText[AAt + 1];
    if (!QChar::isSurrogate(here) &&
        (second < 0x300 || (!QChar::isSurrogate(second) && BreakClass(second) == U_GCB_OTHER &&
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

TLineWrapper::TLineWrapper(const QFont& AFont) : FFont(AFont) {
    const QFontMetricsF metrics(FFont);
    FColumn = metrics.horizontalAdvance(u'0');
    for (char16_t c = u' '; c < 0x7F; ++c)
        FAsciiOneColumn = FAsciiOneColumn && metrics.horizontalAdvance(QChar(c)) == FColumn;
    // Rows are laid out with the default options: a tab stop every 80 pixels.
    FTabStop = QTextOption().tabStopDistance() > 0 ? QTextOption().tabStopDistance() : 80;
}

TLineWrapper TLineWrapper::Clone() const {
    TLineWrapper copy(*this);
    // A font shares its engine cache between its copies, and that cache is filled as the font
    // is used: the other thread's font gets a cache of its own. Changing a property, then
    // setting it back, gives the copy its own.
    copy.FFont.setKerning(!FFont.kerning());
    copy.FFont.setKerning(FFont.kerning());
    return copy;
}

void TLineWrapper::SetWidth(qreal AWidth, int AColumns) {
    FWidth = AWidth;
    FColumns = AColumns;
}

qreal TLineWrapper::Advance(std::u16string_view ALine, std::size_t AFrom, std::size_t ATo,
                            qreal AX) {
    if (ATo - AFrom == 1) {
        const char16_t c = ALine[AFrom];
        if (c == u'\t')
            return (std::floor(AX / FTabStop) + 1) * FTabStop - AX;
        if (FBmpAdvances.empty())
            FBmpAdvances.assign(0x10000, -1);
        float& advance = FBmpAdvances[c];
        if (advance < 0)
            advance = static_cast<float>(QFontMetricsF(FFont).horizontalAdvance(QString(QChar(c))));
        return advance;
    }
    if (ATo - AFrom == 2 && QChar::isHighSurrogate(ALine[AFrom])) {
        const char32_t code = QChar::surrogateToUcs4(ALine[AFrom], ALine[AFrom + 1]);
        const auto found = FAstralAdvances.find(code);
        if (found != FAstralAdvances.end())
            return found->second;
        const qreal advance = QFontMetricsF(FFont).horizontalAdvance(QString::fromUcs4(&code, 1));
        FAstralAdvances.emplace(code, advance);
        return advance;
    }
    std::u16string character(ALine.substr(AFrom, ATo - AFrom));
    const auto found = FOtherAdvances.find(character);
    if (found != FOtherAdvances.end())
        return found->second;
    if (FOtherAdvances.size() >= (1 << 16))
        FOtherAdvances.clear();
    const qreal advance = QFontMetricsF(FFont).horizontalAdvance(
        QString(reinterpret_cast<const QChar*>(character.data()),
                static_cast<qsizetype>(character.size())));
    FOtherAdvances.emplace(std::move(character), advance);
    return advance;
}

// The rule of WrapColumns with each character as wide as it is drawn: as many whole characters
// as fit, then back to after the row's last blank.
void TLineWrapper::WrapByWidth(std::u16string_view ALine, std::vector<int64_t>& AStarts) {
    AStarts.assign(1, 0);
    const std::size_t size = ALine.size();
    // Sums of widths may stray by a rounding from the product of a column count.
    const qreal limit = FWidth + 0.01;
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

void TLineWrapper::Wrap(const TTextDocument& ADocument, int64_t ALine, std::u16string_view AText,
                        std::vector<int64_t>& AStarts) {
    if (FAsciiOneColumn && ADocument.AsciiLine(ALine))
        WrapColumns(AText, FColumns, AStarts);
    else
        WrapByWidth(AText, AStarts);
}

bool TLineWrapper::FitsAtSight(const TTextDocument& ADocument, int64_t ALine) const {
    return FAsciiOneColumn && ADocument.AsciiLine(ALine) && ADocument.LineLength(ALine) <= FColumns;
}

TWrapLayout WrapDocument(const TTextDocument& ADocument, TLineWrapper& AWrapper,
                         const std::atomic<bool>* ACancel) {
    TWrapLayout layout;
    layout.Width = AWrapper.Width();
    layout.Columns = AWrapper.Columns();
    // Only ASCII lines longer than the columns and lines with other characters are looked at.
    const int64_t lines = ADocument.LineCount();
    int64_t extra = 0;
    std::u16string buffer;
    std::vector<int64_t> starts;
    int64_t units = 0; // looked at since the last look at ACancel
    for (int64_t line = 0; line < lines; ++line) {
        if (AWrapper.FitsAtSight(ADocument, line))
            continue;
        const std::u16string_view text = ADocument.Line(line, buffer);
        units += static_cast<int64_t>(text.size()) + 64;
        if (units > (1 << 18)) {
            units = 0;
            if (ACancel && ACancel->load(std::memory_order_relaxed))
                return layout;
        }
        AWrapper.Wrap(ADocument, line, text, starts);
        const auto rows = static_cast<int64_t>(starts.size());
        if (rows <= 1)
            continue;
        layout.Wrapped.push_back({line, extra, rows});
        extra += rows - 1;
        if (rows > 256 && static_cast<int64_t>(layout.LongLines.size()) < KeptLongLines)
            layout.LongLines.emplace(line, starts);
    }
    layout.TotalRows = lines + extra;
    layout.Complete = true;
    return layout;
}
