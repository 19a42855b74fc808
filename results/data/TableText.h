#pragma once

#include "AnswerTable.h"

#include <string>
#include <string_view>
#include <vector>

// A table as text, with a header line of the column names, for the rows given in their order.

// CSV by RFC 4180: fields with a comma, a quote or a line break in quotes (quotes doubled), lines
// ended by CR LF, UTF-8.
std::string TableCsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows, bool AHeader = true);
// Tab-separated, lines ended by LF, as spreadsheets paste it: a tab or line break inside a cell
// becomes a space.
std::string TableTsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows, bool AHeader = true);
// Columns aligned for a terminal, two spaces apart, numbers to the right; a cell longer than
// AMaxWidth characters is cut with an ellipsis.
std::string TableAligned(const TAnswerTree& ATree, const TAnswerTable& ATable,
                         const std::vector<std::uint32_t>& ARows, std::size_t AMaxWidth = 60);

// The pieces the functions above are made of, for a table gathered from several answers.

// Appends AText as one CSV field: in quotes when it holds a comma, a quote or a line break.
void AppendCsvField(std::string_view AText, std::string& AOut);
// Appends AText as one tab-separated field: tabs and line breaks as spaces.
void AppendTsvField(std::string_view AText, std::string& AOut);
// A cell as an aligned table shows it: line breaks and tabs as spaces, cut to AMaxWidth
// characters, the last of them an ellipsis.
std::string ShownCell(std::string_view AText, std::size_t AMaxWidth);
// The characters of a UTF-8 text (code points), as the aligned table counts its widths.
std::size_t TextWidth(std::string_view AText);
// Appends one line of an aligned table, line break included: AShown as ShownCell made them, each
// padded to its column's width, numeric columns to the right, no blanks at the end.
void AppendAlignedLine(const std::vector<std::string>& AShown,
                       const std::vector<std::size_t>& AWidths, const std::vector<bool>& ANumeric,
                       std::string& AOut);
