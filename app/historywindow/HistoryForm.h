#pragma once

#include "EntryTexts.h"
#include "HistoryModel.h"
#include "HistoryStore.h"

#include <QFutureWatcher>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class TAnswerPane;
class QDialog;
class QPlainTextEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QTableView;
class THistoryRecorder;
class THistorySearch;

// The call history window: a filter over the list of calls, opening a call's answer, loading a
// call back into the grid, clearing the history and turning recording on and off. A failure to
// record or to read shows in its status line, and so does the indexing of answers left for later.
// Under the list, the current call's answer, with its before copy when it has one; both are read
// and formatted off the user-interface thread, the newest call asked for first.
// The list is searched off the user-interface thread; each key typed into the filter stops the
// search of the one before. An empty list says why in its middle: no calls yet, or none that
// match the filter. The window opens centred over its owner.
class THistoryForm : public QWidget {
    Q_OBJECT
public:
    using TCallHandler = std::function<void(const THistoryCall&)>;

    // AOpen shows a call's answer, ALoad puts a call into the grid; both get the call with its
    // answer read.
    THistoryForm(THistoryRecorder& ARecorder, TCallHandler AOpen, TCallHandler ALoad,
                 QWidget* AParent);
    ~THistoryForm() override;

    // Reads the list again with the current filter; the rows come when the search is done.
    void Refresh();
    // A search whose rows are still to come.
    bool Searching() const;
    // The call on the list's current row, read in full; nothing when there is none.
    std::optional<THistoryCall> CurrentCall();
    // The answer pane is still to show the current call.
    bool Previewing() const;
    // Opens the answer of the read kept before the current call (its before copy).
    void OpenBeforeCopy();
    // Shows the line diff of the Pretty text of the two selected calls' answers, the older one
    // first; says in the status line when not two are selected.
    void CompareSelected();

    QLineEdit* FilterEdit;
    QTableView* CallList;
    QPushButton* OpenButton;
    QPushButton* LoadButton;
    QPushButton* BeforeButton;        // the current call's before copy
    QPushButton* CompareButton;       // Ctrl+D
    QDialog* CompareWindow = nullptr; // made when first asked for
    QPlainTextEdit* CompareText = nullptr;
    QPushButton* ClearButton;
    QCheckBox* KeepHistory;
    QLabel* StatusLabel;
    QLabel* EmptyLabel; // over the list while it has no rows
    TAnswerPane* AnswerPane;
    THistoryModel* Model;

    // Centres the window over its owner each time it opens; where the user moves it while it is
    // open stays.
    void setVisible(bool AVisible) override;

protected:
    void showEvent(QShowEvent* AEvent) override;
    void hideEvent(QHideEvent* AEvent) override;

private:
    void CreateCallList();
    void CreateEmptyLabel();
    void CreateCompareButtons();
    QSplitter* CreateAnswerPane();
    void Run(const TCallHandler& AHandler);
    void ShowCalls(const std::vector<THistorySummary>& ACalls, const QString& AError);
    void ShowIndexing(qint64 ALeft);
    void ShowStatus();
    void ShowEmptyState();
    std::optional<THistoryCall> LoadCall(qint64 AId);
    void PreviewCurrent();
    void StartPreview(qint64 AId);
    void ShowPreview();
    void ClearPreview();

    THistoryRecorder& FRecorder;
    TCallHandler FOpen;
    TCallHandler FLoad;
    THistoryStore FReader; // opens calls; on the user-interface thread
    QString FReadError;
    qint64 FIndexingLeft = 0;
    QString FIndexError;
    // The entry's texts for the answer pane, or why they could not be read.
    struct TPreview {
        qint64 Id = 0;
        TEntryTexts Texts;
        QString Error;
    };
    QFutureWatcher<TPreview>* FPreview;
    qint64 FPreviewWanted = 0;               // the current call, to be shown
    qint64 FPreviewDone = 0;                 // the call the pane shows, or failed to
    std::unique_ptr<THistorySearch> FSearch; // first to go: its workers stop before the rest
};
