#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

// How a jq program's results are written: as the jq program writes them, indented by two spaces,
// or one per line with --compact (jq -c).
struct TJqOptions {
    bool Compact = false;
};

// How running a program ended. Error holds jq's own messages, one per line: those of compiling the
// program, of reading the input, or of a result that failed (the results before it are out).
struct TJqOutcome {
    bool Compiled = true;
    bool Cancelled = false;
    std::string Error;
    bool Ok() const { return Error.empty() && !Cancelled; }
};

// Runs AProgram over each JSON value of AInput with jq's own library, giving ASink each result as
// jq prints it, line break included. ACancel, when set, is looked at between results: a newer
// filter stops an older one there. jq itself is not interrupted inside one result.
TJqOutcome RunJq(std::string_view AProgram, std::string_view AInput, const TJqOptions& AOptions,
                 const std::function<void(std::string_view)>& ASink,
                 const std::atomic<bool>* ACancel = nullptr);

// Checks a program without running it; the compile errors, or nothing.
std::string CheckJqProgram(std::string_view AProgram);
