#include "IdStackPosix.h"

#include "IdException.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<TIdStackPosix::TGetAddrInfo> Resolver{nullptr};

// Result of a failed call; the reason stays in errno for WSGetLastError.
int Fail() {
    return -1;
}

int FamilyOf(TIdIPVersion AIPVersion) {
    switch (AIPVersion) {
    case Id_IPv4:
        return AF_INET;
    case Id_IPv6:
        return AF_INET6;
    }
    throw EIdIPVersionUnsupported("The requested IPVersion / Address family is not supported.");
}

// Reads the four numbers of a dotted literal the way IsIP accepts it.
bool ParseIPv4(std::string_view AText, in_addr& AAddress) {
    if (!TIdStack::IsIP(AText)) {
        return false;
    }
    uint8_t Bytes[4] = {};
    for (int I = 0; I < 4; ++I) {
        const size_t Dot = AText.find('.');
        std::string_view Piece = AText.substr(0, Dot);
        AText = Dot == std::string_view::npos ? std::string_view() : AText.substr(Dot + 1);
        int Value = 0;
        for (const char C : Piece) {
            if (C >= '0' && C <= '9') {
                Value = std::min(Value * 10 + (C - '0'), 255);
            }
        }
        Bytes[I] = static_cast<uint8_t>(Value);
    }
    std::memcpy(&AAddress, Bytes, 4);
    return true;
}

// Socket address for AIP:APort; an empty AIP is the any-address.
socklen_t MakeSockAddr(const std::string& AIP, uint16_t APort, TIdIPVersion AIPVersion,
                       sockaddr_storage& AAddress) {
    std::memset(&AAddress, 0, sizeof AAddress);
    if (FamilyOf(AIPVersion) == AF_INET) {
        auto& Address = reinterpret_cast<sockaddr_in&>(AAddress);
        Address.sin_family = AF_INET;
        Address.sin_port = htons(APort);
        if (!AIP.empty() && !ParseIPv4(AIP, Address.sin_addr)) {
            TIdStack::RaiseSocketError(Id_WSAEINVAL);
        }
        return sizeof(sockaddr_in);
    }
    auto& Address = reinterpret_cast<sockaddr_in6&>(AAddress);
    Address.sin6_family = AF_INET6;
    Address.sin6_port = htons(APort);
    if (!AIP.empty() && inet_pton(AF_INET6, AIP.c_str(), &Address.sin6_addr) != 1) {
        TIdStack::RaiseSocketError(Id_WSAEINVAL);
    }
    return sizeof(sockaddr_in6);
}

std::string AddressText(const sockaddr* AAddress, uint16_t& APort) {
    if (AAddress->sa_family == AF_INET) {
        const auto* Address = reinterpret_cast<const sockaddr_in*>(AAddress);
        APort = ntohs(Address->sin_port);
        const auto* B = reinterpret_cast<const uint8_t*>(&Address->sin_addr);
        return std::to_string(B[0]) + "." + std::to_string(B[1]) + "." + std::to_string(B[2]) +
               "." + std::to_string(B[3]);
    }
    if (AAddress->sa_family == AF_INET6) {
        const auto* Address = reinterpret_cast<const sockaddr_in6*>(AAddress);
        APort = ntohs(Address->sin6_port);
        char Text[INET6_ADDRSTRLEN] = {};
        inet_ntop(AF_INET6, &Address->sin6_addr, Text, sizeof Text);
        return CanonicalIPv6(Text);
    }
    APort = 0;
    return {};
}

void SetBlocking(int AFd, bool ABlocking) {
    const int Flags = fcntl(AFd, F_GETFL);
    if (Flags != -1) {
        fcntl(AFd, F_SETFL, ABlocking ? (Flags & ~O_NONBLOCK) : (Flags | O_NONBLOCK));
    }
}

struct TAddrInfoDeleter {
    void operator()(addrinfo* AInfo) const { freeaddrinfo(AInfo); }
};

} // namespace

void TIdStackPosix::SetResolver(TGetAddrInfo AResolver) {
    Resolver.store(AResolver);
}

TIdStackPosix::TIdStackPosix() {
    // A peer that closed must show up as an error of the send, not end the process.
    static std::once_flag SignalsIgnored;
    std::call_once(SignalsIgnored, [] {
        if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
            throw EIdStackInitializationFailed("Could not ignore SIGPIPE: " +
                                               std::string(std::strerror(errno)));
        }
    });
}

std::string TIdStackPosix::LookupHost(const std::string& AHost, TIdIPVersion AIPVersion) {
    addrinfo Hints{};
    Hints.ai_family = FamilyOf(AIPVersion);
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* Found = nullptr;
    const TGetAddrInfo Custom = Resolver.load();
    errno = 0;
    const int Result = Custom ? Custom(AHost.c_str(), nullptr, &Hints, &Found)
                              : getaddrinfo(AHost.c_str(), nullptr, &Hints, &Found);
    const std::unique_ptr<addrinfo, TAddrInfoDeleter> Guard(Found);
    if (Result != 0) {
        RaiseSocketError(ResolverErrorToSocketError(Result, errno));
    }
    if (!Found || !Found->ai_addr) {
        RaiseSocketError(Id_WSANO_DATA);
    }
    uint16_t Port = 0;
    return AddressText(Found->ai_addr, Port);
}

TIdStackSocketHandle TIdStackPosix::NewSocketHandle(int ASocketType, int AProtocol,
                                                    TIdIPVersion AIPVersion) {
    const int Handle = socket(FamilyOf(AIPVersion), ASocketType | SOCK_CLOEXEC, AProtocol);
    return CheckForSocketError(Handle < 0 ? Fail() : Handle);
}

void TIdStackPosix::Bind(TIdStackSocketHandle ASocket, const std::string& AIP, uint16_t APort,
                         TIdIPVersion AIPVersion) {
    sockaddr_storage Address{};
    const socklen_t Length = MakeSockAddr(AIP, APort, AIPVersion, Address);
    CheckForSocketError(bind(ASocket, reinterpret_cast<sockaddr*>(&Address), Length) == 0 ? 0
                                                                                          : Fail());
}

TIdWaitResult TIdStackPosix::ConnectWait(TIdStackSocketHandle ASocket, const std::string& AIP,
                                         uint16_t APort, TIdIPVersion AIPVersion, int32_t ATimeout,
                                         std::span<const int> AWakeFds) {
    sockaddr_storage Address{};
    const socklen_t Length = MakeSockAddr(AIP, APort, AIPVersion, Address);
    SetBlocking(ASocket, false);
    struct TRestoreBlocking {
        int Fd;
        ~TRestoreBlocking() { SetBlocking(Fd, true); }
    } Restore{ASocket};
    if (connect(ASocket, reinterpret_cast<sockaddr*>(&Address), Length) == 0) {
        return TIdWaitResult::Ready;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        RaiseSocketError(ErrnoToSocketError(errno));
    }
    const TIdWaitResult Waited = WaitForSocket(ASocket, true, ATimeout, AWakeFds);
    if (Waited != TIdWaitResult::Ready) {
        return Waited;
    }
    int Error = 0;
    socklen_t ErrorLength = sizeof Error;
    if (getsockopt(ASocket, SOL_SOCKET, SO_ERROR, &Error, &ErrorLength) != 0) {
        Error = errno;
    }
    if (Error != 0) {
        RaiseSocketError(ErrnoToSocketError(Error));
    }
    return TIdWaitResult::Ready;
}

TIdWaitResult TIdStackPosix::WaitForSocket(TIdStackSocketHandle ASocket, bool AForWrite,
                                           int32_t AMSec, std::span<const int> AWakeFds) {
    std::vector<pollfd> Fds;
    Fds.reserve(AWakeFds.size() + 1);
    Fds.push_back({ASocket, static_cast<short>(AForWrite ? POLLOUT : POLLIN), 0});
    for (const int Fd : AWakeFds) {
        if (Fd >= 0) {
            Fds.push_back({Fd, POLLIN, 0});
        }
    }
    const int64_t Deadline = AMSec < 0 ? -1 : TickCountMs() + AMSec;
    for (;;) {
        int Wait = -1;
        if (Deadline >= 0) {
            Wait = static_cast<int>(std::max<int64_t>(Deadline - TickCountMs(), 0));
        }
        const int Result = poll(Fds.data(), Fds.size(), Wait);
        if (Result < 0) {
            if (errno == EINTR) {
                continue;
            }
            RaiseSocketError(ErrnoToSocketError(errno));
        }
        for (size_t I = 1; I < Fds.size(); ++I) {
            if (Fds[I].revents != 0) {
                return TIdWaitResult::Woken;
            }
        }
        if (Result > 0 && Fds[0].revents != 0) {
            return TIdWaitResult::Ready;
        }
        if (Deadline >= 0 && TickCountMs() >= Deadline) {
            return TIdWaitResult::TimedOut;
        }
    }
}

int TIdStackPosix::Receive(TIdStackSocketHandle ASocket, std::span<uint8_t> ABuffer) {
    ssize_t Result;
    do {
        Result = recv(ASocket, ABuffer.data(), ABuffer.size(), 0);
    } while (Result < 0 && errno == EINTR);
    return Result < 0 ? Fail() : static_cast<int>(Result);
}

int TIdStackPosix::Send(TIdStackSocketHandle ASocket, std::span<const uint8_t> ABytes) {
    ssize_t Result;
    do {
        Result = send(ASocket, ABytes.data(), ABytes.size(), MSG_NOSIGNAL);
    } while (Result < 0 && errno == EINTR);
    return Result < 0 ? Fail() : static_cast<int>(Result);
}

void TIdStackPosix::Disconnect(TIdStackSocketHandle ASocket) {
    shutdown(ASocket, SHUT_WR);
}

void TIdStackPosix::ShutdownBoth(TIdStackSocketHandle ASocket) {
    shutdown(ASocket, SHUT_RDWR);
}

void TIdStackPosix::CloseSocketHandle(TIdStackSocketHandle ASocket) {
    close(ASocket);
}

void TIdStackPosix::SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                    int AValue) {
    CheckForSocketError(
        setsockopt(ASocket, ALevel, AOptName, &AValue, sizeof AValue) == 0 ? 0 : Fail());
}

int TIdStackPosix::GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName) {
    int Value = 0;
    socklen_t Length = sizeof Value;
    CheckForSocketError(getsockopt(ASocket, ALevel, AOptName, &Value, &Length) == 0 ? 0 : Fail());
    return Value;
}

void TIdStackPosix::GetSocketName(TIdStackSocketHandle ASocket, std::string& AIP, uint16_t& APort) {
    sockaddr_storage Address{};
    socklen_t Length = sizeof Address;
    CheckForSocketError(
        getsockname(ASocket, reinterpret_cast<sockaddr*>(&Address), &Length) == 0 ? 0 : Fail());
    AIP = AddressText(reinterpret_cast<sockaddr*>(&Address), APort);
}

void TIdStackPosix::GetPeerName(TIdStackSocketHandle ASocket, std::string& AIP, uint16_t& APort) {
    sockaddr_storage Address{};
    socklen_t Length = sizeof Address;
    CheckForSocketError(
        getpeername(ASocket, reinterpret_cast<sockaddr*>(&Address), &Length) == 0 ? 0 : Fail());
    AIP = AddressText(reinterpret_cast<sockaddr*>(&Address), APort);
}

int TIdStackPosix::WSGetLastError() {
    return ErrnoToSocketError(errno);
}
