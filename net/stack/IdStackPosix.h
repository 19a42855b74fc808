#pragma once

#include "IdStackBSDBase.h"

struct addrinfo;

// The socket stack on POSIX sockets.
class TIdStackPosix : public TIdStackBSDBase {
public:
    // The resolver entry point; tests replace it to simulate resolver failures.
    using TGetAddrInfo = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static void SetResolver(TGetAddrInfo AResolver); // nullptr restores getaddrinfo

    TIdStackPosix();

    std::string LookupHost(const std::string& AHost, TIdIPVersion AIPVersion) override;
    TIdStackSocketHandle NewSocketHandle(int ASocketType, int AProtocol,
                                         TIdIPVersion AIPVersion) override;
    void Bind(TIdStackSocketHandle ASocket, const std::string& AIP, uint16_t APort,
              TIdIPVersion AIPVersion) override;
    TIdWaitResult ConnectWait(TIdStackSocketHandle ASocket, const std::string& AIP, uint16_t APort,
                              TIdIPVersion AIPVersion, int32_t ATimeout,
                              std::span<const int> AWakeFds) override;
    TIdWaitResult WaitForSocket(TIdStackSocketHandle ASocket, bool AForWrite, int32_t AMSec,
                                std::span<const int> AWakeFds) override;
    int Receive(TIdStackSocketHandle ASocket, std::span<uint8_t> ABuffer) override;
    int Send(TIdStackSocketHandle ASocket, std::span<const uint8_t> ABytes) override;
    void Disconnect(TIdStackSocketHandle ASocket) override;
    void ShutdownBoth(TIdStackSocketHandle ASocket) override;
    void CloseSocketHandle(TIdStackSocketHandle ASocket) override;
    void SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                         int AValue) override;
    int GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName) override;
    void GetSocketName(TIdStackSocketHandle ASocket, std::string& AIP, uint16_t& APort) override;
    void GetPeerName(TIdStackSocketHandle ASocket, std::string& AIP, uint16_t& APort) override;
    int WSGetLastError() override;
};
