#pragma once

#include "HistoryStore.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The reads a run of rows sends before the rows' changes (their before copies), kept for the run's
// history as one entry that the run's entry links to. Its answer is JSON Lines, one line per row
// in row order: {"row":N,"status":"200","answer":...}, the status the HTTP status or why the read
// failed, the answer as JSON when it is JSON, else as a string. The text is bounded as the history
// bounds one answer; the entry's status says where it was cut.

// How one row's read went.
struct TRowRead {
    std::int64_t Row = 0;
    int Status = 0;     // the HTTP status, 0 when the server did not answer
    std::string Error;  // why the read failed; empty when it was answered
    std::string Answer; // UTF-8, cut at the history's limit
    bool AnswerCut = false;

    // The status as the line and the row's record give it: the HTTP status, else the error.
    std::string StatusText() const { return Status != 0 ? std::to_string(Status) : Error; }
};

// Whether a read's status text (TRowRead::StatusText) is a 2xx answer.
bool ReadAnswered(std::string_view AStatus);

// ARead as its line of the entry, with the line break.
std::string RowReadLine(const TRowRead& ARead);

// The lines of a run's reads, gathered from the runner's threads.
class TRowBeforeCopies {
public:
    // ACommand: the read's command; AFields: the read's lines common to every row (secrets
    // emptied). ALimit: the bytes of text kept.
    TRowBeforeCopies(QString ACommand, QStringList AFields,
                     qint64 ALimit = THistoryLimits{}.MaxAnswerBytes);

    // Thread-safe.
    void Add(const TRowRead& ARead);
    bool Empty() const;

    // The run's entry of reads: these lines and those of APrevious (the entry of an earlier part
    // of the same run, or null), in row order, a row read in both parts with the earlier line
    // first. AURL as it may be shown; AFormat "JSON" or "Legacy"; AWhen the run's start.
    THistoryCall Entry(const THistoryCall* APrevious, const QString& AURL, const QString& AFormat,
                       const QDateTime& AWhen) const;

private:
    struct TLine {
        std::int64_t Row = 0;
        std::string Text;
    };

    QString FCommand;
    QStringList FFields;
    qint64 FLimit;
    mutable std::mutex FLock;
    std::vector<TLine> FLines;
    qint64 FBytes = 0;   // of the lines kept
    qint64 FDropped = 0; // lines not kept for the limit
    qint64 FDroppedBytes = 0;
    qint64 FDroppedFailed = 0;
};
