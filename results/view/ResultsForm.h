#pragma once

#include "AnswerIntake.h"
#include "CallResult.h"
#include "FilterMemory.h"
#include "JsonFormat.h"
#include "TextDocument.h"

#include <QDateTime>
#include <QDialog>
#include <QFutureWatcher>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;
class TAnswerDataPane;
class TResultsFilterBar;
class TResultsFindBar;
struct TFilterOutput;
class TResultsView;

// Where the window that owns the results window keeps the jq filters used on each command's
// answers (see TFilterMemory); either may be left empty.
struct TFilterRecall {
    std::function<TRecentFilters(const QString& ACommand)> Recent;
    // AFilter was applied to an answer of ACommand; empty: it was shown unfiltered again.
    std::function<void(const QString& ACommand, const QString& AFilter)> Use;
};

// Every line break made a carriage return plus line feed: CR LF stays one break, a lone LF or
// a lone CR each become one.
QString CrLfLineBreaks(const QString& AText);

// The window that shows the text of the server's answer: a read-only, word-wrapped view in a
// fixed-pitch font that copes with answers of any size, raw or indented as JSON, with a find
// bar, saving, and a status line about the call. It keeps its size, place and text between
// showings within a run. Indexing and indenting run off the user-interface thread; the window
// shows at once with a progress bar while they do.
class TResultsForm : public QDialog {
    Q_OBJECT
public:
    explicit TResultsForm(QWidget* AParent = nullptr);
    ~TResultsForm() override;

    // Sets the text; the same text again changes nothing.
    void SetResultsText(const QString& AText);
    // The text as the window holds it, line breaks made CR LF.
    QString ResultsText() const;
    // Shows the answer of a call: its text, and what is known about it in the status line.
    // ACancelled: the part of an answer that came before the user cancelled the call.
    void SetCallResult(TCallResult AResult, bool ACancelled = false);
    const TCallResult& CallResult() const { return FResult; }
    // The command whose answers come next, for the filters remembered for it.
    void SetCommand(const QString& ACommand) { FCommand = ACommand; }
    const QString& Command() const { return FCommand; }
    void SetFilterRecall(TFilterRecall ARecall) { FRecall = std::move(ARecall); }

    // Runs a jq program over the answer, in the background, and shows its results in every view
    // (Raw: one per line, compact; Pretty: indented; the tree and the table); empty shows the
    // answer itself again. The same as Enter in the filter line.
    void ApplyFilter(const QString& AProgram);
    // The program whose results are shown; empty: the answer is.
    const QString& Filter() const { return FFilter; }
    // The text the views show: the answer, or the results of Filter().
    const TTextDocument::TText& ShownText() const { return FShown; }
    // A filter remembered for the command is applied to a new answer up to this many characters;
    // a larger answer only gets it offered in the line, as reading it whole into jq takes long.
    static constexpr std::size_t AutoFilterUnits = std::size_t(16) << 20;

    // Receiving an answer as it arrives, until EndAnswer shows the whole of it or AbandonAnswer
    // drops it: the view shows its first screen, the status line counts the bytes, and Cancel
    // (or closing the window) asks for the call to end (CancelRequested).
    void BeginAnswer(std::shared_ptr<TAnswerIntake> AIntake);
    // The call has ended: shows the intake's text, as SetCallResult shows AResult's (whose Text
    // is not used); ACancelled as there.
    void EndAnswer(TCallResult AResult, bool ACancelled = false);
    // Drops the answer being received and hides the window.
    void AbandonAnswer();
    bool Receiving() const { return FIntake != nullptr; }
    // How much of the answer the view shows while it arrives.
    static constexpr std::size_t PreviewUnits = std::size_t(1) << 17;

    // Shows the window modally over AOwner: centred over it the first time (kept on the
    // desktop), where the user left it every later time.
    void ShowModalOver(const QWidget& AOwner);
    // The same without waiting for the window to close.
    void ShowOver(const QWidget& AOwner);

    // Raw or indented JSON: the user's choice, remembered in the settings.
    bool PrettyChoice() const { return FWantPretty; }
    void SetPrettyChoice(bool APretty);
    // Whether the indented form is what the view shows.
    bool ShowingPretty() const;
    // Whether indexing, indenting, wrapping, a search or a save are still running.
    bool Busy() const;

    // Saves the shown text as UTF-8, asking for the file name, and writes it off the
    // user-interface thread; a failure is shown when the write has ended. False when nothing is
    // written: declined, or a save still running.
    bool Save();
    bool Saving() const { return !FSavingPath.isEmpty(); }
    // The default name of a saved answer.
    QString SuggestedFileName() const;
    // Asks for the file to save to; empty means the user declined. Replaceable for tests.
    std::function<QString(QWidget* AParent, const QString& ASuggestedPath)> AskSaveFileName;
    // The context menu of the text: Copy, Select All, Find, Save As, Raw and Pretty.
    std::unique_ptr<QMenu> MakeContextMenu();
    // The folder of the last save, offered next time.
    QString SaveFolder;

    TResultsView* ResultsMemo;
    TResultsFindBar* FindBar;
    TResultsFilterBar* FilterBar;
    QToolButton* PrettyButton;
    QLabel* StatusLine;
    QProgressBar* Progress;
    // The answer as a tree or a table, under a jq filter, in place of the text.
    TAnswerDataPane* DataPane;
    // Shows the data pane as a tree (Ctrl+T) or a table (Ctrl+B); the same key again goes back
    // to the text.
    void ShowDataView(int AMode);
    void ShowTextView();
    QPushButton* CancelButton; // while an answer is received

signals:
    // The user asked to stop receiving the answer.
    void CancelRequested();
    // All background work has ended and the view shows its final text.
    void Idle();

protected:
    void keyPressEvent(QKeyEvent* AEvent) override;

private:
    // ARaw, when given, is the raw document of AText, already made.
    void SetAnswer(TTextDocument::TText AText, std::shared_ptr<const TTextDocument> ARaw = nullptr);
    void PlaceOver(const QWidget& AOwner);
    void UpdateIntake();
    void EndIntake();
    void StartWork(std::shared_ptr<const TTextDocument> ARaw);
    void RawReady();
    void PrettyReady();
    void ShowDocument();
    void ShowStatus();
    void UpdateProgress();
    void CheckIdle();
    void SaveDone();
    void ShowError(const QString& AText);
    void ShowMenu(QPoint AWhere);
    void RecallFilter();
    void RememberFilter(const QString& AProgram);
    void FilterRan(const TFilterOutput& AOutput);
    // Shows AText (the answer or a filter's results) in the views; ARaw: its raw document, made.
    void ShowText(TTextDocument::TText AText, std::shared_ptr<const TTextDocument> ARaw);
    void ShowTextInDataPane();

    TTextDocument::TText FAnswer;
    // What the views show: FAnswer, or the results of FFilter; while they do, the documents below
    // are of FShown and those made of the answer wait in FAnswerForms.
    TTextDocument::TText FShown;
    QString FFilter;
    struct TForms {
        std::shared_ptr<const TTextDocument> Raw;
        std::shared_ptr<const TTextDocument> Pretty;
        TJsonLayout Verdict;
        bool PrettyTried = false;
    };
    TForms FAnswerForms;
    QString FCommand;
    TFilterRecall FRecall;
    std::shared_ptr<const TTextDocument> FRawDocument;
    std::shared_ptr<const TTextDocument> FPrettyDocument;
    TJsonLayout FPrettyVerdict; // without lines: whether and where the answer is not JSON
    bool FPrettyTried = false;
    // Work started whose result has not been taken yet.
    bool FRawPending = false;
    bool FPrettyPending = false;
    bool FWantPretty = false;
    std::shared_ptr<std::atomic<bool>> FCancel;
    std::shared_ptr<std::atomic<int64_t>> FPrettyProgress;
    QFutureWatcher<std::shared_ptr<const TTextDocument>> FRawWatcher;
    struct TPrettyWork {
        TTextDocument::TText Text; // the answer it was made for
        std::shared_ptr<const TTextDocument> Document;
        TJsonLayout Verdict;
    };
    void StartPretty();
    QFutureWatcher<TPrettyWork> FPrettyWatcher;
    QFutureWatcher<QString> FSaveWatcher;
    QString FSavingPath; // while a save runs
    TCallResult FResult; // without its text, which the view holds
    bool FCancelled = false;
    std::shared_ptr<TAnswerIntake> FIntake;        // while an answer is received
    std::shared_ptr<const TTextDocument> FPreview; // its first screen, until a document is made
    QTimer FIntakeTimer;
    QDateTime FReceived;
    bool FShownBefore = false;
};
