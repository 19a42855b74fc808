#pragma once

#include "IdGlobal.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <string>

// One operating-system socket with its local and peer addresses.
//
// The owning thread does every operation; ShutdownBoth alone may be called from any thread. The
// handle only changes under the connection lock, so ShutdownBoth never touches a closed or reused
// descriptor.
class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    TIdStackSocketHandle Handle() const { return FHandle; }
    bool HandleAllocated() const { return FHandle != Id_INVALID_SOCKET; }

    TIdIPVersion IPVersion() const { return FIPVersion; }
    // Fails with EIdSocketHandleError while a socket is allocated.
    void SetIPVersion(TIdIPVersion AValue);

    int SocketType() const { return FSocketType; }

    std::string IP; // local address; empty: any
    uint16_t Port = 0;
    uint16_t ClientPortMin = 0; // local port range tried when Port is 0 and the range is set
    uint16_t ClientPortMax = 0;
    std::string PeerIP;
    uint16_t PeerPort = 0;
    bool UseNagle = true;
    TIdReuseSocket ReuseSocket = rsOSDependent;

    // Closes any previous socket and creates a new one of IPVersion's family.
    void AllocateSocket(int ASocketType, int AProtocol = 0);
    // Takes ownership of an existing socket; reads its type and Nagle setting.
    void SetHandle(TIdStackSocketHandle AHandle);
    // Shutdown for sending, close, forget; results ignored. Does nothing without a socket.
    void CloseSocket();
    // Back to the state of a new binding (closes the socket, clears addresses, IPv4).
    void Reset();

    // SO_REUSEADDR by ReuseSocket, then bind to IP:Port (or the client port range); any failure
    // raises EIdCouldNotBindSocket. Reads the local address back.
    void Bind();
    // Sets TCP_NODELAY when UseNagle differs from the socket's current setting.
    void ApplyNagle(bool AUseNagle);
    void SetPeer(const std::string& AIP, uint16_t APort, TIdIPVersion AIPVersion);

    // Connects to PeerIP:PeerPort, waiting at most ATimeout ms (WaitForever: no limit). Socket
    // errors raise EIdSocketError. Returns Woken (socket left unconnected) when one of AWakeFds
    // becomes readable first, TimedOut when the time ran out, Ready once connected.
    TIdWaitResult Connect(int32_t ATimeout, std::span<const int> AWakeFds);
    void UpdateBindingLocal();
    void UpdateBindingPeer();

    // Waits until the socket is readable (data, end of stream or error). AMSec < 0: no limit.
    // A wait failure raises its socket error.
    TIdWaitResult WaitReadable(int32_t AMSec, std::span<const int> AWakeFds);

    // Thread-safe: shuts both directions down so that blocked calls on the socket return.
    void ShutdownBoth();

    std::mutex& ConnectionLock() { return FLock; }

private:
    void ReadSocketSettings();

    std::mutex FLock;
    TIdStackSocketHandle FHandle = Id_INVALID_SOCKET;
    TIdIPVersion FIPVersion = Id_IPv4;
    int FSocketType = 0;
};
