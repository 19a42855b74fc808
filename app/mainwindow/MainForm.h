#pragma once

#include "CallLine.h"
#include "Command.h"
#include "CommandTree.h"
#include "FilterMemory.h"
#include "ParamTree.h"
#include "ParamValues.h"
#include "PasswordKeeper.h"
#include "SendCall.h"
#include "ServerProfiles.h"
#include "SettingsStore.h"

#include <QColor>
#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QToolButton;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTextEdit;
class TAnswerCapture;
class THistoryForm;
class TRowRunForm;
class THistoryRecorder;
struct THistoryCall;
class TIdHTTP;
class TIdSSLIOHandlerSocketOpenSSL;
class TGoToCommandPopup;
class TResultsForm;
class TTrustPrompt;
struct TIdPeerCertificate;

// The program's working window: connection fields at the top, the command tree and its help on
// the left, the parameter grid and its help on the right, result format and Send at the bottom.
// An error escaping one of its handlers goes to the application error box (see TApplication).
class TMainForm : public QWidget, public TCommandTreeHandlers, public TParamTreeHandlers {
    Q_OBJECT
public:
    // ASettingsFile empty: the user's own settings file.
    explicit TMainForm(const QString& ASettingsFile = {}, QWidget* AParent = nullptr);
    ~TMainForm() override;

    // The version field read as a version; text that is not a number counts as 0.
    Version EnteredVersion() const;

    // Command pane.
    QString CommandTreeGetText(const QModelIndex& ANode) const override;
    void CommandTreePaintText(const QModelIndex& ANode, TTextStyle& AStyle) const override;
    void CommandTreeFocusChanged(const QModelIndex& ANode) override;
    void CommandTreeCollapsed(const QModelIndex& ANode);

    // Parameter grid; rows are given by their index.
    QString ParamTreeGetText(int AIndex, int AColumn) const override;
    bool ParamTreeInitNode(int AIndex) const override;
    bool ParamTreeChecking(int AIndex, bool& ANewState) const override;
    bool ParamTreeEditing(int AIndex, int AColumn) const override;
    void ParamTreeNewText(int AIndex, int AColumn, const QString& ANewText) override;
    void ParamTreeFocusChanged(int AIndex, int AColumn) override;
    void ParamTreePaintText(int AIndex, TTextStyle& AStyle) const override;
    bool ParamTreeGetChecked(int AIndex) const override;
    void ParamTreeSetChecked(int AIndex, bool AChecked) override;
    void JSONRBClick();

    // Send.
    void CallButtonClick();
    // Puts the focused command with its ticked rows on the clipboard as a shell command line:
    // a vlcallbench-call line, or (ACurl) a curl line with the password as $VL_PASSWORD; the
    // values of the command's other secrets come from their own variables ($VL_PW) in both.
    void CopyCallLine(bool ACurl);
    // Whether the focused command or a ticked row lies outside the typed version, so that the
    // command-line tool needs --force to send the call.
    bool OutsideTypedVersion() const;

    // Keyboard.
    void SendFromKeyboard();
    void ShowGoToCommand();
    void GoToCommand(int APosition);
    // The catalogue position of the command or group named AName; -1 when there is none.
    int CommandPosition(const QString& AName) const;
    // The colour of an entry's text in lists of commands; invalid when it is not greyed.
    QColor CommandTextColor(const TCommand& ACommand) const;

    // Call history.
    void ShowHistory();
    void ReopenAnswer(const THistoryCall& ACall);
    void LoadIntoGrid(const THistoryCall& ACall);
    THistoryRecorder& History() { return *FHistory; }
    THistoryForm* HistoryWindow() const { return FHistoryForm.get(); }
    TResultsForm& ResultsWindow() const { return *FResultsForm; }

    // Run for rows (MainFormRows.cpp): the focused command for every row of a file.
    void ShowRowRun();
    TRowRunForm* RowRunWindow() const; // the last opened, if still open

    // Window.
    void FormResize();
    void FormCloseQuery(bool& CanClose);
    void VerEditExit();
    void VerEditKeyPress(QChar& Key);

    // Server profiles (MainFormProfiles.cpp): the picker fills the connection fields, typing
    // into them edits the current profile.
    void ProfileBoxChange(int AIndex);
    void NewProfileClick();
    void RenameProfileClick();
    void DeleteProfileClick();
    void ProductionClick(bool AChecked);
    void BeforeCopiesClick(bool AChecked);
    // What the actions do once a name is chosen; true when done.
    bool NewProfile(const QString& AName);
    bool RenameProfile(const QString& AName);
    const QString& ProfileName() const { return FProfileName; }
    bool ProductionProfile() const { return FProduction; }

    // Read-only views for the results of a Send and for tests.
    const TCommandList& Catalogue() const { return FCommands; }
    const TCommand* Current() const { return FCurrentCommand; }
    const TParamValues& Values() const { return FParamValues; }
    bool Sending() const { return FCall != nullptr; }

    // Controls, in declaration order; owned by the window through Qt's parent ownership.
    QFrame* ConnectionPanel;
    QLabel* AddressLabel;
    QLineEdit* IPEdit;
    QLineEdit* FilePortEdit;
    QLineEdit* APIPathEdit;
    QLineEdit* PasswordEdit;
    QLabel* PortLabel;
    QLabel* PathLabel;
    QCheckBox* RememberPW;
    QWidget* LeftPanel;
    QTextEdit* CommandHelp;
    TCommandTreeView* CommandTree;
    QWidget* RightPanel;
    TParamTreeView* ParamTree;
    QTextEdit* ParamHelp;
    QWidget* ButtonPanel;
    QPushButton* CallButton;
    QRadioButton* JSONRB;
    QRadioButton* LegacyRB;
    QLabel* ResultFormatLabel;
    QSplitter* Splitter1;
    QLabel* VersionLabel;
    QLineEdit* VerEdit;
    // Shown at the version field while its text is no version.
    QAction* VersionWarning;
    // The strip under the buttons: the URL Send will call, or why it cannot.
    QLabel* CallURLLabel;
    // The profile row, right of the password.
    QLabel* ProfileLabel;
    QComboBox* ProfileBox;
    QToolButton* ProfileButton;
    QAction* NewProfileAction;
    QAction* RenameProfileAction;
    QAction* DeleteProfileAction;
    QAction* ProductionAction;
    QAction* BeforeCopiesAction;

    TCommandTreeModel* CommandTreeModel;
    TParamTreeModel* ParamTreeModel;
    TGoToCommandPopup* GoToCommandPopup = nullptr; // made when first asked for

protected:
    void resizeEvent(QResizeEvent* AEvent) override;
    void closeEvent(QCloseEvent* AEvent) override;
    void showEvent(QShowEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    // The URL and form of a call from the connection fields and the ticked rows; false, after
    // the error box, when a connection field is missing.
    bool ComposeCall(QString& AURL, TParamValues& AForm);
    // The controls, built one panel at a time (MainFormLayout.cpp).
    void BuildControls();
    void BuildConnectionPanel(); // the connection fields along the top
    void BuildCommandPane();     // the command tree over its help
    void BuildParamGrid();       // the parameter grid over its help
    void BuildTreeSplitter();    // the two side by side
    void BuildButtonPanel();     // the result format and Send
    void BuildURLStrip();        // the URL Send will call, under the buttons (MainFormHints.cpp)
    // The version field's warning and the URL strip, for the fields as they are now.
    void ShowConnectionHints();
    void LayOutPanels();
    void SetTabOrder();
    void CentreOnScreen();
    // A position or size of the window's usual font in the font it has now.
    int Scaled(int APixels) const;
    QPoint Scaled(QPoint APlace) const;
    QRect Scaled(const QRect& AGeometry) const;
    // F1 in AWindow shows the About box, with every window's keys, over it.
    static void ShowAboutOnF1(QWidget& AWindow);
    void CreateShortcuts();
    void FormCreate();
    void FormDestroy();
    void LoadSettings();
    // The connection fields and the password (from where it is kept) as ASettings has them.
    void ShowConnectionFields(const TConnectionSettings& ASettings);
    void SaveSettings();
    void BuildCatalogue();
    // The window's size, splitter, result format and command as they were left.
    void RestoreWindowState(const TConnectionSettings& AStored);
    void ReportError(const std::exception& AError);
    void RepaintTrees();
    void ApplyTreePalettes();
    void ShowHelp(QTextEdit* APane, const std::string& AName, const std::string& AHelp);
    // The HTTP exchange of a Send; Post runs on the call's worker thread, AbortPost on the
    // user-interface thread while Post runs.
    TCallResult Post(const std::u16string& AURL, const std::vector<std::u16string>& ALines);
    void AbortPost();
    void CreateNetworkComponents();
    // Worker thread: whether to go on with a server certificate that failed the check; a pinned
    // one is trusted silently, any other is put to the user.
    bool TrustCertificate(const TIdPeerCertificate& APeer);
    // The TLS choices of a copied curl line: a server whose certificate the user trusted is
    // pinned by its key.
    TCurlTls CurlTlsFor(const QString& AURL) const;
    void CreateHistory();
    // One Send as the history records it.
    struct TSendRecord {
        QDateTime Started;
        QString URL;
        QStringList Fields;
        TSendCall::TOutcome Outcome{};
        QString ErrorText;
        bool Arrived = false; // the answer started to arrive
    };
    // Hands one Send to the history; returns at once. ACapture, when the history is on, holds
    // what came of the answer.
    // ABefore: the read sent first, kept with the call.
    void RecordCall(const TSendRecord& ASend, const TCallResult& AResult, TAnswerCapture* ACapture,
                    std::shared_ptr<const THistoryCall> ABefore = {});
    // The history record of a Send of ACommand, its answer taken from ACapture.
    THistoryCall HistoryRecordOf(const TCommand& ACommand, const TSendRecord& ASend,
                                 const TCallResult& AResult, TAnswerCapture& ACapture);
    // Shows how a Send ended: its answer in the results window, or its error.
    void ShowSendOutcome(TSendCall::TOutcome AOutcome, bool AArrived, TCallResult AResult,
                         const QString& AErrorText, const QString& AURL, const QString& ATitle);
    // Sends the before copy of the current call when it has one and the profile takes them;
    // false when the user cancelled it or refused the server, and nothing more is to be sent.
    // ABefore gets the read's record for the history (none when the history is off).
    bool SendBeforeCopy(const QString& AURL, std::shared_ptr<const THistoryCall>& ABefore);

    // The profile row and what marks a production profile (MainFormProfiles.cpp).
    void BuildProfileRow();
    void FillProfileBox();
    void ShowProfileMark();
    // Keeps the current profile's production mark and before-copy choice, and shows them.
    void StoreProfileMarks();
    // The current profile as the fields hold it; its password as the file keeps it.
    TServerProfile FieldProfile();
    // On a production profile, asks before a command that is not a read; true to send.
    bool ConfirmProductionSend(const TParamValues& AForm);

    // The shared state of the window's handlers.
    TCommandList FCommands;
    TCommand* FCurrentCommand = nullptr;
    TParamValues FParamValues;

    TSettingsStore FStore;
    TPasswordKeeper FPasswordKeeper; // after FStore, whose file its tip names
    TFilterMemory FFilterMemory;     // the jq filters used per command, in FStore's file
    // The client keeps its URL, request fields and cookies for the run; it uses the handler,
    // which therefore outlives it.
    std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> FTLSHandler;
    std::unique_ptr<TIdHTTP> FHTTPClient;
    std::unique_ptr<TResultsForm> FResultsForm;
    std::unique_ptr<TTrustPrompt> FTrustPrompt;
    std::unique_ptr<TSendCall> FCall; // the Send in progress, if any
    // The user declined the server's certificate during the current call.
    std::atomic<bool> FTrustDeclined{false};
    // Time spent on certificate questions during the Send running; the call's worker thread only.
    std::chrono::steady_clock::duration FQuestionTime{};
    std::unique_ptr<THistoryRecorder> FHistory;
    std::unique_ptr<THistoryForm> FHistoryForm; // made when first shown; uses FHistory
    QPointer<TRowRunForm> FRowRunForm;          // the last opened; each closes itself away
    bool FFirstShow = true;
    // How much larger than the usual font the window's font is (never below 1), read once when
    // the controls are built.
    double FLayoutScale = 1;
    // The command tree's share of the splitter in thousandths, kept as the window is resized.
    int FSplitterShare = DefaultSplitterShare;
    static constexpr int DefaultSplitterShare = 400;
    // How long the notice of a copied call line stays, in milliseconds.
    static constexpr int CopyNoticeTime = 2500;
    // The command focused when the window was last closed, focused again once the tree is built.
    QString FStoredCommand;
    TServerProfiles FProfiles{FStore.FileName()};
    QString FProfileName;
    bool FProduction = false;
    std::optional<bool> FBeforeCopies; // the current profile's choice; unset: its default
    QString FPlainTitle;
};
