#include "RowRunner.h"

#include "CallFailure.h"
#include "HistoryStore.h"
#include "IdHTTP.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "IdText.h"
#include "RowBeforeCopies.h"
#include "SendRequest.h"

#include <thread>

namespace {

// Appends APiece to AText up to ALimit bytes, cut at a character; ACut when something was left.
void KeepUpTo(std::string& AText, std::string_view APiece, std::size_t ALimit, bool& ACut) {
    if (ACut)
        return;
    const std::size_t room = ALimit - std::min(ALimit, AText.size());
    if (APiece.size() <= room) {
        AText.append(APiece);
        return;
    }
    std::size_t end = room;
    while (end > 0 && (static_cast<unsigned char>(APiece[end]) & 0xC0) == 0x80)
        --end;
    AText.append(APiece.substr(0, end));
    ACut = true;
}

// What one post of a form brought back: the answer kept up to the history's limit, or how the
// post failed; a refusal keeps its body as the answer.
struct TPosted {
    bool Answered = false;
    bool Refused = false;
    int Status = 0;
    std::string StatusLine;
    std::string Error;
    std::string Answer;
    bool AnswerCut = false;
};

TPosted PostForm(TIdHTTP& AHTTP, const QString& AURL, const TParamValues& AForm) {
    TPosted posted;
    const auto limit = static_cast<std::size_t>(THistoryLimits{}.MaxAnswerBytes);
    AHTTP.SetBodyUTF8Sink([&posted, limit](std::string_view APiece) {
        KeepUpTo(posted.Answer, APiece, limit, posted.AnswerCut);
    });
    try {
        AHTTP.Post(AURL.toStdU16String(), WireLines(AForm));
        posted.Answered = true;
        posted.Status = AHTTP.Response().ResponseCode;
        posted.StatusLine = AHTTP.Response().ResponseText;
    } catch (const std::exception&) {
        const TCallFailure failure =
            CallFailureOf(std::current_exception(), TOutOfMemoryWording::AsThrown);
        posted.Error = failure.Message;
        if (failure.Refused) {
            posted.Refused = true;
            posted.Status = AHTTP.Response().ResponseCode;
            posted.StatusLine = failure.StatusLine;
            posted.Answer.clear();
            posted.AnswerCut = false;
            KeepUpTo(posted.Answer, IdText::ToUTF8(failure.Body), limit, posted.AnswerCut);
        }
    }
    return posted;
}

} // namespace

// One connection and the thread that sends over it, one row at a time.
class TRowRunner::TWorker {
public:
    TWorker() { HTTP.SetIOHandler(&SSL); }
    TIdSSLIOHandlerSocketOpenSSL SSL;
    TIdHTTP HTTP;
    std::thread Thread;
};

TRowRunner::TRowRunner(TRowRunSettings ASettings, TRunJournal& AJournal, qint64 ARun)
    : FSettings(std::move(ASettings)), FJournal(AJournal), FRun(ARun) {
    FSettings.Concurrency = std::clamp(FSettings.Concurrency, 1, TRowRunSettings::MaxConcurrency);
}

TRowRunner::~TRowRunner() {
    Abort();
    for (const auto& worker : FWorkers)
        if (worker->Thread.joinable())
            worker->Thread.join();
}

void TRowRunner::Stop() {
    {
        std::lock_guard lock(FLock);
        FStopped = true;
    }
    FChanged.notify_all();
}

void TRowRunner::Abort() {
    std::lock_guard lock(FLock);
    FStopped = true;
    FAborted = true;
    for (const auto& worker : FWorkers)
        worker->HTTP.Abort();
    FChanged.notify_all();
}

void TRowRunner::Run(const std::function<std::optional<TRowJob>()>& ANext,
                     const std::function<void(const TRowRecord&)>& ADone) {
    {
        std::lock_guard lock(FLock);
        for (int i = 0; i < FSettings.Concurrency; ++i) {
            auto worker = std::make_unique<TWorker>();
            if (FSettings.ConfigureTls)
                FSettings.ConfigureTls(worker->SSL);
            FWorkers.push_back(std::move(worker));
        }
        for (const auto& worker : FWorkers)
            worker->Thread = std::thread([this, &ADone, raw = worker.get()] { Work(*raw, ADone); });
    }
    while (!FStopped) {
        std::optional<TRowJob> job = ANext();
        if (!job)
            break;
        std::unique_lock lock(FLock);
        FChanged.wait(lock, [this] { return !FWaiting || FStopped; });
        if (FStopped)
            break;
        FWaiting = std::move(job);
        lock.unlock();
        FChanged.notify_all();
    }
    {
        std::lock_guard lock(FLock);
        FEnded = true;
    }
    FChanged.notify_all();
    for (const auto& worker : FWorkers)
        worker->Thread.join();
    FJournal.Flush();
    if (!FJournalError.empty())
        throw ERunJournalError(FJournalError);
}

void TRowRunner::Work(TWorker& AWorker, const std::function<void(const TRowRecord&)>& ADone) {
    for (;;) {
        std::optional<TRowJob> job;
        {
            std::unique_lock wait(FLock);
            FChanged.wait(wait, [this] { return FWaiting || FEnded || FStopped; });
            if (FStopped || !FWaiting)
                return;
            job = std::move(FWaiting);
            FWaiting.reset();
        }
        FChanged.notify_all();
        // A row whose turn never comes stays pending.
        if (!WaitForTurn())
            return;
        std::optional<TRowRecord> sent;
        try {
            sent = Send(AWorker, *job);
        } catch (const ERunJournalError& error) {
            {
                std::lock_guard failed(FLock);
                if (FJournalError.empty())
                    FJournalError = error.what();
            }
            Stop();
            return;
        }
        if (!sent)
            return; // stopped after the row's read: the row stays pending
        const TRowRecord& record = *sent;
        if (record.State == TRowState::Failed) {
            std::lock_guard counting(FLock);
            if (++FFailures >= FSettings.MaxFailures && FSettings.MaxFailures > 0 && !FStopped) {
                FFailureStop = true;
                FStopped = true;
                FChanged.notify_all();
            }
        }
        std::lock_guard done(FDoneLock);
        ADone(record);
    }
}

bool TRowRunner::WaitForTurn() {
    std::unique_lock lock(FLock);
    if (FSettings.Rate <= 0)
        return !FStopped;
    const auto now = std::chrono::steady_clock::now();
    const auto start = std::max(now, FNextStart);
    FNextStart = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(1.0 / FSettings.Rate));
    FChanged.wait_until(lock, start, [this] { return FStopped.load(); });
    return !FStopped;
}

std::string TRowRunner::SendBeforeCopy(TWorker& AWorker, const TRowJob& AJob) {
    TPosted posted = PostForm(AWorker.HTTP, FSettings.URL, *AJob.BeforeCopy);
    TRowRead read;
    read.Row = AJob.Row;
    read.Status = posted.Status;
    read.Error = std::move(posted.Error);
    read.Answer = std::move(posted.Answer);
    read.AnswerCut = posted.AnswerCut;
    if (FSettings.BeforeCopies != nullptr)
        FSettings.BeforeCopies->Add(read);
    return read.StatusText();
}

std::optional<TRowRecord> TRowRunner::Send(TWorker& AWorker, const TRowJob& AJob) {
    TRowRecord record;
    record.Row = AJob.Row;
    record.Fields = AJob.KeptFields;
    if (AJob.BeforeCopy) {
        record.BeforeCopy = SendBeforeCopy(AWorker, AJob);
        if (FStopped)
            return std::nullopt;
    }
    // Durable before the first byte of the request is written.
    FJournal.MarkSending(FRun, AJob.Row, AJob.KeptFields);
    const auto start = std::chrono::steady_clock::now();
    TPosted posted = PostForm(AWorker.HTTP, FSettings.URL, AJob.Form);
    if (posted.Answered)
        record.State = TRowState::Answered;
    else if (posted.Refused)
        record.State = TRowState::Failed;
    else // aborted by the user: the request may have reached the server
        record.State = FAborted ? TRowState::Unknown : TRowState::Failed;
    record.Status = posted.Status;
    record.StatusLine = std::move(posted.StatusLine);
    record.Error = std::move(posted.Error);
    record.Answer = std::move(posted.Answer);
    record.AnswerCut = posted.AnswerCut;
    record.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    FJournal.MarkOutcome(FRun, record);
    return record;
}
