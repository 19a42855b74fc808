#pragma once

#include "IdGlobal.h"
#include "IdSocketError.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

// The process-wide socket stack. One instance exists while at least one TIdComponent lives;
// reach it through GlobalStack().
class TIdStack {
public:
    virtual ~TIdStack() = default;
    TIdStack(const TIdStack&) = delete;
    TIdStack& operator=(const TIdStack&) = delete;

    // Counted acquisition of the global instance; thread-safe.
    static void IncUsage();
    static void DecUsage();
    static int StackUsers();

    // Address text for AHost: "localhost" and address literals never reach the resolver.
    std::string ResolveHost(const std::string& AHost, TIdIPVersion AIPVersion);
    // True when AText is a dotted IPv4 literal (four numbers 0..255, nothing after the fourth).
    static bool IsIP(std::string_view AText);
    // First address the resolver gives for AHost; failures raise EIdSocketError.
    virtual std::string LookupHost(const std::string& AHost, TIdIPVersion AIPVersion) = 0;

    virtual TIdStackSocketHandle NewSocketHandle(int ASocketType, int AProtocol,
                                                 TIdIPVersion AIPVersion) = 0;
    virtual void Bind(TIdStackSocketHandle ASocket, const std::string& AIP, uint16_t APort,
                      TIdIPVersion AIPVersion) = 0;
    // Connects without blocking beyond ATimeout ms (WaitForever: no limit); returns Woken as soon
    // as one of AWakeFds is readable, leaving the socket unconnected. Failures raise.
    virtual TIdWaitResult ConnectWait(TIdStackSocketHandle ASocket, const std::string& AIP,
                                      uint16_t APort, TIdIPVersion AIPVersion, int32_t ATimeout,
                                      std::span<const int> AWakeFds) = 0;
    // Waits up to AMSec ms (< 0: no limit) until the socket is readable (AForWrite: writable),
    // or one of AWakeFds is readable. A wait failure raises.
    virtual TIdWaitResult WaitForSocket(TIdStackSocketHandle ASocket, bool AForWrite, int32_t AMSec,
                                        std::span<const int> AWakeFds) = 0;
    // One receive call: the byte count, 0 when the peer closed, -1 on failure.
    virtual int Receive(TIdStackSocketHandle ASocket, std::span<uint8_t> ABuffer) = 0;
    // One send call: the byte count, -1 on failure.
    virtual int Send(TIdStackSocketHandle ASocket, std::span<const uint8_t> ABytes) = 0;
    // Shuts the socket down for sending.
    virtual void Disconnect(TIdStackSocketHandle ASocket) = 0;
    // Shuts both directions down; blocked calls on the socket return.
    virtual void ShutdownBoth(TIdStackSocketHandle ASocket) = 0;
    // Releases the socket; the result is ignored.
    virtual void CloseSocketHandle(TIdStackSocketHandle ASocket) = 0;
    virtual void SetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName,
                                 int AValue) = 0;
    virtual int GetSocketOption(TIdStackSocketHandle ASocket, int ALevel, int AOptName) = 0;
    virtual void GetSocketName(TIdStackSocketHandle ASocket, std::string& AIP, uint16_t& APort) = 0;
    virtual void GetPeerName(TIdStackSocketHandle ASocket, std::string& AIP, uint16_t& APort) = 0;

    // Last socket error as a number of the socket error table.
    virtual int WSGetLastError() = 0;
    int CheckForSocketError(int AResult);
    int CheckForSocketError(int AResult, std::initializer_list<int> AIgnore);
    [[noreturn]] void RaiseLastSocketError();
    // EIdNotASocket for Id_WSAENOTSOCK, EIdSocketError otherwise.
    [[noreturn]] static void RaiseSocketError(int ACode);
    // "Socket Error # <code>", CR LF, and the table's text (empty for unknown numbers).
    static std::string WSTranslateSocketErrorMsg(int ACode);

protected:
    TIdStack() = default;
};

// The global stack; valid while StackUsers() > 0 (throws EIdStackError otherwise).
TIdStack& GlobalStack();

// Canonical text of an IPv6 literal: eight upper-case hexadecimal groups without leading zeros,
// joined by ":", not shortened. Empty when AText is not an IPv6 literal.
std::string CanonicalIPv6(std::string_view AText);
