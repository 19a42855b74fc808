#pragma once

#include <atomic>
#include <functional>
#include <memory>
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

// Runs AProgram over each JSON value of AInput with jq's own library, giving ASink the results as
// jq prints them: each result ends a piece with its line break, and a long one comes in several
// pieces (each ends on a whole character), as jq writes it, so that it is never held whole.
// ACancel, when set, is looked at between results: a newer filter stops an older one there. jq
// itself is not interrupted inside one result. A sink that throws ends the run with its exception.
TJqOutcome RunJq(std::string_view AProgram, std::string_view AInput, const TJqOptions& AOptions,
                 const std::function<void(std::string_view)>& ASink,
                 const std::atomic<bool>* ACancel = nullptr);

struct TJqReader;

// A jq program's input read as it arrives, by jq's own reader, so that the text need not be
// kept: only the values read are, until Run.
class TJqInput {
public:
    TJqInput();
    ~TJqInput();
    TJqInput(const TJqInput&) = delete;
    TJqInput& operator=(const TJqInput&) = delete;

    // Reads the next piece of the input; a character may be split between pieces. After a parse
    // error the rest is not read, as the jq program stops there.
    void Add(std::string_view APiece);
    // Runs AProgram over the values read, as RunJq runs it over the whole input. Once only.
    TJqOutcome Run(std::string_view AProgram, const TJqOptions& AOptions,
                   const std::function<void(std::string_view)>& ASink,
                   const std::atomic<bool>* ACancel = nullptr);

private:
    std::unique_ptr<TJqReader> FReader;
};

// Checks a program without running it; the compile errors, or nothing.
std::string CheckJqProgram(std::string_view AProgram);
