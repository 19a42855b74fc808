#include "OpenSslServerProcess.h"

#include "TestCertificates.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace {

constexpr int StartWaitMs = 10000;

} // namespace

TOpenSslServerProcess::TOpenSslServerProcess(const std::string& AAnswer) {
    const TTestCertificate& Certificate = TTestCertificate::Get();
    int Input[2];
    int Printed[2];
    if (pipe(Input) != 0 || pipe(Printed) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, Input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&Actions, Printed[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&Actions, Printed[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&Actions, Input[1]);
    posix_spawn_file_actions_addclose(&Actions, Printed[0]);
    // Port 0: the server takes a port the system chooses and reports it.
    const std::string Accept = "127.0.0.1:0";
    std::vector<std::string> Arguments{
        "openssl", "s_server",          "-accept",  Accept, "-cert", Certificate.CertFile,
        "-key",    Certificate.KeyFile, "-naccept", "1"};
    std::vector<char*> Argv;
    Argv.reserve(Arguments.size() + 1);
    for (std::string& Argument : Arguments) {
        Argv.push_back(Argument.data());
    }
    Argv.push_back(nullptr);
    const int Spawned = posix_spawnp(&FPid, "openssl", &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Input[0]);
    close(Printed[1]);
    FOutput = Printed[0];
    if (Spawned != 0) {
        close(Input[1]);
        close(FOutput);
        throw std::runtime_error("openssl s_server could not be started");
    }
    // The answer is small enough for the pipe; the server sends it once a client is connected.
    // Its standard input stays open: at its end the server would close the connection at once,
    // perhaps before the request arrived, and the client would see a reset.
    FInput = Input[1];
    [[maybe_unused]] const auto Written = write(FInput, AAnswer.data(), AAnswer.size());
    // Ready once it reports that it accepts connections: "ACCEPT 127.0.0.1:PORT".
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(StartWaitMs);
    const std::string Ready = "ACCEPT " + Accept.substr(0, Accept.find(':') + 1);
    std::size_t At;
    while ((At = FPrinted.find(Ready)) == std::string::npos ||
           FPrinted.find('\n', At) == std::string::npos) {
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
            Deadline - std::chrono::steady_clock::now());
        if (Left.count() <= 0 || ReadSome(static_cast<int>(Left.count())) <= 0) {
            Stop();
            throw std::runtime_error("openssl s_server did not start: " + FPrinted);
        }
    }
    FPort = static_cast<uint16_t>(std::stoul(FPrinted.substr(At + Ready.size())));
}

TOpenSslServerProcess::~TOpenSslServerProcess() {
    Stop();
}

void TOpenSslServerProcess::Stop() {
    close(FInput);
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        int Status = 0;
        waitpid(FPid, &Status, 0);
    }
    close(FOutput);
}

ssize_t TOpenSslServerProcess::ReadSome(int AWaitMs) {
    pollfd Fd{FOutput, POLLIN, 0};
    if (poll(&Fd, 1, AWaitMs) <= 0) {
        return 0;
    }
    char Buffer[4096];
    const ssize_t Count = read(FOutput, Buffer, sizeof Buffer);
    if (Count > 0) {
        FPrinted.append(Buffer, static_cast<size_t>(Count));
    }
    return Count;
}
