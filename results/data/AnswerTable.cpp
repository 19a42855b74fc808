#include "AnswerTable.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace {

bool IsContainer(TNodeKind AKind) {
    return AKind == TNodeKind::Object || AKind == TNodeKind::Array;
}

// An array of objects, none missing.
bool IsArrayOfObjects(const TAnswerTree& ATree, std::uint32_t ANode) {
    const TAnswerNode& node = ATree.Node(ANode);
    if (ATree.Kind(ANode) != TNodeKind::Array || node.Length == 0)
        return false;
    for (std::uint32_t child = ANode + 1; child < node.End; child = ATree.Node(child).End)
        if (ATree.Kind(child) != TNodeKind::Object)
            return false;
    return true;
}

// An object of two members or more, all arrays of one length (one member alone is a list, no
// table, and an object that only wraps an array would hide the table inside it).
bool IsParallelArrays(const TAnswerTree& ATree, std::uint32_t ANode) {
    const TAnswerNode& node = ATree.Node(ANode);
    if (ATree.Kind(ANode) != TNodeKind::Object || node.Length < 2)
        return false;
    std::uint32_t length = NoNode;
    for (std::uint32_t child = ANode + 1; child < node.End; child = ATree.Node(child).End) {
        const TAnswerNode& member = ATree.Node(child);
        if (ATree.Kind(child) != TNodeKind::Array || (length != NoNode && member.Length != length))
            return false;
        length = member.Length;
    }
    return length > 0;
}

} // namespace

bool IsTable(const TAnswerTree& ATree, std::uint32_t ANode) {
    return IsArrayOfObjects(ATree, ANode) || IsParallelArrays(ATree, ANode);
}

std::vector<std::uint32_t> FindTables(const TAnswerTree& ATree) {
    std::vector<std::uint32_t> tables;
    for (std::uint32_t node = 0; node < ATree.Size(); ++node)
        if (IsContainer(ATree.Kind(node)) && IsTable(ATree, node))
            tables.push_back(node);
    return tables;
}

TAnswerTable MakeTable(const TAnswerTree& ATree, std::uint32_t ANode) {
    TAnswerTable table;
    table.Source = ANode;
    const TAnswerNode& source = ATree.Node(ANode);
    std::vector<std::uint32_t> cells;
    if (ATree.Kind(ANode) == TNodeKind::Object) {
        const std::vector<std::uint32_t> members = ATree.Children(ANode);
        std::vector<std::vector<std::uint32_t>> columns;
        for (const std::uint32_t member : members) {
            table.Columns.push_back(ATree.Key(member));
            columns.push_back(ATree.Children(member));
        }
        table.Rows = ATree.Node(members.front()).Length;
        table.Cells.resize(table.Rows * members.size());
        for (std::size_t row = 0; row < table.Rows; ++row)
            for (std::size_t column = 0; column < members.size(); ++column)
                table.Cells[row * members.size() + column] = columns[column][row];
    } else {
        // Keys first, to know the columns; the cells of a row are placed once they are known.
        std::unordered_map<std::string, std::uint32_t> columnOf;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> placed; // column, node
        std::vector<std::size_t> rowStart;
        for (std::uint32_t row = ANode + 1; row < source.End; row = ATree.Node(row).End) {
            rowStart.push_back(placed.size());
            const TAnswerNode& object = ATree.Node(row);
            for (std::uint32_t member = row + 1; member < object.End;
                 member = ATree.Node(member).End) {
                const std::string_view raw = ATree.RawKey(member);
                std::string key = raw.find('\\') == std::string_view::npos
                                      ? std::string(raw.substr(1, raw.size() - 2))
                                      : ATree.Key(member);
                auto [at, added] = columnOf.try_emplace(
                    std::move(key), static_cast<std::uint32_t>(table.Columns.size()));
                if (added)
                    table.Columns.push_back(at->first);
                placed.emplace_back(at->second, member);
            }
        }
        rowStart.push_back(placed.size());
        table.Rows = rowStart.size() - 1;
        const std::size_t width = table.Columns.size();
        table.Cells.assign(table.Rows * width, NoNode);
        for (std::size_t row = 0; row < table.Rows; ++row)
            for (std::size_t at = rowStart[row]; at < rowStart[row + 1]; ++at)
                table.Cells[row * width + placed[at].first] = placed[at].second; // last one wins
    }
    table.Numeric.assign(table.Columns.size(), true);
    std::vector<bool> any(table.Columns.size(), false);
    for (std::size_t row = 0; row < table.Rows; ++row)
        for (std::size_t column = 0; column < table.Columns.size(); ++column) {
            const std::uint32_t cell = table.Cell(row, column);
            const TNodeKind kind = cell == NoNode ? TNodeKind::Null : ATree.Kind(cell);
            if (kind == TNodeKind::Null)
                continue;
            any[column] = true;
            if (kind != TNodeKind::Number)
                table.Numeric[column] = false;
        }
    for (std::size_t column = 0; column < any.size(); ++column)
        table.Numeric[column] = table.Numeric[column] && any[column];
    return table;
}

std::string CellText(const TAnswerTree& ATree, std::uint32_t ACell) {
    if (ACell == NoNode || ATree.Kind(ACell) == TNodeKind::Null)
        return {};
    return ATree.DisplayText(ACell);
}

std::vector<std::uint32_t> AllRows(const TAnswerTable& ATable) {
    std::vector<std::uint32_t> rows(ATable.Rows);
    std::iota(rows.begin(), rows.end(), 0U);
    return rows;
}
