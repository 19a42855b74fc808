#pragma once

#include <QFont>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TTextDocument;

// Cuts lines into rows at word boundaries for a width: ASCII lines by columns of a fixed-pitch
// font, other lines by the widths their characters are drawn with, never splitting a character
// (a grapheme cluster). Keeps the widths it measured; each thread wraps with a wrapper of its own
// (see Clone).
class TLineWrapper {
public:
    explicit TLineWrapper(const QFont& AFont);

    // A wrapper for another thread: the same font and width, the widths measured so far, and
    // nothing shared with this one.
    TLineWrapper Clone() const;

    void SetWidth(qreal AWidth, int AColumns);
    qreal Width() const { return FWidth; }
    int Columns() const { return FColumns; }
    // Every printable ASCII character as wide as '0': ASCII lines then wrap by columns.
    bool AsciiOneColumn() const { return FAsciiOneColumn; }

    // The rows of ALine of ADocument (its text AText): their starts, the first 0.
    void Wrap(const TTextDocument& ADocument, int64_t ALine, std::u16string_view AText,
              std::vector<int64_t>& AStarts);
    // Whether ALine takes one row without being looked at (an ASCII line within the columns).
    bool FitsAtSight(const TTextDocument& ADocument, int64_t ALine) const;

private:
    void WrapByWidth(std::u16string_view ALine, std::vector<int64_t>& AStarts);
    // The width of the character [AFrom, ATo) of ALine as drawn at AX from the row's start.
    qreal Advance(std::u16string_view ALine, std::size_t AFrom, std::size_t ATo, qreal AX);

    QFont FFont;
    qreal FWidth = 0;
    int FColumns = 1;
    // Widths of characters as drawn in the font, measured once each.
    std::vector<float> FBmpAdvances; // by code unit; negative: not measured yet
    std::unordered_map<char32_t, qreal> FAstralAdvances;
    std::unordered_map<std::u16string, qreal> FOtherAdvances; // of more than one code point
    bool FAsciiOneColumn = true;
    qreal FColumn = 1; // the width of '0'
    qreal FTabStop = 80;
};

// A line that takes more than one row, with the rows of the wrapped lines before it.
struct TWrappedLine {
    int64_t Line;
    int64_t ExtraBefore;
    int64_t Rows;
};

// Every line of a document wrapped for one width.
struct TWrapLayout {
    qreal Width = 0;
    int Columns = 0;
    std::vector<TWrappedLine> Wrapped; // by line
    int64_t TotalRows = 0;
    bool Complete = false; // false: stopped before the end
    // Row starts of the first very long lines, kept so that showing them wraps nothing again.
    std::unordered_map<int64_t, std::vector<int64_t>> LongLines;
};

// Wraps every line of ADocument with AWrapper; stops early, incomplete, when ACancel is set.
TWrapLayout WrapDocument(const TTextDocument& ADocument, TLineWrapper& AWrapper,
                         const std::atomic<bool>* ACancel = nullptr);
