#include "ScriptedServer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
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

// Where the request starting at AStart ends: after the head's empty line and a body of its
// Content-Length; npos while incomplete.
size_t RequestEnd(const std::string& AData, size_t AStart) {
    const size_t HeadEnd = AData.find("\r\n\r\n", AStart);
    if (HeadEnd == std::string::npos) {
        return std::string::npos;
    }
    size_t Length = 0;
    static constexpr std::string_view Name = "\r\ncontent-length:";
    for (size_t Pos = AStart; Pos + Name.size() <= HeadEnd + 2; ++Pos) {
        if (std::equal(Name.begin(), Name.end(), AData.begin() + static_cast<std::ptrdiff_t>(Pos),
                       [](char AName, char AReceived) {
                           return std::tolower(static_cast<unsigned char>(AReceived)) == AName;
                       })) {
            Length = std::strtoull(AData.c_str() + Pos + Name.size(), nullptr, 10);
        }
    }
    const size_t End = HeadEnd + 4 + Length;
    return AData.size() >= End ? End : std::string::npos;
}

} // namespace

TServerScript& TServerScript::ReadRequest() {
    FSteps.push_back({TStep::ReadRequest, {}, 0});
    return *this;
}

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
    : FScripts(std::move(AScripts)), FListener(AIPv6) {
    if (FScripts.empty()) {
        FScripts.emplace_back();
    }
    MakePipe(FStopPipe);
    MakePipe(FReleasePipe);
    FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TScriptedServer::~TScriptedServer() {
    const char Byte = 1;
    [[maybe_unused]] ssize_t Written = write(FStopPipe[1], &Byte, 1);
    FAcceptThread.join();
    for (auto& Worker : FWorkers) {
        Worker.join();
    }
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
        const int Client = FListener.Accept(FStopPipe[0]);
        if (Client < 0) {
            return;
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

// One connection working through its script, on the connection's own thread.
class TScriptedServer::TRun {
public:
    TRun(TScriptedServer& AServer, int AFd, size_t AIndex)
        : FServer(AServer), FFd(AFd), FIndex(AIndex) {}

    bool Open() const { return FOpen; }
    // Carries out one step; false when it could not be done as scripted.
    bool Do(const TServerScript::TStep& AStep);
    // Closes the connection unless a step did, and marks it done.
    void Finish();

private:
    // Waits for bytes and adds them to what the connection received; false on time-out, stop
    // or when the peer closed.
    bool ReceiveSome();
    size_t ReceivedSize() const;
    bool ReadRequest();
    bool ReadUntil(const std::string& ABytes);
    bool ReadBytes(size_t ACount);
    bool Send(const std::string& ABytes, size_t ARounds);
    bool ReadUntilClosed();

    TScriptedServer& FServer;
    int FFd;
    size_t FIndex;
    bool FOpen = true;
    bool FPeerClosed = false;
};

bool TScriptedServer::TRun::ReceiveSome() {
    if (!FServer.WaitFd(FFd, POLLIN)) {
        return false;
    }
    char Buffer[65536];
    const ssize_t Count = recv(FFd, Buffer, sizeof Buffer, 0);
    if (Count <= 0) {
        FPeerClosed = true;
        return false;
    }
    const std::lock_guard Guard(FServer.FLock);
    FServer.FConnections[FIndex]->Received.append(Buffer, static_cast<size_t>(Count));
    FServer.FChanged.notify_all();
    return true;
}

size_t TScriptedServer::TRun::ReceivedSize() const {
    const std::lock_guard Guard(FServer.FLock);
    return FServer.FConnections[FIndex]->Received.size();
}

bool TScriptedServer::TRun::ReadRequest() {
    for (;;) {
        {
            const std::lock_guard Guard(FServer.FLock);
            TConnection& Connection = *FServer.FConnections[FIndex];
            const size_t End = RequestEnd(Connection.Received, Connection.RequestEnd);
            if (End != std::string::npos) {
                Connection.Requests.push_back(
                    Connection.Received.substr(Connection.RequestEnd, End - Connection.RequestEnd));
                Connection.RequestEnd = End;
                FServer.FChanged.notify_all();
                return true;
            }
        }
        if (!ReceiveSome()) {
            return false;
        }
    }
}

bool TScriptedServer::TRun::ReadUntil(const std::string& ABytes) {
    for (;;) {
        {
            const std::lock_guard Guard(FServer.FLock);
            if (FServer.FConnections[FIndex]->Received.find(ABytes) != std::string::npos) {
                return true;
            }
        }
        if (!ReceiveSome()) {
            return false;
        }
    }
}

bool TScriptedServer::TRun::ReadBytes(size_t ACount) {
    const size_t Target = ReceivedSize() + ACount;
    while (ReceivedSize() < Target) {
        if (!ReceiveSome()) {
            return false;
        }
    }
    return true;
}

bool TScriptedServer::TRun::Send(const std::string& ABytes, size_t ARounds) {
    for (size_t Round = 0; Round < ARounds; ++Round) {
        size_t Sent = 0;
        while (Sent < ABytes.size()) {
            if (!FServer.WaitFd(FFd, POLLOUT)) {
                return false;
            }
            const ssize_t Count =
                send(FFd, ABytes.data() + Sent, ABytes.size() - Sent, MSG_NOSIGNAL);
            if (Count <= 0) {
                return false;
            }
            Sent += static_cast<size_t>(Count);
        }
    }
    return true;
}

bool TScriptedServer::TRun::ReadUntilClosed() {
    while (ReceiveSome()) {
    }
    return FPeerClosed;
}

bool TScriptedServer::TRun::Do(const TServerScript::TStep& AStep) {
    switch (AStep.Kind) {
    case TServerScript::TStep::ReadRequest:
        return ReadRequest();
    case TServerScript::TStep::ReadUntil:
        return ReadUntil(AStep.Bytes);
    case TServerScript::TStep::ReadBytes:
        return ReadBytes(AStep.Count);
    case TServerScript::TStep::Send:
        return Send(AStep.Bytes, AStep.Count);
    case TServerScript::TStep::ReadUntilClosed:
        return ReadUntilClosed();
    case TServerScript::TStep::Hold:
        FServer.WaitFd(FServer.FReleasePipe[0], POLLIN);
        return true;
    case TServerScript::TStep::Close:
        shutdown(FFd, SHUT_WR);
        close(FFd);
        FOpen = false;
        return true;
    case TServerScript::TStep::Reset: {
        const linger Linger{1, 0};
        setsockopt(FFd, SOL_SOCKET, SO_LINGER, &Linger, sizeof Linger);
        close(FFd);
        FOpen = false;
        return true;
    }
    }
    return true;
}

void TScriptedServer::TRun::Finish() {
    if (FOpen) {
        shutdown(FFd, SHUT_WR);
        close(FFd);
    }
    const std::lock_guard Guard(FServer.FLock);
    FServer.FConnections[FIndex]->Done = true;
    FServer.FChanged.notify_all();
}

void TScriptedServer::RunScript(int AFd, size_t AIndex) {
    const TServerScript& Script = FScripts[std::min(AIndex, FScripts.size() - 1)];
    TRun Run(*this, AFd, AIndex);
    for (const auto& Step : Script.Steps()) {
        if (!Run.Open()) {
            break;
        }
        if (!Run.Do(Step)) {
            FStepFailure.store(true);
            break;
        }
    }
    Run.Finish();
}

std::string TScriptedServer::Received(size_t AIndex) const {
    const std::lock_guard Guard(FLock);
    return AIndex < FConnections.size() ? FConnections[AIndex]->Received : std::string();
}

std::u16string TScriptedServer::URL(std::u16string_view APath) const {
    const std::string Host = FListener.IPv6() ? "[::1]" : "127.0.0.1";
    const std::string Text = "http://" + Host + ":" + std::to_string(Port());
    return std::u16string(Text.begin(), Text.end()) + std::u16string(APath);
}

std::vector<std::string> TScriptedServer::Requests() const {
    const std::lock_guard Guard(FLock);
    std::vector<std::string> All;
    for (const auto& Connection : FConnections) {
        All.insert(All.end(), Connection->Requests.begin(), Connection->Requests.end());
    }
    return All;
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
