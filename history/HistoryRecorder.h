#pragma once

#include "HistoryStore.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Records calls into the history on a worker thread with its own connection, so a slow, full or
// locked database never holds up the caller. Recording is best effort: a failure is kept as the
// status text and announced, never thrown at the caller.
class THistoryRecorder : public QObject {
    Q_OBJECT
public:
    // AFolder empty: the user's data folder. The database is opened at once, on the worker.
    // AIndexing Immediate: every answer is indexed as it is recorded, and the answers others left
    // to be indexed later are indexed in the background once the database is open. DeferLarge:
    // large answers are left to be indexed later, so that recording them stays quick. Background:
    // as Immediate, but a large answer is kept at once and its words indexed by a job of its own
    // after it, one answer per job, so that the text is never needed whole to keep it.
    // AFolding: see THistoryStore::SetFolding.
    explicit THistoryRecorder(QString AFolder = {}, THistoryLimits ALimits = {},
                              THistoryIndexing AIndexing = THistoryIndexing::Immediate,
                              THistoryFolding AFolding = THistoryFolding::OnClose);
    // Records what is still queued, then stops.
    ~THistoryRecorder() override;

    QString FileName() const { return FFileName; }
    const QString& Folder() const { return FFolder; }

    // Off: calls handed to Record are dropped.
    void SetEnabled(bool AEnabled);
    bool Enabled() const;

    // Queues the call and returns at once; the password's value is emptied before it is queued.
    void Record(THistoryCall ACall);
    // Queues the deletion of every call and the compaction of the file.
    void Clear();
    // Blocks until everything queued so far is done (for tools and tests).
    void WaitIdle();

    // The last failure to record, or the notice that a damaged file was moved aside; empty
    // while all is well.
    QString Status() const;

    static constexpr int MaxQueued = 64;

signals:
    void Recorded(qint64 AId);
    void Cleared();
    void StatusChanged(const QString& AStatus);
    // The damaged database was moved to AFileName and a new one started.
    void MovedAside(const QString& AFileName);

private:
    void Run();
    void Post(std::function<void()> AJob);
    bool EnsureOpen();
    void RecordCall(const THistoryCall& ACall);
    void SetStatus(const QString& AStatus);
    void IndexPendingAnswer();
    void Failed(const QString& AWhat, const EHistoryError& AError);

    const QString FFolder;
    const QString FFileName;
    const THistoryLimits FLimits;
    const THistoryIndexing FIndexing;
    const THistoryFolding FFolding;

    mutable std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FIdle;
    std::deque<std::function<void()>> FJobs;
    bool FBusy = false;
    bool FStopping = false;
    bool FEnabled = true;
    QString FStatus;
    // Worker thread only.
    bool FFoundDamaged = false;
    QString FNotice; // the damaged file moved aside, kept in the status for the run

    std::unique_ptr<THistoryStore> FStore; // worker thread only
    std::thread FWorker;
};
