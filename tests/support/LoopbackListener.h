#pragma once

#include <cstdint>

// A TCP socket bound to the loopback address (127.0.0.1, or ::1) on a port the system chooses,
// held for the object's life, so no other test can take the port in between.
class TLoopbackSocket {
public:
    // AListen false: bound only, so every connection to the port is refused.
    explicit TLoopbackSocket(bool AIPv6 = false, bool AListen = true, int ABacklog = 16);
    ~TLoopbackSocket();
    TLoopbackSocket(const TLoopbackSocket&) = delete;
    TLoopbackSocket& operator=(const TLoopbackSocket&) = delete;

    int Fd() const { return FFd; }
    uint16_t Port() const { return FPort; }
    bool IPv6() const { return FIPv6; }
    // "127.0.0.1" or "::1".
    const char* Address() const { return FIPv6 ? "::1" : "127.0.0.1"; }

    // Waits until a client connects, or AStopFd (when >= 0) becomes readable. The connected
    // socket (close-on-exec), or -1 when stopped.
    int Accept(int AStopFd = -1) const;

private:
    int FFd = -1;
    uint16_t FPort = 0;
    bool FIPv6 = false;
};

// A loopback listener, the port of a test server.
class TLoopbackListener : public TLoopbackSocket {
public:
    explicit TLoopbackListener(bool AIPv6 = false, int ABacklog = 16)
        : TLoopbackSocket(AIPv6, true, ABacklog) {}
};

// A loopback port that refuses connections: bound, never listening.
class TRefusingPort : public TLoopbackSocket {
public:
    explicit TRefusingPort(bool AIPv6 = false) : TLoopbackSocket(AIPv6, false) {}
};
