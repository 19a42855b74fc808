#pragma once

#include "TextDocument.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <memory>

class QLabel;
class QLineEdit;
class QToolButton;

// What a jq program made of an answer: its results compact, one per line, as `jq -c` prints them
// (without the last line break), with their raw document.
struct TFilterOutput {
    QString Program;
    TTextDocument::TText Text;
    std::shared_ptr<const TTextDocument> Raw;
    // False when the program did not compile: then there are no results, only the error.
    bool Compiled = true;
    // jq's messages: the program's, the input's, or those of a result that failed (the results
    // before it are in Text).
    QString Error;
};

// The jq filter line over the results views (Ctrl+G): the program typed, the filters used before
// on this command's answers (a drop-down, a completer, Up and Down), errors and notes under the
// line, and the runs of a program over an answer off the user-interface thread. A newer run stops
// an older one between two of its results; only the newest run's output is handed out.
class TResultsFilterBar : public QWidget {
    Q_OBJECT
public:
    explicit TResultsFilterBar(QWidget* AParent = nullptr);
    ~TResultsFilterBar() override;

    // Shows the bar with the cursor in the line, its text selected for typing over.
    void Open();
    // The filters offered, the most recent first.
    void SetHistory(const QStringList& AFilters);
    const QStringList& History() const { return FHistory; }
    // Runs AProgram over AAnswer; a run still going is told to stop.
    void Run(TTextDocument::TText AAnswer, const QString& AProgram);
    // Tells the run going to stop; its output is not handed out.
    void Stop();
    // Whether the newest run's output is still to come.
    bool Pending() const { return FPending; }
    // Whether any run, stopped ones included, has still to end.
    bool Running() const { return FRuns > 0; }
    // A jq error under the line, and a note; empty hides them.
    void ShowError(const QString& AText);
    void ShowNote(const QString& AText);

    QLineEdit* FilterLine;
    QToolButton* HistoryButton;
    QLabel* FilterError;
    QLabel* FilterNote;

signals:
    // The user asked for the program in the line (Enter); empty: the answer unfiltered.
    void Requested(const QString& AProgram);
    // The newest run has ended (not when it was stopped).
    void Ran(const TFilterOutput& AOutput);
    // A run has ended, stopped or not.
    void RunEnded();

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    void StepHistory(int AStep);

    QStringList FHistory;
    int FHistoryAt = -1; // the filter shown by Up and Down; -1: the text typed
    QString FTyped;
    std::shared_ptr<std::atomic<bool>> FCancel;
    QObject* FNewest = nullptr; // the watcher of the newest run
    int FRuns = 0;
    bool FPending = false;
};
