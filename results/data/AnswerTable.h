#pragma once

#include "AnswerTree.h"

#include <cstdint>
#include <string>
#include <vector>

// A part of the answer shown as rows and columns: an array of objects (one row per object, one
// column per key, the union of the keys in the order first seen) or an object whose members are
// arrays of one length, two or more (one column per member, side by side).
struct TAnswerTable {
    std::uint32_t Source = NoNode;    // the array or object the table is made from
    std::vector<std::string> Columns; // the keys, unescaped
    std::vector<bool> Numeric;        // a column whose every value is a number (or null)
    std::size_t Rows = 0;
    std::vector<std::uint32_t> Cells; // row by row, NoNode where a row lacks the key

    std::uint32_t Cell(std::size_t ARow, std::size_t AColumn) const {
        return Cells[ARow * Columns.size() + AColumn];
    }
};

// The containers of the answer that can be shown as a table, in document order.
std::vector<std::uint32_t> FindTables(const TAnswerTree& ATree);
// Whether ANode can be shown as a table.
bool IsTable(const TAnswerTree& ATree, std::uint32_t ANode);
// The table of ANode, which IsTable accepts.
TAnswerTable MakeTable(const TAnswerTree& ATree, std::uint32_t ANode);

// A cell as shown: a string unescaped, a number as written, a nested value as compact JSON,
// null or a missing key as nothing.
std::string CellText(const TAnswerTree& ATree, std::uint32_t ACell);

// The rows in the answer's order.
std::vector<std::uint32_t> AllRows(const TAnswerTable& ATable);
