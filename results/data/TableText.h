#pragma once

#include "AnswerTable.h"

#include <string>
#include <vector>

// A table as text, with a header line of the column names, for the rows given in their order.

// CSV by RFC 4180: fields with a comma, a quote or a line break in quotes (quotes doubled), lines
// ended by CR LF, UTF-8.
std::string TableCsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows);
// Tab-separated, lines ended by LF, as spreadsheets paste it: a tab or line break inside a cell
// becomes a space.
std::string TableTsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows, bool AHeader = true);
// Columns aligned for a terminal, two spaces apart, numbers to the right; a cell longer than
// AMaxWidth characters is cut with an ellipsis.
std::string TableAligned(const TAnswerTree& ATree, const TAnswerTable& ATable,
                         const std::vector<std::uint32_t>& ARows, std::size_t AMaxWidth = 60);
