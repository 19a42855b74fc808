#pragma once

#include "RowFile.h"
#include "RunJournal.h"

#include <cstdio>
#include <string>
#include <vector>

// Writes one record per row as it ends: the row's number, its values, the outcome, the HTTP
// status, the milliseconds and the answer's text. CSV (a header of "row", the file's columns or
// "values" for JSON Lines rows, "outcome", "status", "ms", "answer") or JSON Lines, by the file's
// extension (.jsonl or .ndjson; anything else is CSV). A run with before copies has
// "before_copy" before "answer": the read's status, or why it failed.
class TRowOutput {
public:
    // AColumns: a CSV file's header, empty for JSON Lines rows. Throws ERowFileError.
    TRowOutput(const std::string& APath, std::vector<std::string> AColumns,
               bool ABeforeCopies = false);
    ~TRowOutput();
    TRowOutput(const TRowOutput&) = delete;
    TRowOutput& operator=(const TRowOutput&) = delete;

    void Write(const TFileRow& ARow, const TRowRecord& ARecord);
    // Throws ERowFileError when something could not be written.
    void Close();

private:
    std::FILE* FFile = nullptr;
    std::string FPath;
    bool FJson = false;
    bool FBeforeCopies = false;
    std::vector<std::string> FColumns;
};

// AText as a CSV field: in quotes when it holds a comma, a quote or a line break.
std::string CsvField(std::string_view AText);
