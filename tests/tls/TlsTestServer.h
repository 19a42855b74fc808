#pragma once

#include "LoopbackListener.h"
#include "TestCertificates.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class TTlsServerMode {
    Answer,         // handshake, read one request, send the answer, end the connection
    NeverHandshake, // accept and read, but never answer the handshake
    Silent,         // handshake and read the request, but never answer it
    EndAtOnce,      // accept and end the connection without a word of TLS
    NeverRead,      // handshake, then read nothing, so that what the client sends backs up
};

struct TTlsServerOptions {
    TTlsServerMode Mode = TTlsServerMode::Answer;
    std::string Answer;
    // End an answer with the close notification; false closes the TCP connection without it.
    bool CloseNotify = true;
    // The server's certificate; null: the self-signed one for "wrong.example".
    const TTestCertificate* Certificate = nullptr;
    // Runs on the server's thread after the TCP accept, before the handshake.
    std::function<void()> BeforeHandshake = nullptr;
    // Bytes sent outside TLS, in the same segment as the answer; the connection then stays
    // open until the client closes it.
    std::string RawAfterAnswer = {};
};

// A TLS server on the system's OpenSSL, on a loopback port chosen by the system, serving its
// connections one after the other. Every wait is bounded; the destructor stops and joins it.
class TTlsTestServer {
public:
    explicit TTlsTestServer(TTlsServerOptions AOptions, bool AIPv6 = false);
    ~TTlsTestServer();
    TTlsTestServer(const TTlsTestServer&) = delete;
    TTlsTestServer& operator=(const TTlsTestServer&) = delete;

    uint16_t Port() const { return FListener.Port(); }

    int Accepted() const;
    // Completed handshakes, and how many of them resumed an earlier session.
    int Handshakes() const;
    int ResumedSessions() const;
    // The server name each handshake carried ("" when none).
    std::vector<std::string> ServerNames() const;
    std::vector<std::string> Requests() const;
    // Waits until ACount connections have been served to their end.
    bool WaitForServed(int ACount, int ATimeoutMs = WaitMs) const;
    // Waits until ACount connections have been accepted, or ACount requests read.
    bool WaitForAccepted(int ACount, int ATimeoutMs = WaitMs) const;
    bool WaitForRequests(int ACount, int ATimeoutMs = WaitMs) const;

    static constexpr int WaitMs = 10000;

private:
    void Run();
    void Serve(int AFd);
    void ServeTls(int AFd);
    // Reads and drops whatever comes until the peer closes, the server stops or time runs out.
    void DrainUntilClosed(int AFd) const;

    TTlsServerOptions FOptions;
    void* FContext = nullptr; // SSL_CTX
    TLoopbackListener FListener;
    int FStopPipe[2] = {-1, -1};

    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    int FAccepted = 0;
    int FServed = 0;
    int FHandshakes = 0;
    int FResumed = 0;
    std::vector<std::string> FServerNames;
    std::vector<std::string> FRequests;
    std::thread FThread;
};
