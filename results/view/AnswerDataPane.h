#pragma once

#include "AnswerTable.h"
#include "AnswerTree.h"
#include "TextDocument.h"

#include <QFutureWatcher>
#include <QWidget>

#include <atomic>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTableView;
class QTreeView;
class TAnswerTableModel;
class TAnswerTreeModel;

// The answer as data beside the text views: a tree of its values (Ctrl+T) and a table of one of
// its arrays of objects (Ctrl+B), both over a jq filter line (Ctrl+G) whose result they show in
// place of the answer. Reading the answer and running a filter happen off the user-interface
// thread; a newer filter stops an older one.
class TAnswerDataPane : public QWidget {
    Q_OBJECT
public:
    enum class TMode { Tree, Table };
    explicit TAnswerDataPane(QWidget* AParent = nullptr);
    ~TAnswerDataPane() override;

    // The answer to show; read when first shown (the same answer again is not read twice).
    void SetAnswer(TTextDocument::TText AText);
    void ShowMode(TMode AMode);
    TMode Mode() const { return FMode; }
    // Opens the filter line and puts the cursor into it.
    void OpenFilter();
    // Runs AProgram over the answer; empty shows the answer itself.
    void SetFilter(const QString& AProgram);
    // Whether reading or a filter is still running.
    bool Busy() const { return FReadPending || FFilterPending; }

    // Copies the current tree node's value as JSON, its path in jq's syntax.
    void CopyValue();
    void CopyPath();
    // Selects the next tree node whose key or value holds AText.
    bool FindNext(const QString& AText);
    // Copies the selected table rows as tab-separated text.
    void CopyRows();
    // The shown table's rows (filtered, in their order) as CSV.
    QString TableCsvText() const;
    // Writes the table as CSV to a file, asking for its name.
    void ExportCsv();

    QLineEdit* FilterLine;
    QLabel* FilterError;
    QStackedWidget* Views;
    QLineEdit* TreeFind;
    QTreeView* TreeView;
    QComboBox* TablePicker;
    QLineEdit* TableFilter;
    QLabel* TableNote;
    QTableView* TableView;
    TAnswerTreeModel* TreeModel;
    TAnswerTableModel* TableModel;

signals:
    // Reading or a filter has ended and the views show its result.
    void Idle();

private:
    struct TRead {
        std::shared_ptr<const TAnswerTree> Tree;
        QString Error;
        bool Cancelled = false;
    };
    void StartRead();
    void Show(TRead ARead);
    void ShowTable(int APick);

    TTextDocument::TText FAnswer;
    TTextDocument::TText FReadFor; // the answer the tree is of
    std::shared_ptr<const std::string> FAnswerUtf8;
    std::shared_ptr<const TAnswerTree> FTree;
    std::vector<std::uint32_t> FTables;
    TMode FMode = TMode::Tree;
    QString FProgram;
    bool FReadPending = false;
    bool FFilterPending = false;
    std::shared_ptr<std::atomic<bool>> FCancel;
    QFutureWatcher<TRead> FReadWatcher;
    QFutureWatcher<TRead> FFilterWatcher;
};
