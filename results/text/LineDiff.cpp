#include "LineDiff.h"

#include "JsonFormat.h"

#include <algorithm>
#include <cstddef>

namespace {

using TLines = std::vector<std::u16string>;

// Myers' forward search over AOld[from, oldEnd) and ANew[from, newEnd), keeping each round's
// furthest reaches to walk the script back; false when it needs more than AMaxEdits edits.
// The part of both texts between their common start and end.
struct TMiddle {
    std::size_t From;
    std::size_t OldEnd;
    std::size_t NewEnd;
};

bool MiddleScript(const TLines& AOld, const TLines& ANew, TMiddle AMiddle, std::size_t AMaxEdits,
                  std::vector<TDiffLine>& AOut) {
    const std::size_t from = AMiddle.From;
    const std::size_t oldEnd = AMiddle.OldEnd;
    const std::size_t newEnd = AMiddle.NewEnd;
    const auto n = static_cast<std::ptrdiff_t>(oldEnd - from);
    const auto m = static_cast<std::ptrdiff_t>(newEnd - from);
    const std::ptrdiff_t limit = std::min<std::ptrdiff_t>(n + m, std::ptrdiff_t(AMaxEdits));
    const std::ptrdiff_t offset = limit + 1;
    std::vector<std::ptrdiff_t> reach(static_cast<std::size_t>(2 * offset + 1), 0);
    std::vector<std::vector<std::ptrdiff_t>> rounds;
    const auto at = [&](std::ptrdiff_t AK) -> std::ptrdiff_t& {
        return reach[static_cast<std::size_t>(AK + offset)];
    };
    const auto same = [&](std::ptrdiff_t AX, std::ptrdiff_t AY) {
        return AOld[from + static_cast<std::size_t>(AX)] ==
               ANew[from + static_cast<std::size_t>(AY)];
    };
    std::ptrdiff_t found = -1;
    for (std::ptrdiff_t d = 0; d <= limit && found < 0; ++d) {
        for (std::ptrdiff_t k = -d; k <= d; k += 2) {
            std::ptrdiff_t x =
                (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
            std::ptrdiff_t y = x - k;
            while (x < n && y < m && same(x, y)) {
                ++x;
                ++y;
            }
            at(k) = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
        rounds.push_back(reach);
    }
    if (found < 0)
        return false;
    // Back from the end: each round names the step that reached the diagonal.
    std::vector<TDiffLine> script;
    std::ptrdiff_t x = n;
    std::ptrdiff_t y = m;
    for (std::ptrdiff_t d = found; d > 0; --d) {
        const std::vector<std::ptrdiff_t>& before = rounds[static_cast<std::size_t>(d - 1)];
        const auto prior = [&](std::ptrdiff_t AK) {
            return before[static_cast<std::size_t>(AK + offset)];
        };
        const std::ptrdiff_t k = x - y;
        const bool down = k == -d || (k != d && prior(k - 1) < prior(k + 1));
        const std::ptrdiff_t previousK = down ? k + 1 : k - 1;
        const std::ptrdiff_t previousX = prior(previousK);
        const std::ptrdiff_t previousY = previousX - previousK;
        while (x > previousX && y > previousY) {
            --x;
            --y;
            script.push_back({TDiffKind::Same, AOld[from + static_cast<std::size_t>(x)]});
        }
        if (down)
            script.push_back({TDiffKind::Added, ANew[from + static_cast<std::size_t>(--y)]});
        else
            script.push_back({TDiffKind::Removed, AOld[from + static_cast<std::size_t>(--x)]});
    }
    while (x > 0 && y > 0) {
        --x;
        --y;
        script.push_back({TDiffKind::Same, AOld[from + static_cast<std::size_t>(x)]});
    }
    AOut.insert(AOut.end(), script.rbegin(), script.rend());
    return true;
}

} // namespace

std::vector<TDiffLine> DiffLines(const TLines& AOld, const TLines& ANew, std::size_t AMaxEdits) {
    std::vector<TDiffLine> diff;
    std::size_t start = 0;
    while (start < AOld.size() && start < ANew.size() && AOld[start] == ANew[start])
        diff.push_back({TDiffKind::Same, AOld[start++]});
    std::size_t oldEnd = AOld.size();
    std::size_t newEnd = ANew.size();
    while (oldEnd > start && newEnd > start && AOld[oldEnd - 1] == ANew[newEnd - 1]) {
        --oldEnd;
        --newEnd;
    }
    if (!MiddleScript(AOld, ANew, {start, oldEnd, newEnd}, AMaxEdits, diff)) {
        for (std::size_t i = start; i < oldEnd; ++i)
            diff.push_back({TDiffKind::Removed, AOld[i]});
        for (std::size_t i = start; i < newEnd; ++i)
            diff.push_back({TDiffKind::Added, ANew[i]});
    }
    for (std::size_t i = oldEnd; i < AOld.size(); ++i)
        diff.push_back({TDiffKind::Same, AOld[i]});
    return diff;
}

std::vector<std::u16string> PrettyLines(std::u16string_view AText) {
    TLines lines;
    TJsonLayout layout = FormatJson(AText);
    if (layout.Valid && !layout.Lines.empty()) {
        std::u16string tokens;
        lines.reserve(layout.Lines.size());
        for (std::size_t i = 0; i < layout.Lines.size(); ++i) {
            const TJsonLine line = layout.Lines.At(AText, i);
            if (line.Escape()) {
                const TJsonLine decoded = DecodeJsonLine(AText, line, tokens);
                AppendJsonLine(tokens, decoded, lines.emplace_back());
            } else {
                AppendJsonLine(AText, line, lines.emplace_back());
            }
        }
        return lines;
    }
    std::size_t begin = 0;
    while (begin <= AText.size()) {
        std::size_t end = AText.find_first_of(u"\r\n", begin);
        if (end == std::u16string_view::npos) {
            if (begin < AText.size())
                lines.emplace_back(AText.substr(begin));
            break;
        }
        lines.emplace_back(AText.substr(begin, end - begin));
        begin = end +
                (AText[end] == u'\r' && end + 1 < AText.size() && AText[end + 1] == u'\n' ? 2 : 1);
    }
    return lines;
}

std::u16string DiffText(const std::vector<TDiffLine>& ADiff) {
    std::u16string text;
    for (const TDiffLine& line : ADiff) {
        text += line.Kind == TDiffKind::Same      ? u"  "
                : line.Kind == TDiffKind::Removed ? u"- "
                                                  : u"+ ";
        text += line.Text;
        text += u'\n';
    }
    return text;
}
