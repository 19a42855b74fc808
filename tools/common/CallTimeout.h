#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

class TIdHTTP;

// Ends a running call from another thread once its time is up (--timeout SECONDS): the call
// fails as an aborted one, and Fired() says that the time was the reason.
class TCallTimeout {
public:
    TCallTimeout(TIdHTTP& AHTTP, double ASeconds);
    ~TCallTimeout();
    TCallTimeout(const TCallTimeout&) = delete;
    TCallTimeout& operator=(const TCallTimeout&) = delete;
    bool Fired();

private:
    std::mutex FLock;
    std::condition_variable FDone;
    bool FFinished = false;
    bool FFired = false;
    std::thread FThread;
};

// The seconds of a --timeout value as typed: a decimal number above 0, up to 1e6 (about 11
// days); nothing when it is none.
std::optional<double> TimeoutSeconds(std::string_view AText);
