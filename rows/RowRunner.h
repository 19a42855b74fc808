#pragma once

#include "ParamValues.h"
#include "RunJournal.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TIdHTTP;
class TIdSSLIOHandlerSocketOpenSSL;

// A row ready to be sent: its number, the form as the window's Send would post it, and the lines
// the journal keeps (secrets emptied).
struct TRowJob {
    std::int64_t Row = 0;
    TParamValues Form;
    QStringList KeptFields;
    // The read sent just before the row's change, so that the run's history keeps what the
    // change altered (its before copy); none for a command without one.
    std::optional<TParamValues> BeforeCopy;
};

class TRowBeforeCopies;

struct TRowRunSettings {
    QString URL;
    int Concurrency = 1; // calls at once, 1 to MaxConcurrency
    double Rate = 0;     // calls started per second at most; 0 for no limit
    int MaxFailures = 1; // failed calls after which no new row starts; 0 for never
    // Sets up each connection's TLS handler (trust, certificates) before its first call.
    std::function<void(TIdSSLIOHandlerSocketOpenSSL&)> ConfigureTls;
    // Told how each row's before copy read went; the caller keeps it for the run's history.
    TRowBeforeCopies* BeforeCopies = nullptr;
    static constexpr int MaxConcurrency = 16;
};

// Sends rows with up to Concurrency calls at once, in the order they are given: each row is made
// durable as "sending" in the journal before its call starts, and its outcome is written after.
// A failed call is a transport error or an HTTP status that refuses the call; a call aborted
// while it ran may have reached the server and ends "unknown". A row with a before copy sends
// that read first on the same connection; the read's failure does not hold the row back, and a
// run stopped while the read went leaves the row pending, neither sent nor marked.
class TRowRunner {
public:
    TRowRunner(TRowRunSettings ASettings, TRunJournal& AJournal, qint64 ARun);
    ~TRowRunner();
    TRowRunner(const TRowRunner&) = delete;
    TRowRunner& operator=(const TRowRunner&) = delete;

    // Takes rows from ANext (on the calling thread, until it gives nothing or the run stops) and
    // returns when every call started has ended. ADone is told each row's outcome, one at a time.
    // Throws ERunJournalError when the journal fails (no row is sent after that).
    void Run(const std::function<std::optional<TRowJob>()>& ANext,
             const std::function<void(const TRowRecord&)>& ADone);

    // Thread-safe: no row starts from now on; the calls in flight go on.
    void Stop();
    // Thread-safe: no row starts and the calls in flight are aborted.
    void Abort();
    bool Stopped() const { return FStopped.load(); }
    // Why the run stopped early: the failures reached the limit.
    bool StoppedByFailures() const { return FFailureStop.load(); }

private:
    class TWorker;

    void Work(TWorker& AWorker, const std::function<void(const TRowRecord&)>& ADone);
    // Waits for the row's turn under the rate; false when the run stopped meanwhile.
    bool WaitForTurn();
    // The row's record, or nothing when the run stopped between its read and its change.
    std::optional<TRowRecord> Send(TWorker& AWorker, const TRowJob& AJob);
    // Sends the row's before copy read; its status as TRowRecord::BeforeCopy has it.
    std::string SendBeforeCopy(TWorker& AWorker, const TRowJob& AJob);

    TRowRunSettings FSettings;
    TRunJournal& FJournal;
    qint64 FRun;

    std::mutex FLock;
    std::condition_variable FChanged;
    std::optional<TRowJob> FWaiting; // the row handed over, not yet taken by a worker
    bool FEnded = false;             // no more rows will be handed over
    std::chrono::steady_clock::time_point FNextStart{};
    std::vector<std::unique_ptr<TWorker>> FWorkers;
    std::atomic<bool> FStopped{false};
    std::atomic<bool> FAborted{false};
    std::atomic<bool> FFailureStop{false};
    int FFailures = 0;
    std::string FJournalError;
    std::mutex FDoneLock;
};
