#pragma once

#include "AnswerTable.h"
#include "JqFilter.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The call tool's options that print the answer as data instead of as it arrives: through a jq
// program, as a table or as CSV.
struct TAnswerDataOptions {
    std::optional<std::string> Jq; // --jq PROGRAM
    bool Compact = false;          // --compact: jq -c
    bool Table = false;            // --table
    bool Csv = false;              // --csv
    bool Any() const { return Jq || Table || Csv; }
    bool Tabled() const { return Table || Csv; }
};

// Takes these options out of the arguments ("--jq PROGRAM" or "--jq=PROGRAM", up to a "--") and
// returns the rest, argv[0] first, for the other options. Throws ECallUsage for a missing
// program, --compact without --jq, --table with --csv, or a program that does not compile.
std::vector<char*> TakeAnswerDataOptions(int argc, char** argv, TAnswerDataOptions& AOptions);

// The help lines of these options.
std::string AnswerDataUsage();

// An answer's table, with the tree its cells point into.
struct TDataTable {
    TAnswerTree Tree;
    TAnswerTable Table;
};

// Runs the --jq program over AAnswer, giving ASink each result as jq prints it (compact when
// ACompact), line break included. Returns jq's error, or nothing.
std::string FilterAnswer(const TAnswerDataOptions& AOptions, std::string_view AAnswer,
                         bool ACompact, const std::function<void(std::string_view)>& ASink);

// The table of AAnswer, or with --jq of the program's result (of its results taken as one array
// when there are several); nothing when the program gives no result. Throws std::runtime_error
// with the reason: a jq error, an answer that is no JSON or holds no table.
std::optional<TDataTable> AnswerDataTable(const TAnswerDataOptions& AOptions, std::string AAnswer);

// The table of jq results given compact, one per line, as FilterAnswer gives them: of the one
// result, or of the results taken as one array; nothing for no result. Throws as AnswerDataTable.
std::optional<TDataTable> ResultsTable(std::string AResults);

// One call's answer as these options read it, given as it arrives: with --jq, straight into jq's
// reader, the text itself not kept; for a table alone, kept whole for the tree made of it.
class TAnswerDataInput {
public:
    explicit TAnswerDataInput(const TAnswerDataOptions& AOptions);
    ~TAnswerDataInput();
    TAnswerDataInput(const TAnswerDataInput&) = delete;
    TAnswerDataInput& operator=(const TAnswerDataInput&) = delete;

    bool Started() const { return FStarted; }
    // The answer's length when known beforehand, so that a kept answer is not grown piecemeal.
    void Reserve(std::size_t ALength);
    void Add(std::string_view APiece);
    // Writes the answer to AFd as the options ask, once it is all in. Returns the failure's
    // message (a jq error, an answer that is no JSON or holds no table), or nothing.
    std::string Write(int AFd);

private:
    TAnswerDataOptions FOptions;
    bool FStarted = false;
    std::string FWhole;
    std::unique_ptr<TJqInput> FJq;
};
