#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void MakePipe(int AFds[2]) {
    if (pipe(AFds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    for (int I = 0; I < 2; ++I) {
        fcntl(AFds[I], F_SETFL, fcntl(AFds[I], F_GETFL) | O_NONBLOCK);
        fcntl(AFds[I], F_SETFD, FD_CLOEXEC);
    }
}

// A loopback listener on a port chosen by the system; returns the socket and sets APort.
int Listen(bool AIPv6, uint16_t& APort, bool AListen = true) {
    const int Fd = socket(AIPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Fd < 0) {
        throw std::runtime_error("socket failed");
    }
    const int One = 1;
    setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
    sockaddr_storage Address{};
    socklen_t Length;
    if (AIPv6) {
        auto& A6 = reinterpret_cast<sockaddr_in6&>(Address);
        A6.sin6_family = AF_INET6;
        A6.sin6_addr = in6addr_loopback;
        Length = sizeof A6;
    } else {
        auto& A4 = reinterpret_cast<sockaddr_in&>(Address);
        A4.sin_family = AF_INET;
        A4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Length = sizeof A4;
    }
    if (bind(Fd, reinterpret_cast<sockaddr*>(&Address), Length) != 0 ||
        (AListen && listen(Fd, 16) != 0) ||
        getsockname(Fd, reinterpret_cast<sockaddr*>(&Address), &Length) != 0) {
        close(Fd);
        throw std::runtime_error(std::string("listen failed: ") + std::strerror(errno));
    }
    APort = ntohs(AIPv6 ? reinterpret_cast<sockaddr_in6&>(Address).sin6_port
                        : reinterpret_cast<sockaddr_in&>(Address).sin_port);
    return Fd;
}

} // namespace

TServerScript& TServerScript::ReadUntil(std::string ADelimiter) {
    FSteps.push_back({TStep::ReadUntil, std::move(ADelimiter), 0});
    return *this;
}

TServerScript& TServerScript::ReadBytes(size_t ACount) {
    FSteps.push_back({TStep::ReadBytes, {}, ACount});
    return *this;
}

TServerScript& TServerScript::Send(std::string ABytes) {
    FSteps.push_back({TStep::Send, std::move(ABytes), 1});
    return *this;
}

TServerScript& TServerScript::SendRepeated(std::string AChunk, size_t ACount) {
    FSteps.push_back({TStep::Send, std::move(AChunk), ACount});
    return *this;
}

TServerScript& TServerScript::ReadUntilClosed() {
    FSteps.push_back({TStep::ReadUntilClosed, {}, 0});
    return *this;
}

TServerScript& TServerScript::Hold() {
    FSteps.push_back({TStep::Hold, {}, 0});
    return *this;
}

TServerScript& TServerScript::Close() {
    FSteps.push_back({TStep::Close, {}, 0});
    return *this;
}

TServerScript& TServerScript::Reset() {
    FSteps.push_back({TStep::Reset, {}, 0});
    return *this;
}

TScriptedServer::TScriptedServer(TServerScript AScript, bool AIPv6)
    : TScriptedServer(std::vector<TServerScript>{std::move(AScript)}, AIPv6) {}

TScriptedServer::TScriptedServer(std::vector<TServerScript> AScripts, bool AIPv6)
    : FScripts(std::move(AScripts)), FIPv6(AIPv6) {
    if (FScripts.empty()) {
        FScripts.emplace_back();
    }
    MakePipe(FStopPipe);
    MakePipe(FReleasePipe);
    FListener = Listen(AIPv6, FPort);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TScriptedServer::~TScriptedServer() {
    const char Byte = 1;
    [[maybe_unused]] ssize_t Written = write(FStopPipe[1], &Byte, 1);
    FAcceptThread.join();
    for (auto& Worker : FWorkers) {
        Worker.join();
    }
    close(FListener);
    for (const int Fd : {FStopPipe[0], FStopPipe[1], FReleasePipe[0], FReleasePipe[1]}) {
        close(Fd);
    }
}

void TScriptedServer::Release() {
    const char Byte = 1;
    [[maybe_unused]] ssize_t Written = write(FReleasePipe[1], &Byte, 1);
}

bool TScriptedServer::WaitFd(int AFd, short AEvents) const {
    pollfd Fds[2] = {{AFd, AEvents, 0}, {FStopPipe[0], POLLIN, 0}};
    const auto Deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(StepTimeoutMs);
    for (;;) {
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              Deadline - std::chrono::steady_clock::now())
                              .count();
        if (Left <= 0) {
            return false;
        }
        const int Result = poll(Fds, 2, static_cast<int>(Left));
        if (Result < 0 && errno == EINTR) {
            continue;
        }
        if (Result <= 0 || Fds[1].revents != 0) {
            return false;
        }
        return Fds[0].revents != 0;
    }
}

void TScriptedServer::AcceptLoop() {
    for (;;) {
        pollfd Fds[2] = {{FListener, POLLIN, 0}, {FStopPipe[0], POLLIN, 0}};
        if (poll(Fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (Fds[1].revents != 0) {
            return;
        }
        const int Client = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (Client < 0) {
            continue;
        }
        size_t Index;
        {
            const std::lock_guard Guard(FLock);
            Index = FConnections.size();
            FConnections.push_back(std::make_unique<TConnection>());
            FChanged.notify_all();
        }
        FWorkers.emplace_back([this, Client, Index] { RunScript(Client, Index); });
    }
}

void TScriptedServer::RunScript(int AFd, size_t AIndex) {
    const TServerScript& Script = FScripts[std::min(AIndex, FScripts.size() - 1)];
    bool Open = true;
    auto ReceivedSize = [&] {
        const std::lock_guard Guard(FLock);
        return FConnections[AIndex]->Received.size();
    };
    auto ReceiveSome = [&]() -> bool {
        if (!WaitFd(AFd, POLLIN)) {
            return false;
        }
        char Buffer[65536];
        const ssize_t Count = recv(AFd, Buffer, sizeof Buffer, 0);
        if (Count <= 0) {
            return false;
        }
        const std::lock_guard Guard(FLock);
        FConnections[AIndex]->Received.append(Buffer, static_cast<size_t>(Count));
        FChanged.notify_all();
        return true;
    };
    auto Fail = [&] { FStepFailure.store(true); };
    for (const auto& Step : Script.Steps()) {
        if (!Open) {
            break;
        }
        bool Ok = true;
        switch (Step.Kind) {
        case TServerScript::TStep::ReadUntil:
            for (;;) {
                {
                    const std::lock_guard Guard(FLock);
                    if (FConnections[AIndex]->Received.find(Step.Bytes) != std::string::npos) {
                        break;
                    }
                }
                if (!ReceiveSome()) {
                    Ok = false;
                    break;
                }
            }
            break;
        case TServerScript::TStep::ReadBytes: {
            const size_t Target = ReceivedSize() + Step.Count;
            while (Ok && ReceivedSize() < Target) {
                Ok = ReceiveSome();
            }
            break;
        }
        case TServerScript::TStep::Send:
            for (size_t Round = 0; Ok && Round < Step.Count; ++Round) {
                size_t Sent = 0;
                while (Ok && Sent < Step.Bytes.size()) {
                    if (!WaitFd(AFd, POLLOUT)) {
                        Ok = false;
                        break;
                    }
                    const ssize_t Count =
                        send(AFd, Step.Bytes.data() + Sent, Step.Bytes.size() - Sent, MSG_NOSIGNAL);
                    if (Count <= 0) {
                        Ok = false;
                        break;
                    }
                    Sent += static_cast<size_t>(Count);
                }
            }
            break;
        case TServerScript::TStep::ReadUntilClosed:
            while (ReceiveSome()) {
            }
            break;
        case TServerScript::TStep::Hold:
            WaitFd(FReleasePipe[0], POLLIN);
            break;
        case TServerScript::TStep::Close:
            shutdown(AFd, SHUT_WR);
            close(AFd);
            Open = false;
            break;
        case TServerScript::TStep::Reset: {
            const linger Linger{1, 0};
            setsockopt(AFd, SOL_SOCKET, SO_LINGER, &Linger, sizeof Linger);
            close(AFd);
            Open = false;
            break;
        }
        }
        if (!Ok) {
            Fail();
            break;
        }
    }
    if (Open) {
        shutdown(AFd, SHUT_WR);
        close(AFd);
    }
    const std::lock_guard Guard(FLock);
    FConnections[AIndex]->Done = true;
    FChanged.notify_all();
}

std::string TScriptedServer::Received(size_t AIndex) const {
    const std::lock_guard Guard(FLock);
    return AIndex < FConnections.size() ? FConnections[AIndex]->Received : std::string();
}

size_t TScriptedServer::ConnectionCount() const {
    const std::lock_guard Guard(FLock);
    return FConnections.size();
}

bool TScriptedServer::WaitForScriptsDone(size_t ACount, int ATimeoutMs) const {
    std::unique_lock Guard(FLock);
    return FChanged.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs), [&] {
        size_t Done = 0;
        for (const auto& Connection : FConnections) {
            Done += Connection->Done ? 1 : 0;
        }
        return Done >= ACount;
    });
}

bool TScriptedServer::WaitForReceived(size_t AIndex, std::string_view ANeedle,
                                      int ATimeoutMs) const {
    std::unique_lock Guard(FLock);
    return FChanged.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs), [&] {
        return AIndex < FConnections.size() &&
               FConnections[AIndex]->Received.find(ANeedle) != std::string::npos;
    });
}

TRefusingPort::TRefusingPort(bool AIPv6) {
    FFd = Listen(AIPv6, FPort, false);
}

TRefusingPort::~TRefusingPort() {
    close(FFd);
}
