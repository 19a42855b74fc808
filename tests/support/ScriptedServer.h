#pragma once

#include "LoopbackListener.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// What a scripted server does with one accepted connection, step by step. After the last step
// the connection is closed gracefully (unless a step already closed or reset it).
class TServerScript {
public:
    // Reads one request: the head up to the empty line and a body of its Content-Length. The
    // server records it (Requests()); a second one on the same connection reads the next.
    TServerScript& ReadRequest();
    // Reads until the bytes received on this connection contain ADelimiter.
    TServerScript& ReadUntil(std::string ADelimiter);
    // Reads ACount more bytes.
    TServerScript& ReadBytes(size_t ACount);
    // Sends exactly these bytes.
    TServerScript& Send(std::string ABytes);
    // Sends AChunk ACount times (large answers without holding them whole in the script).
    TServerScript& SendRepeated(std::string AChunk, size_t ACount);
    // Reads until the client closes its side (or resets); a step failure when it does not.
    TServerScript& ReadUntilClosed();
    // Keeps the connection open and silent until Release() or the server's end.
    TServerScript& Hold();
    // Graceful close: FIN after everything sent.
    TServerScript& Close();
    // Abortive close: SO_LINGER 0, so the client sees a reset.
    TServerScript& Reset();

    struct TStep {
        enum TKind {
            ReadRequest,
            ReadUntil,
            ReadBytes,
            Send,
            ReadUntilClosed,
            Hold,
            Close,
            Reset
        } Kind;
        std::string Bytes;
        size_t Count = 0;
    };
    const std::vector<TStep>& Steps() const { return FSteps; }

private:
    std::vector<TStep> FSteps;
};

// The test server: TCP on the loopback address (127.0.0.1, or ::1) and a port chosen by the
// system. Connection i runs script i (the last script for every later connection), each on its
// own thread. Every wait is bounded by StepTimeoutMs; the destructor ends and joins everything.
class TScriptedServer {
public:
    explicit TScriptedServer(TServerScript AScript, bool AIPv6 = false);
    explicit TScriptedServer(std::vector<TServerScript> AScripts, bool AIPv6 = false);
    ~TScriptedServer();
    TScriptedServer(const TScriptedServer&) = delete;
    TScriptedServer& operator=(const TScriptedServer&) = delete;

    uint16_t Port() const { return FListener.Port(); }
    // "127.0.0.1" or "::1".
    std::string Address() const { return FListener.Address(); }
    // "http://127.0.0.1:PORT" (or "http://[::1]:PORT") followed by APath.
    std::u16string URL(std::u16string_view APath = u"/api") const;

    // Ends every Hold step.
    void Release();

    // Bytes received so far on connection AIndex (empty when there is no such connection).
    std::string Received(size_t AIndex = 0) const;
    size_t ConnectionCount() const;
    // The requests read by ReadRequest steps, connection by connection.
    std::vector<std::string> Requests() const;
    // Waits until ACount connections have run their scripts to the end.
    bool WaitForScriptsDone(size_t ACount = 1, int ATimeoutMs = StepTimeoutMs) const;
    // Waits until connection AIndex has received bytes containing ANeedle.
    bool WaitForReceived(size_t AIndex, std::string_view ANeedle,
                         int ATimeoutMs = StepTimeoutMs) const;
    // True when a script step ran out of time or the client vanished mid-step.
    bool HadStepFailure() const { return FStepFailure.load(); }

    static constexpr int StepTimeoutMs = 10000;

private:
    struct TConnection {
        std::string Received;
        std::vector<std::string> Requests;
        size_t RequestEnd = 0; // where in Received the next request starts
        bool Done = false;
    };

    class TRun;

    void AcceptLoop();
    void RunScript(int AFd, size_t AIndex);
    // Waits for AFd to become ready for AEvents; false on time-out or when the server stops.
    bool WaitFd(int AFd, short AEvents) const;

    std::vector<TServerScript> FScripts;
    TLoopbackListener FListener;
    int FStopPipe[2] = {-1, -1};
    int FReleasePipe[2] = {-1, -1};
    std::atomic<bool> FStepFailure{false};

    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    std::vector<std::unique_ptr<TConnection>> FConnections;
    std::vector<std::thread> FWorkers;
    std::thread FAcceptThread;
};
