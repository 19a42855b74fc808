#include "TextSearch.h"

#include "TextDocument.h"

#include <QStringView>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

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

// The case-blind search: the folded needle's first unit is looked for with a plain comparison
// against its two ASCII cases, and folding is done only where that fails on a non-ASCII unit.
void SearchFolded(QStringView AText, int64_t ABase, int64_t AStopAt, const QString& ANeedle,
                  std::vector<int64_t>& AOut) {
    std::u16string needle;
    for (const QChar c : ANeedle)
        needle.push_back(Fold(c.unicode()));
    const char16_t first = needle[0];
    const char16_t upper = first >= u'a' && first <= u'z' ? char16_t(first - 32) : first;
    const char16_t* text = reinterpret_cast<const char16_t*>(AText.data());
    const qsizetype size = AText.size();
    const auto length = static_cast<qsizetype>(needle.size());
    for (qsizetype i = 0; i + length <= size; ++i) {
        const char16_t c = text[i];
        if (c != first && c != upper && (c < 128 || Fold(c) != first))
            continue;
        qsizetype j = 1;
        while (j < length && Fold(text[i + j]) == needle[static_cast<std::size_t>(j)])
            ++j;
        if (j < length)
            continue;
        if (ABase + i >= AStopAt)
            return;
        AOut.push_back(ABase + i);
        i += length - 1;
    }
}

void SearchView(QStringView AText, int64_t ABase, int64_t AStopAt, const QString& ANeedle,
                Qt::CaseSensitivity ACase, std::vector<int64_t>& AOut) {
    if (ACase == Qt::CaseInsensitive)
        return SearchFolded(AText, ABase, AStopAt, ANeedle, AOut);
    qsizetype at = 0;
    for (;;) {
        at = AText.indexOf(ANeedle, at, ACase);
        if (at < 0 || ABase + at >= AStopAt)
            return;
        AOut.push_back(ABase + at);
        at += ANeedle.size();
    }
}

} // namespace

std::vector<int64_t> FindAll(const TTextDocument& ADocument, const QString& ANeedle,
                             Qt::CaseSensitivity ACase, const std::atomic<bool>* ACancel) {
    if (ANeedle.isEmpty() || ANeedle.contains(u'\n') || ANeedle.contains(u'\r'))
        return {};
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
        std::u16string buffer;
        if (APiece.From >= 0) {
            const std::u16string_view line = ADocument.Line(APiece.FirstLine, buffer);
            const int64_t end = std::min<int64_t>(static_cast<int64_t>(line.size()),
                                                  APiece.To + ANeedle.size() - 1);
            SearchView(QStringView(line.data() + APiece.From, end - APiece.From),
                       ADocument.LineStart(APiece.FirstLine) + APiece.From,
                       ADocument.LineStart(APiece.FirstLine) + APiece.To, ANeedle, ACase, found);
            return found;
        }
        if (!ADocument.Pretty()) {
            // The raw lines of a piece lie side by side in the answer: one search covers them.
            const int64_t from = ADocument.LineStart(APiece.FirstLine);
            const int64_t to =
                ADocument.LineStart(APiece.EndLine - 1) + ADocument.LineLength(APiece.EndLine - 1);
            SearchView(QStringView(ADocument.Source()->data() + from, to - from), from, INT64_MAX,
                       ANeedle, ACase, found);
            return found;
        }
        // The indented lines of a piece are made into one text, as shown, and searched at once.
        std::u16string piece;
        std::u16string line;
        for (int64_t i = APiece.FirstLine; i < APiece.EndLine; ++i) {
            piece.append(ADocument.Line(i, line));
            piece.push_back(u'\n');
        }
        SearchView(QStringView(piece.data(), static_cast<qsizetype>(piece.size())),
                   ADocument.LineStart(APiece.FirstLine), INT64_MAX, ANeedle, ACase, found);
        return found;
    };
    const QList<std::vector<int64_t>> parts =
        QtConcurrent::blockingMapped<QList<std::vector<int64_t>>>(&PiecePool(), pieces, search);
    std::vector<int64_t> all;
    if (ACancel && ACancel->load())
        return all;
    std::size_t count = 0;
    for (const auto& part : parts)
        count += part.size();
    all.reserve(count);
    // Pieces of one long line overlap: a match found again inside the one before is dropped.
    for (const auto& part : parts)
        for (const int64_t at : part)
            if (all.empty() || at >= all.back() + ANeedle.size())
                all.push_back(at);
    return all;
}
