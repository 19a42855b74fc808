#include "RowProgress.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

TRowProgress::TRowProgress(std::int64_t ATotal) : FTotal(ATotal) {
    if (::isatty(STDERR_FILENO) == 0)
        return;
    FThread = std::thread([this] {
        std::unique_lock lock(FLock);
        while (!FEnd.wait_for(lock, std::chrono::milliseconds(100), [this] { return FEnding; }))
            Draw();
    });
}

TRowProgress::~TRowProgress() {
    if (!FThread.joinable())
        return;
    {
        std::lock_guard lock(FLock);
        FEnding = true;
    }
    FEnd.notify_all();
    FThread.join();
    const std::string clear = "\r\033[K";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, clear.data(), clear.size());
}

void TRowProgress::Draw() {
    const std::int64_t done = FDone.load();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::string left = "--:--";
    if (rate > 0) {
        const auto secondsLeft =
            static_cast<std::int64_t>(static_cast<double>(FTotal - done) / rate);
        char text[32];
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(secondsLeft / 60),
                      static_cast<long long>(secondsLeft % 60));
        left = text;
    }
    char line[160];
    std::snprintf(line, sizeof line, "\r\033[K%lld/%lld rows, %.1f calls/s, %s left, %lld failed",
                  static_cast<long long>(done), static_cast<long long>(FTotal), rate, left.c_str(),
                  static_cast<long long>(FFailed.load()));
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, std::strlen(line));
}
