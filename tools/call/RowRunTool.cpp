#include "RowRunTool.h"

#include "BeforeCopyCall.h"
#include "CallArguments.h"
#include "CallDefaults.h"
#include "CallGuard.h"
#include "CallInterrupt.h"
#include "CallLine.h"
#include "CallOptions.h"
#include "ErrorOutput.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "PreparedCall.h"
#include "RowAnswerData.h"
#include "RowCall.h"
#include "RowFile.h"
#include "RowOutput.h"
#include "RowProgress.h"
#include "RowRunPlan.h"
#include "RowRunner.h"
#include "RunJournal.h"
#include "SecretParams.h"
#include "SendRequest.h"
#include "VersionText.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <iostream>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

// "--runs": every run with how its rows stand.
int ListRuns(TRunJournal& AJournal) {
    std::cout
        << "RUN  STARTED (UTC)        ROWS  ANSWERED  FAILED  UNKNOWN  PENDING  COMMAND  FILE\n";
    for (const TRunInfo& run : AJournal.Runs()) {
        const TRunCounts counts = AJournal.Counts(run.Id);
        const qint64 pending =
            run.RowCount - counts.Answered - counts.Failed - counts.Unknown - counts.Sending;
        char line[160];
        std::snprintf(line, sizeof line, "%-4lld %-20s %6lld %9lld %7lld %8lld %8lld  ",
                      static_cast<long long>(run.Id), run.StartedUtc.left(19).toStdString().c_str(),
                      static_cast<long long>(run.RowCount), static_cast<long long>(counts.Answered),
                      static_cast<long long>(counts.Failed),
                      static_cast<long long>(counts.Unknown + counts.Sending),
                      static_cast<long long>(pending));
        std::cout << line << run.Command.toStdString() << "  " << run.File.toStdString() << '\n';
    }
    std::cout << std::flush;
    return std::cout ? 0 : 1;
}

TRowFormat FormatOf(const TCallOptions& AOptions, const std::string& AFile) {
    if (AOptions.Rows.Format)
        return *RowFormatNamed(*AOptions.Rows.Format);
    if (const std::optional<TRowFormat> format = RowFormatOfFile(AFile))
        return *format;
    throw ECallUsage("Cannot tell the format of " + AFile +
                     " by its extension; give --rows-format csv or jsonl.");
}

int DryRun(const TCallOptions& AOptions, const TRowRunSetup& ASetup) {
    TRowFile file(ASetup.File, ASetup.Format);
    TCurlTls tls;
    tls.Insecure = AOptions.Tls.Insecure;
    tls.CACertFile = QString::fromStdString(AOptions.Tls.CaCertFile);
    TFileRow row;
    while (file.Next(row)) {
        const TRowJob job = RowJob(ASetup, row);
        std::cout << CurlLine(ASetup.URL, job.Form, SecretNames(*ASetup.Command), false, tls)
                         .toStdString()
                  << '\n';
    }
    std::cout << std::flush;
    return std::cout ? 0 : 1;
}

// The run --resume names, or the last unfinished one of the --rows file; fills in AOptions what
// the command line leaves to the run: the file, its format, the command and its values.
TRunInfo ResumedRun(TCallOptions& AOptions, TRunJournal& AJournal) {
    std::optional<qint64> id = AOptions.Rows.ResumeRun;
    if (!id) {
        if (!AOptions.Rows.File)
            throw ECallUsage("--resume needs the number of a run or --rows FILE.");
        const QString file =
            QFileInfo(QString::fromStdString(*AOptions.Rows.File)).absoluteFilePath();
        id = AJournal.LastUnfinishedRun(file);
        if (!id)
            throw ECallUsage("No unfinished run of " + file.toStdString() +
                             " in the journal; --runs lists them.");
    }
    std::optional<TRunInfo> run = AJournal.Run(*id);
    if (!run)
        throw ECallUsage("No run " + std::to_string(*id) + " in the journal; --runs lists them.");
    if (!AOptions.Rows.File)
        AOptions.Rows.File = run->File.toStdString();
    else if (QFileInfo(QString::fromStdString(*AOptions.Rows.File)).absoluteFilePath() != run->File)
        throw ECallUsage("Run " + std::to_string(*id) + " is of " + run->File.toStdString() +
                         ", not " + *AOptions.Rows.File + ".");
    if (!AOptions.Rows.Format)
        AOptions.Rows.Format = run->FileFormat.toStdString();
    // The command and the values for every row are the run's; given again, they must agree.
    if (AOptions.Positional.empty()) {
        AOptions.Positional.push_back(run->Command.toStdString());
        for (const QString& line : run->Fixed) {
            if (line.endsWith(u'='))
                throw ECallUsage("Run " + std::to_string(*id) + " was given " + line.toStdString() +
                                 "... (a secret, not kept): give the command and its values "
                                 "again.");
            AOptions.Positional.push_back(line.toStdString());
        }
    }
    if (AOptions.Legacy != (run->Format == QLatin1String("Legacy")))
        throw ECallUsage("Run " + std::to_string(*id) + " was sent as " +
                         run->Format.toStdString() + "; give --legacy as it was.");
    return *run;
}

// Hands the signals to a run for its while.
class TSignalsToRun {
public:
    explicit TSignalsToRun(TRowRunner& ARunner) {
        WatchSignals([&ARunner, this](int ASignal, int ACount) {
            FCaught = ASignal;
            if (ACount == 1) {
                ARunner.Stop();
                WriteError("no new row starts; the calls under way go on (interrupt "
                           "again to abort them).");
            } else {
                ARunner.Abort();
            }
        });
    }
    ~TSignalsToRun() { WatchSignals({}); }
    TSignalsToRun(const TSignalsToRun&) = delete;
    TSignalsToRun& operator=(const TSignalsToRun&) = delete;
    int Caught() const { return FCaught.load(); }

private:
    std::atomic<int> FCaught{0};
};

// --jq, --table, --csv: the answered rows' answers as data on standard output.
std::unique_ptr<TRowAnswerData> AnswerDataOf(const TCallOptions& AOptions) {
    if (!AOptions.Data.Any())
        return nullptr;
    try {
        return std::make_unique<TRowAnswerData>(AOptions.Data, STDOUT_FILENO);
    } catch (const std::runtime_error& error) {
        throw ERowFileError(error.what());
    }
}

// The record of a row as --out writes it: with --jq, an answered row shows the filter's results.
TRowRecord ShownRecord(TRowAnswerData* AData, const TRowRecord& ARecord) {
    if (!AData || ARecord.State != TRowState::Answered)
        return ARecord;
    std::optional<std::string> shown = AData->Add(ARecord.Row, ARecord.Answer, ARecord.AnswerCut);
    if (!shown)
        return ARecord;
    TRowRecord record = ARecord;
    record.Answer = std::move(*shown);
    record.AnswerCut = false;
    return record;
}

// What went wrong with a row, on standard error: its before copy, its call.
void WriteRowTrouble(const TRowRecord& ARecord) {
    if (!ARecord.BeforeCopy.empty() && !ReadAnswered(ARecord.BeforeCopy))
        WriteError("row " + std::to_string(ARecord.Row) + ": the before copy failed (" +
                   ARecord.BeforeCopy + "); the row was sent all the same.");
    if (ARecord.State == TRowState::Failed)
        WriteError("row " + std::to_string(ARecord.Row) + ": " +
                   (ARecord.StatusLine.empty() ? ARecord.Error : ARecord.StatusLine));
}

// How the runner sends: the options' pace, limits and certificate options, and where the rows'
// before copies go (ABeforeCopies, or null). AOptions outlives the runner.
TRowRunSettings RunnerSettings(const TCallOptions& AOptions, const TRowRunSetup& ASetup,
                               TRowBeforeCopies* ABeforeCopies) {
    TRowRunSettings settings;
    settings.URL = ASetup.URL;
    settings.BeforeCopies = ABeforeCopies;
    settings.Concurrency = AOptions.Rows.Concurrency;
    settings.Rate = AOptions.Rows.Rate;
    settings.MaxFailures = AOptions.Rows.MaxFailures;
    settings.ConfigureTls = [&AOptions](TIdSSLIOHandlerSocketOpenSSL& AHandler) {
        ApplyTlsCommandLine(AOptions.Tls, AHandler);
    };
    return settings;
}

// Sends the rows of ASetup's file that ARun still needs, then tells and keeps how it went.
int SendRun(const TCallOptions& AOptions, const TRowRunSetup& ASetup,
            std::unique_ptr<TRunJournal>& AJournal, const TRunInfo& ARun, bool AResumed,
            TCallDefaults& ADefaults) {
    const TRowOptions& rows = AOptions.Rows;
    TRowFile file(ASetup.File, ASetup.Format);
    const std::unique_ptr<TRowBeforeCopies> reads = RowBeforeCopies(ASetup);
    std::optional<TRowOutput> output;
    if (rows.Out)
        output.emplace(*rows.Out,
                       ASetup.Format == TRowFormat::Csv ? file.Header()
                                                        : std::vector<std::string>{},
                       reads != nullptr);
    const std::unique_ptr<TRowAnswerData> data = AnswerDataOf(AOptions);
    const auto asData = [&data](const TRowRecord& ARecord) {
        return ShownRecord(data.get(), ARecord);
    };
    TRowRunner runner(RunnerSettings(AOptions, ASetup, reads.get()), *AJournal, ARun.Id);
    std::optional<TSignalsToRun> signalWatch(std::in_place, runner);

    // Rows in flight, kept for the output until their outcome comes.
    std::mutex inFlightLock;
    std::map<qint64, TFileRow> inFlight;
    qint64 toDo = ARun.RowCount;
    if (AResumed) {
        const TRunCounts counts = AJournal->Counts(ARun.Id);
        toDo = RowsToSend(ARun, counts, {rows.RetryFailed, rows.ResendUnknown});
    }
    // A row the resumed run does not send again, written out as the journal has it.
    const auto skipped = [&](const TFileRow& ARow) {
        const TRowRecord record = AJournal->Row(ARun.Id, ARow.Number);
        if (RowToSend({rows.RetryFailed, rows.ResendUnknown}, record.State))
            return false;
        const TRowRecord shown = asData(record);
        if (output) {
            std::lock_guard lock(inFlightLock);
            output->Write(ARow, shown);
        }
        return true;
    };
    const auto next = [&]() -> std::optional<TRowJob> {
        TFileRow row;
        while (file.Next(row)) {
            if (AResumed && skipped(row))
                continue;
            TRowJob job = RowJob(ASetup, row);
            if (output) {
                std::lock_guard lock(inFlightLock);
                inFlight.emplace(row.Number, std::move(row));
            }
            return job;
        }
        return std::nullopt;
    };
    std::optional<TRowProgress> progress(std::in_place, toDo);
    const auto done = [&](const TRowRecord& ARecord) {
        progress->RowDone(ARecord.State == TRowState::Failed);
        WriteRowTrouble(ARecord);
        const TRowRecord shown = asData(ARecord);
        if (!output)
            return;
        std::lock_guard lock(inFlightLock);
        const auto found = inFlight.find(ARecord.Row);
        if (found == inFlight.end())
            return;
        output->Write(found->second, shown);
        inFlight.erase(found);
    };
    const auto started = std::chrono::steady_clock::now();
    runner.Run(next, done);
    progress.reset();
    const int caught = signalWatch->Caught();
    signalWatch.reset();
    const qint64 durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - started)
                                  .count();
    if (output)
        output->Close();
    const bool dataWritten = !data || data->Finish();
    const TRunCounts counts = AJournal->Counts(ARun.Id);
    const std::string summary = RowRunSummary(ARun, counts);
    if (ADefaults.KeepHistory()) {
        try {
            RecordRowRun(ASetup.URL, *AJournal, ARun, counts, durationMs,
                         {{}, reads.get(), ASetup.Profile});
        } catch (const std::exception& error) {
            WriteError(std::string("the run's history entry: ") + error.what());
        }
    }
    if (runner.StoppedByFailures())
        WriteError("stopped after " + std::to_string(rows.MaxFailures) +
                   (rows.MaxFailures == 1 ? " failed call" : " failed calls") +
                   " (--max-failures); --resume goes on.");
    WriteError(summary);
    if (caught != 0) {
        AJournal.reset();
        EndBySignal(caught);
    }
    return counts.Answered == ARun.RowCount && dataWritten ? 0 : 1;
}

int SendRows(const TCallOptions& AOptions, const TCommandList& ACommands,
             TCallDefaults& ADefaults) {
    const TRowOptions& rows = AOptions.Rows;
    if (AOptions.Curl)
        throw ECallUsage(
            "--curl goes with a single call; --dry-run prints a row run's curl lines.");
    if (AOptions.Data.Any() && (rows.DryRun || rows.Runs))
        throw ECallUsage(std::string("--jq, --table and --csv print answers; ") +
                         (rows.DryRun ? "--dry-run" : "--runs") + " gets none.");
    if ((rows.RetryFailed || rows.ResendUnknown) && !rows.Resume)
        throw ECallUsage(std::string(rows.RetryFailed ? "--retry-failed" : "--resend-unknown") +
                         " goes with --resume.");
    std::unique_ptr<TRunJournal> journal;
    const auto openJournal = [&journal] {
        try {
            journal = std::make_unique<TRunJournal>();
        } catch (const ERunJournalError& error) {
            throw ECallUsage(std::string("cannot keep the journal: ") + error.what());
        }
    };
    if (rows.Runs) {
        openJournal();
        return ListRuns(*journal);
    }

    TCallOptions options = AOptions;
    std::optional<TRunInfo> resumed;
    if (rows.Resume) {
        openJournal();
        resumed = ResumedRun(options, *journal);
    }
    if (!options.Rows.File)
        throw ECallUsage("--rows FILE is needed.");

    TRowRunSetup setup;
    setup.File = *options.Rows.File;
    setup.Format = FormatOf(options, setup.File);
    const TPreparedCall call = PrepareCall(options, ACommands, ADefaults);
    setup.Command = call.Command;
    setup.URL = call.URL;
    setup.Password = call.Password;
    setup.JSON = !options.Legacy;
    // As a single call takes them: the option, else the profile's choice.
    const std::optional<TServerProfile> profile = ADefaults.CallProfile(options.Server.has_value());
    setup.BeforeCopy = options.BeforeCopy.value_or(
        profile && TakesBeforeCopy(profile->BeforeCopies, profile->Production));
    if (profile)
        setup.Profile = profile->Name;
    setup.Catalogue = &ACommands;
    for (std::size_t i = 1; i < options.Positional.size(); ++i)
        setup.Fixed << QString::fromStdString(options.Positional[i]);
    if (resumed && (QString::fromStdString(setup.Command->Name) != resumed->Command ||
                    WithoutSecrets(setup.Fixed, SecretNames(*setup.Command)) != resumed->Fixed))
        throw ECallUsage("Run " + std::to_string(resumed->Id) + " sends " +
                         resumed->Command.toStdString() + " " +
                         resumed->Fixed.join(u' ').toStdString() + "; the command line differs.");
    if (!options.Force) {
        const QString version = options.ServerVersion
                                    ? QString::fromStdString(*options.ServerVersion)
                                    : ADefaults.Get().Version;
        if (!TrimControl(version).isEmpty())
            setup.Server = ParseVersionText(version);
    }

    TRowFileCheck check;
    try {
        check = CheckRowFile(setup);
    } catch (const ERowFileError& error) {
        throw ECallUsage(error.what());
    }
    if (rows.DryRun)
        return DryRun(options, setup);
    // A production profile asks once for the whole run, before anything goes out.
    if (const int refused = GuardCall(options, call, ADefaults, check.Rows); refused != 0)
        return refused;

    if (!journal)
        openJournal();
    TRunInfo run;
    if (resumed) {
        run = *resumed;
        ResumeRowRun(*journal, run, check, setup.File);
    } else {
        run = NewRowRun(setup, *journal, check);
        journal->Claim(run.Id);
    }
    if (resumed) {
        const TRunCounts before = journal->Counts(run.Id);
        if (before.Unknown > 0 && !rows.ResendUnknown)
            WriteError(std::to_string(before.Unknown) + " of the rows may have reached " +
                       "the server before an earlier run ended (" +
                       RowList(before.UnknownRows, before.Unknown) +
                       "): check them there; --resend-unknown sends them again.");
    }

    return SendRun(options, setup, journal, run, resumed.has_value(), ADefaults);
}

} // namespace

int RunRows(const TCallOptions& AOptions, const TCommandList& ACommands, TCallDefaults& ADefaults) {
    try {
        return SendRows(AOptions, ACommands, ADefaults);
    } catch (const ERunJournalError& error) {
        WriteError(std::string("the journal failed, no further row was sent: ") + error.what());
    } catch (const ERowFileError& error) {
        WriteError(error.what());
    } catch (const ERowSyntax& error) {
        // The file changed while it was sent: it was read whole before.
        WriteError(AOptions.Rows.File.value_or("") + ":" + std::to_string(error.Line) + ":" +
                   std::to_string(error.Column) + ": " + error.what());
    }
    return 1;
}
