// The results window's views of the answer as data, driven by keys: the tree (Ctrl+T) with its
// counts, copies and find, the table (Ctrl+B) with its picker, sort, quick filter, CSV and copied
// rows, and the jq filter line (Ctrl+G) whose results every view shows, remembered per command.

#include "AnswerDataPane.h"
#include "AnswerTableModel.h"
#include "AnswerTreeModel.h"
#include "FilterMemory.h"
#include "ResultsFilterBar.h"
#include "ResultsFixture.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

namespace {

class AnswerViewsTest : public ResultsTest {
protected:
    TAnswerDataPane& Pane() { return *FForm.DataPane; }
    TResultsFilterBar& Filter() { return *FForm.FilterBar; }
    // The text view's whole text, line breaks as LF.
    QString Shown() const {
        const auto& document = FForm.ResultsMemo->Document();
        return document ? document->Text(0, document->Length()) : QStringLiteral("<none>");
    }
    QString TreeText(const QModelIndex& AIndex, int AColumn) {
        return AIndex.siblingAtColumn(AColumn).data().toString();
    }
    QString Column(int AColumn) {
        QString text;
        const auto& model = *Pane().TableModel;
        for (int row = 0; row < model.rowCount(); ++row)
            text += model.index(row, AColumn).data().toString() + u' ';
        return text.trimmed();
    }
};

const QString Answer = QStringLiteral(
    R"({"Result":"Ok","Accounts":[{"Player":"ann","Balance":12.5},{"Player":"bob","Balance":100},)"
    R"({"Player":"cy","Balance":-3,"Tags":["x"]}],"Tables":{"Name":["t1","t2"],"Seats":[9,6]}})");

} // namespace

TEST_F(AnswerViewsTest, TreeCountsCopiesAndFinds) {
    SetAnswer(Answer);
    QAbstractItemModelTester tester(Pane().TreeModel,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    Key(Qt::Key_T, Qt::ControlModifier);
    ASSERT_TRUE(Pane().isVisible());
    EXPECT_FALSE(FForm.ResultsMemo->isVisible());
    const QModelIndex top = Pane().TreeModel->index(0, 0);
    EXPECT_EQ(TreeText(top, 0), "(answer)");
    EXPECT_EQ(TreeText(top, 1), "{3}");
    const QModelIndex accounts = Pane().TreeModel->index(1, 0, top);
    EXPECT_EQ(TreeText(accounts, 0), "Accounts");
    EXPECT_EQ(TreeText(accounts, 1), "[3]");

    QTest::keyClicks(Pane().TreeFind, QStringLiteral("BOB"));
    QTest::keyClick(Pane().TreeFind, Qt::Key_Return);
    const QModelIndex found = Pane().TreeView->currentIndex();
    EXPECT_EQ(TreeText(found, 1), "bob");
    EXPECT_TRUE(Pane().TreeView->isExpanded(found.parent()));
    Pane().TreeView->setFocus();
    QTest::keyClick(Pane().TreeView, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), ".Accounts[1].Player");
    Pane().TreeView->setCurrentIndex(found.parent());
    QTest::keyClick(Pane().TreeView, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), R"({"Player":"bob","Balance":100})");

    // The same key goes back to the text.
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_FALSE(Pane().isVisible());
    EXPECT_TRUE(FForm.ResultsMemo->isVisible());
}

TEST_F(AnswerViewsTest, LargeArraysOpenAtOnce) {
    QString text = QStringLiteral("[");
    for (int i = 0; i < 200000; ++i)
        text += (i ? QStringLiteral(",") : QString()) + QString::number(i);
    SetAnswer(text + u']');
    Key(Qt::Key_T, Qt::ControlModifier);
    const QModelIndex top = Pane().TreeModel->index(0, 0);
    EXPECT_EQ(TreeText(top, 1), "[200000]");
    EXPECT_TRUE(Pane().TreeView->isExpanded(top));
    const QModelIndex last = Pane().TreeModel->index(199999, 0, top);
    EXPECT_EQ(TreeText(last, 0), "[199999]");
    EXPECT_EQ(Pane().TreeModel->parent(last), top);
}

TEST_F(AnswerViewsTest, TableSortsFiltersAndCopies) {
    SetAnswer(Answer);
    QAbstractItemModelTester tester(Pane().TableModel,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    Key(Qt::Key_B, Qt::ControlModifier);
    ASSERT_TRUE(Pane().TableView->isVisible());
    ASSERT_EQ(Pane().TablePicker->count(), 2); // the accounts, and the tables side by side
    EXPECT_TRUE(Pane().TablePicker->isVisible());
    EXPECT_EQ(Column(0), "ann bob cy");
    EXPECT_EQ(Pane().TableModel->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                  Qt::AlignRight,
              Qt::AlignRight);
    // A header click sorts numbers as numbers; a second one turns the order round.
    const QHeaderView& header = *Pane().TableView->horizontalHeader();
    const QPoint balance(header.sectionViewportPosition(1) + 5, header.height() / 2);
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, balance);
    EXPECT_EQ(Column(1), "-3 12.5 100");
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, balance);
    EXPECT_EQ(Column(1), "100 12.5 -3");

    Pane().TableView->selectRow(0);
    Pane().TableView->setFocus();
    QTest::keyClick(Pane().TableView, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "bob\t100\t\n");

    QTest::keyClicks(Pane().TableFilter, QStringLiteral("N"));
    EXPECT_EQ(Column(0), "ann");
    // A sort keeps the filter's rows.
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, balance);
    EXPECT_EQ(Column(0), "ann");
    EXPECT_EQ(Pane().TableCsvText(), "Player,Balance,Tags\r\nann,12.5,\r\n");

    Pane().TablePicker->setCurrentIndex(1);
    EXPECT_EQ(Pane().TableModel->columnCount(), 2);
    Pane().TableFilter->clear();
    EXPECT_EQ(Column(1), "9 6");
}

TEST_F(AnswerViewsTest, JqFilterFeedsTheViewsAndShowsErrors) {
    SetAnswer(Answer);
    Key(Qt::Key_B, Qt::ControlModifier);
    Key(Qt::Key_G, Qt::ControlModifier);
    ASSERT_TRUE(Filter().isVisible());
    EXPECT_TRUE(Filter().FilterLine->hasFocus());
    QTest::keyClicks(Filter().FilterLine, QStringLiteral(".Accounts[] | select(.Balance > 0)"));
    QTest::keyClick(Filter().FilterLine, Qt::Key_Return);
    WaitIdle();
    EXPECT_FALSE(Filter().FilterError->isVisible());
    EXPECT_TRUE(Pane().isVisible());
    EXPECT_EQ(Column(0), "ann bob");

    // An error shows under the line and leaves the views as they were; a program that fails on
    // a later result shows the results before it.
    FForm.ApplyFilter(QStringLiteral(".Accounts["));
    WaitIdle();
    EXPECT_TRUE(Filter().FilterError->isVisible());
    EXPECT_TRUE(Filter().FilterError->text().contains(QStringLiteral("syntax error")));
    EXPECT_EQ(Column(0), "ann bob");
    FForm.ApplyFilter(QStringLiteral(".Accounts[] | {Player} | if .Player == \"cy\" then "
                                     "error(\"no cy\") else . end"));
    WaitIdle();
    EXPECT_EQ(Filter().FilterError->text(), "jq: error: no cy");
    EXPECT_EQ(Column(0), "ann bob");
    FForm.ApplyFilter(QStringLiteral(".Result"));
    FForm.ApplyFilter(QString());
    WaitIdle();
    EXPECT_FALSE(Filter().FilterError->isVisible());
    EXPECT_EQ(Column(0), "ann bob cy");
}

// The filter's results in the text views: Raw as `jq -c` prints them, Pretty indented; find and
// Save As work on them and the status line says a filter is applied; cleared, the answer comes
// back with the documents it had.
TEST_F(AnswerViewsTest, JqFilterResultsInRawAndPrettyAndBack) {
    QTemporaryDir folder;
    QString saved = folder.filePath(QStringLiteral("filtered.json"));
    FForm.AskSaveFileName = [&](QWidget*, const QString&) { return saved; };
    const auto read = [&] {
        QFile file(saved);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    };
    SetAnswer(Answer);
    const auto answerRaw = FForm.ResultsMemo->Document();
    Key(Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(Filter().FilterLine,
                     QStringLiteral(".Accounts[:2][] | {Who: \"\\(.Player)!\", Balance}"));
    QTest::keyClick(Filter().FilterLine, Qt::Key_Return);
    WaitIdle();
    const QString compact =
        QStringLiteral("{\"Who\":\"ann!\",\"Balance\":12.5}\n{\"Who\":\"bob!\",\"Balance\":100}");
    EXPECT_EQ(Shown(), compact);
    EXPECT_EQ(FForm.Filter(), ".Accounts[:2][] | {Who: \"\\(.Player)!\", Balance}");
    EXPECT_TRUE(FForm.StatusLine->text().startsWith(QStringLiteral("jq filter applied | ")))
        << FForm.StatusLine->text().toStdString();
    EXPECT_TRUE(
        FForm.StatusLine->toolTip().endsWith(QStringLiteral("\njq filter: ") + FForm.Filter()));
    Key(Qt::Key_S, Qt::ControlModifier);
    WaitIdle();
    EXPECT_EQ(read(), compact.toUtf8());

    FForm.SetPrettyChoice(true);
    WaitIdle();
    ASSERT_TRUE(FForm.ShowingPretty());
    const QString indented = QStringLiteral("{\n  \"Who\": \"ann!\",\n  \"Balance\": 12.5\n}\n{\n  "
                                            "\"Who\": \"bob!\",\n  \"Balance\": 100\n}");
    EXPECT_EQ(Shown(), indented);
    Key(Qt::Key_S, Qt::ControlModifier);
    WaitIdle();
    EXPECT_EQ(read(), (indented + u'\n').toUtf8());
    FForm.FindBar->Open();
    QTest::keyClicks(FForm.FindBar->FindEdit, QStringLiteral("bob!"));
    WaitIdle();
    EXPECT_EQ(Count(), "1 of 1");
    EXPECT_EQ(Selected(), "bob!");

    // Cleared: the answer again, its raw document the one made before; found no more.
    Filter().FilterLine->setFocus();
    Filter().FilterLine->clear();
    QTest::keyClick(Filter().FilterLine, Qt::Key_Return);
    WaitIdle();
    EXPECT_EQ(FForm.ShownText()->size(), std::size_t(Answer.size()));
    EXPECT_TRUE(FForm.Filter().isEmpty());
    EXPECT_FALSE(FForm.StatusLine->text().contains(QStringLiteral("jq filter")));
    EXPECT_TRUE(Shown().startsWith(QStringLiteral("{\n  \"Result\": \"Ok\",\n")));
    EXPECT_EQ(Count(), "0 of 0");
    FForm.SetPrettyChoice(false);
    WaitIdle();
    EXPECT_EQ(FForm.ResultsMemo->Document(), answerRaw);

    // No results: an empty text, raw and pretty, not "Not JSON".
    FForm.SetPrettyChoice(true);
    FForm.ApplyFilter(QStringLiteral("empty"));
    WaitIdle();
    EXPECT_EQ(Shown(), "");
    EXPECT_FALSE(FForm.StatusLine->text().contains(QStringLiteral("Not JSON")));
}

// A newer filter stops an older one between its results: a program of a billion results gives
// way at once, its results never shown.
TEST_F(AnswerViewsTest, NewerFilterStopsTheOlderOne) {
    SetAnswer(Answer);
    int ran = 0;
    QObject::connect(&Filter(), &TResultsFilterBar::Ran, [&] { ++ran; });
    FForm.ApplyFilter(QStringLiteral("range(1e9)"));
    ASSERT_TRUE(FForm.Busy());
    FForm.ApplyFilter(QStringLiteral(".Result"));
    // Without the stop, the first run would hold the window busy for minutes.
    WaitIdle();
    EXPECT_FALSE(Filter().Running());
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(Shown(), "\"Ok\"");
    EXPECT_EQ(FForm.Filter(), ".Result");

    // Cleared while a run goes on: the answer stays, the run stops.
    FForm.ApplyFilter(QStringLiteral("range(1e9)"));
    FForm.ApplyFilter(QString());
    WaitIdle();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(FForm.ShownText()->size(), std::size_t(Answer.size()));
}

// The filters used are remembered per command through the window's owner: the last one comes
// back with the command's next answer (only offered on a large one), Up and Down step through
// them, and a filter cleared is not brought back.
TEST_F(AnswerViewsTest, FiltersRememberedPerCommand) {
    QTemporaryDir folder;
    TFilterMemory memory(folder.filePath(QStringLiteral("Tessarine.conf")));
    FForm.SetFilterRecall(
        {[&](const QString& ACommand) { return memory.Recent(ACommand); },
         [&](const QString& ACommand, const QString& AFilter) { memory.Use(ACommand, AFilter); }});
    FForm.SetCommand(QStringLiteral("AccountsList"));
    SetAnswer(Answer);
    EXPECT_TRUE(FForm.Filter().isEmpty());
    for (const QString& program : {QStringLiteral(".Accounts | length"), QStringLiteral(".Result"),
                                   QStringLiteral(".Accounts[")}) {
        FForm.ApplyFilter(program);
        WaitIdle();
    }
    // A program that failed is not remembered.
    EXPECT_EQ(memory.Recent(QStringLiteral("AccountsList")).Filters,
              (QStringList{QStringLiteral(".Result"), QStringLiteral(".Accounts | length")}));

    SetAnswer(QStringLiteral("{\"Result\":\"Again\",\"Accounts\":[]}"));
    EXPECT_EQ(FForm.Filter(), ".Result");
    EXPECT_EQ(Shown(), "\"Again\"");
    EXPECT_TRUE(Filter().isVisible());
    Filter().FilterLine->setFocus();
    Key(Qt::Key_Up);
    EXPECT_EQ(Filter().FilterLine->text(), ".Accounts | length");
    Key(Qt::Key_Up);
    EXPECT_EQ(Filter().FilterLine->text(), ".Accounts | length");
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    EXPECT_EQ(Filter().FilterLine->text(), ".Result");
    Key(Qt::Key_Up);
    Key(Qt::Key_Return);
    EXPECT_EQ(Shown(), "0");
    EXPECT_EQ(memory.Recent(QStringLiteral("AccountsList")).Filters.front(), ".Accounts | length");

    // Another command has filters of its own.
    FForm.SetCommand(QStringLiteral("TablesList"));
    SetAnswer(Answer);
    EXPECT_TRUE(FForm.Filter().isEmpty());
    EXPECT_TRUE(Filter().FilterLine->text().isEmpty());
    EXPECT_TRUE(Filter().History().isEmpty());

    // A large answer gets the filter offered, not applied, until Enter.
    FForm.SetCommand(QStringLiteral("AccountsList"));
    QString large = QStringLiteral("{\"Result\":\"%1\",\"Accounts\":[1,2]}")
                        .arg(QString(qsizetype(TResultsForm::AutoFilterUnits), u'x'));
    SetAnswer(large);
    EXPECT_TRUE(FForm.Filter().isEmpty());
    EXPECT_EQ(Filter().FilterLine->text(), ".Accounts | length");
    EXPECT_TRUE(Filter().FilterNote->isVisible());
    Filter().FilterLine->setFocus();
    Key(Qt::Key_Return);
    EXPECT_EQ(Shown(), "2");
    EXPECT_FALSE(Filter().FilterNote->isVisible());

    // Cleared: offered again, not brought back.
    FForm.ApplyFilter(QString());
    WaitIdle();
    SetAnswer(Answer);
    EXPECT_TRUE(FForm.Filter().isEmpty());
    EXPECT_EQ(Filter().History().size(), 2);
}
