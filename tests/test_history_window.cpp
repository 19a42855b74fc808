// The call history window over the real main window: Ctrl+H, the list, its columns and
// tooltips, the filter and its empty list, where the window opens, re-opening an answer, loading
// a call into the grid, clearing, the damaged-file notice, answers indexed while the window shows
// what is found so far (escaped characters among them), a long list that holds no read on the
// file, and the answer of the call in hand shown under the list beside its before copy.

#include "AnswerPane.h"
#include "CallResult.h"
#include "CommandTree.h"
#include "DataSize.h"
#include "HistoryCallFixture.h"
#include "HistoryForm.h"
#include "HistoryModel.h"
#include "HistoryRecorder.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "QtTestSupport.h"
#include "ResultsForm.h"
#include "ResultsStatus.h"
#include "ResultsView.h"
#include "WindowPlacement.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// What a modal results window showed before it was closed.
struct SeenResults {
    bool Shown = false;
    QString Caption;
    QString Text;
};

class HistoryWindowTest : public ::testing::Test {
protected:
    HistoryWindowTest() {
        qputenv("XDG_DATA_HOME", QFile::encodeName(FData.path()));
        FForm = std::make_unique<TMainForm>(FSettings.filePath(QStringLiteral("Tessarine.conf")));
        FForm->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(FForm.get()));
        QApplication::setActiveWindow(FForm.get());
    }

    void Record(const THistoryCall& ACall) {
        FForm->History().Record(ACall);
        FForm->History().WaitIdle();
        QApplication::processEvents(); // the recorder's signals
        if (THistoryForm* window = FForm->HistoryWindow())
            WaitListed(*window);
    }

    THistoryForm& OpenHistory() {
        QTest::keyClick(FForm.get(), Qt::Key_H, Qt::ControlModifier);
        THistoryForm* window = FForm->HistoryWindow();
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(window && window->isVisible());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        QApplication::setActiveWindow(window); // the offscreen platform does not activate it
        if (!FModelTester)
            FModelTester = std::make_unique<QAbstractItemModelTester>(
                window->Model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        WaitListed(*window);
        return *window;
    }

    // The list searched in the background is filled in.
    static void WaitListed(THistoryForm& AWindow) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !AWindow.Searching(); }, 10000));
    }

    QString HistoryFile() const {
        return FForm->History().Folder() + QStringLiteral("/history.sqlite");
    }

    QStringList Column(THistoryForm& AWindow, int AColumn) {
        QStringList texts;
        for (int row = 0; row < AWindow.Model->rowCount(); ++row)
            texts.append(AWindow.Model->index(row, AColumn).data().toString());
        return texts;
    }

    // Runs AAction and closes the results window it shows.
    SeenResults WatchResults(const std::function<void()>& AAction) {
        SeenResults seen;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* results = qobject_cast<TResultsForm*>(QApplication::activeModalWidget());
                results && results->isVisible() && !results->Busy()) {
                seen = {true, results->windowTitle(), results->ResultsMemo->toPlainText()};
                results->close();
            }
        });
        poll.start();
        AAction();
        return seen;
    }

    void FocusCommand(const char* AName) {
        const auto& entries = FForm->Catalogue();
        int position = 0;
        while (entries[position]->Name != AName)
            ++position;
        FForm->CommandTree->setCurrentIndex(FForm->CommandTreeModel->NodeAt(position));
        ASSERT_EQ(FForm->Current()->Name, AName);
    }

    int RowOf(const char* AName) {
        for (int row = 0; row < FForm->Values().Count(); ++row)
            if (FForm->Values().Name(row) == QLatin1String(AName))
                return row;
        return -1;
    }

    QTemporaryDir FData;
    QTemporaryDir FSettings;
    std::unique_ptr<TMainForm> FForm;
    std::unique_ptr<QAbstractItemModelTester> FModelTester; // goes before the window
};

TEST_F(HistoryWindowTest, CtrlHListsNewestFirstAndFollowsNewCalls) {
    THistoryCall failure = MakeCall(QStringLiteral("LogsEvent"), {}, THistoryOutcome::Error);
    failure.StatusLine.clear();
    failure.ErrorText = QStringLiteral("Socket Error # 10061\r\nConnection refused.");
    THistoryCall big = MakeCall(QStringLiteral("AccountsList"), QString(3000, u'a'));
    Record(big);
    Record(failure);
    Record(MakeCall(QStringLiteral("SystemStats"), {}, THistoryOutcome::Cancelled));

    THistoryForm& window = OpenHistory();
    EXPECT_EQ(Column(window, THistoryModel::Command),
              (QStringList{QStringLiteral("SystemStats"), QStringLiteral("LogsEvent"),
                           QStringLiteral("AccountsList")}));
    EXPECT_EQ(Column(window, THistoryModel::Outcome),
              (QStringList{QStringLiteral("cancelled"), QStringLiteral("error"),
                           QStringLiteral("answer")}));
    EXPECT_EQ(window.Model->index(1, THistoryModel::Status).data().toString(),
              QStringLiteral("Socket Error # 10061"));
    EXPECT_EQ(window.Model->index(2, THistoryModel::Status).data().toString(),
              QStringLiteral("HTTP/1.1 200 OK"));
    EXPECT_EQ(window.Model->index(2, THistoryModel::Duration).data().toString(),
              QStringLiteral("42 ms"));
    EXPECT_EQ(window.Model->index(2, THistoryModel::Size).data().toString(), DataSizeText(3000));
    EXPECT_FALSE(window.Model->index(2, THistoryModel::When).data().toString().isEmpty());

    Record(MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("{}")));
    EXPECT_EQ(window.Model->index(0, THistoryModel::Command).data().toString(),
              QStringLiteral("AccountsGet"));
    EXPECT_TRUE(window.StatusLabel->isHidden());
}

TEST_F(HistoryWindowTest, FilterNarrowsTheListAsTyped) {
    Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{\"Player\":\"Quintessa\"}")));
    Record(MakeCall(QStringLiteral("LogsEvent"), QStringLiteral("nothing")));
    THistoryForm& window = OpenHistory();
    EXPECT_EQ(QApplication::focusWidget(), window.FilterEdit);
    QTest::keyClicks(window.FilterEdit, QStringLiteral("quint"));
    WaitListed(window);
    EXPECT_EQ(Column(window, THistoryModel::Command), QStringList{QStringLiteral("AccountsList")});
    window.FilterEdit->clear();
    QTest::keyClicks(window.FilterEdit, QStringLiteral("logs"));
    WaitListed(window);
    EXPECT_EQ(Column(window, THistoryModel::Command), QStringList{QStringLiteral("LogsEvent")});
    QTest::keyClicks(window.FilterEdit, QStringLiteral(" nomatch"));
    WaitListed(window);
    EXPECT_EQ(window.Model->rowCount(), 0);
}

TEST_F(HistoryWindowTest, EnterAndDoubleClickReopenTheStoredAnswer) {
    THistoryCall legacy =
        MakeCall(QStringLiteral("AccountsList"), QStringLiteral("Result=Ok\nA=1"));
    legacy.Format = QStringLiteral("Legacy");
    Record(legacy);
    Record(MakeCall(QStringLiteral("SystemStats"), QStringLiteral("{\"Result\":\"Ok\"}")));
    THistoryForm& window = OpenHistory();
    window.CallList->setFocus();
    window.CallList->setCurrentIndex(window.Model->index(1, 0));
    const SeenResults entered =
        WatchResults([&] { QTest::keyClick(window.CallList, Qt::Key_Return); });
    EXPECT_TRUE(entered.Shown);
    EXPECT_EQ(entered.Caption, QStringLiteral("AccountsList - Legacy format"));
    EXPECT_EQ(entered.Text, QStringLiteral("Result=Ok\nA=1"));

    const QRect cell = window.CallList->visualRect(window.Model->index(0, 1));
    QApplication::setActiveWindow(&window);
    const SeenResults clicked = WatchResults([&] {
        QTest::mouseClick(window.CallList->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(window.CallList->viewport(), Qt::LeftButton, {}, cell.center());
    });
    EXPECT_TRUE(clicked.Shown);
    EXPECT_EQ(clicked.Caption, QStringLiteral("SystemStats - JSON format"));
    EXPECT_EQ(clicked.Text, QStringLiteral("{\"Result\":\"Ok\"}"));
}

TEST_F(HistoryWindowTest, CtrlLLoadsTheCallIntoTheGrid) {
    THistoryCall call = MakeCall(QStringLiteral("AccountsIncBalance"), QStringLiteral("ok"));
    call.Fields = {QStringLiteral("Command=AccountsIncBalance"), QStringLiteral("Password="),
                   QStringLiteral("JSON=No"), QStringLiteral("Player=Alice Smith")};
    call.Format = QStringLiteral("Legacy");
    Record(call);
    // A value typed before and a command focused elsewhere: both give way to the stored call.
    FocusCommand("AccountsIncBalance");
    FForm->ParamTreeNewText(RowOf("Amount"), 1, QStringLiteral("500"));
    FocusCommand("SystemStats");
    FForm->PasswordEdit->setText(QStringLiteral("typed-password"));

    THistoryForm& window = OpenHistory();
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(FForm->Current()->Name, "AccountsIncBalance");
    EXPECT_TRUE(FForm->LegacyRB->isChecked());
    EXPECT_EQ(FForm->Values().Value(RowOf("JSON")), QStringLiteral("No"));
    EXPECT_EQ(FForm->Values().Value(RowOf("Player")), QStringLiteral("Alice Smith"));
    EXPECT_TRUE(FForm->ParamTreeModel->Checked(RowOf("Player")));
    EXPECT_EQ(FForm->Values().Value(RowOf("Amount")), QString());
    EXPECT_FALSE(FForm->ParamTreeModel->Checked(RowOf("Amount")));
    EXPECT_EQ(FForm->Values().Value(RowOf("Password")), QStringLiteral("(not shown)"));
    EXPECT_EQ(FForm->PasswordEdit->text(), QStringLiteral("typed-password"));
    EXPECT_EQ(FForm->CommandTree->currentIndex(),
              FForm->CommandTreeModel->NodeAt(static_cast<int>(
                  std::find_if(
                      FForm->Catalogue().begin(), FForm->Catalogue().end(),
                      [](const auto& ACommand) { return ACommand->Name == "AccountsIncBalance"; }) -
                  FForm->Catalogue().begin())));
}

TEST_F(HistoryWindowTest, ClearEmptiesTheListAndKeepOffStopsRecording) {
    Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{}")));
    THistoryForm& window = OpenHistory();
    ASSERT_EQ(window.Model->rowCount(), 1);
    {
        ModalBoxWatcher yes(QMessageBox::Yes);
        QTest::mouseClick(window.ClearButton, Qt::LeftButton);
        ASSERT_EQ(yes.Boxes.size(), 1u);
    }
    FForm->History().WaitIdle();
    QApplication::processEvents();
    WaitListed(window);
    EXPECT_EQ(window.Model->rowCount(), 0);

    QTest::mouseClick(window.KeepHistory, Qt::LeftButton);
    EXPECT_FALSE(FForm->History().Enabled());
    Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{}")));
    EXPECT_EQ(window.Model->rowCount(), 0);
}

// Answers the call tool left to be indexed later are indexed off the window's thread: a filter
// shows at once what it finds so far and that indexing is under way, and the rest as it comes.
// The file's write lock is held at first, so the indexing cannot get ahead of the test.
TEST_F(HistoryWindowTest, FilterShowsWhatIsFoundWhileAnswersAreIndexed) {
    FForm->History().WaitIdle(); // the recorder has indexed what waited when it opened
    THistoryStore tool(FForm->History().Folder());
    tool.Open();
    const QString large = QString(THistoryStore::DeferIndexBytes, u'x') + QStringLiteral(" Tlaloc");
    for (int i = 0; i < 3; ++i)
        tool.Record(MakeCall(QStringLiteral("AccountsList"), large), THistoryIndexing::DeferLarge);
    tool.Record(MakeCall(QStringLiteral("SystemStats"), QStringLiteral("Tlaloc")),
                THistoryIndexing::DeferLarge);
    tool.Close();

    THistoryForm& window = OpenHistory();
    ASSERT_EQ(window.Model->rowCount(), 4);
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
        db.setDatabaseName(HistoryFile());
        ASSERT_TRUE(db.open());
        QSqlQuery lock(db);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QTest::keyClicks(window.FilterEdit, QStringLiteral("tlal"));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return !window.Searching() && window.StatusLabel->text() ==
                                                  QStringLiteral("Indexing answers\u2026 3 left");
            },
            2000));
        EXPECT_TRUE(window.StatusLabel->isVisible());
        EXPECT_EQ(Column(window, THistoryModel::Command),
                  QStringList{QStringLiteral("SystemStats")});
        lock.exec(QStringLiteral("ROLLBACK"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !window.Searching() && window.StatusLabel->isHidden(); }, 30000));
    EXPECT_EQ(Column(window, THistoryModel::Command),
              (QStringList{QStringLiteral("SystemStats"), QStringLiteral("AccountsList"),
                           QStringLiteral("AccountsList"), QStringLiteral("AccountsList")}));
}

// However long the list, it holds no read open on the file, so the journal can be folded back
// whole (and then start again from its beginning) after calls recorded behind the window's back,
// such as the call tool's. The list used to read 256 rows at a time and keep its read open on the
// rest, and the journal grew by every call for as long as the window stayed open.
TEST_F(HistoryWindowTest, LongListLetsTheJournalBeFoldedBack) {
    FForm->History().WaitIdle();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tool"));
    db.setDatabaseName(HistoryFile());
    ASSERT_TRUE(db.open());
    const auto insert = [&](int ACount) {
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(
            QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO calls (when_utc, url, command, fields, format, outcome, error, "
                "status_line, duration_ms, answer_size, answer, answer_cut, stored_size) "
                "SELECT '2026-01-01T00:00:00.000Z', 'u', 'Old' || i, '[]', 'JSON', 'answer', '', "
                "'', 1, 0, NULL, 0, 0 FROM n")
                .arg(ACount)))
            << query.lastError().text().toStdString();
    };
    insert(300);
    THistoryForm& window = OpenHistory();
    ASSERT_EQ(window.Model->rowCount(), 300);
    Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{}")));
    EXPECT_EQ(window.Model->rowCount(), 301);

    insert(1);
    {
        QSqlQuery fold(db);
        ASSERT_TRUE(fold.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")) && fold.next());
        EXPECT_GT(fold.value(1).toInt(), 0); // frames in the journal
        EXPECT_EQ(fold.value(2).toInt(), fold.value(1).toInt()) << "frames folded back";
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("tool"));
}

// Each call shows the server it called and its size in the results window's units; the status
// and the server, which may be long, show whole in their tooltips; every column but the status
// is as wide as what it holds.
TEST_F(HistoryWindowTest, ColumnsShowServerSizeAndWholeStatus) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString refused = QStringLiteral("Socket Error # 10061\r\nConnection refused.");
    const struct {
        const char* URL;
        qint64 Size;
        bool Cut;
        const char* StatusLine;
        QString Error;
        const char* Shown;  // the size column
        const char* Status; // the status column
        QString StatusTip;  // its tooltip
    } cases[] = {
        {"http://127.0.0.1:8087/api", 0, false, "", refused, "0 bytes", "Socket Error # 10061",
         refused},
        {"https://poker.example.org:8443/api",
         512,
         false,
         "HTTP/1.1 200 OK",
         {},
         "512 bytes",
         "HTTP/1.1 200 OK",
         QStringLiteral("HTTP/1.1 200 OK")},
        {"http://10.0.0.5:8087/api", 3000, false, "HTTP/1.1 500 Internal Server Error",
         QStringLiteral("HTTP/1.1 500 Internal Server Error"), "2.93 KiB",
         "HTTP/1.1 500 Internal Server Error",
         QStringLiteral("HTTP/1.1 500 Internal Server Error")},
        {"http://h/api",
         qint64(20) << 20,
         true,
         "HTTP/1.1 200 OK",
         {},
         "20.00 MiB (cut)",
         "HTTP/1.1 200 OK",
         QStringLiteral("HTTP/1.1 200 OK")},
    };
    for (const auto& c : cases) {
        THistoryCall call =
            MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{}"),
                     c.Error.isEmpty() ? THistoryOutcome::Answer : THistoryOutcome::Error);
        if (!c.Error.isEmpty())
            call.Answer.clear(); // the size of its text would stand in for a size of none
        call.URL = QString::fromUtf8(c.URL);
        call.AnswerSize = c.Size;
        call.AnswerCut = c.Cut;
        call.StatusLine = QString::fromUtf8(c.StatusLine);
        call.ErrorText = c.Error;
        Record(call);
    }
    THistoryForm& window = OpenHistory();
    ASSERT_EQ(window.Model->rowCount(), static_cast<int>(std::size(cases)));
    EXPECT_EQ(window.Model->headerData(THistoryModel::Server, Qt::Horizontal, Qt::DisplayRole),
              QStringLiteral("Server"));
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.URL);
        const int row = static_cast<int>(std::size(cases)) - 1 - i; // newest first
        const auto cell = [&](int AColumn, int ARole) {
            return window.Model->index(row, AColumn).data(ARole).toString();
        };
        EXPECT_EQ(cell(THistoryModel::Server, Qt::DisplayRole), QString::fromUtf8(c.URL));
        EXPECT_EQ(cell(THistoryModel::Server, Qt::ToolTipRole), QString::fromUtf8(c.URL));
        EXPECT_EQ(cell(THistoryModel::Size, Qt::DisplayRole), QString::fromUtf8(c.Shown));
        EXPECT_EQ(cell(THistoryModel::Status, Qt::DisplayRole), QString::fromUtf8(c.Status));
        EXPECT_EQ(cell(THistoryModel::Status, Qt::ToolTipRole), c.StatusTip);
        EXPECT_EQ(cell(THistoryModel::Command, Qt::ToolTipRole), QString());
        // The results window words the same size alike.
        TCallResult result;
        result.ByteSize = c.Size;
        EXPECT_TRUE(ResultsStatusText(result, -1)
                        .contains(cell(THistoryModel::Size, Qt::DisplayRole)
                                      .section(QStringLiteral(" ("), 0, 0)));
    }
    QLocale::setDefault(saved);

    QHeaderView* header = window.CallList->horizontalHeader();
    for (int column = 0; column < THistoryModel::ColumnCount; ++column) {
        if (column == THistoryModel::Status)
            continue;
        SCOPED_TRACE(column);
        int widest = 0;
        for (const QString& text : Column(window, column))
            widest = std::max(widest, window.CallList->fontMetrics().horizontalAdvance(text));
        EXPECT_GT(header->sectionSize(column), widest);
        EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column));
    }
    EXPECT_GT(header->sectionSize(THistoryModel::Status), 0);
}

// An empty list says why, in the list: nothing recorded yet, or nothing that matches the filter.
TEST_F(HistoryWindowTest, EmptyListSaysWhy) {
    FForm->History().WaitIdle(); // the file is made
    THistoryForm& window = OpenHistory();
    const struct {
        bool Recorded; // a call is in the history
        const char* Filter;
        const char* Shown; // nothing: the label is hidden
    } cases[] = {
        {false, "", "No calls recorded yet."},
        {false, "quokka", "No calls match the filter."},
        {true, "", nullptr},
        {true, "quokka", nullptr},
        {true, "  ", nullptr},
        {true, "quokka walrus", "No calls match the filter."},
        {true, "%", "No calls match the filter."},
    };
    bool recorded = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Filter);
        if (c.Recorded && !recorded) {
            Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{\"P\":\"Quokka\"}")));
            recorded = true;
        }
        window.FilterEdit->setText(QString::fromUtf8(c.Filter));
        WaitListed(window);
        EXPECT_EQ(window.EmptyLabel->isVisible(), c.Shown != nullptr)
            << window.Model->rowCount() << " rows, " << window.StatusLabel->text().toStdString();
        if (c.Shown) {
            EXPECT_EQ(window.EmptyLabel->text(), QString::fromUtf8(c.Shown));
        }
    }
}

// The window opens centred over the main window, kept on the screen; where the user puts it
// while it is open stays, and the next opening centres it again.
TEST(HistoryWindowPlacement, CentredOverItsOwnerWithinTheScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const struct {
        const char* Name;
        QRect Owner;
        QSize Size;
        QRect Screen;
        QPoint At;
    } cases[] = {
        {"middle", {400, 300, 800, 600}, {400, 200}, screen, {600, 500}},
        {"same size", {10, 20, 640, 480}, {640, 480}, screen, {10, 20}},
        {"larger than the owner", {800, 400, 200, 100}, {600, 400}, screen, {600, 250}},
        {"past the right and bottom", {1700, 900, 300, 200}, {600, 400}, screen, {1320, 680}},
        {"past the left and top", {-150, -100, 300, 200}, {400, 300}, screen, {0, 0}},
        {"larger than the screen", {0, 0, 800, 600}, {2500, 1500}, screen, {0, 0}},
        {"second screen", {2200, 100, 800, 600}, {400, 300}, {1920, 0, 1280, 1024}, {2400, 250}},
        {"no screen known", {100, 100, 200, 200}, {400, 400}, {}, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CentredOver(c.Owner, c.Size, c.Screen), c.At) << c.Name;
}

TEST_F(HistoryWindowTest, OpensCentredOverTheMainWindow) {
    THistoryForm& window = OpenHistory();
    window.hide();
    window.resize(300, 200);
    const QRect screen = FForm->screen()->availableGeometry();
    const struct {
        QPoint Owner; // from the screen's top left
    } cases[] = {{{40, 30}}, {{200, 120}}, {{0, 0}}};
    for (const auto& c : cases) {
        FForm->setGeometry(QRect(screen.topLeft() + c.Owner, QSize(400, 300)));
        QApplication::setActiveWindow(FForm.get());
        QTest::keyClick(FForm.get(), Qt::Key_H, Qt::ControlModifier);
        ASSERT_TRUE(window.isVisible());
        EXPECT_EQ(window.frameGeometry().center(), FForm->frameGeometry().center()) << c.Owner.x();
        // Moved while open, it stays where it was put when asked for again.
        window.move(screen.topLeft() + QPoint(5, 7));
        QApplication::setActiveWindow(FForm.get());
        QTest::keyClick(FForm.get(), Qt::Key_H, Qt::ControlModifier);
        EXPECT_EQ(window.pos(), screen.topLeft() + QPoint(5, 7));
        window.hide();
    }
}

// Characters an answer sent as JSON escapes are found as the characters, whether the window
// recorded the call or the call tool left its answer to be indexed later.
TEST_F(HistoryWindowTest, FilterFindsEscapedCharactersFromEitherRecorder) {
    Record(MakeCall(QStringLiteral("AccountsGet"), QStringLiteral(R"({"Player":"M\u00fcller"})")));
    FForm->History().WaitIdle();
    {
        THistoryStore tool(FForm->History().Folder());
        tool.SetFolding(THistoryFolding::OnNextOpen);
        tool.Open();
        tool.Record(MakeCall(QStringLiteral("AccountsList"),
                             QString(THistoryStore::DeferIndexBytes, u' ') +
                                 QStringLiteral(R"({"Players":["M\u00FCller","K\u00f6nig"]})")),
                    THistoryIndexing::DeferLarge);
    }
    THistoryForm& window = OpenHistory();
    ASSERT_EQ(window.Model->rowCount(), 2);
    const struct {
        const char* Filter;
        QStringList Commands;
    } cases[] = {
        {"Müller", {QStringLiteral("AccountsList"), QStringLiteral("AccountsGet")}},
        {"könig", {QStringLiteral("AccountsList")}},
        {"u00fcller", {}},
    };
    for (const auto& c : cases) {
        window.FilterEdit->setText(QString::fromUtf8(c.Filter));
        // The tool's answer is indexed in the background as the first filter needs it.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return !window.Searching() && window.StatusLabel->isHidden() &&
                       Column(window, THistoryModel::Command) == c.Commands;
            },
            30000));
        EXPECT_EQ(Column(window, THistoryModel::Command), c.Commands) << c.Filter;
    }
}

TEST(HistoryWindowNotice, DamagedFileIsReportedOnceWithoutStoppingTheWindow) {
    QTemporaryDir data;
    QTemporaryDir settings;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    ASSERT_TRUE(QDir(data.path()).mkpath(QStringLiteral("vlcallbench")));
    QFile garbage(data.filePath(QStringLiteral("vlcallbench/history.sqlite")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'z'));
    garbage.close();

    TMainForm form(settings.filePath(QStringLiteral("Tessarine.conf")));
    form.History().WaitIdle();
    QApplication::processEvents();
    const auto boxes = form.findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_FALSE(boxes.front()->isModal());
    EXPECT_TRUE(boxes.front()->text().contains(QStringLiteral("history.sqlite.broken-")));
    form.History().Record(MakeCall(QStringLiteral("AccountsList"), QStringLiteral("{}")));
    form.History().WaitIdle();
    QApplication::processEvents();
    EXPECT_EQ(form.findChildren<QMessageBox*>().size(), 1);
}

// Joe's balance going from 5 to 7, as the line diff of the two answers' Pretty text shows it.
const QString JoeBalanceDiff = QStringLiteral("  {\n"
                                              "    \"Player\": \"joe\",\n"
                                              "-   \"Balance\": 5\n"
                                              "+   \"Balance\": 7\n"
                                              "  }\n");

} // namespace

// A call kept with its before copy: "Before copy" opens the read's answer, the list names the
// profile, and two selected calls compare as a line diff of their Pretty text, older first, the
// lines marked by - and +.
TEST_F(HistoryWindowTest, BeforeCopyOpensAndTwoAnswersCompareAsALineDiff) {
    THistoryCall read = MakeCall(QStringLiteral("AccountsGet"),
                                 QStringLiteral("{\"Player\":\"joe\",\"Balance\":5}"));
    read.Profile = QStringLiteral("live");
    THistoryCall change = MakeCall(QStringLiteral("AccountsEdit"), QStringLiteral("{}"));
    change.Profile = QStringLiteral("live");
    change.BeforeCopy = std::make_shared<THistoryCall>(read);
    Record(change);
    Record(MakeCall(QStringLiteral("AccountsGet"),
                    QStringLiteral("{\"Player\":\"joe\",\"Balance\":7}")));
    THistoryForm& window = OpenHistory();
    ASSERT_EQ(window.Model->rowCount(), 3);
    EXPECT_TRUE(window.Model->index(1, THistoryModel::Server)
                    .data()
                    .toString()
                    .startsWith(QStringLiteral("profile 'live': http://")));

    window.CallList->setCurrentIndex(window.Model->index(1, 0));
    const SeenResults before = WatchResults([&] { window.BeforeButton->click(); });
    EXPECT_TRUE(before.Shown);
    EXPECT_EQ(before.Text, QStringLiteral("{\"Player\":\"joe\",\"Balance\":5}"));

    // One call selected is not a comparison.
    window.CallList->selectionModel()->select(
        window.Model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QApplication::setActiveWindow(&window); // the results window had it
    QTest::keyClick(&window, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(window.CompareWindow, nullptr);
    EXPECT_TRUE(window.StatusLabel->text().contains(QStringLiteral("Select two calls")));

    window.CallList->selectionModel()->select(
        window.Model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.CompareButton->click();
    ASSERT_NE(window.CompareWindow, nullptr);
    EXPECT_TRUE(window.CompareWindow->isVisible());
    EXPECT_EQ(window.CompareText->toPlainText(), JoeBalanceDiff);
    window.CompareWindow->close();
}

// A call kept with its before copy shows the read's answer beside its own under the list, as
// Pretty text, or the line diff of the two (Alt+D); a call without one shows its answer alone.
TEST_F(HistoryWindowTest, CallShowsItsBeforeCopyBesideItsAnswer) {
    THistoryCall read = MakeCall(QStringLiteral("AccountsGet"),
                                 QStringLiteral("{\"Player\":\"joe\",\"Balance\":5}"));
    THistoryCall change = MakeCall(QStringLiteral("AccountsEdit"),
                                   QStringLiteral("{\"Player\":\"joe\",\"Balance\":7}"));
    change.BeforeCopy = std::make_shared<THistoryCall>(read);
    Record(change);
    Record(MakeCall(QStringLiteral("SystemStats"), QStringLiteral("{\"Result\":\"Ok\"}")));
    THistoryForm& window = OpenHistory();
    ASSERT_EQ(window.Model->rowCount(), 3);
    TAnswerPane& pane = *window.AnswerPane;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Previewing(); }, 10000));
    EXPECT_EQ(pane.ShownId(), window.Model->CallId(0));
    EXPECT_EQ(pane.AnswerText->toPlainText(), QStringLiteral("{\n  \"Result\": \"Ok\"\n}\n"));
    EXPECT_TRUE(pane.AnswerCaption->text().startsWith(QStringLiteral("Answer of SystemStats, ")));
    EXPECT_TRUE(pane.BeforeText->isHidden());
    EXPECT_TRUE(pane.LineDiff->isHidden());

    window.CallList->setFocus();
    QTest::keyClick(window.CallList, Qt::Key_Down);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Previewing(); }, 10000));
    EXPECT_EQ(pane.ShownId(), window.Model->CallId(1));
    EXPECT_TRUE(pane.BeforeText->isVisible());
    EXPECT_TRUE(pane.AnswerText->isVisible());
    EXPECT_LT(pane.BeforeText->x(), pane.AnswerText->x());
    EXPECT_TRUE(pane.BeforeCaption->text().startsWith(QStringLiteral("Before copy: AccountsGet, ")))
        << pane.BeforeCaption->text().toStdString();
    EXPECT_TRUE(pane.BeforeCaption->text().endsWith(QStringLiteral(": HTTP/1.1 200 OK")));
    EXPECT_EQ(pane.BeforeText->toPlainText(),
              QStringLiteral("{\n  \"Player\": \"joe\",\n  \"Balance\": 5\n}\n"));
    EXPECT_EQ(pane.AnswerText->toPlainText(),
              QStringLiteral("{\n  \"Player\": \"joe\",\n  \"Balance\": 7\n}\n"));
    EXPECT_EQ(pane.BeforeText->accessibleName(), QStringLiteral("Before copy"));
    EXPECT_EQ(pane.BeforeText->accessibleDescription(), pane.BeforeCaption->text());

    ASSERT_TRUE(pane.LineDiff->isVisible());
    QTest::keyClick(&window, Qt::Key_D, Qt::AltModifier);
    // A mnemonic clicks the button as a click looks, a moment later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane.LineDiff->isChecked(); }, 5000));
    EXPECT_TRUE(pane.DiffText->isVisible());
    EXPECT_FALSE(pane.BeforeText->isVisible());
    EXPECT_EQ(pane.DiffText->toPlainText(), JoeBalanceDiff);
    EXPECT_TRUE(pane.DiffCaption->text().contains(QStringLiteral("Before copy: AccountsGet")));
    // The switch holds for the next call; one without a before copy shows its answer alone.
    QTest::keyClick(window.CallList, Qt::Key_Up);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Previewing(); }, 10000));
    EXPECT_TRUE(pane.AnswerText->isVisible());
    EXPECT_FALSE(pane.DiffText->isVisible());
    EXPECT_FALSE(pane.LineDiff->isVisible());
}

// At a large font the answers are as large as the rest of the window's text, not at the fixed
// font's own small size.
TEST(HistoryWindowFont, AnswersFollowALargeFont) {
    const QFont saved = QApplication::font();
    QFont large = saved;
    large.setPointSize(22);
    QApplication::setFont(large);
    QTemporaryDir data;
    THistoryRecorder recorder(data.filePath(QStringLiteral("history")));
    {
        THistoryForm window(recorder, {}, {}, nullptr);
        for (const QPlainTextEdit* text :
             {window.AnswerPane->AnswerText, window.AnswerPane->BeforeText,
              window.AnswerPane->DiffText})
            EXPECT_EQ(text->font().pointSize(), 22) << text->accessibleName().toStdString();
    }
    QApplication::setFont(saved);
}

// A before copy that failed, was cancelled or is no longer kept says so in its caption, with how
// it ended; what did come of it is still shown.
TEST_F(HistoryWindowTest, FailedBeforeCopyShowsHowItEnded) {
    const QString refused = QStringLiteral("Socket Error # 10061\r\nConnection refused.");
    const struct {
        const char* What;
        THistoryOutcome Outcome;
        const char* StatusLine;
        QString Error;
        const char* Answer;
        const char* Caption; // its start
    } cases[] = {
        {"refused", THistoryOutcome::Error, "", refused, "",
         "The before copy failed: Socket Error # 10061 (AccountsGet, "},
        {"not found", THistoryOutcome::Error, "HTTP/1.1 404 Not Found",
         QStringLiteral("HTTP/1.1 404 Not Found"), "No such player",
         "The before copy failed: HTTP/1.1 404 Not Found (AccountsGet, "},
        {"cancelled",
         THistoryOutcome::Cancelled,
         "",
         {},
         "",
         "The before copy failed: cancelled (AccountsGet, "},
        {"dropped",
         THistoryOutcome::Answer,
         "HTTP/1.1 200 OK",
         {},
         "{}",
         "The before copy is no longer in the history."},
    };
    for (const auto& c : cases) {
        THistoryCall read =
            MakeCall(QStringLiteral("AccountsGet"), QString::fromUtf8(c.Answer), c.Outcome);
        read.StatusLine = QString::fromUtf8(c.StatusLine);
        read.ErrorText = c.Error;
        THistoryCall change =
            MakeCall(QStringLiteral("AccountsDelete"), QStringLiteral("{\"Result\":\"Ok\"}"));
        change.BeforeCopy = std::make_shared<THistoryCall>(read);
        Record(change);
    }
    FForm->History().WaitIdle();
    {
        // The limits drop the oldest first, a before copy before the call that names it.
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("drop"));
        db.setDatabaseName(HistoryFile());
        ASSERT_TRUE(db.open());
        QSqlQuery drop(db);
        ASSERT_TRUE(drop.exec(QStringLiteral(
            "DELETE FROM calls WHERE id = (SELECT before_copy FROM calls ORDER BY id DESC "
            "LIMIT 1)")));
        EXPECT_EQ(drop.numRowsAffected(), 1);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("drop"));
    THistoryForm& window = OpenHistory();
    const int calls = static_cast<int>(std::size(cases));
    ASSERT_EQ(window.Model->rowCount(), 2 * calls - 1);
    TAnswerPane& pane = *window.AnswerPane;
    for (int i = 0; i < calls; ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.What);
        // Newest first, each call over its before copy; the newest call's is gone.
        const int row = i == calls - 1 ? 0 : 2 * (calls - 1 - i) - 1;
        ASSERT_EQ(
            window.Model->index(row, THistoryModel::Command).data().toString().section(u' ', 0, 0),
            QStringLiteral("AccountsDelete"));
        window.CallList->setCurrentIndex(window.Model->index(row, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Previewing(); }, 10000));
        EXPECT_TRUE(pane.BeforeCaption->text().startsWith(QString::fromUtf8(c.Caption)))
            << pane.BeforeCaption->text().toStdString();
        EXPECT_TRUE(pane.BeforeText->isVisible());
        EXPECT_TRUE(pane.BeforeCaption->font().bold());
        if (i < calls - 1) {
            EXPECT_EQ(pane.BeforeText->toPlainText(),
                      *c.Answer ? QString::fromUtf8(c.Answer) + u'\n' : QString());
        }
        EXPECT_EQ(pane.AnswerText->toPlainText(), QStringLiteral("{\n  \"Result\": \"Ok\"\n}\n"));
    }
}

// In the list a before copy is named as one, and so is the call that has one; typing a profile's
// name finds the calls made as that profile.
TEST_F(HistoryWindowTest, ListMarksBeforeCopiesAndFiltersByProfile) {
    THistoryCall read = MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("{}"));
    read.Profile = QStringLiteral("Live-EU");
    THistoryCall change = MakeCall(QStringLiteral("AccountsDelete"), QStringLiteral("{}"));
    change.Profile = QStringLiteral("Live-EU");
    change.BeforeCopy = std::make_shared<THistoryCall>(read);
    Record(change);
    THistoryCall staging = MakeCall(QStringLiteral("AccountsGet"), QStringLiteral("{}"));
    staging.Profile = QStringLiteral("staging");
    Record(staging);
    THistoryForm& window = OpenHistory();
    EXPECT_EQ(Column(window, THistoryModel::Command),
              (QStringList{QStringLiteral("AccountsGet"),
                           QStringLiteral("AccountsDelete (with before copy)"),
                           QStringLiteral("AccountsGet (before copy)")}));
    const auto tip = [&](int ARow) {
        return window.Model->index(ARow, THistoryModel::Command).data(Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(tip(0), QString());
    EXPECT_TRUE(tip(1).contains(QStringLiteral("before copy")));
    EXPECT_TRUE(tip(2).contains(QStringLiteral("the call after it")));

    const struct {
        const char* Filter;
        QStringList Commands;
    } cases[] = {
        {"live-eu",
         {QStringLiteral("AccountsDelete (with before copy)"),
          QStringLiteral("AccountsGet (before copy)")}},
        {"STAG", {QStringLiteral("AccountsGet")}},
        {"-", // no letter: not a word, looked for inside the names
         {QStringLiteral("AccountsDelete (with before copy)"),
          QStringLiteral("AccountsGet (before copy)")}},
        {"production", {}},
    };
    for (const auto& c : cases) {
        window.FilterEdit->clear();
        QTest::keyClicks(window.FilterEdit, QString::fromUtf8(c.Filter));
        WaitListed(window);
        EXPECT_EQ(Column(window, THistoryModel::Command), c.Commands) << c.Filter;
    }
}
