#include "CallTimeout.h"

#include "IdHTTP.h"

#include <chrono>
#include <cstdlib>
#include <string>

TCallTimeout::TCallTimeout(TIdHTTP& AHTTP, double ASeconds)
    : FThread([this, &AHTTP, ASeconds] {
          std::unique_lock lock(FLock);
          if (!FDone.wait_for(lock, std::chrono::duration<double>(ASeconds),
                              [this] { return FFinished; })) {
              FFired = true;
              AHTTP.Abort();
          }
      }) {}

TCallTimeout::~TCallTimeout() {
    {
        std::lock_guard lock(FLock);
        FFinished = true;
    }
    FDone.notify_all();
    FThread.join();
}

bool TCallTimeout::Fired() {
    std::lock_guard lock(FLock);
    return FFired;
}

std::optional<double> TimeoutSeconds(std::string_view AText) {
    const std::string text(AText); // strtod needs the terminating NUL
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > 1e6)
        return std::nullopt;
    return seconds;
}
