#include "RowRunSession.h"

#include "CallArguments.h"

#include <utility>

TRowRunSession::TRowRunSession(TPlan APlan, TRunJournal& AJournal, QObject* AParent)
    : QObject(AParent), FPlan(std::move(APlan)), FJournal(AJournal),
      FBeforeCopies(RowBeforeCopies(FPlan.Setup)) {
    FPlan.Settings.BeforeCopies = FBeforeCopies.get();
    FRunner = std::make_unique<TRowRunner>(FPlan.Settings, FJournal, FPlan.Run.Id);
    FThread = std::thread([this] { Work(); });
}

TRowRunSession::~TRowRunSession() {
    Abort();
    if (FThread.joinable())
        FThread.join();
}

void TRowRunSession::SetPaused(bool APaused) {
    {
        std::lock_guard lock(FLock);
        FPaused = APaused;
    }
    FResumed.notify_all();
}

void TRowRunSession::Stop() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FResumed.notify_all();
    FRunner->Stop();
}

void TRowRunSession::Abort() {
    Stop();
    FRunner->Abort();
}

std::vector<TRowRunSession::TDone> TRowRunSession::TakeDone() {
    std::lock_guard lock(FLock);
    FTellQueued = false;
    return std::exchange(FDone, {});
}

void TRowRunSession::Gathered(TDone ADone) {
    bool tell = false;
    {
        std::lock_guard lock(FLock);
        FDone.push_back(std::move(ADone));
        tell = !FTellQueued;
        FTellQueued = true;
    }
    // One signal per batch: the window takes the batch when it next updates.
    if (tell)
        QMetaObject::invokeMethod(
            this, [this] { emit RowsReady(); }, Qt::QueuedConnection);
}

std::optional<TRowJob> TRowRunSession::NextRow(TRowFile& AFile) {
    {
        std::unique_lock lock(FLock);
        FResumed.wait(lock, [this] { return !FPaused || FStopping; });
        if (FStopping)
            return std::nullopt;
    }
    TFileRow row;
    while (AFile.Next(row)) {
        if (!FPlan.Resumed)
            return RowJob(FPlan.Setup, row);
        // A resumed run's rows that do not go again are shown as the journal has them.
        TRowRecord record = FJournal.Row(FPlan.Run.Id, row.Number);
        if (RowToSend(FPlan.Choice, record.State))
            return RowJob(FPlan.Setup, row);
        Gathered({std::move(record), true});
    }
    return std::nullopt;
}

void TRowRunSession::Work() {
    const auto started = std::chrono::steady_clock::now();
    try {
        TRowFile file(FPlan.Setup.File, FPlan.Setup.Format);
        const auto next = [this, &file] { return NextRow(file); };
        FRunner->Run(next, [this](const TRowRecord& ARecord) { Gathered({ARecord, false}); });
        FStoppedByFailures = FRunner->StoppedByFailures();
    } catch (const ERowSyntax& error) {
        // The file changed while it was sent: it was read whole before.
        FFailure = QString::fromStdString(RowSyntaxMessage(FPlan.Setup.File, error));
    } catch (const std::exception& error) {
        FFailure = QString::fromUtf8(error.what());
    }
    try {
        FCounts = FJournal.Counts(FPlan.Run.Id);
        FSummary = RowRunSummary(FPlan.Run, FCounts);
        if (FPlan.KeepHistory) {
            const qint64 durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - started)
                                          .count();
            // The run's earlier entry, if any, is replaced.
            const TRunInfo run = FJournal.Run(FPlan.Run.Id).value_or(FPlan.Run);
            RecordRowRun(FPlan.Setup.URL, FJournal, run, FCounts, durationMs,
                         {FPlan.HistoryFolder, FBeforeCopies.get(), FPlan.Setup.Profile});
        }
    } catch (const std::exception& error) {
        if (FFailure.isEmpty())
            FFailure =
                QStringLiteral("The run's history entry: ") + QString::fromUtf8(error.what());
    }
    FEnded = true;
    QMetaObject::invokeMethod(
        this, [this] { emit Ended(); }, Qt::QueuedConnection);
}
