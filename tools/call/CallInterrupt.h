#pragma once

#include <functional>

class TIdHTTP;

// Ctrl+C (SIGINT), SIGTERM and SIGHUP for the call tool. While a call runs, such a signal aborts
// it, so that the call is kept in the history as cancelled before the tool ends as the signal
// ends it; at any other time the tool ends at once, as it would without this.

// Starts the watch. Call it first thing in main: the signals are blocked in the calling thread
// and so in every thread started after it, and one thread of its own waits for them.
void StartInterruptWatch();

// From now on (AHTTP) or no longer (null) a signal aborts this client's call.
void WatchCall(TIdHTTP* AHTTP);

// From now on (AHandler) or no longer (empty) every signal is handed to AHandler, on the watching
// thread, with how many have come so far (1 for the first), in place of the above.
void WatchSignals(std::function<void(int ASignal, int ACount)> AHandler);

// The signal that aborted the watched call, 0 when none did.
int CallInterrupt();

// Ends the process as ASignal would have ended it.
[[noreturn]] void EndBySignal(int ASignal);
