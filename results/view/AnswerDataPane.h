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
// its arrays of objects (Ctrl+B), of the answer or of a jq filter's results (the window's filter
// line). Reading the text happens off the user-interface thread; a newer text stops an older
// reading.
class TAnswerDataPane : public QWidget {
    Q_OBJECT
public:
    enum class TMode { Tree, Table };
    explicit TAnswerDataPane(QWidget* AParent = nullptr);
    ~TAnswerDataPane() override;

    // The text to show; read when first shown (the same text again is not read twice).
    // ASequence: the text holds a filter's results, one per line, shown as one array when there
    // are several.
    void SetAnswer(TTextDocument::TText AText, bool ASequence = false);
    void ShowMode(TMode AMode);
    TMode Mode() const { return FMode; }
    // Whether reading is still running.
    bool Busy() const { return FReadPending; }

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

    QLabel* ReadError; // why the text has no tree
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
    // Reading has ended and the views show its result.
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
    bool FSequence = false;
    TTextDocument::TText FReadFor; // the text the tree is of
    std::shared_ptr<const TAnswerTree> FTree;
    std::vector<std::uint32_t> FTables;
    TMode FMode = TMode::Tree;
    bool FReadPending = false;
    std::shared_ptr<std::atomic<bool>> FCancel;
    QFutureWatcher<TRead> FReadWatcher;
};
