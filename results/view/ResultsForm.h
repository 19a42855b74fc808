#pragma once

#include "AnswerIntake.h"
#include "CallResult.h"
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
class TResultsFindBar;
class TResultsView;

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

    TTextDocument::TText FAnswer;
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
