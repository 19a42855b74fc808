#pragma once

#include "CallArguments.h"
#include "RowFile.h"

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

// One row of a file as a call: the command's grid with the values given for every row and the
// row's own values in their rows, ticked, as a user would fill the window's grid for it. An empty
// value in the file leaves its row unticked, so a column may give a parameter to some rows only.

// Throws ECallUsage for a name among AColumns (a CSV header) that is not one of ACommand's
// parameters (with the closest names), names one column twice, or is also in AFixed
// ("NAME=VALUE").
void CheckColumns(const TCommand& ACommand, const std::vector<std::string>& AColumns,
                  const QStringList& AFixed);

// The grid of ARow: AFixed and the row's non-empty values, checked as a command line is checked
// (names, no name twice, nor both in the file and in AFixed), against AServer's versions when
// given, and with every parameter whose help says "(required)" given a value. Throws ECallUsage
// with the message for the row.
TCallGrid RowGrid(const TCommand& ACommand, bool AJSON, const QStringList& AFixed,
                  const TFileRow& ARow, std::optional<Version> AServer);

// The errors of the rows of a file as the user is shown them: the first MaxListed in full, then
// how many there are in all.
class TRowErrors {
public:
    static constexpr int MaxListed = 20;
    void Add(const TFileRow& ARow, const std::string& AMessage);
    bool Empty() const { return FCount == 0; }
    std::int64_t Count() const { return FCount; }
    // "row 3 (line 4): ..." lines, then "... and N more" and the count.
    std::string Text(std::int64_t ARows) const;

private:
    std::vector<std::string> FListed;
    std::int64_t FCount = 0;
};
