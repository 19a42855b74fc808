#pragma once

#include "RowFile.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TCommand;

// A file's columns as they meet a command's parameters: the parameter a column names, or why it
// names none, in the words of the command line's check.
struct TColumnMatch {
    std::string Column;
    std::string Param;   // the catalogue's spelling; empty when the column names no parameter
    std::string Problem; // "Unknown column ... Did you mean ...", a column given twice, ...
};

std::vector<TColumnMatch> MatchColumns(const TCommand& ACommand,
                                       const std::vector<std::string>& AColumns,
                                       const QStringList& AFixed);

// The columns of APath: a CSV file's header, or the keys of the first AMaxRows rows of a JSON
// Lines file in the order they first come. Throws ERowSyntax, ERowFileError.
std::vector<std::string> RowFileColumns(const std::string& APath, TRowFormat AFormat,
                                        std::int64_t AMaxRows = 100);

// Writes the rows of AFrom that AWanted picks (by number) to ATo, in the same format and with
// the same columns, so that the new file can be run as it is; the number written. Throws
// ERowFileError, ERowSyntax.
std::int64_t ExportRows(const std::string& AFrom, TRowFormat AFormat, const std::string& ATo,
                        const std::function<bool(std::int64_t)>& AWanted);
