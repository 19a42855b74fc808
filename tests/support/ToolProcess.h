#pragma once

#include <string>
#include <vector>

// A command-line tool run by a test: its standard output and error read through pipes, both at
// once, so a large answer on one cannot block the other. Every wait is bounded.
class TToolProcess {
public:
    // AEnvironment: NAME=VALUE entries added to (or replacing those of) the test's environment;
    // AUnset: names of variables the tool does not get. ATerminalColumns > 0: standard output is
    // a terminal that wide (a pseudo-terminal that passes the bytes unchanged), not a pipe.
    // AInputTerminal: standard input is a terminal that Type writes to, not /dev/null.
    TToolProcess(const std::string& AProgram, const std::vector<std::string>& AArguments,
                 const std::vector<std::string>& AEnvironment = {},
                 const std::vector<std::string>& AUnset = {}, int ATerminalColumns = 0,
                 bool AInputTerminal = false);
    ~TToolProcess();
    TToolProcess(const TToolProcess&) = delete;
    TToolProcess& operator=(const TToolProcess&) = delete;

    // Reads until standard output holds at least ACount bytes; false when it ended or the wait
    // ran out first.
    bool WaitForOut(std::size_t ACount, int ATimeoutMs = 10000);
    // Reads until standard error holds ANeedle; false when it ended or the wait ran out first.
    bool WaitForErr(const std::string& ANeedle, int ATimeoutMs = 10000);
    // Reads both outputs to their end and waits for the exit; the exit code, or -1 when the tool
    // did not end in time (it is killed then) or ended by a signal.
    int Finish(int ATimeoutMs = 60000);
    // Sends ASignal to the tool while it runs.
    void Signal(int ASignal);
    // Types AText at the terminal on the tool's standard input.
    void Type(const std::string& AText);

    std::string Out;
    std::string Err;

private:
    // Reads what is there within ATimeoutMs; false once both outputs are closed.
    bool Pump(int ATimeoutMs);

    int FPid = -1;
    int FOut = -1;
    int FErr = -1;
    int FIn = -1; // the typing side of the input terminal
};

struct TToolRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

// Runs a tool to its end: what it printed and its exit code.
TToolRun RunTool(const std::string& AProgram, const std::vector<std::string>& AArguments,
                 const std::vector<std::string>& AEnvironment = {});

// The same with standard output on a terminal of AColumns columns.
TToolRun RunToolOnTerminal(const std::string& AProgram, const std::vector<std::string>& AArguments,
                           const std::vector<std::string>& AEnvironment = {}, int AColumns = 80);

// The same for a program that may take long (an install, a package build), with the test's
// environment less the variables named in AUnset.
using TProgramRun = TToolRun;
TProgramRun RunProgram(const std::string& AProgram, const std::vector<std::string>& AArgs,
                       const std::vector<std::string>& AUnset = {});
