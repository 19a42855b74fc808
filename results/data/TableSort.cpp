#include "TableSort.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

namespace {

// A number's key. Past a double's range it is infinite (or zero, for a tiny one), as strtod reads
// it; from_chars would leave it unread.
double NumberOf(std::string_view ARaw) {
    double value = 0;
    if (std::from_chars(ARaw.data(), ARaw.data() + ARaw.size(), value).ec == std::errc())
        return value;
    return std::strtod(std::string(ARaw).c_str(), nullptr);
}

struct TNumberKey {
    double Value;
    std::uint32_t Row;
};

// A text's key: its first eight bytes as one number in byte order, so that most comparisons
// read no text, then the whole text.
struct TTextKey {
    std::uint64_t Prefix;
    std::string_view Text;
    std::uint32_t Row;
};

std::uint64_t PrefixOf(std::string_view AText) {
    unsigned char bytes[8] = {};
    std::memcpy(bytes, AText.data(), std::min<std::size_t>(8, AText.size()));
    std::uint64_t prefix = 0;
    for (const unsigned char byte : bytes)
        prefix = prefix << 8 | byte;
    return prefix;
}

} // namespace

void TTableSorter::Clear() {
    FColumn = NoColumn;
    FAscending.clear();
    FTied.clear();
}

std::vector<std::uint32_t> TTableSorter::Sort(const TAnswerTree& ATree, const TAnswerTable& ATable,
                                              std::size_t AColumn, bool AAscending) {
    if (AColumn != FColumn || FAscending.size() != ATable.Rows) {
        // The keys of the three groups, each sorted on its own: numbers as doubles, texts as
        // views into the answer (a text that differs from its form there is made once, here).
        std::vector<std::uint32_t> nothing;
        std::vector<TNumberKey> numbers;
        std::vector<TTextKey> texts;
        std::deque<std::string> made;
        for (std::uint32_t row = 0; row < ATable.Rows; ++row) {
            const std::uint32_t cell = ATable.Cell(row, AColumn);
            const TNodeKind kind = cell == NoNode ? TNodeKind::Null : ATree.Kind(cell);
            std::string_view text;
            switch (kind) {
            case TNodeKind::Null:
                nothing.push_back(row);
                continue;
            case TNodeKind::Number:
                numbers.push_back({NumberOf(ATree.Raw(cell)), row});
                continue;
            case TNodeKind::String:
                text = ATree.Raw(cell);
                if (text.find('\\') == std::string_view::npos)
                    text = text.substr(1, text.size() - 2);
                else
                    text = made.emplace_back(ATree.DisplayText(cell));
                break;
            case TNodeKind::True:
            case TNodeKind::False:
                text = ATree.Raw(cell);
                break;
            default:
                text = made.emplace_back(ATree.Json(cell));
                break;
            }
            texts.push_back({0, text, row});
        }
        std::sort(numbers.begin(), numbers.end(), [](const TNumberKey& A, const TNumberKey& B) {
            return A.Value < B.Value || (A.Value == B.Value && A.Row < B.Row);
        });
        const auto textLess = [](const TTextKey& A, const TTextKey& B) {
            if (A.Prefix != B.Prefix)
                return A.Prefix < B.Prefix;
            const int order = A.Text.compare(B.Text);
            return order < 0 || (order == 0 && A.Row < B.Row);
        };
        // Texts that all begin alike (names with one stem, say) are told apart by what follows.
        std::size_t common = texts.empty() ? 0 : texts.front().Text.size();
        for (const TTextKey& key : texts) {
            const std::string_view first = texts.front().Text;
            const std::size_t most = std::min(common, key.Text.size());
            common = static_cast<std::size_t>(
                std::mismatch(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(most),
                              key.Text.begin())
                    .first -
                first.begin());
        }
        for (TTextKey& key : texts)
            key.Prefix = PrefixOf(key.Text.substr(common));
        std::sort(texts.begin(), texts.end(), textLess);
        FAscending.clear();
        FAscending.reserve(ATable.Rows);
        FTied.assign(ATable.Rows, false);
        FAscending.insert(FAscending.end(), nothing.begin(), nothing.end());
        for (std::size_t at = 1; at < nothing.size(); ++at)
            FTied[at] = true;
        for (std::size_t at = 0; at < numbers.size(); ++at) {
            if (at != 0 && numbers[at].Value == numbers[at - 1].Value)
                FTied[FAscending.size()] = true;
            FAscending.push_back(numbers[at].Row);
        }
        for (std::size_t at = 0; at < texts.size(); ++at) {
            if (at != 0 && texts[at].Prefix == texts[at - 1].Prefix &&
                texts[at].Text == texts[at - 1].Text)
                FTied[FAscending.size()] = true;
            FAscending.push_back(texts[at].Row);
        }
        FColumn = AColumn;
    }
    if (AAscending)
        return FAscending;
    // Descending: the runs of equal keys from the last to the first, each in the answer's order.
    std::vector<std::uint32_t> rows;
    rows.reserve(FAscending.size());
    for (std::size_t end = FAscending.size(); end > 0;) {
        std::size_t start = end - 1;
        while (start > 0 && FTied[start])
            --start;
        rows.insert(rows.end(), FAscending.begin() + static_cast<std::ptrdiff_t>(start),
                    FAscending.begin() + static_cast<std::ptrdiff_t>(end));
        end = start;
    }
    return rows;
}

std::vector<std::uint32_t> SortRows(const TAnswerTree& ATree, const TAnswerTable& ATable,
                                    std::size_t AColumn, bool AAscending) {
    TTableSorter sorter;
    return sorter.Sort(ATree, ATable, AColumn, AAscending);
}
