#pragma once

#include "AnswerTable.h"

#include <cstdint>
#include <vector>

// The order of a table's rows by one column, as a header click sorts them: nothing (null or a
// missing key) first, then numbers by value, then other values by their text as shown (UTF-8 byte
// order, which is code point order). Descending turns that round, nothing last. Ties keep the
// answer's order either way.
class TTableSorter {
public:
    // The rows of ATable in the order of AColumn. The last column sorted is kept: the same column
    // again, in either direction, is one pass over the rows, not a new sort.
    std::vector<std::uint32_t> Sort(const TAnswerTree& ATree, const TAnswerTable& ATable,
                                    std::size_t AColumn, bool AAscending);
    // Forgets the kept order, for another table.
    void Clear();

private:
    static constexpr std::size_t NoColumn = SIZE_MAX;
    std::size_t FColumn = NoColumn;
    std::vector<std::uint32_t> FAscending; // the rows, ascending
    std::vector<bool> FTied;               // a row whose key equals the one before it
};

// The rows in the order of one column, sorted afresh.
std::vector<std::uint32_t> SortRows(const TAnswerTree& ATree, const TAnswerTable& ATable,
                                    std::size_t AColumn, bool AAscending);
