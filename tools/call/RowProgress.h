#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// The progress line of a row run on standard error, when that is a terminal: rows done of the
// total, calls per second, time left and failures, redrawn at most ten times a second.
class TRowProgress {
public:
    // ATotal: rows to send in this run.
    explicit TRowProgress(std::int64_t ATotal);
    // Clears the line.
    ~TRowProgress();
    TRowProgress(const TRowProgress&) = delete;
    TRowProgress& operator=(const TRowProgress&) = delete;

    void RowDone(bool AFailed) {
        ++FDone;
        if (AFailed)
            ++FFailed;
    }

private:
    void Draw();

    std::int64_t FTotal;
    std::atomic<std::int64_t> FDone{0};
    std::atomic<std::int64_t> FFailed{0};
    std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
    std::mutex FLock;
    std::condition_variable FEnd;
    bool FEnding = false;
    std::thread FThread;
};
