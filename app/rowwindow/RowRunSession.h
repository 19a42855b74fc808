#pragma once

#include "RowRunPlan.h"
#include "RowRunner.h"
#include "RunJournal.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One run of rows on a thread of its own, as the window drives it: the rows read from the file as
// they are sent (paused on request before the next row is handed over), the outcomes gathered
// for the window to take, the end told through a queued signal. Its methods belong to the thread
// that made it; the worker reports only through RowsReady and Ended, both queued.
class TRowRunSession : public QObject {
    Q_OBJECT
public:
    struct TPlan {
        TRowRunSetup Setup;
        TRunInfo Run;
        bool Resumed = false;
        TResendChoice Choice;
        TRowRunSettings Settings;
        QString HistoryFolder;
        bool KeepHistory = true;
    };

    // A row's end: its record, and whether a resumed run only looked it up in the journal.
    struct TDone {
        TRowRecord Record;
        bool Skipped = false;
    };

    // Starts the run at once. AJournal must have claimed APlan's run and outlive the session.
    TRowRunSession(TPlan APlan, TRunJournal& AJournal, QObject* AParent = nullptr);
    // Aborts a run still going and waits for its thread.
    ~TRowRunSession() override;
    TRowRunSession(const TRowRunSession&) = delete;
    TRowRunSession& operator=(const TRowRunSession&) = delete;

    // No new row starts while paused; the calls under way go on.
    void SetPaused(bool APaused);
    bool Paused() const { return FPaused.load(); }
    // No new row starts; the calls under way end as they end.
    void Stop();
    // The calls under way are aborted too (their rows become unknown).
    void Abort();
    bool Running() const { return !FEnded.load(); }

    // The rows ended since the last call.
    std::vector<TDone> TakeDone();
    // After Ended: the summary, the counts and what went wrong (empty when nothing did).
    const std::string& Summary() const { return FSummary; }
    const TRunCounts& Counts() const { return FCounts; }
    const QString& Failure() const { return FFailure; }
    bool StoppedByFailures() const { return FStoppedByFailures; }
    const TRunInfo& Run() const { return FPlan.Run; }

    // Outcomes are told at most this often.
    static constexpr std::chrono::milliseconds TellEvery{100};

signals:
    // Rows have ended; TakeDone has them.
    void RowsReady();
    void Ended();

private:
    void Work();
    // The next row to send, after a pause; nothing at the end or once stopped.
    std::optional<TRowJob> NextRow(TRowFile& AFile);
    void Gathered(TDone ADone);
    void Tell();

    TPlan FPlan;
    TRunJournal& FJournal;
    std::unique_ptr<TRowBeforeCopies> FBeforeCopies; // the run's reads, null when it sends none
    std::unique_ptr<TRowRunner> FRunner;
    std::thread FThread;

    std::mutex FLock;
    std::condition_variable FResumed;
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FStopping{false};
    std::atomic<bool> FEnded{false};
    std::vector<TDone> FDone;
    bool FTellQueued = false;
    std::chrono::steady_clock::time_point FLastTold{};

    // Written by the worker before Ended.
    std::string FSummary;
    TRunCounts FCounts;
    QString FFailure;
    bool FStoppedByFailures = false;
};
