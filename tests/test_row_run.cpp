// vlcallbench-call --rows as a process against a server that counts what each row sent: every row
// once, the journal after a SIGKILL at chosen moments and the resumed run, a changed file
// refused, failures and their limit, the checks before anything is sent, and the output.

#include "HistoryStore.h"
#include "RowBeforeCopies.h"
#include "RowServer.h"
#include "RunJournal.h"
#include "TempFolder.h"
#include "ToolProcess.h"

#include <QSqlQuery>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <mutex>

namespace {

const std::string CallTool = VL_CALL_TOOL;

class RowRunTest : public ::testing::Test {
protected:
    RowRunTest() : FServer("Player") {}

    std::vector<std::string> Environment() const {
        const std::string root = FFolder.Path().string();
        return {"XDG_CONFIG_HOME=" + root, "XDG_DATA_HOME=" + root + "/data",
                "DBUS_SESSION_BUS_ADDRESS=", "VL_TEST_PW=pw"};
    }
    QString HistoryFolder() const {
        return QString::fromStdString(FFolder.Path().string() + "/data/vlcallbench");
    }
    std::string Path(const char* AName) const { return (FFolder.Path() / AName).string(); }
    // A CSV file of ACount rows, players p1 to pACount.
    std::string RowsFile(int ACount, const char* AName = "rows.csv") const {
        std::ofstream out(Path(AName), std::ios::binary);
        out << "Player,Amount\r\n";
        for (int i = 1; i <= ACount; ++i)
            out << "p" << i << "," << i << "\r\n";
        return Path(AName);
    }
    std::vector<std::string> Arguments(std::vector<std::string> AMore) const {
        std::vector<std::string> arguments{"--server", FServer.URL(), "--password-env",
                                           "VL_TEST_PW"};
        arguments.insert(arguments.end(), AMore.begin(), AMore.end());
        return arguments;
    }
    TToolRun Run(std::vector<std::string> AMore) const {
        return RunTool(CallTool, Arguments(std::move(AMore)), Environment());
    }
    // The state of every row of run ARun, in row order, from the journal.
    std::vector<TRowState> States(qint64 ARun, int ACount) const {
        TRunJournal journal(HistoryFolder());
        std::vector<TRowState> states;
        for (int row = 1; row <= ACount; ++row)
            states.push_back(journal.Row(ARun, row).State);
        return states;
    }
    int Count(const std::string& AKey) const {
        const auto counts = FServer.Counts();
        const auto found = counts.find(AKey);
        return found == counts.end() ? 0 : found->second;
    }
    // The calls in the history.
    int HistoryEntries() const {
        THistoryStore store(HistoryFolder());
        store.OpenForReading();
        QSqlQuery query = store.ListQuery({});
        int count = 0;
        while (query.next())
            ++count;
        return count;
    }

    TTempFolder FFolder{"vlrowrun-"};
    TRowServer FServer;
};

TEST_F(RowRunTest, EveryRowOnceWithItsRecord) {
    const std::string file = RowsFile(40);
    const TToolRun run = Run(
        {"--rows", file, "--concurrency", "4", "--out", Path("out.jsonl"), "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Err, "vlcallbench-call: 40 rows: 40 answered; run 1\n");
    EXPECT_EQ(FServer.Requests(), 40);
    for (int i = 1; i <= 40; ++i)
        EXPECT_EQ(Count("p" + std::to_string(i)), 1) << i;
    std::ifstream in(Path("out.jsonl"));
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        EXPECT_NE(line.find("\"outcome\":\"answered\",\"status\":200"), std::string::npos) << line;
    }
    EXPECT_EQ(lines, 40);
    // The run is one entry of the history, and --runs lists it.
    EXPECT_EQ(HistoryEntries(), 1);
    const TToolRun runs = Run({"--runs"});
    EXPECT_EQ(runs.ExitCode, 0);
    EXPECT_NE(runs.Out.find("40        40       0        0        0  AccountsIncBalance"),
              std::string::npos)
        << runs.Out;
}

// The tool is killed while the server holds one row's answer: that row was sent and is left
// "sending" (with any other whose outcome had not been written yet); resumed, those are unknown and
// not sent again, and every other row is answered, each once at the server.
TEST_F(RowRunTest, KilledAndResumedWithoutSendingARowTwice) {
    struct Case {
        const char* Moment;
        int Concurrency;
        int HeldRow;
    } cases[] = {
        {"at the first row", 1, 1},
        {"mid-run, one call at a time", 1, 5},
        {"mid-run, four calls at a time", 4, 5},
        {"during the slow answer of the last row", 4, 12},
    };
    constexpr int Rows = 12;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Moment);
        TRowServer server("Player");
        const std::string held = "p" + std::to_string(c.HeldRow);
        server.HoldAnswerTo(held);
        const std::string file = RowsFile(Rows, "kill.csv");
        std::vector<std::string> arguments{"--server",
                                           server.URL(),
                                           "--password-env",
                                           "VL_TEST_PW",
                                           "--rows",
                                           file,
                                           "--concurrency",
                                           std::to_string(c.Concurrency),
                                           "AccountsIncBalance"};
        {
            TToolProcess tool(CallTool, arguments, Environment());
            ASSERT_TRUE(server.WaitUntilHeld(held));
            // With four at once, the rows after the held one go on to the end first.
            if (c.Concurrency > 1) {
                ASSERT_TRUE(server.WaitForRequests(Rows));
            }
            tool.Signal(SIGKILL);
            EXPECT_EQ(tool.Finish(), -1);
        }
        server.Release();
        qint64 run = 0;
        std::vector<TRowState> expected;
        {
            TRunJournal journal(HistoryFolder());
            run = journal.Runs().front().Id;
        }
        for (const TRowState state : States(run, Rows))
            expected.push_back(state == TRowState::Sending ? TRowState::Unknown
                                                           : TRowState::Answered);
        EXPECT_EQ(States(run, Rows)[static_cast<std::size_t>(c.HeldRow - 1)], TRowState::Sending);
        if (c.Concurrency == 1) { // one at a time, the rows before the held one are written
            EXPECT_EQ(std::count(expected.begin(), expected.end(), TRowState::Unknown), 1);
        }

        std::vector<std::string> resume = arguments;
        resume.insert(resume.end() - 1, "--resume");
        const TToolRun resumed = RunTool(CallTool, resume, Environment());
        EXPECT_EQ(resumed.ExitCode, 1) << resumed.Err;
        EXPECT_NE(resumed.Err.find("unknown (row"), std::string::npos) << resumed.Err;
        EXPECT_NE(resumed.Err.find("); run " + std::to_string(run)), std::string::npos)
            << resumed.Err;
        EXPECT_EQ(States(run, Rows), expected);
        for (int i = 1; i <= Rows; ++i)
            EXPECT_EQ(server.Counts()["p" + std::to_string(i)], 1) << "row " << i;

        // Sent again only when asked.
        resume.insert(resume.end() - 1, "--resend-unknown");
        const TToolRun again = RunTool(CallTool, resume, Environment());
        EXPECT_EQ(again.ExitCode, 0) << again.Err;
        for (int i = 1; i <= Rows; ++i)
            EXPECT_EQ(server.Counts()["p" + std::to_string(i)],
                      expected[static_cast<std::size_t>(i - 1)] == TRowState::Unknown ? 2 : 1)
                << "row " << i;
    }
}

// Many calls at once, the journal writing rows "sending" together and outcomes in batches: the
// server finds each row "sending" in the journal when its request comes, and the tool is killed
// with outcomes still waiting to be written. Nothing is answered that the server did not answer;
// resumed, every row reaches the server once, or is unknown.
TEST_F(RowRunTest, EveryRowJournaledSendingBeforeItArrivesAndOutcomesLostAreUnknown) {
    constexpr int Rows = 300;
    const std::string file = RowsFile(Rows);
    std::vector<std::string> arguments =
        Arguments({"--rows", file, "--concurrency", "8", "AccountsIncBalance"});
    std::mutex lock;
    std::vector<std::string> notSending;
    {
        // Made before the tool, whose first run is then run 1.
        TRunJournal journal(HistoryFolder());
        FServer.OnRequest([&](const std::string& AKey) {
            const TRowState state = journal.Row(1, std::stoll(AKey.substr(1))).State;
            if (state != TRowState::Sending) {
                std::lock_guard guard(lock);
                notSending.push_back(AKey + " " + RowStateName(state).toStdString());
            }
        });
        TToolProcess tool(CallTool, arguments, Environment());
        ASSERT_TRUE(FServer.WaitForRequests(Rows / 2));
        tool.Signal(SIGKILL);
        EXPECT_EQ(tool.Finish(), -1);
        FServer.OnRequest({});
    }
    EXPECT_EQ(notSending, std::vector<std::string>{});
    const int sent = FServer.Requests();
    ASSERT_LT(sent, Rows);
    const std::vector<TRowState> states = States(1, Rows);
    std::vector<TRowState> expected;
    std::vector<int> counts;
    for (int row = 1; row <= Rows; ++row) {
        const TRowState state = states[static_cast<std::size_t>(row - 1)];
        const int count = Count("p" + std::to_string(row));
        counts.push_back(count);
        SCOPED_TRACE(row);
        if (count == 1) {
            EXPECT_TRUE(state == TRowState::Sending || state == TRowState::Answered);
        } else {
            EXPECT_EQ(count, 0);
            EXPECT_TRUE(state == TRowState::Sending || state == TRowState::Pending);
        }
        expected.push_back(state == TRowState::Sending ? TRowState::Unknown : TRowState::Answered);
    }

    arguments.insert(arguments.end() - 1, "--resume");
    const TToolRun resumed = RunTool(CallTool, arguments, Environment());
    EXPECT_EQ(States(1, Rows), expected) << resumed.Err;
    // A row left "sending" is not sent again, whether or not it had reached the server.
    for (int row = 1; row <= Rows; ++row) {
        const auto at = static_cast<std::size_t>(row - 1);
        EXPECT_EQ(Count("p" + std::to_string(row)),
                  states[at] == TRowState::Sending ? counts[at] : 1)
            << "row " << row;
    }
}

TEST_F(RowRunTest, FailuresStopTheRunAndAChangedFileIsNotResumed) {
    const std::string file = RowsFile(8);
    FServer.RefuseKey("p3");
    const std::vector<std::string> call{"--rows", file, "AccountsIncBalance"};
    const TToolRun first = Run(call);
    EXPECT_EQ(first.ExitCode, 1);
    EXPECT_NE(first.Err.find("row 3: HTTP/1.1 500 Internal Server Error"), std::string::npos)
        << first.Err;
    EXPECT_NE(first.Err.find("8 rows: 2 answered, 1 failed (row 3), 5 not sent; run 1"),
              std::string::npos)
        << first.Err;
    EXPECT_EQ(FServer.Requests(), 3);

    // The file changed: refused, nothing sent.
    std::ofstream(file, std::ios::app) << "p9,9\r\n";
    TToolRun changed = Run({"--resume", "--rows", file});
    EXPECT_EQ(changed.ExitCode, 2);
    EXPECT_NE(changed.Err.find("has changed since run 1 began"), std::string::npos) << changed.Err;
    EXPECT_EQ(FServer.Requests(), 3);

    RowsFile(8);
    const TToolRun resumed = Run({"--resume", "--rows", file, "--max-failures", "0"});
    EXPECT_EQ(resumed.ExitCode, 1);
    EXPECT_NE(resumed.Err.find("8 rows: 7 answered, 1 failed (row 3); run 1"), std::string::npos)
        << resumed.Err;
    EXPECT_EQ(Count("p3"), 1);
    const TToolRun retried = Run({"--resume", "1", "--retry-failed"});
    EXPECT_EQ(Count("p3"), 2);
    EXPECT_EQ(retried.ExitCode, 1);
    for (const char* player : {"p1", "p2", "p4", "p8"})
        EXPECT_EQ(Count(player), 1) << player;
    EXPECT_EQ(HistoryEntries(), 1);
}

// Ctrl+C stops starting rows and lets the call under way end; a second one aborts it, and its row
// is unknown. Either way the tool then ends as the signal ends it, after the summary.
TEST_F(RowRunTest, InterruptStopsThenAborts) {
    for (const int interrupts : {1, 2}) {
        SCOPED_TRACE(interrupts);
        TRowServer server("Player");
        server.HoldAnswerTo("p2");
        const std::string file = RowsFile(6, interrupts == 1 ? "once.csv" : "twice.csv");
        TToolProcess tool(CallTool,
                          {"--server", server.URL(), "--password-env", "VL_TEST_PW", "--rows", file,
                           "AccountsIncBalance"},
                          Environment());
        ASSERT_TRUE(server.WaitUntilHeld("p2"));
        tool.Signal(SIGINT);
        ASSERT_TRUE(tool.WaitForErr("no new row starts"));
        if (interrupts == 2)
            tool.Signal(SIGINT);
        else
            server.Release();
        EXPECT_EQ(tool.Finish(), -1); // ended by the signal
        EXPECT_NE(tool.Err.find(interrupts == 1 ? "6 rows: 2 answered, 4 not sent; run"
                                                : "6 rows: 1 answered, 1 unknown (row 2), 4 not "
                                                  "sent; run"),
                  std::string::npos)
            << tool.Err;
        server.Release();
        EXPECT_EQ(server.Requests(), 2);
    }
}

TEST_F(RowRunTest, EveryRowCheckedBeforeAnythingIsSent) {
    struct Case {
        const char* Name;
        const char* File;
        std::string Content;
        std::vector<std::string> More;
        const char* Error;
    } cases[] = {
        {"an unknown column",
         "a.csv",
         "Player,Amout\nx,1\n",
         {},
         "Unknown column 'Amout' for AccountsIncBalance. Did you mean 'Amount'?"},
        {"a column also on the command line",
         "a.csv",
         "Player,Amount\nx,1\n",
         {"Amount=4"},
         "Parameter 'Amount' is both in the file and on the command line."},
        {"a required value missing in one row",
         "a.csv",
         "Player,Amount\nx,1\n,2\ny,3\n",
         {},
         "row 2 (line 3): Required parameter 'Player' of AccountsIncBalance without a value.\n"
         "1 of 3 rows have errors; nothing was sent."},
        {"a syntax error late in the file",
         "a.csv",
         "Player\nx\ny\n\"z\n",
         {},
         "a.csv:4:1: the quoted field that starts here is not closed"},
        {"an unknown key in a JSON line",
         "a.jsonl",
         "{\"Player\":\"x\"}\n{\"Playr\":\"y\"}\n",
         {},
         "row 2 (line 2): Unknown parameter 'Playr' for AccountsIncBalance. Did you mean "
         "'Player'?"},
        {"a format the extension does not tell",
         "a.txt",
         "Player\nx\n",
         {},
         "give --rows-format csv or jsonl."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::ofstream(Path(c.File), std::ios::binary) << c.Content;
        std::vector<std::string> arguments{"--rows", Path(c.File), "AccountsIncBalance"};
        arguments.insert(arguments.end(), c.More.begin(), c.More.end());
        const TToolRun run = Run(arguments);
        EXPECT_EQ(run.ExitCode, 2);
        EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
    }
    EXPECT_EQ(FServer.Requests(), 0);
}

// On a production profile a run asks once, naming its rows; without a terminal and --yes nothing
// is sent.
TEST_F(RowRunTest, ProductionProfileAsksOnceForTheWholeRun) {
    ASSERT_EQ(RunTool(CallTool,
                      {"--profile-add", "live", "--server", FServer.URL(), "--production"},
                      Environment())
                  .ExitCode,
              0);
    const std::string file = RowsFile(3);
    const std::vector<std::string> arguments{"--profile", "live", "--password-env",    "VL_TEST_PW",
                                             "--rows",    file,   "AccountsIncBalance"};
    const TToolRun refused = RunTool(CallTool, arguments, Environment());
    EXPECT_EQ(refused.ExitCode, 2);
    EXPECT_NE(refused.Err.find("AccountsIncBalance moves money on production profile 'live' for "
                               "each of 3 rows; add --yes to send"),
              std::string::npos)
        << refused.Err;
    EXPECT_EQ(FServer.Requests(), 0);
    std::vector<std::string> confirmed = arguments;
    confirmed.insert(confirmed.begin(), "--yes");
    EXPECT_EQ(RunTool(CallTool, confirmed, Environment()).ExitCode, 0);
    // Each row with its before copy, on by default on a production profile.
    EXPECT_EQ(FServer.Requests(), 6);
    confirmed.insert(confirmed.begin(), "--no-before-copy");
    EXPECT_EQ(RunTool(CallTool, confirmed, Environment()).ExitCode, 0);
    EXPECT_EQ(FServer.Requests(), 9);
    // The runs' entries and their reads' entry name the profile, as a single call's entry does.
    THistoryStore store(HistoryFolder());
    store.OpenForReading();
    const std::vector<THistorySummary> entries = *store.List({});
    EXPECT_EQ(entries.size(), 3U);
    for (const THistorySummary& entry : entries)
        EXPECT_EQ(entry.Profile, QStringLiteral("live")) << entry.Command.toStdString();
}

// With before copies each row's read goes just before its change, with the row's key; a read
// that fails is said and its row sent all the same. The run's entry links to one entry of the
// reads, a line per row in row order, and --out gives each row's read status.
TEST_F(RowRunTest, BeforeCopyOfEachRowIsReadJustBeforeItsChange) {
    FServer.AnswerWith([](const std::string& AKey) -> std::string {
        return AKey == "p4" ? "Not JSON" : "{ \"Player\": \"" + AKey + "\", \"Balance\": 2.50 }";
    });
    FServer.RefuseKey("p3", "AccountsGet");
    const TToolRun run = Run({"--before-copy", "--rows", RowsFile(5), "--concurrency", "2", "--out",
                              Path("out.jsonl"), "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Err.find("row 3: the before copy failed (500); the row was sent all the same."),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("5 rows: 5 answered; run 1"), std::string::npos) << run.Err;
    const std::vector<std::string> log = FServer.Log();
    ASSERT_EQ(log.size(), 10U);
    for (int i = 1; i <= 5; ++i) {
        const std::string key = " p" + std::to_string(i);
        const auto read = std::find(log.begin(), log.end(), "AccountsGet" + key);
        const auto change = std::find(log.begin(), log.end(), "AccountsIncBalance" + key);
        EXPECT_LT(read, change) << key;
        EXPECT_EQ(std::count(log.begin(), log.end(), "AccountsGet" + key), 1) << key;
    }
    std::ifstream in(Path("out.jsonl"));
    const std::string records{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(records.find(R"("row":3,"values":{"Player":"p3","Amount":"3"},"outcome":"answered",)"
                           R"("status":200,)"),
              std::string::npos)
        << records;
    EXPECT_NE(records.find(R"(,"before_copy":"500","answer":)"), std::string::npos) << records;
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 5);

    THistoryStore store(HistoryFolder());
    store.OpenForReading();
    const std::vector<THistorySummary> entries = *store.List({});
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_TRUE(entries[0].Run);
    ASSERT_EQ(entries[0].BeforeCopyId, entries[1].Id);
    const THistoryCall reads = *store.Load(entries[1].Id);
    EXPECT_EQ(reads.Command, QStringLiteral("AccountsGet"));
    EXPECT_EQ(reads.Outcome, THistoryOutcome::Error);
    EXPECT_EQ(reads.StatusLine, QStringLiteral("5 reads, 1 failed (row 3)"));
    EXPECT_FALSE(reads.AnswerCut);
    EXPECT_EQ(reads.Answer.toStdString(),
              R"({"row":1,"status":"200","answer":{"Player":"p1","Balance":2.50}})"
              "\n"
              R"({"row":2,"status":"200","answer":{"Player":"p2","Balance":2.50}})"
              "\n"
              R"({"row":3,"status":"500","answer":{"Result":"Error"}})"
              "\n"
              R"({"row":4,"status":"200","answer":"Not JSON"})"
              "\n"
              R"({"row":5,"status":"200","answer":{"Player":"p5","Balance":2.50}})"
              "\n");
}

// Killed with a row's read or its change under way, then resumed with before copies: a row whose
// change was not sent yet is not "sending" and goes on resuming (read again, harmlessly); one
// whose change went is unknown and not sent again. Stopped between a row's read and its change,
// the row is neither sent nor marked.
TEST_F(RowRunTest, BeforeCopiesKeepEveryRowSentOnceThroughKillAndStop) {
    constexpr int Rows = 5;
    const struct {
        const char* Held;
        TRowState Left;    // row 3 in the journal after the kill
        int ReadsOfRow3;   // at the server in the end
        const char* Lines; // the rows of the reads' entry after the resumed run
    } cases[] = {
        {"AccountsGet", TRowState::Pending, 2, "3 4 5 "},
        {"AccountsIncBalance", TRowState::Sending, 1, "4 5 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Held);
        TRowServer server("Player");
        server.HoldAnswerTo("p3", c.Held);
        const std::string file = RowsFile(Rows, c.Left == TRowState::Pending ? "a.csv" : "b.csv");
        std::vector<std::string> arguments{"--server",   server.URL(),        "--password-env",
                                           "VL_TEST_PW", "--before-copy",     "--rows",
                                           file,         "AccountsIncBalance"};
        qint64 run = 0;
        {
            TToolProcess tool(CallTool, arguments, Environment());
            ASSERT_TRUE(server.WaitUntilHeld("p3"));
            tool.Signal(SIGKILL);
            EXPECT_EQ(tool.Finish(), -1);
            run = TRunJournal(HistoryFolder()).Runs().front().Id;
        }
        server.Release();
        EXPECT_EQ(States(run, Rows)[2], c.Left);
        arguments.insert(arguments.end() - 1, "--resume");
        const TToolRun resumed = RunTool(CallTool, arguments, Environment());
        // Rows before row 3 may be unknown too, their outcome lost with the process.
        EXPECT_NE(resumed.ExitCode, 2) << resumed.Err;
        const std::vector<std::string> log = server.Log();
        for (int i = 1; i <= Rows; ++i)
            EXPECT_EQ(
                std::count(log.begin(), log.end(), "AccountsIncBalance p" + std::to_string(i)), 1)
                << i;
        EXPECT_EQ(std::count(log.begin(), log.end(), "AccountsGet p3"), c.ReadsOfRow3);

        THistoryStore store(HistoryFolder());
        store.OpenForReading();
        const std::optional<THistoryCall> entry =
            store.Load(TRunJournal(HistoryFolder()).Run(run)->CallId);
        ASSERT_TRUE(entry);
        const std::optional<THistoryCall> reads = store.Load(entry->BeforeCopyId);
        ASSERT_TRUE(reads);
        std::string rows;
        for (const QString& line : reads->Answer.split(u'\n', Qt::SkipEmptyParts))
            rows += line.section(u',', 0, 0).section(u':', 1).toStdString() + " ";
        EXPECT_EQ(rows, c.Lines);
    }

    // Interrupted while row 2's read is held: the read ends, the row's change never goes.
    TRowServer server("Player");
    server.HoldAnswerTo("p2", "AccountsGet");
    TToolProcess tool(CallTool,
                      {"--server", server.URL(), "--password-env", "VL_TEST_PW", "--before-copy",
                       "--rows", RowsFile(4, "c.csv"), "AccountsIncBalance"},
                      Environment());
    ASSERT_TRUE(server.WaitUntilHeld("p2"));
    tool.Signal(SIGINT);
    ASSERT_TRUE(tool.WaitForErr("no new row starts"));
    server.Release();
    EXPECT_EQ(tool.Finish(), -1);
    EXPECT_NE(tool.Err.find("4 rows: 1 answered, 3 not sent; run"), std::string::npos) << tool.Err;
    EXPECT_EQ(server.Log(), (std::vector<std::string>{"AccountsGet p1", "AccountsIncBalance p1",
                                                      "AccountsGet p2"}));
    const qint64 run = TRunJournal(HistoryFolder()).Runs().front().Id;
    EXPECT_EQ(States(run, 2), (std::vector<TRowState>{TRowState::Answered, TRowState::Pending}));
}

TEST_F(RowRunTest, DryRunPrintsEachRowsCurlLine) {
    std::ofstream(Path("d.jsonl")) << "{\"Player\":\"a b\",\"Amount\":5}\n{\"Player\":\"c\"}\n";
    const TToolRun run = Run({"--dry-run", "--rows", Path("d.jsonl"), "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "curl -sS --data-raw Command=AccountsIncBalance --data-urlencode "
                       "\"Password=${VL_PASSWORD}\" --data-raw 'JSON=Yes&Player=a+b&Amount=5' " +
                           FServer.URL() +
                           "\ncurl -sS --data-raw Command=AccountsIncBalance --data-urlencode "
                           "\"Password=${VL_PASSWORD}\" --data-raw 'JSON=Yes&Player=c' " +
                           FServer.URL() + "\n");
    EXPECT_EQ(FServer.Requests(), 0);
}

// The reads of a run in row order whatever order they came in, merged with the lines of the
// run's earlier entry (a row read in both with the earlier line first), and cut at the limit by
// whole lines in row order, the status saying so.
TEST(RowBeforeCopies, LinesInRowOrderMergedAndCutAtTheLimit) {
    const auto read = [](std::int64_t ARow, int AStatus, std::string AAnswer) {
        TRowRead result;
        result.Row = ARow;
        result.Status = AStatus;
        result.Answer = std::move(AAnswer);
        if (AStatus == 0)
            result.Error = "Socket Error # 111\nConnection refused.";
        return result;
    };
    const std::string line3 = R"({"row":3,"status":"200","answer":[1,"a b"]})"
                              "\n";
    const std::string line4 = R"({"row":4,"status":"Socket Error # 111\nConnection refused.",)"
                              R"("answer":""})"
                              "\n";
    const std::string line1 = R"({"row":1,"status":"200","answer":{"A":1}})"
                              "\n";
    const std::string line2 = R"({"row":2,"status":"500","answer":"{\"A\":"})"
                              "\n";
    // Room for rows 1 to 4 with row 3 twice, less one byte.
    TRowBeforeCopies reads(
        QStringLiteral("AccountsGet"), {QStringLiteral("JSON=Yes")},
        static_cast<qint64>(line1.size() + line2.size() + line3.size() * 2 + line4.size() - 1));
    reads.Add(read(3, 200, "[ 1,\n \"a b\" ]"));
    reads.Add(read(4, 0, ""));
    EXPECT_EQ(RowReadLine(read(4, 0, "")), line4);

    THistoryCall earlier;
    earlier.Answer = QString::fromStdString(line3 + line1);
    const QDateTime when = QDateTime::currentDateTimeUtc();
    THistoryCall entry =
        reads.Entry(&earlier, QStringLiteral("http://x/api"), QStringLiteral("JSON"), when);
    EXPECT_EQ(entry.Command, QStringLiteral("AccountsGet"));
    EXPECT_EQ(entry.Fields, QStringList{QStringLiteral("JSON=Yes")});
    EXPECT_EQ(entry.AnswerUtf8.toStdString(), line1 + line3 + line3 + line4);
    EXPECT_EQ(entry.StatusLine, QStringLiteral("4 reads, 1 failed (row 4)"));
    EXPECT_EQ(entry.Outcome, THistoryOutcome::Error);
    EXPECT_FALSE(entry.AnswerCut);

    // An answer that is not whole JSON stays a string; the rows past the limit are not kept.
    reads.Add(read(2, 500, "{\"A\":"));
    entry = reads.Entry(nullptr, QStringLiteral("http://x/api"), QStringLiteral("JSON"), when);
    EXPECT_EQ(entry.AnswerUtf8.toStdString(), line2 + line3 + line4);
    reads.Add(read(1, 200, "{\"A\":1}"));
    entry = reads.Entry(&earlier, QStringLiteral("http://x/api"), QStringLiteral("JSON"), when);
    EXPECT_EQ(entry.AnswerUtf8.toStdString(), line1 + line1 + line2 + line3 + line3);
    EXPECT_TRUE(entry.AnswerCut);
    EXPECT_TRUE(
        entry.StatusLine.startsWith(QStringLiteral("6 reads, 2 failed (rows 2, 4); cut at ")))
        << entry.StatusLine.toStdString();
    EXPECT_TRUE(entry.StatusLine.endsWith(QStringLiteral(", the rows after row 3 not kept")))
        << entry.StatusLine.toStdString();
}

// The answers of a run as data: each row's table (or the filter's results) in one table with the
// row's number first, the union of the rows' columns, rows in the order they ended.
class RowDataTest : public RowRunTest {
protected:
    RowDataTest() {
        FServer.AnswerWith([](const std::string& AKey) -> std::string {
            if (AKey == "p1")
                return R"({"Result":"Ok","Accounts":[{"Name":"a","Balance":1},)"
                       R"({"Name":"b, \"B\"","Balance":2.50}]})";
            if (AKey == "p2")
                return R"({"Result":"Ok","Accounts":[{"Name":"c","Email":"c@x.test","row":7}]})";
            if (AKey == "p4")
                return "Not JSON";
            return R"({"Result":"Ok","Accounts":[]})";
        });
    }
};

TEST_F(RowDataTest, JqPrintsEachRowsResultsAndTheRecordKeepsThem) {
    const std::string file = RowsFile(3);
    TToolRun run = Run({"--rows", file, "--jq", ".Accounts[].Name", "--out", Path("out.jsonl"),
                        "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    // As the jq program prints it for the answers one after the other.
    EXPECT_EQ(run.Out, "\"a\"\n\"b, \\\"B\\\"\"\n\"c\"\n");
    EXPECT_EQ(run.Err, "vlcallbench-call: 3 rows: 3 answered; run 1\n");
    std::ifstream in(Path("out.jsonl"));
    const std::string records{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(records.find(R"("answer":"\"a\"\n\"b, \\\"B\\\"\""})"), std::string::npos) << records;
    EXPECT_NE(records.find(R"("row":3,"values":{"Player":"p3","Amount":"3"},"outcome":"answered",)"
                           R"("status":200,"ms":)"),
              std::string::npos)
        << records;
    EXPECT_NE(records.find(R"(,"answer":""})"), std::string::npos) << records;

    run = Run(
        {"--rows", RowsFile(2, "two.csv"), "--jq", ".Accounts", "--compact", "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "[{\"Name\":\"a\",\"Balance\":1},{\"Name\":\"b, \\\"B\\\"\",\"Balance\":2.5}]\n"
              "[{\"Name\":\"c\",\"Email\":\"c@x.test\",\"row\":7}]\n");
}

TEST_F(RowDataTest, RowsTablesBecomeOneTable) {
    const std::string file = RowsFile(2);
    TToolRun run = Run({"--rows", file, "--csv", "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    // An answer's own "row" is a column of its own.
    EXPECT_EQ(run.Out, "row,Name,Balance,Email,row\r\n"
                       "1,a,1,,\r\n"
                       "1,\"b, \"\"B\"\"\",2.50,,\r\n"
                       "2,c,,c@x.test,7\r\n");
    // Piped, tab-separated; a row whose filter gives nothing adds no line.
    run = Run({"--rows", RowsFile(3, "three.csv"), "--table", "--jq", ".Accounts[] | {Name}",
               "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "row\tName\n1\ta\n1\tb, \"B\"\n2\tc\n");
}

TEST_F(RowDataTest, ARowThatIsNoTableFailsAloneAndResumedRowsComeFromTheJournal) {
    const std::string file = RowsFile(4);
    FServer.RefuseKey("p2");
    TToolRun run = Run({"--rows", file, "--csv", "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "row,Name,Balance\r\n1,a,1\r\n1,\"b, \"\"B\"\"\",2.50\r\n");

    // Resumed against a server that takes row 2: row 1's answer is the journal's; rows 3 and 4
    // hold no table, said for each, and the table holds the others.
    TRowServer server("Player");
    server.AnswerWith([](const std::string& AKey) {
        return AKey == "p2" ? std::string(R"({"Accounts":[{"Name":"c"}]})")
                            : std::string(AKey == "p3" ? "[]" : "Not JSON");
    });
    run = RunTool(CallTool,
                  {"--server", server.URL(), "--password-env", "VL_TEST_PW", "--resume", "1",
                   "--retry-failed", "--max-failures", "0", "--csv"},
                  Environment());
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "row,Name,Balance\r\n1,a,1\r\n1,\"b, \"\"B\"\"\",2.50\r\n2,c,\r\n");
    EXPECT_NE(run.Err.find("vlcallbench-call: row 3: The answer holds no array of objects to show "
                           "as a table.\n"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("vlcallbench-call: row 4: The answer is not JSON: "), std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("4 rows: 4 answered; run 1"), std::string::npos) << run.Err;
    EXPECT_EQ(server.Requests(), 3);

    run = Run({"--dry-run", "--rows", file, "--jq", ".", "AccountsIncBalance"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err,
              "vlcallbench-call: --jq, --table and --csv print answers; --dry-run gets none.\n");
}

} // namespace
