#include "CallInterrupt.h"

#include "IdHTTP.h"

#include <csignal>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

// The watching thread outlives main; what it uses is never destroyed.
struct TWatch {
    std::mutex Lock;
    TIdHTTP* Call = nullptr;
    int Caught = 0;
    sigset_t Signals{};
    std::function<void(int, int)> Handler;
    int Count = 0;
};

TWatch& Watch() {
    static auto* const watch = new TWatch; // NOLINT(cppcoreguidelines-owning-memory)
    return *watch;
}

void WaitForSignals() {
    TWatch& watch = Watch();
    for (;;) {
        int signal = 0;
        if (::sigwait(&watch.Signals, &signal) != 0)
            continue;
        std::lock_guard lock(watch.Lock);
        if (watch.Handler) {
            watch.Handler(signal, ++watch.Count);
            continue;
        }
        if (watch.Call == nullptr)
            EndBySignal(signal);
        watch.Caught = signal;
        watch.Call->Abort();
    }
}

} // namespace

void StartInterruptWatch() {
    TWatch& watch = Watch();
    sigemptyset(&watch.Signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&watch.Signals, signal);
    ::pthread_sigmask(SIG_BLOCK, &watch.Signals, nullptr);
    std::thread(WaitForSignals).detach();
}

void WatchCall(TIdHTTP* AHTTP) {
    TWatch& watch = Watch();
    std::lock_guard lock(watch.Lock);
    watch.Call = AHTTP;
}

void WatchSignals(std::function<void(int, int)> AHandler) {
    TWatch& watch = Watch();
    std::lock_guard lock(watch.Lock);
    watch.Handler = std::move(AHandler);
    watch.Count = 0;
}

int CallInterrupt() {
    TWatch& watch = Watch();
    std::lock_guard lock(watch.Lock);
    return watch.Caught;
}

void EndBySignal(int ASignal) {
    std::signal(ASignal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, ASignal);
    ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(ASignal);
    ::_exit(128 + ASignal); // not reached: the default action ends the process
}
