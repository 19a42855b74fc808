#pragma once

#include "CallLine.h"
#include "RowRunPlan.h"
#include "RowRunSession.h"

#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTableView;
class QTimer;
class QTreeWidget;
class TIdSSLIOHandlerSocketOpenSSL;
class TRowOutcomeModel;
class TRunJournal;

// What the main window hands the window: the focused command as Send would send it.
struct TRowRunContext {
    const TCommand* Command = nullptr;
    bool JSON = true;
    QStringList Fixed; // the grid's ticked rows as NAME=VALUE, given to every row
    std::optional<Version> Server;
    QString URL;
    QString Profile; // the current server profile
    QString Password;
    TCurlTls CurlTls; // for the dry run's curl lines
    // Sets up each connection's TLS handler: the request goes out only to a trusted server.
    std::function<void(TIdSSLIOHandlerSocketOpenSSL&)> ConfigureTls;
    // Asked once before a run of ARows rows (a production profile's guard); empty: not asked.
    std::function<bool(qint64 ARows)> ConfirmRun;
    QString HistoryFolder; // the journal's and the history's; empty: the user's
    bool KeepHistory = true;
    // Whether each row's change is preceded by its before copy read, as the profile has it (the
    // window's box starts so), and the catalogue the read is found in.
    bool BeforeCopies = false;
    const TCommandList* Catalogue = nullptr;
};

// "Run for rows": the focused command sent once for every row of a CSV or JSON Lines file. Shows
// how the file's columns meet the command's parameters, the values given for every row, the check
// of every row and the first rows as they will be sent; runs them (or a dry run) on a thread of
// its own with Pause and Stop, shows the progress and each row's outcome, exports the failed rows
// for a later run, and offers to resume an unfinished run of the same file.
class TRowRunForm : public QWidget {
    Q_OBJECT
public:
    explicit TRowRunForm(TRowRunContext AContext, QWidget* AParent = nullptr);
    ~TRowRunForm() override;
    TRowRunForm(const TRowRunForm&) = delete;
    TRowRunForm& operator=(const TRowRunForm&) = delete;

    // Reads AFile as choosing it does: its columns, the check of every row, the first rows, and
    // the offer to resume an unfinished run of it.
    void OpenFile(const QString& AFile);
    // Writes the failed and unknown rows of the last run to AFile; false (said) when it cannot.
    bool ExportFailed(const QString& AFile);
    void DryRun();
    void Start();

    // The questions the window asks (to resume, to stop on closing); a test answers them.
    std::function<bool(const QString& ATitle, const QString& AText)> Ask;

    // Whether the file as opened can be run, and the run a Start resumes (0 for a new run).
    bool Checked() const { return FCheck.has_value(); }
    qint64 ResumedRun() const { return FResume ? FResume->Id : 0; }
    bool Running() const { return FSession != nullptr; }
    TRowRunSession* Session() const { return FSession.get(); }

    QLineEdit* FileEdit;
    QPushButton* ChooseButton;
    QTreeWidget* ColumnList;
    QLabel* FixedLabel;
    QPlainTextEdit* CheckText;
    QPlainTextEdit* PreviewText;
    QCheckBox* RetryFailedBox;
    QCheckBox* ResendUnknownBox;
    QCheckBox* BeforeCopyBox;
    QSpinBox* ConcurrencySpin;
    QDoubleSpinBox* RateSpin;
    QSpinBox* MaxFailuresSpin;
    QPushButton* DryRunButton;
    QPushButton* StartButton;
    QPushButton* PauseButton;
    QPushButton* StopButton;
    QProgressBar* Progress;
    QLabel* ProgressLabel;
    QCheckBox* FailedOnlyBox;
    QTableView* RowTable;
    TRowOutcomeModel* Outcomes;
    QPushButton* ExportButton;
    QLabel* SummaryLabel;

signals:
    // The run has ended and its outcome is shown.
    void RunEnded();

protected:
    void closeEvent(QCloseEvent* AEvent) override;

private:
    // The columns, the values for every row, the check and the first rows.
    void BuildCheckPane(QSplitter* ASplitter);
    // The options, the buttons, the progress and the table of rows.
    void BuildRunPane(QSplitter* ASplitter);
    void ChooseClick();
    void PauseClick(bool APaused);
    void StopClick();
    void ExportClick();
    void TakeRows();
    void SessionEnded();
    void ShowProgress();
    void UpdateButtons();
    TRunJournal& Journal();
    // Offers to resume the newest unfinished run of the open file.
    void OfferResume();

    TRowRunContext FContext;
    TRowRunSetup FSetup;
    std::optional<TRowFileCheck> FCheck;
    std::optional<TRunInfo> FResume;
    std::unique_ptr<TRunJournal> FJournal;
    std::unique_ptr<TRowRunSession> FSession;
    std::string FRunFile; // the file of the last run, for its export
    TRowFormat FRunFormat = TRowFormat::Csv;
    QTimer* FUpdateTimer;
    std::chrono::steady_clock::time_point FStarted;
    qint64 FToDo = 0;
    qint64 FDone = 0;
    qint64 FFailures = 0;
    bool FCloseWhenEnded = false;
};
