#pragma once

#include "LoopbackListener.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// An HTTP server on the loopback address that answers every form it is posted, on kept-alive
// connections, and counts the requests per value of one parameter (the key that tells the rows of
// a run apart). The answer to a chosen key can be held back until Release, so that a test can act
// while that row's call is in flight; chosen keys are refused with status 500.
class TRowServer {
public:
    // AKeyName: the form parameter whose value is counted ("Player"). ACloseFirst: each connection
    // is closed by the server after its answer, so that the closed connections wait out their
    // minute here rather than on the client's local ports (runs of more calls a minute than the
    // system has local ports).
    explicit TRowServer(std::string AKeyName, bool ACloseFirst = false);
    ~TRowServer();
    TRowServer(const TRowServer&) = delete;
    TRowServer& operator=(const TRowServer&) = delete;

    std::string URL() const;

    // Holds the answers to requests with this key, of ACommand only when given (before Start of
    // the client).
    void HoldAnswerTo(const std::string& AKey, const std::string& ACommand = {});
    void RefuseKey(const std::string& AKey, const std::string& ACommand = {});
    // Answers each key's request (accepted) with AAnswer(key) instead of {"Result":"Ok"} (before
    // Start of the client).
    void AnswerWith(std::function<std::string(const std::string&)> AAnswer);
    // Answers the requests held back.
    void Release();
    // Waits until a request with AKey has come and is held; false after ATimeoutMs.
    bool WaitUntilHeld(const std::string& AKey, int ATimeoutMs = 20000);

    // Waits until ACount requests have come; false after ATimeoutMs.
    bool WaitForRequests(int ACount, int ATimeoutMs = 20000);

    // Called on the connection's thread with each request's key before it is answered.
    void OnRequest(std::function<void(const std::string&)> ASeen);

    // The requests received per key (whole requests, answered or held).
    std::map<std::string, int> Counts() const;
    int Requests() const;
    // "COMMAND KEY" of every request, in the order they came.
    std::vector<std::string> Log() const;

private:
    // A connection's socket and thread; a connection that has ended is closed and its thread
    // joined when the next one comes, so a run of many connections holds few.
    struct TClient {
        int Fd = -1;
        bool Ended = false;
        std::thread Thread;
    };

    void AcceptLoop();
    void Serve(TClient& AClient);

    std::string FKeyName;
    bool FCloseFirst = false;
    std::function<void(const std::string&)> FSeen;
    TLoopbackListener FListener;
    int FStopPipe[2] = {-1, -1};
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::map<std::string, int> FCounts;
    // Keys held or refused, with their command or an empty one for any.
    using TKeyOf = std::pair<std::string, std::string>;
    static bool Matches(const std::set<TKeyOf>& ASet, const std::string& ACommand,
                        const std::string& AKey);
    std::set<TKeyOf> FHold;
    std::set<std::string> FHeld;
    std::set<TKeyOf> FRefused;
    std::vector<std::string> FLog;
    std::function<std::string(const std::string&)> FAnswer;
    bool FReleased = false;
    bool FStopping = false;
    int FRequests = 0;
    std::vector<std::unique_ptr<TClient>> FClients;
    std::thread FAcceptThread;
};
