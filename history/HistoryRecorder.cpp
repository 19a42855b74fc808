#include "HistoryRecorder.h"

THistoryRecorder::THistoryRecorder(QString AFolder, THistoryLimits ALimits,
                                   THistoryIndexing AIndexing, THistoryFolding AFolding)
    : FFolder(AFolder.isEmpty() ? THistoryStore::DefaultFolder() : std::move(AFolder)),
      FFileName(FFolder + QStringLiteral("/history.sqlite")), FLimits(ALimits),
      FIndexing(AIndexing), FFolding(AFolding) {
    FWorker = std::thread([this] { Run(); });
    Post([this] { EnsureOpen(); });
}

THistoryRecorder::~THistoryRecorder() {
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_all();
    FWorker.join();
}

void THistoryRecorder::SetEnabled(bool AEnabled) {
    std::lock_guard lock(FMutex);
    FEnabled = AEnabled;
}

bool THistoryRecorder::Enabled() const {
    std::lock_guard lock(FMutex);
    return FEnabled;
}

QString THistoryRecorder::Status() const {
    std::lock_guard lock(FMutex);
    return FStatus;
}

void THistoryRecorder::SetStatus(const QString& AStatus) {
    {
        std::lock_guard lock(FMutex);
        if (FStatus == AStatus)
            return;
        FStatus = AStatus;
    }
    emit StatusChanged(AStatus);
}

void THistoryRecorder::Post(std::function<void()> AJob) {
    {
        std::lock_guard lock(FMutex);
        FJobs.push_back(std::move(AJob));
    }
    FWake.notify_one();
}

void THistoryRecorder::Record(THistoryCall ACall) {
    ACall.Fields = THistoryStore::WithoutPassword(ACall.Fields);
    if (ACall.BeforeCopy) {
        auto before = std::make_shared<THistoryCall>(*ACall.BeforeCopy);
        before->Fields = THistoryStore::WithoutPassword(before->Fields);
        ACall.BeforeCopy = std::move(before);
    }
    {
        std::lock_guard lock(FMutex);
        if (!FEnabled)
            return;
        // A database that stays locked must not let answers pile up in memory.
        if (FJobs.size() >= MaxQueued) {
            FStatus = QStringLiteral("Calls are not being recorded: the history is not keeping up");
            QMetaObject::invokeMethod(
                this, [this, status = FStatus] { emit StatusChanged(status); },
                Qt::QueuedConnection);
            return;
        }
        FJobs.push_back([this, call = std::move(ACall)] { RecordCall(call); });
    }
    FWake.notify_one();
}

// Damage met while recording is mended at once, not left for the next call to meet again: the
// call tool records one call and ends. The file is checked, moved aside when the check agrees,
// and the call given to the new file (or once more to the same file when it passed).
void THistoryRecorder::RecordCall(const THistoryCall& ACall) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!EnsureOpen())
            return;
        try {
            const bool background = FIndexing == THistoryIndexing::Background;
            const qint64 id =
                FStore->Record(ACall, background ? THistoryIndexing::DeferLarge : FIndexing);
            SetStatus(FNotice);
            emit Recorded(id);
            if (background)
                Post([this] { IndexPendingAnswer(); });
            return;
        } catch (const EHistoryError& error) {
            Failed(QStringLiteral("The last call was not recorded"), error);
            if (!error.Damaged())
                return;
        }
    }
}

void THistoryRecorder::Clear() {
    Post([this] {
        if (!EnsureOpen())
            return;
        try {
            FStore->Clear();
            SetStatus(FNotice);
            emit Cleared();
        } catch (const EHistoryError& error) {
            Failed(QStringLiteral("The history was not cleared"), error);
        }
    });
}

void THistoryRecorder::Failed(const QString& AWhat, const EHistoryError& AError) {
    SetStatus(QStringLiteral("%1: %2").arg(AWhat, QString::fromStdString(AError.what())));
    // A file found damaged only now is checked as it opens again, and moved aside.
    if (AError.Damaged()) {
        FFoundDamaged = true;
        FStore.reset();
    }
}

// One answer at a time, so that a call recorded meanwhile waits for one answer at most; the
// rest are left for the next start when the recorder stops first.
void THistoryRecorder::IndexPendingAnswer() {
    {
        std::lock_guard lock(FMutex);
        if (FStopping)
            return;
    }
    if (!FStore || !FStore->IsOpen())
        return;
    try {
        if (FStore->IndexPendingAnswers(1))
            Post([this] { IndexPendingAnswer(); });
    } catch (const EHistoryError& error) {
        Failed(QStringLiteral("Some answers cannot be searched yet"), error);
    }
}

void THistoryRecorder::WaitIdle() {
    std::unique_lock lock(FMutex);
    FIdle.wait(lock, [this] { return FJobs.empty() && !FBusy; });
}

bool THistoryRecorder::EnsureOpen() {
    if (FStore && FStore->IsOpen())
        return true;
    FStore = std::make_unique<THistoryStore>(FFolder, FLimits);
    FStore->SetFolding(FFolding);
    try {
        const QString movedTo = FStore->Open(FFoundDamaged);
        FFoundDamaged = false;
        if (!movedTo.isEmpty()) {
            FNotice = QStringLiteral("The call history was damaged; it was moved to %1 and a new "
                                     "one was started.")
                          .arg(movedTo);
            SetStatus(FNotice);
            emit MovedAside(movedTo);
        }
        if (FIndexing != THistoryIndexing::DeferLarge)
            Post([this] { IndexPendingAnswer(); });
        return true;
    } catch (const EHistoryError& error) {
        SetStatus(QStringLiteral("Calls are not being recorded: %1")
                      .arg(QString::fromStdString(error.what())));
        FStore.reset();
        return false;
    }
}

void THistoryRecorder::Run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(FMutex);
            FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
            if (FJobs.empty())
                break; // stopping, with nothing left to record
            job = std::move(FJobs.front());
            FJobs.pop_front();
            FBusy = true;
        }
        job();
        {
            std::lock_guard lock(FMutex);
            FBusy = false;
        }
        FIdle.notify_all();
    }
    FStore.reset(); // the connection closes on the thread that opened it
    FIdle.notify_all();
}
