#include "HttpTestServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

bool WaitReadable(int AFd, int ATimeoutMs) {
    pollfd P{AFd, POLLIN, 0};
    int R;
    do
        R = poll(&P, 1, ATimeoutMs);
    while (R < 0 && errno == EINTR);
    return R > 0;
}

} // namespace

THttpTestConnection::~THttpTestConnection() {
    Close();
}

std::string THttpTestConnection::ReadRequest(int ATimeoutMs) {
    std::string Data = std::move(FPending);
    FPending.clear();
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    const auto Remaining = [&] {
        return static_cast<int>(
            std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                       Deadline - std::chrono::steady_clock::now())
                                       .count()));
    };
    const auto ReadMore = [&] {
        if (FFd < 0 || !WaitReadable(FFd, Remaining()))
            return false;
        char Buffer[16384];
        const ssize_t N = recv(FFd, Buffer, sizeof Buffer, 0);
        if (N <= 0)
            return false;
        Data.append(Buffer, static_cast<std::size_t>(N));
        return true;
    };
    std::size_t HeadEnd;
    while ((HeadEnd = Data.find("\r\n\r\n")) == std::string::npos)
        if (!ReadMore())
            return {};
    std::size_t Length = 0;
    std::size_t Pos = 0;
    while ((Pos = Data.find("\r\n", Pos)) != std::string::npos && Pos < HeadEnd) {
        Pos += 2;
        static constexpr std::string_view Name = "content-length:";
        std::string Line = Data.substr(Pos, Name.size());
        for (char& C : Line)
            C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
        if (Line == Name)
            Length = std::strtoull(Data.c_str() + Pos + Name.size(), nullptr, 10);
    }
    const std::size_t Total = HeadEnd + 4 + Length;
    while (Data.size() < Total)
        if (!ReadMore())
            break;
    if (Data.size() > Total) {
        FPending = Data.substr(Total);
        Data.resize(Total);
    }
    FServer.RecordRequest(Data);
    return Data;
}

void THttpTestConnection::Send(std::string_view ABytes) {
    while (FFd >= 0 && !ABytes.empty()) {
        const ssize_t N = send(FFd, ABytes.data(), ABytes.size(), MSG_NOSIGNAL);
        if (N <= 0)
            return;
        ABytes.remove_prefix(static_cast<std::size_t>(N));
    }
}

void THttpTestConnection::Close() {
    if (FFd < 0)
        return;
    shutdown(FFd, SHUT_WR);
    close(FFd);
    FFd = -1;
}

void THttpTestConnection::Reset() {
    if (FFd < 0)
        return;
    linger L{1, 0};
    setsockopt(FFd, SOL_SOCKET, SO_LINGER, &L, sizeof L);
    close(FFd);
    FFd = -1;
}

bool THttpTestConnection::WaitForPeerClose(int ATimeoutMs) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    while (FFd >= 0) {
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              Deadline - std::chrono::steady_clock::now())
                              .count();
        if (Left <= 0 || !WaitReadable(FFd, static_cast<int>(Left)))
            return false;
        char Buffer[4096];
        const ssize_t N = recv(FFd, Buffer, sizeof Buffer, 0);
        if (N <= 0)
            return true;
    }
    return false;
}

THttpTestServer::THttpTestServer(TScript AScript, bool AIPv6)
    : FScript(std::move(AScript)), FIPv6(AIPv6) {
    FListen = socket(AIPv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (FListen < 0 || pipe(FWake) != 0)
        throw std::runtime_error("test server: no socket");
    int Result;
    if (AIPv6) {
        sockaddr_in6 A{};
        A.sin6_family = AF_INET6;
        A.sin6_addr = in6addr_loopback;
        Result = bind(FListen, reinterpret_cast<sockaddr*>(&A), sizeof A);
        socklen_t L = sizeof A;
        getsockname(FListen, reinterpret_cast<sockaddr*>(&A), &L);
        FPort = ntohs(A.sin6_port);
    } else {
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Result = bind(FListen, reinterpret_cast<sockaddr*>(&A), sizeof A);
        socklen_t L = sizeof A;
        getsockname(FListen, reinterpret_cast<sockaddr*>(&A), &L);
        FPort = ntohs(A.sin_port);
    }
    if (Result != 0 || listen(FListen, 16) != 0)
        throw std::runtime_error("test server: cannot listen");
    FThread = std::thread([this] { Run(); });
}

THttpTestServer::~THttpTestServer() {
    const char Byte = 0;
    if (write(FWake[1], &Byte, 1) < 0) {
        // The thread then ends at its next bounded wait.
    }
    FThread.join();
    close(FListen);
    close(FWake[0]);
    close(FWake[1]);
}

std::u16string THttpTestServer::URL(std::u16string_view APath) const {
    const std::string Port = std::to_string(FPort);
    std::u16string Result = FIPv6 ? u"http://[::1]:" : u"http://127.0.0.1:";
    Result.append(Port.begin(), Port.end());
    Result += APath;
    return Result;
}

bool THttpTestServer::WaitForScripts(int ACount, int ATimeoutMs) const {
    std::unique_lock Lock(FLock);
    return FFinishedChanged.wait_for(Lock, std::chrono::milliseconds(ATimeoutMs),
                                     [&] { return FFinished >= ACount; });
}

void THttpTestServer::RecordRequest(std::string ARequest) {
    std::lock_guard Lock(FLock);
    FRequests.push_back(std::move(ARequest));
}

std::vector<std::string> THttpTestServer::Requests() const {
    std::lock_guard Lock(FLock);
    return FRequests;
}

void THttpTestServer::Run() {
    for (;;) {
        pollfd P[2] = {{FListen, POLLIN, 0}, {FWake[0], POLLIN, 0}};
        if (poll(P, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (P[1].revents != 0)
            return;
        const int Fd = accept(FListen, nullptr, nullptr);
        if (Fd < 0)
            continue;
        const int Index = FConnections.fetch_add(1);
        {
            THttpTestConnection Connection(Fd, *this);
            try {
                FScript(Connection, Index);
            } catch (...) {
                // A failing script only ends its connection; the test sees the client's side.
            }
        }
        {
            std::lock_guard Lock(FLock);
            ++FFinished;
        }
        FFinishedChanged.notify_all();
    }
}
