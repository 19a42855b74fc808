// The results window's views of the answer as data, driven by keys: the tree (Ctrl+T) with its
// counts, copies and find, the table (Ctrl+B) with its picker, sort, quick filter, CSV and copied
// rows, and the jq filter line (Ctrl+G) whose result the views show.

#include "AnswerDataPane.h"
#include "AnswerTableModel.h"
#include "AnswerTreeModel.h"
#include "ResultsFixture.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTreeView>

namespace {

class AnswerViewsTest : public ResultsTest {
protected:
    TAnswerDataPane& Pane() { return *FForm.DataPane; }
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
    EXPECT_EQ(Pane().TableCsvText(), "Player,Balance,Tags\r\nann,12.5,\r\n");

    Pane().TablePicker->setCurrentIndex(1);
    EXPECT_EQ(Pane().TableModel->columnCount(), 2);
    Pane().TableFilter->clear();
    EXPECT_EQ(Column(1), "9 6");
}

TEST_F(AnswerViewsTest, JqFilterFeedsTheViewsAndShowsErrors) {
    SetAnswer(Answer);
    Key(Qt::Key_G, Qt::ControlModifier);
    ASSERT_TRUE(Pane().isVisible());
    EXPECT_TRUE(Pane().FilterLine->hasFocus());
    QTest::keyClicks(Pane().FilterLine, QStringLiteral(".Accounts[] | select(.Balance > 0)"));
    QTest::keyClick(Pane().FilterLine, Qt::Key_Return);
    WaitIdle();
    EXPECT_FALSE(Pane().FilterError->isVisible());
    Key(Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(Column(0), "ann bob");

    // A newer filter replaces the older one; an error shows under the line.
    Pane().SetFilter(QStringLiteral(".Accounts["));
    WaitIdle();
    EXPECT_TRUE(Pane().FilterError->isVisible());
    EXPECT_TRUE(Pane().FilterError->text().contains(QStringLiteral("syntax error")));
    Pane().SetFilter(QStringLiteral(".Result"));
    Pane().SetFilter(QString());
    WaitIdle();
    EXPECT_FALSE(Pane().FilterError->isVisible());
    EXPECT_EQ(Column(0), "ann bob cy");
}
