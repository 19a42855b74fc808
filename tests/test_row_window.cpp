// The "Run for rows" window driven as a user would, against a server that counts what each row
// sent: every row once with its outcome in the table, the failed rows shown alone and exported
// as a file that reads back as rows, the run as one history entry, Pause and Stop, closing during
// a run, the offer to resume an interrupted run naming its unknown rows, and the columns matched
// with a misspelt one.

#include "CallArguments.h"
#include "Catalogue.h"
#include "HistoryModel.h"
#include "HistoryStore.h"
#include "QtTestSupport.h"
#include "RowOutcomeModel.h"
#include "RowRunForm.h"
#include "RowServer.h"
#include "TempFolder.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>

namespace {

constexpr int Wait = 30000;

class RowWindowTest : public ::testing::Test {
protected:
    RowWindowTest() : FServer("Player") { AppendCatalogue(FCommands); }

    std::string Path(const char* AName) const { return (FFolder.Path() / AName).string(); }
    QString HistoryFolder() const {
        return QString::fromStdString((FFolder.Path() / "history").string());
    }
    // ACount rows, players p1 to pACount, as CSV or JSON Lines by AName's extension.
    std::string RowsFile(int ACount, const char* AName = "rows.csv") const {
        std::ofstream out(Path(AName), std::ios::binary);
        const bool json = RowFormatOfFile(AName) == TRowFormat::JsonLines;
        if (!json)
            out << "Player,Amount\r\n";
        for (int i = 1; i <= ACount; ++i) {
            if (json)
                out << R"({"Player":"p)" << i << R"(","Amount":)" << i << "}\n";
            else
                out << "p" << i << "," << i << "\r\n";
        }
        return Path(AName);
    }
    TRowRunContext Context(const TRowServer& AServer) const {
        TRowRunContext context;
        context.Command = &FindCommand(FCommands, "AccountsIncBalance");
        context.URL = QString::fromStdString(AServer.URL());
        context.Password = QStringLiteral("pw");
        context.HistoryFolder = HistoryFolder();
        return context;
    }
    // A window on AFile, sending to AServer (FServer when not given), whose questions are
    // answered with AAnswer and kept.
    std::unique_ptr<TRowRunForm> Window(const std::string& AFile, bool AAnswer = true,
                                        const TRowServer* AServer = nullptr) {
        auto form = std::make_unique<TRowRunForm>(Context(AServer ? *AServer : FServer));
        form->Ask = [this, AAnswer](const QString&, const QString& AText) {
            FAsked << AText;
            return AAnswer;
        };
        form->show();
        form->OpenFile(QString::fromStdString(AFile));
        return form;
    }
    static bool Ended(const TRowRunForm& AForm) {
        return QTest::qWaitFor([&] { return !AForm.Running(); }, Wait);
    }
    int Count(const std::string& AKey) const {
        const auto counts = FServer.Counts();
        const auto found = counts.find(AKey);
        return found == counts.end() ? 0 : found->second;
    }
    std::vector<std::int64_t> ShownRows(const TRowRunForm& AForm) const {
        std::vector<std::int64_t> rows;
        for (int i = 0; i < AForm.Outcomes->rowCount(); ++i)
            rows.push_back(AForm.Outcomes->RowNumber(i));
        return rows;
    }

    TTempFolder FFolder{"vlrowwindow-"};
    TRowServer FServer;
    TCommandList FCommands;
    QStringList FAsked;
};

TEST_F(RowWindowTest, EveryRowOnceAndTheFailedOnesExportedAsRows) {
    for (const char* name : {"rows.csv", "rows.jsonl"}) {
        SCOPED_TRACE(name);
        FServer.RefuseKey("p3");
        FServer.RefuseKey("p7");
        const std::string file = RowsFile(12, name);
        const auto form = Window(file);
        const QAbstractItemModelTester tester(
            form->Outcomes, QAbstractItemModelTester::FailureReportingMode::Warning);
        ASSERT_TRUE(form->Checked()) << form->CheckText->toPlainText().toStdString();
        EXPECT_TRUE(form->PreviewText->toPlainText().startsWith(
            "row 1: Command=AccountsIncBalance  Password=  JSON=Yes  Player=p1  Amount=1"))
            << form->PreviewText->toPlainText().toStdString();
        const int before = FServer.Requests();
        form->ConcurrencySpin->setValue(3);
        form->MaxFailuresSpin->setValue(0);
        form->StartButton->click();
        ASSERT_TRUE(Ended(*form));
        EXPECT_EQ(FServer.Requests() - before, 12);
        EXPECT_EQ(form->Outcomes->Rows(), 12);
        EXPECT_EQ(form->Outcomes->FailedRows(), 2);
        EXPECT_TRUE(
            form->SummaryLabel->text().startsWith("12 rows: 10 answered, 2 failed (rows 3, 7)"))
            << form->SummaryLabel->text().toStdString();
        EXPECT_TRUE(form->ProgressLabel->text().startsWith("12 of 12 rows done"));

        form->FailedOnlyBox->setChecked(true);
        EXPECT_EQ(ShownRows(*form), (std::vector<std::int64_t>{3, 7}));
        EXPECT_EQ(form->Outcomes->index(0, TRowOutcomeModel::OutcomeColumn).data().toString(),
                  "failed");
        EXPECT_EQ(form->Outcomes->index(0, TRowOutcomeModel::StatusColumn).data().toInt(), 500);
        form->FailedOnlyBox->setChecked(false);
        EXPECT_EQ(form->Outcomes->rowCount(), 12);

        // The export is a row file of the same format that runs as it is.
        const std::string exported =
            Path(RowFormatOfFile(name) == TRowFormat::Csv ? "failed.csv" : "failed.jsonl");
        ASSERT_TRUE(form->ExportFailed(QString::fromStdString(exported)));
        TRowFile rows(exported, *RowFormatOfFile(name));
        TFileRow row;
        std::vector<std::string> players;
        while (rows.Next(row)) {
            ASSERT_EQ(row.Values.size(), 2u);
            EXPECT_EQ(row.Values[0].Name, "Player");
            players.push_back(row.Values[0].Value);
        }
        EXPECT_EQ(players, (std::vector<std::string>{"p3", "p7"}));
    }
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(Count("p" + std::to_string(i)), 2) << i; // once per file
    // Each run is one entry of the history, marked as a run and summed up.
    THistoryStore store(HistoryFolder());
    store.OpenForReading();
    THistoryModel model;
    model.SetCalls(*store.List({}));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(0, THistoryModel::Command).data().toString(),
              "AccountsIncBalance (run for rows)");
    EXPECT_EQ(model.index(0, THistoryModel::Status).data().toString(),
              "12 rows: 10 answered, 2 failed (rows 3, 7); run 2");
}

// Paused, no new row is taken from the file (the row in flight, the one handed over and the one
// read ahead still go); going on sends the rest, each once. Stopped, the call under way ends and
// nothing more is sent.
TEST_F(RowWindowTest, PauseAndStop) {
    const std::string file = RowsFile(8);
    {
        FServer.HoldAnswerTo("p2");
        const auto form = Window(file);
        form->StartButton->click();
        ASSERT_TRUE(FServer.WaitUntilHeld("p2"));
        form->PauseButton->click();
        FServer.Release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->Outcomes->Rows() >= 3; }, Wait));
        // Nothing to wait for: the rows handed over end and no other starts meanwhile.
        QTest::qWait(300);
        const int sent = FServer.Requests();
        EXPECT_LE(sent, 4);
        QTest::qWait(300);
        EXPECT_EQ(FServer.Requests(), sent);
        EXPECT_NE(form->ProgressLabel->text().indexOf("paused"), -1);
        form->PauseButton->click();
        ASSERT_TRUE(Ended(*form));
        EXPECT_EQ(FServer.Requests(), 8);
        EXPECT_EQ(form->SummaryLabel->text(), "8 rows: 8 answered; run 1");
    }
    {
        TRowServer server("Player");
        server.HoldAnswerTo("p5");
        const auto form = Window(file, true, &server);
        EXPECT_TRUE(FAsked.isEmpty()); // the first run ended
        form->StartButton->click();
        ASSERT_TRUE(server.WaitUntilHeld("p5"));
        form->StopButton->click();
        server.Release();
        ASSERT_TRUE(Ended(*form));
        EXPECT_LE(server.Requests(), 6);
        EXPECT_NE(form->SummaryLabel->text().indexOf(" not sent; run 2"), -1)
            << form->SummaryLabel->text().toStdString();
    }
}

// Closing the window during a run asks, stops the run and closes once the call under way ends.
TEST_F(RowWindowTest, ClosedDuringARun) {
    FServer.HoldAnswerTo("p1");
    const auto form = Window(RowsFile(5));
    form->StartButton->click();
    ASSERT_TRUE(FServer.WaitUntilHeld("p1"));
    form->close();
    ASSERT_EQ(FAsked.size(), 1);
    EXPECT_TRUE(FAsked[0].startsWith("A run is going on."));
    EXPECT_TRUE(form->isVisible());
    FServer.Release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, Wait));
    EXPECT_FALSE(form->Running());
    EXPECT_LE(FServer.Requests(), 2);
}

// A run that ended with a row left "sending" (as a crash leaves it) is offered for resuming with
// that row named unknown; resumed, it is not sent again and every pending row goes once.
TEST_F(RowWindowTest, InterruptedRunOfferedWithItsUnknownRows) {
    const std::string file = RowsFile(6);
    {
        TRowRunSetup setup;
        setup.Command = &FindCommand(FCommands, "AccountsIncBalance");
        setup.URL = QString::fromStdString(FServer.URL());
        setup.File = file;
        TRunJournal journal(HistoryFolder());
        const TRunInfo run = NewRowRun(setup, journal, CheckRowFile(setup));
        ASSERT_TRUE(journal.Claim(run.Id));
        for (int row = 1; row <= 3; ++row)
            journal.MarkSending(run.Id, row, {});
        for (int row = 1; row <= 2; ++row) {
            TRowRecord record;
            record.Row = row;
            record.State = TRowState::Answered;
            record.Status = 200;
            journal.MarkOutcome(run.Id, record);
        }
        journal.Flush();
    }
    const auto form = Window(file);
    ASSERT_EQ(FAsked.size(), 1);
    EXPECT_NE(FAsked[0].indexOf("6 rows: 2 answered, 1 unknown (row 3), 3 not sent; run 1"), -1)
        << FAsked[0].toStdString();
    EXPECT_NE(FAsked[0].indexOf("The unknown row 3 may have reached the server"), -1);
    EXPECT_EQ(form->ResumedRun(), 1);
    EXPECT_EQ(form->StartButton->text(), "&Resume run 1");
    form->StartButton->click();
    ASSERT_TRUE(Ended(*form));
    EXPECT_EQ(FServer.Requests(), 3);
    for (const char* player : {"p4", "p5", "p6"})
        EXPECT_EQ(Count(player), 1) << player;
    EXPECT_EQ(form->SummaryLabel->text(), "6 rows: 5 answered, 1 unknown (row 3); run 1");
    // The rows the resumed run did not send are in the table as the journal has them.
    EXPECT_EQ(form->Outcomes->Rows(), 6);
    form->FailedOnlyBox->setChecked(true);
    EXPECT_EQ(ShownRows(*form), (std::vector<std::int64_t>{3}));
    EXPECT_EQ(form->Outcomes->index(0, TRowOutcomeModel::OutcomeColumn).data().toString(),
              "unknown");
}

// The box starts as the profile has before copies: ticked, each row's read goes just before its
// change and the run's entry links to one entry of the reads; unticked, the changes go alone. A
// command without a read to send first does not offer it.
TEST_F(RowWindowTest, BeforeCopyOfEachRow) {
    TRowRunContext context = Context(FServer);
    context.Catalogue = &FCommands;
    context.BeforeCopies = true;
    TRowRunForm form(context);
    form.show();
    EXPECT_FALSE(form.BeforeCopyBox->isHidden());
    ASSERT_TRUE(form.BeforeCopyBox->isChecked());
    form.OpenFile(QString::fromStdString(RowsFile(2)));
    form.StartButton->click();
    ASSERT_TRUE(Ended(form));
    EXPECT_EQ(FServer.Log(), (std::vector<std::string>{"AccountsGet p1", "AccountsIncBalance p1",
                                                       "AccountsGet p2", "AccountsIncBalance p2"}));
    {
        THistoryStore store(HistoryFolder());
        store.OpenForReading();
        const std::vector<THistorySummary> entries = *store.List({});
        ASSERT_EQ(entries.size(), 2U);
        EXPECT_EQ(entries[0].BeforeCopyId, entries[1].Id);
        EXPECT_EQ(entries[1].Command, QStringLiteral("AccountsGet"));
        EXPECT_EQ(entries[1].StatusLine, QStringLiteral("2 reads"));
    }

    form.BeforeCopyBox->setChecked(false);
    form.OpenFile(QString::fromStdString(RowsFile(2, "two.csv")));
    form.StartButton->click();
    ASSERT_TRUE(Ended(form));
    EXPECT_EQ(FServer.Requests(), 6);

    context.Command = &FindCommand(FCommands, "AccountsAdd");
    const TRowRunForm other(context);
    EXPECT_TRUE(other.BeforeCopyBox->isHidden());
}

TEST_F(RowWindowTest, ColumnsMatchedWithSuggestionsForAMisspeltOne) {
    {
        std::ofstream out(Path("typo.csv"), std::ios::binary);
        out << "Playr,amount\n"
            << "p1,5\n";
    }
    const auto form = Window(Path("typo.csv"));
    ASSERT_EQ(form->ColumnList->topLevelItemCount(), 2);
    EXPECT_EQ(form->ColumnList->topLevelItem(0)->text(1),
              "Unknown column 'Playr' for AccountsIncBalance. Did you mean 'Player'?");
    EXPECT_EQ(form->ColumnList->topLevelItem(1)->text(1), "Amount");
    EXPECT_FALSE(form->Checked());
    EXPECT_FALSE(form->StartButton->isEnabled());
    EXPECT_NE(form->CheckText->toPlainText().indexOf("Did you mean 'Player'?"), -1);
    EXPECT_TRUE(FAsked.isEmpty());
}

} // namespace
