#include "RowRunPlan.h"

#include "BeforeCopy.h"
#include "BeforeCopyCall.h"
#include "CallArguments.h"
#include "HistoryStore.h"
#include "RowCall.h"
#include "SecretParams.h"
#include "SendRequest.h"

#include <QDateTime>
#include <QFileInfo>

std::string RowSyntaxMessage(const std::string& AFile, const ERowSyntax& AError) {
    return AFile + ":" + std::to_string(AError.Line) + ":" + std::to_string(AError.Column) + ": " +
           AError.what();
}

TRowFileCheck CheckRowFile(const TRowRunSetup& ASetup) {
    TRowFile file(ASetup.File, ASetup.Format);
    TRowErrors errors;
    qint64 rows = 0;
    try {
        if (ASetup.Format == TRowFormat::Csv)
            CheckColumns(*ASetup.Command, file.Header(), ASetup.Fixed);
        TFileRow row;
        while (file.Next(row)) {
            ++rows;
            try {
                RowGrid(*ASetup.Command, ASetup.JSON, ASetup.Fixed, row, ASetup.Server);
            } catch (const ECallUsage& error) {
                errors.Add(row, error.what());
            }
        }
    } catch (const ERowSyntax& error) {
        throw ECallUsage(RowSyntaxMessage(ASetup.File, error));
    }
    if (!errors.Empty())
        throw ECallUsage(errors.Text(rows));
    if (rows == 0)
        throw ECallUsage(ASetup.File + " has no rows.");
    return {rows, file.Sha256()};
}

TRowJob RowJob(const TRowRunSetup& ASetup, const TFileRow& ARow) {
    const TCallGrid grid = RowGrid(*ASetup.Command, ASetup.JSON, ASetup.Fixed, ARow, ASetup.Server);
    TRowJob job;
    job.Row = ARow.Number;
    job.Form = CallForm(grid, ASetup.Password);
    job.KeptFields = WithoutSecrets(job.Form.AllLines(), SecretNames(*ASetup.Command));
    if (ASetup.BeforeCopy && ASetup.Catalogue != nullptr)
        if (const std::optional<TCallGrid> read = BeforeCopyGrid(grid, *ASetup.Catalogue))
            job.BeforeCopy = CallForm(*read, ASetup.Password);
    return job;
}

std::unique_ptr<TRowBeforeCopies> RowBeforeCopies(const TRowRunSetup& ASetup) {
    if (!ASetup.BeforeCopy || ASetup.Catalogue == nullptr)
        return nullptr;
    const TBeforeCopy* pair = BeforeCopyOf(ASetup.Command->Name);
    if (pair == nullptr)
        return nullptr;
    // The read's lines common to every row: those of the values given for every row.
    QStringList fields;
    if (const std::optional<TCallGrid> read =
            BeforeCopyGrid(CallGrid(*ASetup.Command, ASetup.JSON, ASetup.Fixed), *ASetup.Catalogue))
        fields = WithoutSecrets(CallForm(*read, {}).AllLines(), SecretNames(*read->Command));
    return std::make_unique<TRowBeforeCopies>(QString::fromLatin1(pair->Read), fields);
}

TRunInfo NewRowRun(const TRowRunSetup& ASetup, TRunJournal& AJournal, const TRowFileCheck& ACheck) {
    TRunInfo run;
    run.File = QFileInfo(QString::fromStdString(ASetup.File)).absoluteFilePath();
    run.Sha256 = QString::fromStdString(ACheck.Sha256);
    run.FileFormat = QString::fromStdString(RowFormatName(ASetup.Format));
    run.Command = QString::fromStdString(ASetup.Command->Name);
    run.Fixed = WithoutSecrets(ASetup.Fixed, SecretNames(*ASetup.Command));
    run.URL = UrlForDisplay(ASetup.URL);
    run.Format = ASetup.JSON ? QStringLiteral("JSON") : QStringLiteral("Legacy");
    run.RowCount = ACheck.Rows;
    run.Id = AJournal.CreateRun(run);
    return *AJournal.Run(run.Id);
}

void ResumeRowRun(TRunJournal& AJournal, const TRunInfo& ARun, const TRowFileCheck& ACheck,
                  const std::string& AFile) {
    if (QString::fromStdString(ACheck.Sha256) != ARun.Sha256)
        throw ECallUsage(AFile + " has changed since run " + std::to_string(ARun.Id) +
                         " began (its SHA-256 differs); a changed file is not resumed.");
    if (!AJournal.Claim(ARun.Id))
        throw ECallUsage("Run " + std::to_string(ARun.Id) + " is going on in another process.");
    AJournal.MarkUnknownLeftSending(ARun.Id);
}

bool RowToSend(const TResendChoice& AChoice, TRowState AState) {
    switch (AState) {
    case TRowState::Pending:
        return true;
    case TRowState::Failed:
        return AChoice.RetryFailed;
    case TRowState::Unknown:
    case TRowState::Sending:
        return AChoice.ResendUnknown;
    case TRowState::Answered:
        return false;
    }
    return false;
}

qint64 RowsToSend(const TRunInfo& ARun, const TRunCounts& ACounts, const TResendChoice& AChoice) {
    return ARun.RowCount - ACounts.Answered - (AChoice.RetryFailed ? 0 : ACounts.Failed) -
           (AChoice.ResendUnknown ? 0 : ACounts.Unknown);
}

std::string RowList(const std::vector<qint64>& ARows, qint64 ACount) {
    std::string text = ARows.size() == 1 ? "row " : "rows ";
    for (std::size_t i = 0; i < ARows.size(); ++i)
        text += (i ? ", " : "") + std::to_string(ARows[i]);
    if (ACount > static_cast<qint64>(ARows.size()))
        text += ", ...";
    return text;
}

std::string RowRunSummary(const TRunInfo& ARun, const TRunCounts& ACounts) {
    const qint64 unknown = ACounts.Unknown + ACounts.Sending;
    const qint64 pending = ARun.RowCount - ACounts.Answered - ACounts.Failed - unknown;
    std::string text = std::to_string(ARun.RowCount) + (ARun.RowCount == 1 ? " row: " : " rows: ") +
                       std::to_string(ACounts.Answered) + " answered";
    if (ACounts.Failed > 0)
        text += ", " + std::to_string(ACounts.Failed) + " failed (" +
                RowList(ACounts.FailedRows, ACounts.Failed) + ")";
    if (unknown > 0)
        text += ", " + std::to_string(unknown) + " unknown (" +
                RowList(ACounts.UnknownRows, unknown) + ")";
    if (pending > 0)
        text += ", " + std::to_string(pending) + " not sent";
    return text + "; run " + std::to_string(ARun.Id);
}

void RecordRowRun(const QString& AURL, TRunJournal& AJournal, const TRunInfo& ARun,
                  const TRunCounts& ACounts, qint64 ADurationMs, const TRowRunHistory& AHistory) {
    const std::string summary = RowRunSummary(ARun, ACounts);
    THistoryCall call;
    call.When = QDateTime::fromString(ARun.StartedUtc, Qt::ISODateWithMs);
    call.URL = UrlForDisplay(AURL);
    call.Profile = AHistory.Profile;
    call.Command = ARun.Command;
    call.Fields = ARun.Fixed;
    call.Format = ARun.Format;
    const bool all = ACounts.Answered == ARun.RowCount;
    call.Outcome = all ? THistoryOutcome::Answer : THistoryOutcome::Error;
    call.ErrorText = all ? QString() : QString::fromStdString(summary);
    call.StatusLine = QString::fromStdString(summary);
    call.DurationMs = ADurationMs;
    std::string text = "Rows of " + ARun.File.toStdString() + " (SHA-256 " +
                       ARun.Sha256.toStdString() + ")\n" + summary + "\n";
    for (const auto& [name, rows] :
         {std::pair{"failed", &ACounts.FailedRows}, std::pair{"unknown", &ACounts.UnknownRows}})
        for (const qint64 row : *rows) {
            const TRowRecord record = AJournal.Row(ARun.Id, row);
            text += "row " + std::to_string(row) + " " + name + ": " +
                    (record.StatusLine.empty() ? record.Error : record.StatusLine) + "\n";
        }
    call.AnswerUtf8 = QByteArray::fromStdString(text);
    call.AnswerSize = call.AnswerUtf8.size();
    THistoryStore store(AHistory.Folder);
    store.Open();
    // The reads of the run's earlier entry, if it has any, go into the new one or stay linked.
    qint64 earlierReads = 0;
    if (ARun.CallId > 0)
        if (const std::optional<THistoryCall> earlier = store.Load(ARun.CallId))
            earlierReads = earlier->BeforeCopyId;
    if (const TRowBeforeCopies* reads = AHistory.BeforeCopies;
        reads != nullptr && !reads->Empty()) {
        const std::optional<THistoryCall> previous =
            earlierReads > 0 ? store.Load(earlierReads) : std::nullopt;
        THistoryCall readsEntry =
            reads->Entry(previous ? &*previous : nullptr, call.URL, call.Format, call.When);
        readsEntry.Profile = AHistory.Profile;
        call.BeforeCopyId =
            store.Record(readsEntry, THistoryIndexing::Immediate, previous ? earlierReads : 0);
    } else if (earlierReads > 0 && store.Load(earlierReads)) {
        call.BeforeCopyId = earlierReads;
    }
    AJournal.SetCallId(ARun.Id, store.Record(call, THistoryIndexing::Immediate, ARun.CallId));
}
