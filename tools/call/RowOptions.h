#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The call tool's options for sending one command for every row of a file.
struct TRowOptions {
    std::optional<std::string> File; // --rows
    std::optional<std::string> Format;
    int Concurrency = 1;
    double Rate = 0;
    int MaxFailures = 1;
    bool Resume = false;
    std::optional<std::int64_t> ResumeRun;
    bool RetryFailed = false;
    bool ResendUnknown = false;
    std::optional<std::string> Out;
    bool DryRun = false;
    bool Runs = false;

    // Whether the tool runs rows (or lists the runs) rather than one call.
    bool Wanted() const { return File || Resume || Runs; }
};

// Takes the row option AName (its value after "=" in AValue, or the next argument) at argv[AIndex];
// false when AName is not one of them. Throws ECallUsage for a missing or bad value.
bool ParseRowOption(const std::string& AName, const std::optional<std::string>& AValue, int& AIndex,
                    int argc, char** argv, TRowOptions& AOptions);

// The row options' names, for the suggestions for a mistyped option.
std::vector<std::string> RowOptionNames();

// The part of --help about them.
std::string RowOptionsUsage();
