#include "RunJournal.h"

#include "HistoryStore.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A prepared statement, finalized as it goes.
class TStatement {
public:
    TStatement(sqlite3* ADatabase, const char* ASql) : FDatabase(ADatabase) {
        if (sqlite3_prepare_v2(ADatabase, ASql, -1, &FStatement, nullptr) != SQLITE_OK)
            throw ERunJournalError(std::string("Cannot prepare the journal's statement: ") +
                                   sqlite3_errmsg(ADatabase));
    }
    ~TStatement() { sqlite3_finalize(FStatement); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(int AIndex, qint64 AValue) {
        sqlite3_bind_int64(FStatement, AIndex, AValue);
        return *this;
    }
    TStatement& Bind(int AIndex, std::string_view AText) {
        sqlite3_bind_text(FStatement, AIndex, AText.data(), static_cast<int>(AText.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    TStatement& Bind(int AIndex, const QString& AText) { return Bind(AIndex, AText.toStdString()); }
    // A row was read; false at the end. Throws on failure.
    bool Step() {
        const int result = sqlite3_step(FStatement);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            throw ERunJournalError(std::string("The journal failed: ") + sqlite3_errmsg(FDatabase));
        return false;
    }
    void Reset() {
        sqlite3_reset(FStatement);
        sqlite3_clear_bindings(FStatement);
    }
    qint64 Int(int AColumn) const { return sqlite3_column_int64(FStatement, AColumn); }
    std::string Text(int AColumn) const {
        const auto* text = sqlite3_column_text(FStatement, AColumn);
        return text == nullptr ? std::string()
                               : std::string(reinterpret_cast<const char*>(text),
                                             static_cast<std::size_t>(
                                                 sqlite3_column_bytes(FStatement, AColumn)));
    }
    QString QText(int AColumn) const { return QString::fromStdString(Text(AColumn)); }

private:
    sqlite3* FDatabase;
    sqlite3_stmt* FStatement = nullptr;
};

std::string LinesJson(const QStringList& ALines) {
    return QJsonDocument(QJsonArray::fromStringList(ALines))
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

QStringList LinesFromJson(const std::string& AJson) {
    QStringList lines;
    for (const auto& line : QJsonDocument::fromJson(QByteArray::fromStdString(AJson)).array())
        lines.append(line.toString());
    return lines;
}

TRowState StateOf(const std::string& AName) {
    if (AName == "sending")
        return TRowState::Sending;
    if (AName == "answered")
        return TRowState::Answered;
    if (AName == "failed")
        return TRowState::Failed;
    if (AName == "unknown")
        return TRowState::Unknown;
    return TRowState::Pending;
}

std::string NowUtc() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

TRunInfo RunFrom(const TStatement& AQuery) {
    TRunInfo run;
    run.Id = AQuery.Int(0);
    run.StartedUtc = AQuery.QText(1);
    run.File = AQuery.QText(2);
    run.Sha256 = AQuery.QText(3);
    run.FileFormat = AQuery.QText(4);
    run.Command = AQuery.QText(5);
    run.Fixed = LinesFromJson(AQuery.Text(6));
    run.URL = AQuery.QText(7);
    run.Format = AQuery.QText(8);
    run.RowCount = AQuery.Int(9);
    run.CallId = AQuery.Int(10);
    return run;
}

constexpr const char* RunColumns = "SELECT id, started_utc, file, sha256, file_format, command, "
                                   "fixed, url, format, row_count, coalesce(call_id, 0) FROM runs ";

// Outcomes queued beyond this wait for the writer, so that answers do not pile up in memory
// behind a slow disk.
constexpr std::size_t MaxQueued = 256;

} // namespace

QString RowStateName(TRowState AState) {
    switch (AState) {
    case TRowState::Pending:
        return QStringLiteral("pending");
    case TRowState::Sending:
        return QStringLiteral("sending");
    case TRowState::Answered:
        return QStringLiteral("answered");
    case TRowState::Failed:
        return QStringLiteral("failed");
    case TRowState::Unknown:
        return QStringLiteral("unknown");
    }
    return {};
}

TRunJournal::TRunJournal(const QString& AFolder) {
    // The store creates the file, moves a damaged one aside and brings the schema up to date.
    THistoryStore store(AFolder);
    try {
        store.Open();
    } catch (const EHistoryError& error) {
        throw ERunJournalError(error.what());
    }
    const QString fileName = store.FileName();
    store.Close();
    FFolder = AFolder.isEmpty() ? THistoryStore::DefaultFolder() : AFolder;
    if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &FDatabase,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        const std::string why = FDatabase ? sqlite3_errmsg(FDatabase) : "out of memory";
        sqlite3_close(FDatabase);
        throw ERunJournalError("Cannot open " + fileName.toStdString() + ": " + why);
    }
    sqlite3_busy_timeout(FDatabase, 30000);
    sqlite3_db_config(FDatabase, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    Exec("PRAGMA synchronous = FULL");
    FWriter = std::thread([this] { WriterLoop(); });
}

TRunJournal::~TRunJournal() {
    {
        std::lock_guard lock(FQueueLock);
        FEnding = true;
    }
    FQueued.notify_all();
    FWriter.join();
    sqlite3_close(FDatabase);
    if (FLockFile >= 0)
        ::close(FLockFile);
}

void TRunJournal::Fail(const std::string& AWhat) const {
    throw ERunJournalError(AWhat + ": " + sqlite3_errmsg(FDatabase));
}

void TRunJournal::Exec(const char* ASql) {
    if (sqlite3_exec(FDatabase, ASql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(std::string("The journal failed (") + ASql + ")");
}

qint64 TRunJournal::CreateRun(const TRunInfo& ARun) {
    std::lock_guard lock(FDatabaseLock);
    TStatement insert(FDatabase,
                      "INSERT INTO runs (started_utc, file, sha256, file_format, command, fixed, "
                      "url, format, row_count) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.Bind(1, NowUtc())
        .Bind(2, ARun.File)
        .Bind(3, ARun.Sha256)
        .Bind(4, ARun.FileFormat)
        .Bind(5, ARun.Command)
        .Bind(6, LinesJson(ARun.Fixed))
        .Bind(7, ARun.URL)
        .Bind(8, ARun.Format)
        .Bind(9, ARun.RowCount);
    insert.Step();
    return sqlite3_last_insert_rowid(FDatabase);
}

std::optional<TRunInfo> TRunJournal::Run(qint64 ARun) {
    std::lock_guard lock(FDatabaseLock);
    TStatement query(FDatabase, (std::string(RunColumns) + "WHERE id = ?").c_str());
    query.Bind(1, ARun);
    if (!query.Step())
        return std::nullopt;
    return RunFrom(query);
}

std::vector<TRunInfo> TRunJournal::Runs() {
    std::lock_guard lock(FDatabaseLock);
    TStatement query(FDatabase, (std::string(RunColumns) + "ORDER BY id DESC").c_str());
    std::vector<TRunInfo> runs;
    while (query.Step())
        runs.push_back(RunFrom(query));
    return runs;
}

std::optional<qint64> TRunJournal::LastUnfinishedRun(const QString& AFile) {
    std::lock_guard lock(FDatabaseLock);
    TStatement query(FDatabase, "SELECT id FROM runs WHERE file = ? AND row_count > (SELECT "
                                "count(*) FROM run_rows WHERE run_id = runs.id AND state = "
                                "'answered') ORDER BY id DESC LIMIT 1");
    query.Bind(1, AFile);
    if (!query.Step())
        return std::nullopt;
    return query.Int(0);
}

TRunCounts TRunJournal::Counts(qint64 ARun) {
    std::lock_guard lock(FDatabaseLock);
    TRunCounts counts;
    TStatement query(FDatabase,
                     "SELECT state, count(*) FROM run_rows WHERE run_id = ? GROUP BY state");
    query.Bind(1, ARun);
    while (query.Step()) {
        switch (StateOf(query.Text(0))) {
        case TRowState::Answered:
            counts.Answered = query.Int(1);
            break;
        case TRowState::Failed:
            counts.Failed = query.Int(1);
            break;
        case TRowState::Unknown:
            counts.Unknown = query.Int(1);
            break;
        case TRowState::Sending:
            counts.Sending = query.Int(1);
            break;
        case TRowState::Pending:
            break;
        }
    }
    TStatement rows(FDatabase,
                    "SELECT row FROM run_rows WHERE run_id = ? AND state = ? ORDER BY row LIMIT ?");
    for (auto [name, list] :
         {std::pair{"failed", &counts.FailedRows}, std::pair{"unknown", &counts.UnknownRows}}) {
        rows.Reset();
        rows.Bind(1, ARun).Bind(2, std::string_view(name)).Bind(3, TRunCounts::MaxListedRows);
        while (rows.Step())
            list->push_back(rows.Int(0));
    }
    return counts;
}

void TRunJournal::SetCallId(qint64 ARun, qint64 ACallId) {
    std::lock_guard lock(FDatabaseLock);
    TStatement update(FDatabase, "UPDATE runs SET call_id = ? WHERE id = ?");
    update.Bind(1, ACallId).Bind(2, ARun);
    update.Step();
}

bool TRunJournal::Claim(qint64 ARun) {
    if (FLockFile < 0) {
        const QByteArray name = QFile::encodeName(FFolder + QStringLiteral("/runs.lock"));
        FLockFile = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (FLockFile < 0)
            throw ERunJournalError("Cannot open " + name.toStdString() + ": " +
                                   std::strerror(errno));
    }
    // One byte per run, on the open file rather than the process, so the lock goes with the
    // journal; the system drops it when the process ends, by a kill as well.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(ARun);
    lock.l_len = 1;
    return ::fcntl(FLockFile, F_OFD_SETLK, &lock) == 0;
}

qint64 TRunJournal::MarkUnknownLeftSending(qint64 ARun) {
    std::lock_guard lock(FDatabaseLock);
    TStatement update(
        FDatabase, "UPDATE run_rows SET state = 'unknown' WHERE run_id = ? AND state = 'sending'");
    update.Bind(1, ARun);
    update.Step();
    return sqlite3_changes(FDatabase);
}

TRowRecord TRunJournal::Row(qint64 ARun, qint64 ARow) {
    std::lock_guard lock(FDatabaseLock);
    TStatement query(FDatabase, "SELECT state, fields, status, status_line, error, duration_ms, "
                                "answer, answer_cut FROM run_rows WHERE run_id = ? AND row = ?");
    query.Bind(1, ARun).Bind(2, ARow);
    TRowRecord record;
    record.Row = ARow;
    if (!query.Step())
        return record;
    record.State = StateOf(query.Text(0));
    record.Fields = LinesFromJson(query.Text(1));
    record.Status = static_cast<int>(query.Int(2));
    record.StatusLine = query.Text(3);
    record.Error = query.Text(4);
    record.DurationMs = query.Int(5);
    record.Answer = query.Text(6);
    record.AnswerCut = query.Int(7) != 0;
    return record;
}

void TRunJournal::MarkSending(qint64 ARun, qint64 ARow, const QStringList& AFields) {
    std::unique_lock lock(FQueueLock);
    if (!FError.empty())
        throw ERunJournalError(FError);
    TItem item;
    item.Run = ARun;
    item.Record.Row = ARow;
    item.Record.State = TRowState::Sending;
    item.Record.Fields = AFields;
    item.Sending = true;
    item.Sequence = FNextSequence++;
    item.Queued = std::chrono::steady_clock::now();
    const std::uint64_t sequence = item.Sequence;
    FQueue.push_back(std::move(item));
    ++FSendingQueued;
    FQueued.notify_one();
    FWritten.wait(lock, [&] { return FWrittenSequence >= sequence || !FError.empty(); });
    if (FWrittenSequence < sequence)
        throw ERunJournalError(FError);
}

void TRunJournal::MarkOutcome(qint64 ARun, const TRowRecord& ARecord) {
    std::unique_lock lock(FQueueLock);
    FWritten.wait(lock, [&] { return FQueue.size() < MaxQueued || !FError.empty(); });
    if (!FError.empty())
        return; // Flush tells
    TItem item;
    item.Run = ARun;
    item.Record = ARecord;
    item.Sequence = FNextSequence++;
    item.Queued = std::chrono::steady_clock::now();
    const bool first = FQueue.empty();
    FQueue.push_back(std::move(item));
    // The writer learns of a lone outcome to time its wait; later ones wait with it.
    if (first || FQueue.size() >= OutcomeBatch)
        FQueued.notify_one();
}

void TRunJournal::Flush() {
    std::unique_lock lock(FQueueLock);
    const std::uint64_t last = FNextSequence - 1;
    FFlushSequence = std::max(FFlushSequence, last);
    FQueued.notify_one();
    FWritten.wait(lock, [&] { return FWrittenSequence >= last || !FError.empty(); });
    if (FWrittenSequence < last)
        throw ERunJournalError(FError);
}

bool TRunJournal::WriteDue() const {
    return FSendingQueued > 0 || FEnding || FQueue.size() >= OutcomeBatch ||
           FFlushSequence > FWrittenSequence;
}

void TRunJournal::WriterLoop() {
    for (;;) {
        std::deque<TItem> items;
        {
            std::unique_lock lock(FQueueLock);
            while (!WriteDue() || FQueue.empty()) {
                if (FEnding)
                    return;
                if (FQueue.empty())
                    FQueued.wait(lock);
                else if (FQueued.wait_until(lock, FQueue.front().Queued + OutcomeDelay) ==
                         std::cv_status::timeout)
                    break;
            }
            items.swap(FQueue);
            FSendingQueued = 0;
        }
        std::string error;
        try {
            Write(items);
        } catch (const ERunJournalError& failure) {
            error = failure.what();
        }
        {
            std::lock_guard lock(FQueueLock);
            if (error.empty())
                FWrittenSequence = items.back().Sequence;
            else if (FError.empty())
                FError = error;
        }
        FWritten.notify_all();
    }
}

// One transaction for everything queued together: a full sync when a row is about to be sent,
// none when only outcomes are written.
void TRunJournal::Write(std::deque<TItem>& AItems) {
    std::lock_guard lock(FDatabaseLock);
    const bool sending =
        std::any_of(AItems.begin(), AItems.end(), [](const TItem& AItem) { return AItem.Sending; });
    if (sending != FFullSync) {
        Exec(sending ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL");
        FFullSync = sending;
    }
    Exec("BEGIN IMMEDIATE");
    try {
        TStatement start(FDatabase, "INSERT OR REPLACE INTO run_rows (run_id, row, state, fields, "
                                    "when_utc) VALUES (?, ?, 'sending', ?, ?)");
        TStatement end(FDatabase,
                       "UPDATE run_rows SET state = ?, status = ?, status_line = ?, error = ?, "
                       "duration_ms = ?, answer = ?, answer_cut = ? WHERE run_id = ? AND row = ?");
        for (const TItem& item : AItems) {
            const TRowRecord& record = item.Record;
            if (item.Sending) {
                start.Reset();
                start.Bind(1, item.Run)
                    .Bind(2, record.Row)
                    .Bind(3, LinesJson(record.Fields))
                    .Bind(4, NowUtc());
                start.Step();
            } else {
                end.Reset();
                end.Bind(1, RowStateName(record.State))
                    .Bind(2, qint64(record.Status))
                    .Bind(3, record.StatusLine)
                    .Bind(4, record.Error)
                    .Bind(5, record.DurationMs)
                    .Bind(6, record.Answer)
                    .Bind(7, qint64(record.AnswerCut ? 1 : 0))
                    .Bind(8, item.Run)
                    .Bind(9, record.Row);
                end.Step();
            }
        }
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(FDatabase, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}
