#include "TextSearch.h"

#include "TextDocument.h"

#include <QStringView>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// A stretch of the text searched by one task: lines [FirstLine, EndLine), or for a single long
// line the shown offsets [From, To) within it.
struct TPiece {
    int64_t FirstLine;
    int64_t EndLine;
    int64_t From = -1;
    int64_t To = -1;
};

constexpr int64_t PieceSize = 1 << 20;

// The pieces of every search run here: a search itself runs in a pool thread and waits for its
// pieces, so they cannot share its pool without the risk of waiting for themselves.
QThreadPool& PiecePool() {
    static QThreadPool pool;
    return pool;
}

// One UTF-16 unit as compared without regard to case; ASCII without a table look-up.
inline char16_t Fold(char16_t AChar) {
    if (AChar < 128)
        return AChar >= u'A' && AChar <= u'Z' ? char16_t(AChar + 32) : AChar;
    return static_cast<char16_t>(QChar::toCaseFolded(char32_t(AChar)));
}

// Characters the indented form writes itself (indent, ": ", commas, the closing bracket of an
// empty object or array); every other character of it stands in the answer. Each folds to itself.
bool IsWritten(char16_t AChar) {
    return AChar == u' ' || AChar == u':' || AChar == u',' || AChar == u'}' || AChar == u']';
}

// What is looked for: the units as compared (folded when case-blind) and the two ASCII cases of
// the first one, which are found with a plain comparison. The anchor is the unit that is looked
// for in the answer when searching the indented form: one it does not write itself, a letter
// where there is one (quotes and digits are common in JSON); -1 when there is none.
struct TNeedle {
    TNeedle(const QString& AText, Qt::CaseSensitivity ACase)
        : Folded(ACase == Qt::CaseInsensitive) {
        for (const QChar c : AText)
            Units.push_back(Folded ? Fold(c.unicode()) : c.unicode());
        First = Units[0];
        Upper = UpperOf(First);
        int best = 0;
        for (std::size_t i = 0; i < Units.size(); ++i) {
            const char16_t c = Units[i];
            const bool asciiLetter = (c | 0x20) >= u'a' && (c | 0x20) <= u'z';
            // An ASCII letter other than k and s is found in either case at once (no other
            // character folds to it).
            const int rank = IsWritten(c)                                              ? 0
                             : c == u'"'                                               ? 1
                             : c >= u'0' && c <= u'9'                                  ? 2
                             : asciiLetter && (c | 0x20) != u'k' && (c | 0x20) != u's' ? 5
                             : QChar::isLetter(c)                                      ? 4
                                                                                       : 3;
            if (rank > best) {
                best = rank;
                Anchor = static_cast<int64_t>(i);
            }
        }
        if (Anchor >= 0) {
            AnchorUnit = Units[static_cast<std::size_t>(Anchor)];
            AnchorUpper = UpperOf(AnchorUnit);
        }
        // Back[j]: the longest proper prefix of the first j + 1 units that is also their suffix
        // (Knuth, Morris and Pratt's failure function, or prefix table).
        Back.assign(Units.size(), 0);
        for (std::size_t j = 1, k = 0; j < Units.size(); ++j) {
            while (k > 0 && Units[j] != Units[k])
                k = Back[k - 1];
            if (Units[j] == Units[k])
                ++k;
            Back[j] = k;
        }
    }
    // The units matched once AText follows AMatched matched units, falling back along Back where
    // the next unit differs: every unit of a text is read once, whatever the needle.
    char16_t Unit(char16_t AText) const { return Folded ? Fold(AText) : AText; }
    std::size_t Step(std::size_t AMatched, char16_t AText) const {
        const char16_t c = Unit(AText);
        while (AMatched > 0 && c != Units[AMatched])
            AMatched = Back[AMatched - 1];
        return c == Units[AMatched] ? AMatched + 1 : 0;
    }
    char16_t UpperOf(char16_t AUnit) const {
        return Folded && AUnit >= u'a' && AUnit <= u'z' ? char16_t(AUnit - 32) : AUnit;
    }
    bool IsFirst(char16_t AText) const {
        return AText == First || AText == Upper || (Folded && AText >= 128 && Fold(AText) == First);
    }
    int64_t Size() const { return static_cast<int64_t>(Units.size()); }

    bool Folded;
    std::u16string Units;
    char16_t First;
    char16_t Upper;
    int64_t Anchor = -1;
    char16_t AnchorUnit = 0;
    char16_t AnchorUpper = 0;
    std::vector<std::size_t> Back;
};

// The first unit at or after AFrom and before ATo that equals AUnit (AUnit as it was folded, with
// AUpper its ASCII capital, when AFolded), or ATo.
int64_t FindUnit(const char16_t* AText, int64_t AFrom, int64_t ATo, char16_t AUnit, char16_t AUpper,
                 bool AFolded) {
    const auto slow = [&] {
        for (int64_t i = AFrom; i < ATo; ++i) {
            const char16_t c = AText[i];
            if (c == AUnit || c == AUpper || (c >= 128 && Fold(c) == AUnit))
                return i;
        }
        return ATo;
    };
    if (AFolded && (AUnit >= 128 || AUnit == u'k' || AUnit == u's'))
        return slow(); // other characters fold to these
    // An ASCII letter in either case is exactly the units that equal it once bit 5 is set.
    const char16_t caseBit = AFolded && AUnit != AUpper ? 0x20 : 0;
    int64_t i = AFrom;
#ifdef __SSE2__
    const __m128i caseBits = _mm_set1_epi16(static_cast<short>(caseBit));
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(AUnit));
    for (; i + 8 <= ATo; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AText + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(units, caseBits), wanted));
        if (mask != 0)
            return i + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    }
#endif
    for (; i < ATo; ++i)
        if ((AText[i] | caseBit) == AUnit)
            return i;
    return ATo;
}

// Every match in AText, left to right: the needle's first unit is looked for with a plain
// comparison (against its two ASCII cases when case-blind); from there the text is read on unit
// by unit while a part of the needle matches, never going back.
void SearchView(QStringView AText, int64_t ABase, int64_t AStopAt, const TNeedle& ANeedle,
                std::vector<int64_t>& AOut) {
    const char16_t* text = reinterpret_cast<const char16_t*>(AText.data());
    const int64_t size = AText.size();
    const int64_t length = ANeedle.Size();
    std::size_t matched = 0;
    for (int64_t i = 0; i < size;) {
        if (matched == 0) {
            i = FindUnit(text, i, size - length + 1, ANeedle.First, ANeedle.Upper, ANeedle.Folded);
            if (i + length > size)
                return;
            // Straight on while the needle matches (most places fail at once); the unit that
            // differs is read once more, by Step.
            std::size_t j = 1;
            while (j < static_cast<std::size_t>(length) &&
                   ANeedle.Unit(text[i + j]) == ANeedle.Units[j])
                ++j;
            matched = j;
            i += static_cast<int64_t>(j);
        } else {
            matched = ANeedle.Step(matched, text[i++]);
        }
        if (matched < static_cast<std::size_t>(length))
            continue;
        matched = 0;
        if (ABase + i - length >= AStopAt)
            return;
        AOut.push_back(ABase + i - length);
    }
}

// A stretch of the shown text of an indented line: a piece of the answer, a fixed text, or one
// character repeated (the indent). The indented text is searched in these parts as they are,
// without being made.
struct TPart {
    const char16_t* Data;
    int64_t Length;
    bool Repeat;
    char16_t At(int64_t AIndex) const { return Repeat ? Data[0] : Data[AIndex]; }
};

// A shown line as its parts: indent, key and ": ", value (an empty one as its two brackets),
// comma; the same text AppendJsonLine makes.
struct TShownLine {
    TShownLine(const char16_t* AText, const TJsonLine& ALine);
    TPart Parts[6];
    int Count = 0;
};

TShownLine::TShownLine(const char16_t* AText, const TJsonLine& ALine) {
    static constexpr char16_t Space = u' ';
    if (ALine.Indent() > 0)
        Parts[Count++] = {&Space, ALine.Indent(), true};
    const char16_t* start = AText + ALine.Start;
    if (ALine.KeyLength) {
        Parts[Count++] = {start, ALine.KeyLength, false};
        Parts[Count++] = {u": ", 2, false};
    }
    const char16_t* value = start + ALine.ValueOffset;
    if (ALine.Empty()) {
        Parts[Count++] = {value, 1, false};
        Parts[Count++] = {*value == u'{' ? u"}" : u"]", 1, false};
    } else {
        Parts[Count++] = {value, ALine.ValueLength, false};
    }
    if (ALine.Comma())
        Parts[Count++] = {u",", 1, false};
}

// Reads the shown line on from column AFrom a unit at a time while a part of the needle matches,
// never going back: stops at the end of the first match (AFound receives its start, else -1),
// where no match can start at or before the column reached, or where every match still possible
// starts at ATo or later. Returns the first column where a match may still start.
int64_t ScanLine(const TShownLine& ALine, int64_t AFrom, int64_t ATo, const TNeedle& ANeedle,
                 int64_t& AFound) {
    AFound = -1;
    const auto size = static_cast<std::size_t>(ANeedle.Size());
    std::size_t matched = 0;
    int64_t partStart = 0;
    for (int k = 0; k < ALine.Count; partStart += ALine.Parts[k].Length, ++k) {
        const TPart& part = ALine.Parts[k];
        for (int64_t i = std::max<int64_t>(0, AFrom - partStart); i < part.Length; ++i) {
            matched = ANeedle.Step(matched, part.At(i));
            if (matched == size) {
                AFound = partStart + i + 1 - ANeedle.Size();
                return partStart + i + 1;
            }
            if (matched == 0)
                return partStart + i + 1;
            if (partStart + i + 1 - static_cast<int64_t>(matched) >= ATo)
                return partStart + i + 1 - static_cast<int64_t>(matched);
        }
    }
    return partStart; // a match begun cannot end within the line
}

// The first unit at or after AFrom in APart that may start a match, or the part's length.
int64_t NextCandidate(const TPart& APart, int64_t AFrom, const TNeedle& ANeedle) {
    if (APart.Repeat)
        return ANeedle.IsFirst(APart.Data[0]) ? AFrom : APart.Length;
    return FindUnit(APart.Data, AFrom, APart.Length, ANeedle.First, ANeedle.Upper, ANeedle.Folded);
}

// Every match in a shown line given as parts that starts at a shown column in [AFrom, ATo), as
// the left-to-right search over the made line would find them; ABase is the line's offset.
void SearchParts(const TShownLine& ALine, int64_t ABase, int64_t AFrom, int64_t ATo,
                 const TNeedle& ANeedle, std::vector<int64_t>& AOut) {
    int64_t column = AFrom; // no match starts before this
    int64_t partStart = 0;
    int k = 0;
    while (column < ATo) {
        while (k < ALine.Count && column >= partStart + ALine.Parts[k].Length)
            partStart += ALine.Parts[k++].Length;
        if (k == ALine.Count)
            return;
        const int64_t at = NextCandidate(ALine.Parts[k], column - partStart, ANeedle);
        column = partStart + at;
        if (at >= ALine.Parts[k].Length)
            continue;
        if (column >= ATo)
            return;
        int64_t found = -1;
        column = ScanLine(ALine, column, ATo, ANeedle, found);
        if (found >= ATo)
            return;
        if (found >= 0)
            AOut.push_back(ABase + found);
    }
}

// The matches in line ALine that start at a shown column in [AFrom, ATo).
void SearchLine(const TTextDocument& ADocument, int64_t ALine, int64_t AFrom, int64_t ATo,
                const TNeedle& ANeedle, std::vector<int64_t>& AOut) {
    const int64_t start = ADocument.LineStart(ALine);
    if (ADocument.Pretty()) {
        thread_local std::u16string tokens;
        const auto [text, line] = ADocument.ShownJsonLine(ALine, tokens);
        SearchParts(TShownLine(text.data(), line), start, AFrom, ATo, ANeedle, AOut);
        return;
    }
    const int64_t length = ADocument.LineLength(ALine);
    const int64_t end = ATo >= length ? length : std::min(length, ATo + ANeedle.Size() - 1);
    if (end > AFrom)
        SearchView(QStringView(ADocument.Source()->data() + start + AFrom, end - AFrom),
                   start + AFrom, start + ATo, ANeedle, AOut);
}

// The matches in the indented lines [AFirst, AEnd), found from the answer: the needle's anchor
// is looked for in the answer itself, and from each place where it stands in a key or value the
// line as shown is read on. Lines are not made, nor even visited between the places. Lines that
// show escapes decoded are not the answer's text: they are made and searched on their own.
void SearchIndentedLines(const TTextDocument& ADocument, int64_t AFirst, int64_t AEnd,
                         const TNeedle& ANeedle, std::vector<int64_t>& AOut) {
    const char16_t* text = ADocument.Source()->data();
    const TJsonLine last = ADocument.JsonLine(AEnd - 1);
    const int64_t to = last.Start + last.ValueOffset + (last.Empty() ? 1 : last.ValueLength);
    const std::size_t first = AOut.size();
    int64_t line = AFirst;
    int64_t next = 0; // no match starts before this shown offset: the end of the one before
    for (int64_t at = ADocument.JsonLineStart(AFirst);; ++at) {
        at = FindUnit(text, at, to, ANeedle.AnchorUnit, ANeedle.AnchorUpper, ANeedle.Folded);
        if (at >= to)
            break;
        // The line whose key or value may hold the place: the last one starting at or before it.
        if (line + 1 < AEnd && ADocument.JsonLineStart(line + 1) <= at) {
            int64_t low = line + 1;
            int64_t step = 1;
            while (low + step < AEnd && ADocument.JsonLineStart(low + step) <= at) {
                low += step;
                step *= 2;
            }
            int64_t high = std::min(low + step, AEnd);
            while (high - low > 1) {
                const int64_t middle = low + (high - low) / 2;
                (ADocument.JsonLineStart(middle) <= at ? low : high) = middle;
            }
            line = low;
        }
        if (ADocument.DecodedLine(line))
            continue;
        const TJsonLine shown = ADocument.JsonLine(line);
        const int64_t valueStart = shown.Start + shown.ValueOffset;
        // The anchor's column in the shown line.
        int64_t column = shown.Indent();
        if (shown.KeyLength && at < shown.Start + shown.KeyLength)
            column += at - shown.Start;
        else if (at >= valueStart && at < valueStart + (shown.Empty() ? 1 : shown.ValueLength))
            column += (shown.KeyLength ? shown.KeyLength + 2 : 0) + at - valueStart;
        else
            continue; // between the tokens
        const int64_t start = column - ANeedle.Anchor;
        const int64_t lineStart = ADocument.LineStart(line);
        if (start < 0 || lineStart + start < next)
            continue;
        // Read on from there once: the places of the anchor it passes are settled.
        int64_t found = -1;
        next = lineStart + ScanLine(TShownLine(text, shown), start, INT64_MAX, ANeedle, found);
        if (found >= 0)
            AOut.push_back(lineStart + found);
    }
    // A decoded character may be the anchor where the answer has its escape: every decoded line
    // of the piece is searched as shown, and its matches put in their place (a match never runs
    // across a line break, so the lines' matches do not touch each other).
    const std::size_t middle = AOut.size();
    for (int64_t shown = AFirst; shown < AEnd; ++shown)
        if (ADocument.DecodedLine(shown))
            SearchLine(ADocument, shown, 0, INT64_MAX, ANeedle, AOut);
    std::inplace_merge(AOut.begin() + static_cast<std::ptrdiff_t>(first),
                       AOut.begin() + static_cast<std::ptrdiff_t>(middle), AOut.end());
}

} // namespace

std::vector<int64_t> FindAll(const TTextDocument& ADocument, const QString& ANeedle,
                             Qt::CaseSensitivity ACase, const std::atomic<bool>* ACancel) {
    if (ANeedle.isEmpty() || ANeedle.contains(u'\n') || ANeedle.contains(u'\r'))
        return {};
    const TNeedle needle(ANeedle, ACase);
    // Pieces of about PieceSize characters; a longer line is cut into pieces of its own, which
    // overlap by the needle's length so that no match is lost at a cut.
    std::vector<TPiece> pieces;
    const int64_t lines = ADocument.LineCount();
    int64_t first = 0;
    int64_t size = 0;
    for (int64_t line = 0; line < lines; ++line) {
        const int64_t length = ADocument.LineLength(line);
        if (length > PieceSize) {
            if (line > first)
                pieces.push_back({first, line});
            for (int64_t from = 0; from < length; from += PieceSize)
                pieces.push_back({line, line + 1, from, std::min(length, from + PieceSize)});
            first = line + 1;
            size = 0;
            continue;
        }
        size += length + 1;
        if (size >= PieceSize) {
            pieces.push_back({first, line + 1});
            first = line + 1;
            size = 0;
        }
    }
    if (first < lines)
        pieces.push_back({first, lines});

    const auto search = [&](const TPiece& APiece) {
        std::vector<int64_t> found;
        if (ACancel && ACancel->load(std::memory_order_relaxed))
            return found;
        if (APiece.From >= 0) {
            SearchLine(ADocument, APiece.FirstLine, APiece.From, APiece.To, needle, found);
            return found;
        }
        if (!ADocument.Pretty()) {
            // The raw lines of a piece lie side by side in the answer: one search covers them.
            const int64_t from = ADocument.LineStart(APiece.FirstLine);
            const int64_t to =
                ADocument.LineStart(APiece.EndLine - 1) + ADocument.LineLength(APiece.EndLine - 1);
            SearchView(QStringView(ADocument.Source()->data() + from, to - from), from, INT64_MAX,
                       needle, found);
            return found;
        }
        if (needle.Anchor >= 0) {
            SearchIndentedLines(ADocument, APiece.FirstLine, APiece.EndLine, needle, found);
            return found;
        }
        // Only characters the indented form writes itself: the lines are searched as parts.
        for (int64_t line = APiece.FirstLine; line < APiece.EndLine; ++line)
            SearchLine(ADocument, line, 0, INT64_MAX, needle, found);
        return found;
    };
    QList<std::vector<int64_t>> parts =
        QtConcurrent::blockingMapped<QList<std::vector<int64_t>>>(&PiecePool(), pieces, search);
    std::vector<int64_t> all;
    if (ACancel && ACancel->load())
        return all;
    std::size_t count = 0;
    for (const auto& part : parts)
        count += part.size();
    all.reserve(count);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        // A piece of a long line was searched from its own start; where the match before it
        // reaches into it, the matches that follow from that match's end are looked for again
        // (a needle such as "aa" would otherwise be found out of step).
        const TPiece& piece = pieces[static_cast<std::size_t>(i)];
        std::vector<int64_t>& part = parts[i];
        if (piece.From > 0 && !part.empty() && !all.empty() &&
            part.front() < all.back() + needle.Size()) {
            const int64_t lineStart = ADocument.LineStart(piece.FirstLine);
            part.clear();
            SearchLine(ADocument, piece.FirstLine, all.back() + needle.Size() - lineStart, piece.To,
                       needle, part);
        }
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}
