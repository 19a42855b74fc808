#include "ToolProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

TToolProcess::TToolProcess(const std::string& AProgram, const std::vector<std::string>& AArguments,
                           const std::vector<std::string>& AEnvironment,
                           const std::vector<std::string>& AUnset, int ATerminalColumns,
                           bool AInputTerminal) {
    // Everything the child needs is built before the fork: the child of a threaded process only
    // execs.
    std::vector<std::string> environment = AEnvironment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = std::find(AUnset.begin(), AUnset.end(), name) != AUnset.end();
        for (const std::string& added : AEnvironment)
            replaced = replaced || added.substr(0, added.find('=')) == name;
        if (!replaced)
            environment.push_back(text);
    }
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments{AProgram};
    arguments.insert(arguments.end(), AArguments.begin(), AArguments.end());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2], err[2];
    if (ATerminalColumns > 0) {
        // out[0] the terminal's reading side, out[1] the tool's; raw, so no byte is changed.
        termios raw{};
        ::cfmakeraw(&raw);
        winsize size{};
        size.ws_row = 24;
        size.ws_col = static_cast<unsigned short>(ATerminalColumns);
        if (::openpty(&out[0], &out[1], nullptr, &raw, &size) != 0)
            return;
        ::fcntl(out[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(out[1], F_SETFD, FD_CLOEXEC);
    } else if (::pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    // in[0] the typing side, in[1] the tool's; lines as a terminal gives them, without echo.
    int in[2] = {-1, -1};
    if (AInputTerminal) {
        termios lines{};
        if (::openpty(&in[0], &in[1], nullptr, nullptr, nullptr) == 0 &&
            ::tcgetattr(in[1], &lines) == 0) {
            lines.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(in[1], TCSANOW, &lines);
            ::fcntl(in[0], F_SETFD, FD_CLOEXEC);
            ::fcntl(in[1], F_SETFD, FD_CLOEXEC);
        }
    }
    FPid = ::fork();
    if (FPid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        // Never the terminal of whoever runs the tests: a tool that asks must not wait on it.
        if (in[1] >= 0)
            ::dup2(in[1], STDIN_FILENO);
        else if (const int none = ::open("/dev/null", O_RDONLY); none >= 0)
            ::dup2(none, STDIN_FILENO);
        ::execve(AProgram.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (in[1] >= 0)
        ::close(in[1]);
    FOut = out[0];
    FErr = err[0];
    FIn = in[0];
}

TToolProcess::~TToolProcess() {
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    for (const int fd : {FOut, FErr, FIn})
        if (fd >= 0)
            ::close(fd);
}

void TToolProcess::Type(const std::string& AText) {
    for (std::size_t done = 0; FIn >= 0 && done < AText.size();) {
        const ssize_t count = ::write(FIn, AText.data() + done, AText.size() - done);
        if (count <= 0)
            return;
        done += static_cast<std::size_t>(count);
    }
}

bool TToolProcess::Pump(int ATimeoutMs) {
    pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
    if (FOut < 0 && FErr < 0)
        return false;
    if (::poll(fds, 2, ATimeoutMs) <= 0)
        return true;
    int* const owners[2] = {&FOut, &FErr};
    std::string* const sinks[2] = {&Out, &Err};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0)
            continue;
        char buffer[65536];
        const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
        if (count > 0) {
            sinks[i]->append(buffer, static_cast<std::size_t>(count));
        } else {
            ::close(fds[i].fd);
            *owners[i] = -1;
        }
    }
    return FOut >= 0 || FErr >= 0;
}

bool TToolProcess::WaitForOut(std::size_t ACount, int ATimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    while (Out.size() < ACount) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || FOut < 0 || !Pump(static_cast<int>(left)))
            break;
    }
    return Out.size() >= ACount;
}

bool TToolProcess::WaitForErr(const std::string& ANeedle, int ATimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    while (Err.find(ANeedle) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || FErr < 0 || !Pump(static_cast<int>(left)))
            break;
    }
    return Err.find(ANeedle) != std::string::npos;
}

void TToolProcess::Signal(int ASignal) {
    if (FPid > 0)
        ::kill(FPid, ASignal);
}

int TToolProcess::Finish(int ATimeoutMs) {
    if (FPid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !Pump(static_cast<int>(left)))
            break;
    }
    if (FOut >= 0 || FErr >= 0) // still writing after the wait: it is stuck
        ::kill(FPid, SIGKILL);
    int status = 0;
    ::waitpid(FPid, &status, 0);
    FPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

TToolRun RunToEnd(TToolProcess& AProcess, int ATimeoutMs) {
    TToolRun run;
    run.ExitCode = AProcess.Finish(ATimeoutMs);
    run.Out = std::move(AProcess.Out);
    run.Err = std::move(AProcess.Err);
    return run;
}

} // namespace

TToolRun RunTool(const std::string& AProgram, const std::vector<std::string>& AArguments,
                 const std::vector<std::string>& AEnvironment) {
    TToolProcess process(AProgram, AArguments, AEnvironment);
    return RunToEnd(process, 60000);
}

TToolRun RunToolOnTerminal(const std::string& AProgram, const std::vector<std::string>& AArguments,
                           const std::vector<std::string>& AEnvironment, int AColumns) {
    TToolProcess process(AProgram, AArguments, AEnvironment, {}, AColumns);
    return RunToEnd(process, 60000);
}

TProgramRun RunProgram(const std::string& AProgram, const std::vector<std::string>& AArgs,
                       const std::vector<std::string>& AUnset) {
    TToolProcess process(AProgram, AArgs, {}, AUnset);
    return RunToEnd(process, 300000);
}
