#pragma once

#include <optional>
#include <string>
#include <vector>

// The call tool's options that print the answer as data instead of as it arrives: through a jq
// program, as a table or as CSV.
struct TAnswerDataOptions {
    std::optional<std::string> Jq; // --jq PROGRAM
    bool Compact = false;          // --compact: jq -c
    bool Table = false;            // --table
    bool Csv = false;              // --csv
    bool Any() const { return Jq || Table || Csv; }
};

// Takes these options out of the arguments ("--jq PROGRAM" or "--jq=PROGRAM", up to a "--") and
// returns the rest, argv[0] first, for the other options. Throws ECallUsage for a missing
// program, --compact without --jq, --table with --csv, or a program that does not compile.
std::vector<char*> TakeAnswerDataOptions(int argc, char** argv, TAnswerDataOptions& AOptions);

// The help lines of these options.
std::string AnswerDataUsage();

// Writes the whole answer AAnswer to AFd as the options ask. Returns the failure's message (a
// jq error, an answer that is no JSON or holds no table), or nothing.
std::string WriteAnswerData(const TAnswerDataOptions& AOptions, std::string AAnswer, int AFd);
