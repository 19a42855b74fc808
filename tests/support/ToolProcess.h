#pragma once

#include <string>
#include <vector>

// A command-line tool run by a test: its standard output and error read through pipes, both at
// once, so a large answer on one cannot block the other. Every wait is bounded.
class TToolProcess {
public:
    // AEnvironment: NAME=VALUE entries added to (or replacing those of) the test's environment.
    TToolProcess(const std::string& AProgram, const std::vector<std::string>& AArguments,
                 const std::vector<std::string>& AEnvironment = {});
    ~TToolProcess();
    TToolProcess(const TToolProcess&) = delete;
    TToolProcess& operator=(const TToolProcess&) = delete;

    // Reads until standard output holds at least ACount bytes; false when it ended or the wait
    // ran out first.
    bool WaitForOut(std::size_t ACount, int ATimeoutMs = 10000);
    // Reads both outputs to their end and waits for the exit; the exit code, or -1 when the tool
    // did not end in time (it is killed then) or ended by a signal.
    int Finish(int ATimeoutMs = 60000);

    std::string Out;
    std::string Err;

private:
    // Reads what is there within ATimeoutMs; false once both outputs are closed.
    bool Pump(int ATimeoutMs);

    int FPid = -1;
    int FOut = -1;
    int FErr = -1;
};

struct TToolRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

TToolRun RunTool(const std::string& AProgram, const std::vector<std::string>& AArguments,
                 const std::vector<std::string>& AEnvironment = {});
