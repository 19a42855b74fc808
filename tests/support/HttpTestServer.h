#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// One accepted connection of THttpTestServer, driven by a test's script. Every wait is bounded.
class THttpTestServer;

class THttpTestConnection {
public:
    THttpTestConnection(int AFd, THttpTestServer& AServer) : FFd(AFd), FServer(AServer) {}
    ~THttpTestConnection();
    THttpTestConnection(const THttpTestConnection&) = delete;
    THttpTestConnection& operator=(const THttpTestConnection&) = delete;

    // Reads one request: the head up to the empty line and a Content-Length body. Returns the raw
    // bytes, which the server also records; empty when the peer closed or nothing came in time.
    std::string ReadRequest(int ATimeoutMs = 5000);
    void Send(std::string_view ABytes);
    // Shuts down and closes: the peer sees an orderly end of stream.
    void Close();
    // Closes with SO_LINGER 0: the peer sees a reset.
    void Reset();
    // True when the peer closed its side within the wait (data that arrives first is dropped).
    bool WaitForPeerClose(int ATimeoutMs = 5000);

private:
    int FFd = -1;
    THttpTestServer& FServer;
    std::string FPending;
};

// A loopback TCP server on a free port that hands each connection, one after the other, to a
// script, and records the requests the scripts read.
class THttpTestServer {
public:
    using TScript = std::function<void(THttpTestConnection&, int AIndex)>;

    explicit THttpTestServer(TScript AScript, bool AIPv6 = false);
    ~THttpTestServer();
    THttpTestServer(const THttpTestServer&) = delete;
    THttpTestServer& operator=(const THttpTestServer&) = delete;

    uint16_t Port() const { return FPort; }
    // "http://127.0.0.1:PORT" (or "http://[::1]:PORT") followed by APath.
    std::u16string URL(std::u16string_view APath = u"/api") const;
    // Number of connections accepted so far.
    int Connections() const { return FConnections.load(); }
    // Waits (bounded) until ACount scripts have finished.
    bool WaitForScripts(int ACount, int ATimeoutMs = 5000) const;

    void RecordRequest(std::string ARequest);
    std::vector<std::string> Requests() const;

private:
    void Run();

    TScript FScript;
    bool FIPv6 = false;
    int FListen = -1;
    int FWake[2] = {-1, -1};
    uint16_t FPort = 0;
    std::atomic<int> FConnections{0};
    int FFinished = 0;
    mutable std::condition_variable FFinishedChanged;
    mutable std::mutex FLock;
    std::vector<std::string> FRequests;
    std::thread FThread;
};
