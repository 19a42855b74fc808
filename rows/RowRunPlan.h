#pragma once

#include "Command.h"
#include "RowBeforeCopies.h"
#include "RowFile.h"
#include "RowRunner.h"
#include "RunJournal.h"
#include "Version.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What a run of rows does before and after the runner, the same for the call tool and the window:
// the whole file checked, each row made a job, a new or resumed run in the journal, which rows of
// a resumed run go out again, the summary and the run's one entry in the call history.

// Everything about a run that does not change from row to row.
struct TRowRunSetup {
    const TCommand* Command = nullptr;
    bool JSON = true;
    QStringList Fixed; // NAME=VALUE lines given for every row
    std::optional<Version> Server;
    QString URL;
    QString Profile;  // the server profile called, empty when the call goes elsewhere
    QString Password; // as the form carries it
    std::string File;
    TRowFormat Format = TRowFormat::Csv;
    // Each row's change preceded by the read that keeps what it alters (its before copy), made
    // from the catalogue's table with the row's key values.
    bool BeforeCopy = false;
    const TCommandList* Catalogue = nullptr; // needed for BeforeCopy
};

struct TRowFileCheck {
    qint64 Rows = 0;
    std::string Sha256;
};

// "FILE:LINE:COLUMN: message".
std::string RowSyntaxMessage(const std::string& AFile, const ERowSyntax& AError);

// Reads the whole file once: its syntax, the columns and every row checked. Throws ECallUsage
// listing what is wrong (nothing may be sent then), ERowFileError when it cannot be read.
TRowFileCheck CheckRowFile(const TRowRunSetup& ASetup);

// ARow as the runner sends it, with its before copy read when ASetup takes one and the row has it.
TRowJob RowJob(const TRowRunSetup& ASetup, const TFileRow& ARow);

// Where the run's before copy reads are gathered for its history entry; null when ASetup takes
// none or its command has no read to send first.
std::unique_ptr<TRowBeforeCopies> RowBeforeCopies(const TRowRunSetup& ASetup);

// A new run of ASetup in the journal, with nothing sent yet.
TRunInfo NewRowRun(const TRowRunSetup& ASetup, TRunJournal& AJournal, const TRowFileCheck& ACheck);

// Takes up ARun again for this process: the file must be the one the run began with, and rows it
// left "sending" become unknown. Throws ECallUsage.
void ResumeRowRun(TRunJournal& AJournal, const TRunInfo& ARun, const TRowFileCheck& ACheck,
                  const std::string& AFile);

// Which rows of a resumed run go out again, beside the pending ones.
struct TResendChoice {
    bool RetryFailed = false;
    bool ResendUnknown = false;
};

// Whether a row of a resumed run goes out again.
bool RowToSend(const TResendChoice& AChoice, TRowState AState);
// How many rows of ARun are to be sent, as ACounts stand; all of them for a new run.
qint64 RowsToSend(const TRunInfo& ARun, const TRunCounts& ACounts, const TResendChoice& AChoice);

// "row 3" or "rows 3, 5, ..." (the ellipsis when ACount is more than listed).
std::string RowList(const std::vector<qint64>& ARows, qint64 ACount);
// "1000 rows: 998 answered, 1 failed (row 437), 1 unknown (row 438); run 12".
std::string RowRunSummary(const TRunInfo& ARun, const TRunCounts& ACounts);

// Where a run's entry is kept: the call history of Folder (empty: the user's), with the run's
// before copy reads when it sent any.
struct TRowRunHistory {
    QString Folder;
    const TRowBeforeCopies* BeforeCopies = nullptr;
    QString Profile; // named by the run's entries, as a single call's entry names it
};

// The run's entry in the call history: one entry for all its rows, its summary as the status,
// replacing the run's earlier one. The before copy reads are kept as the entry the run's entry
// links to, with the reads of the run's earlier entry, which it replaces. Throws what the history
// store throws.
void RecordRowRun(const QString& AURL, TRunJournal& AJournal, const TRunInfo& ARun,
                  const TRunCounts& ACounts, qint64 ADurationMs,
                  const TRowRunHistory& AHistory = {});
