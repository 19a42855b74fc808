#pragma once

#include "CallAnswerData.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// --jq, --table and --csv over a row run's answers. With --jq alone, each answered row's results
// are written out as the row ends, as jq prints them for that answer. With --table or --csv, the
// tables of all the rows (from each answer, or from each row's results) become one table, written
// at the end: a first column "row" with the row's number, then the union of the rows' columns in
// the order first seen, one line per line of a row's table, rows in the order they ended. The
// lines wait in an unnamed temporary file, so memory does not grow with the number of rows.
// Thread-safe: rows may end on several threads at once.
class TRowAnswerData {
public:
    // Throws std::runtime_error when the temporary file cannot be made.
    TRowAnswerData(const TAnswerDataOptions& AOptions, int AFd);
    ~TRowAnswerData();
    TRowAnswerData(const TRowAnswerData&) = delete;
    TRowAnswerData& operator=(const TRowAnswerData&) = delete;

    // Takes an answered row's answer (ACut: only its first part was kept, which is not read).
    // Returns what the row's record shows as its answer with --jq: the results as jq prints them
    // (compact when a table is made), the last line break left out; nothing without --jq or when
    // the row failed here. A failure goes to standard error as "row N: ..." and makes Finish
    // false.
    std::optional<std::string> Add(std::int64_t ARow, const std::string& AAnswer, bool ACut);

    // Writes the table, if any. False when a row's answer could not be read, filtered or tabled,
    // or the output failed.
    bool Finish();

private:
    void Fail(std::int64_t ARow, const std::string& AWhy);
    void Keep(std::int64_t ARow, const TDataTable& AData);
    // The gathered table's column of an answer's key, added when new.
    std::size_t ColumnOf(const std::string& AName);

    TAnswerDataOptions FOptions;
    int FFd;
    bool FAligned = false;
    bool FFailed = false;
    bool FOutputFailed = false;
    std::mutex FLock;
    // The gathered table: its columns ("row" first) and the lines in the temporary file.
    std::FILE* FLines = nullptr;
    std::uint64_t FLineCount = 0;
    std::vector<std::string> FColumns;
    std::unordered_map<std::string, std::size_t> FColumnIndex;
    std::vector<bool> FNumeric;
    std::vector<std::size_t> FWidths; // for an aligned table
};
