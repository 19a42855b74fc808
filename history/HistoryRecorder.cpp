#include "HistoryRecorder.h"

THistoryRecorder::THistoryRecorder(QString AFolder, THistoryLimits ALimits)
    : Folder_(AFolder.isEmpty() ? THistoryStore::DefaultFolder() : std::move(AFolder)),
      FileName_(Folder_ + QStringLiteral("/history.sqlite")), Limits(ALimits) {
    Worker = std::thread([this] { Run(); });
    Post([this] { EnsureOpen(); });
}

THistoryRecorder::~THistoryRecorder() {
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
    }
    Wake.notify_all();
    Worker.join();
}

void THistoryRecorder::SetEnabled(bool AEnabled) {
    std::lock_guard lock(Mutex);
    Enabled_ = AEnabled;
}

bool THistoryRecorder::Enabled() const {
    std::lock_guard lock(Mutex);
    return Enabled_;
}

QString THistoryRecorder::Status() const {
    std::lock_guard lock(Mutex);
    return Status_;
}

void THistoryRecorder::SetStatus(const QString& AStatus) {
    {
        std::lock_guard lock(Mutex);
        if (Status_ == AStatus)
            return;
        Status_ = AStatus;
    }
    emit StatusChanged(AStatus);
}

void THistoryRecorder::Post(std::function<void()> AJob) {
    {
        std::lock_guard lock(Mutex);
        Jobs.push_back(std::move(AJob));
    }
    Wake.notify_one();
}

void THistoryRecorder::Record(THistoryCall ACall) {
    ACall.Fields = THistoryStore::WithoutPassword(ACall.Fields);
    {
        std::lock_guard lock(Mutex);
        if (!Enabled_)
            return;
        // A database that stays locked must not let answers pile up in memory.
        if (Jobs.size() >= MaxQueued) {
            Status_ = QStringLiteral("Calls are not being recorded: the history is not keeping up");
            QMetaObject::invokeMethod(
                this, [this, status = Status_] { emit StatusChanged(status); },
                Qt::QueuedConnection);
            return;
        }
        Jobs.push_back([this, call = std::move(ACall)] {
            if (!EnsureOpen())
                return;
            try {
                const qint64 id = Store->Record(call);
                SetStatus(Notice);
                emit Recorded(id);
            } catch (const EHistoryError& error) {
                SetStatus(QStringLiteral("The last call was not recorded: %1")
                              .arg(QString::fromStdString(error.what())));
                // A file found damaged only now is moved aside at the next call.
                if (error.Damaged()) {
                    FoundDamaged = true;
                    Store.reset();
                }
            }
        });
    }
    Wake.notify_one();
}

void THistoryRecorder::Clear() {
    Post([this] {
        if (!EnsureOpen())
            return;
        try {
            Store->Clear();
            SetStatus(Notice);
            emit Cleared();
        } catch (const EHistoryError& error) {
            SetStatus(QStringLiteral("The history was not cleared: %1")
                          .arg(QString::fromStdString(error.what())));
            if (error.Damaged()) {
                FoundDamaged = true;
                Store.reset();
            }
        }
    });
}

void THistoryRecorder::WaitIdle() {
    std::unique_lock lock(Mutex);
    Idle.wait(lock, [this] { return Jobs.empty() && !Busy; });
}

bool THistoryRecorder::EnsureOpen() {
    if (Store && Store->IsOpen())
        return true;
    Store = std::make_unique<THistoryStore>(Folder_, Limits);
    try {
        const QString movedTo = Store->Open(FoundDamaged);
        FoundDamaged = false;
        if (!movedTo.isEmpty()) {
            Notice = QStringLiteral("The call history was damaged; it was moved to %1 and a new "
                                    "one was started.")
                         .arg(movedTo);
            SetStatus(Notice);
            emit MovedAside(movedTo);
        }
        return true;
    } catch (const EHistoryError& error) {
        SetStatus(QStringLiteral("Calls are not being recorded: %1")
                      .arg(QString::fromStdString(error.what())));
        Store.reset();
        return false;
    }
}

void THistoryRecorder::Run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(Mutex);
            Wake.wait(lock, [this] { return Stopping || !Jobs.empty(); });
            if (Jobs.empty())
                break; // stopping, with nothing left to record
            job = std::move(Jobs.front());
            Jobs.pop_front();
            Busy = true;
        }
        job();
        {
            std::lock_guard lock(Mutex);
            Busy = false;
        }
        Idle.notify_all();
    }
    Store.reset(); // the connection closes on the thread that opened it
    Idle.notify_all();
}
