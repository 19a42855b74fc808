#include "ProgramRun.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

TProgramRun RunProgram(const std::string& AProgram, const std::vector<std::string>& AArgs,
                       const std::vector<std::string>& AUnset) {
    TProgramRun Run;
    // Everything the child needs is built before the fork: the child of a threaded process
    // only execs.
    std::vector<char*> Argv{const_cast<char*>(AProgram.c_str())};
    for (const std::string& Arg : AArgs)
        Argv.push_back(const_cast<char*>(Arg.c_str()));
    Argv.push_back(nullptr);
    std::vector<char*> Env;
    for (char** Var = environ; *Var != nullptr; ++Var) {
        bool Keep = true;
        for (const std::string& Name : AUnset)
            if (std::strncmp(*Var, Name.c_str(), Name.size()) == 0 && (*Var)[Name.size()] == '=')
                Keep = false;
        if (Keep)
            Env.push_back(*Var);
    }
    Env.push_back(nullptr);

    int Out[2], Err[2];
    if (pipe2(Out, O_CLOEXEC) != 0)
        return Run;
    if (pipe2(Err, O_CLOEXEC) != 0) {
        close(Out[0]);
        close(Out[1]);
        return Run;
    }
    const pid_t Pid = fork();
    if (Pid == 0) {
        dup2(Out[1], STDOUT_FILENO);
        dup2(Err[1], STDERR_FILENO);
        execve(AProgram.c_str(), Argv.data(), Env.data());
        _exit(127);
    }
    close(Out[1]);
    close(Err[1]);
    // Both pipes are read as data comes, so a long output on one cannot stall the other.
    pollfd Fds[2] = {{Out[0], POLLIN, 0}, {Err[0], POLLIN, 0}};
    std::string* Texts[2] = {&Run.Out, &Run.Err};
    int Open = Pid > 0 ? 2 : 0;
    while (Open > 0 && poll(Fds, 2, -1) > 0) {
        for (int I = 0; I < 2; ++I) {
            if (Fds[I].fd < 0 || Fds[I].revents == 0)
                continue;
            char Buffer[4096];
            const ssize_t N = read(Fds[I].fd, Buffer, sizeof Buffer);
            if (N > 0) {
                Texts[I]->append(Buffer, static_cast<std::size_t>(N));
            } else {
                Fds[I].fd = -1;
                --Open;
            }
        }
    }
    close(Out[0]);
    close(Err[0]);
    int Status = 0;
    if (Pid > 0 && waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status))
        Run.ExitCode = WEXITSTATUS(Status);
    return Run;
}
