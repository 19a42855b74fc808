#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;

// Where one row of a run stands. A row the journal has no entry for is pending.
enum class TRowState { Pending, Sending, Answered, Failed, Unknown };

QString RowStateName(TRowState AState);

// One run: a command sent once for every row of a file.
struct TRunInfo {
    qint64 Id = 0;
    QString StartedUtc; // ISO 8601
    QString File;       // absolute path
    QString Sha256;     // of the file's bytes, in hexadecimal
    QString FileFormat; // "csv" or "jsonl"
    QString Command;
    QStringList Fixed; // the NAME=VALUE lines given for every row, secrets emptied
    QString URL;       // as it may be shown
    QString Format;    // "JSON" or "Legacy"
    qint64 RowCount = 0;
    qint64 CallId = 0; // the history entry that stands for the run, 0 for none yet
};

// What became of a row.
struct TRowRecord {
    qint64 Row = 0; // 1 for the first row after a CSV file's header
    TRowState State = TRowState::Pending;
    QStringList Fields; // the row's NAME=VALUE lines as sent, secrets emptied
    int Status = 0;     // the HTTP status code, 0 when the server did not answer
    std::string StatusLine;
    std::string Error;
    qint64 DurationMs = 0;
    std::string Answer; // UTF-8, cut as the history cuts answers
    bool AnswerCut = false;
    // How the read sent just before the row went (its before copy): the HTTP status, or why it
    // failed; empty when none was sent. Not journaled.
    std::string BeforeCopy;
};

// How many rows of a run are in each state, and the first few rows of those that need a look.
struct TRunCounts {
    qint64 Answered = 0;
    qint64 Failed = 0;
    qint64 Unknown = 0;
    qint64 Sending = 0;
    std::vector<qint64> FailedRows;  // the first MaxListedRows
    std::vector<qint64> UnknownRows; // the first MaxListedRows
    static constexpr int MaxListedRows = 10;
};

// A failure of the journal: the history database could not be opened or written.
class ERunJournalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The journal of row runs, in the tables "runs" and "run_rows" of the call history's database.
// A row is written "sending" and committed with a full sync before its call may start, so that
// after a crash at any moment a row that may have reached the server is known as such. One thread
// writes, one transaction for whatever waits: rows that start together are made durable by one
// commit, and outcomes wait (a moment at most) to go with the next row's "sending", whose sync
// makes them durable too. An outcome lost with the process leaves its row "sending", which is
// reported unknown: never a row sent twice.
class TRunJournal {
public:
    // Opens the history's database in AFolder (empty: the user's data folder), creating and
    // migrating it as the history store does. Throws ERunJournalError.
    explicit TRunJournal(const QString& AFolder = {});
    ~TRunJournal();
    TRunJournal(const TRunJournal&) = delete;
    TRunJournal& operator=(const TRunJournal&) = delete;

    // A new run with no row sent yet; its id.
    qint64 CreateRun(const TRunInfo& ARun);
    std::optional<TRunInfo> Run(qint64 ARun);
    // Every run, newest first.
    std::vector<TRunInfo> Runs();
    // The newest run of AFile that has rows left to send or look at (pending, failed, unknown).
    std::optional<qint64> LastUnfinishedRun(const QString& AFile);
    TRunCounts Counts(qint64 ARun);
    void SetCallId(qint64 ARun, qint64 ACallId);

    // Takes the run for this process: false when another process has it. Held until the journal
    // goes (or the process ends, however it ends).
    bool Claim(qint64 ARun);
    // Rows a run that ended without finishing them left "sending" become "unknown"; their number.
    qint64 MarkUnknownLeftSending(qint64 ARun);

    // The row's record; a Pending one when the journal has none.
    TRowRecord Row(qint64 ARun, qint64 ARow);

    // Writes the row "sending" and returns once that is on the disk. Throws ERunJournalError, and
    // then the row must not be sent.
    void MarkSending(qint64 ARun, qint64 ARow, const QStringList& AFields);
    // Writes the row's outcome (its State answered, failed or unknown), without waiting: with the
    // next row's "sending", or on its own after OutcomeDelay.
    void MarkOutcome(qint64 ARun, const TRowRecord& ARecord);
    // Writes every outcome given and waits for it; throws ERunJournalError when one could not be.
    void Flush();

private:
    struct TItem {
        qint64 Run = 0;
        TRowRecord Record;
        bool Sending = false;
        std::uint64_t Sequence = 0;
        std::chrono::steady_clock::time_point Queued;
    };

    // How long outcomes wait for a "sending" row to share its commit, and how many may wait.
    static constexpr std::chrono::milliseconds OutcomeDelay{50};
    static constexpr std::size_t OutcomeBatch = 64;

    // Whether the writer should take the queue now (FQueueLock held).
    bool WriteDue() const;
    void WriterLoop();
    void Write(std::deque<TItem>& AItems);
    void Exec(const char* ASql);
    [[noreturn]] void Fail(const std::string& AWhat) const;

    QString FFolder;
    sqlite3* FDatabase = nullptr;
    int FLockFile = -1;
    std::mutex FDatabaseLock; // the connection, between the writer and the readers

    std::mutex FQueueLock;
    std::condition_variable FQueued;
    std::condition_variable FWritten;
    std::deque<TItem> FQueue;
    std::uint64_t FNextSequence = 1;
    std::uint64_t FWrittenSequence = 0;
    std::uint64_t FFlushSequence = 0; // written at once up to here
    std::size_t FSendingQueued = 0;
    std::string FError;
    bool FEnding = false;
    bool FFullSync = true;
    std::thread FWriter;
};
