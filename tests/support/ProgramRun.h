#pragma once

// Runs one of the built programs as a child process and collects what it printed.

#include <string>
#include <vector>

struct TProgramRun {
    int ExitCode = -1; // -1: it did not end normally
    std::string Out, Err;
};

// Runs AProgram with AArgs and the test's environment, less the variables named in AUnset.
// Both outputs are read to their end, so the program must not wait for input.
TProgramRun RunProgram(const std::string& AProgram, const std::vector<std::string>& AArgs,
                       const std::vector<std::string>& AUnset = {});
