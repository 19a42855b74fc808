#include "MainForm.h"

#include "AppError.h"
#include "Catalogue.h"
#include "CommandTree.h"
#include "HistoryForm.h"
#include "HistoryRecorder.h"
#include "IdHTTP.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "ParamTree.h"
#include "ResultsForm.h"
#include "RowTextDelegate.h"
#include "SendCall.h"
#include "TextColors.h"
#include "TrustPrompt.h"
#include "VersionText.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

constexpr int SplitterWidth = 5;

QLabel* MakeLabel(const QString& AText, QWidget* AParent, int ALeft, int ATop) {
    auto* label = new QLabel(AText, AParent);
    label->move(ALeft, ATop);
    label->adjustSize();
    return label;
}

// A caption wider than its place in a larger desktop font widens the control instead of being cut.
void FitWidth(QWidget* AControl) {
    AControl->resize(std::max(AControl->width(), AControl->sizeHint().width()), AControl->height());
}

// Places a control of a row at its usual place, or further right when a larger desktop font has
// made the control before it reach that place; the control is widened to fit its caption.
void PlaceInRow(QWidget* AControl, const QWidget* ABefore, int ALeft, int ATop, int AWidth,
                int AHeight) {
    constexpr int Gap = 4;
    AControl->setGeometry(std::max(ALeft, ABefore->geometry().right() + 1 + Gap), ATop, AWidth,
                          AHeight);
    FitWidth(AControl);
}

QTextEdit* MakeHelpPane(QWidget* AParent) {
    auto* pane = new QTextEdit(AParent);
    pane->setFixedHeight(74);
    pane->setFrameShape(QFrame::NoFrame);
    pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane->setLineWrapMode(QTextEdit::WidgetWidth);
    pane->setTabChangesFocus(true);
    QPalette palette = pane->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
    pane->setPalette(palette);
    return pane;
}

// A column of a tree over its help pane.
QWidget* MakeColumn(QWidget* ATree, QTextEdit* AHelp) {
    auto* column = new QWidget;
    column->setMinimumWidth(150);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ATree, 1);
    layout->addWidget(AHelp);
    ATree->setParent(column);
    AHelp->setParent(column);
    return column;
}

} // namespace

TMainForm::TMainForm(const QString& ASettingsFile, QWidget* AParent)
    : QWidget(AParent), FStore(ASettingsFile) {
    BuildControls();
    CreateNetworkComponents();
    CreateHistory();
    // The results window is the main window's own: transient for it, no task-bar entry.
    FResultsForm = std::make_unique<TResultsForm>(this);
    FormCreate();
}

TMainForm::~TMainForm() {
    // A Send still running is cancelled before the client goes away.
    FCall.reset();
    FormDestroy();
}

void TMainForm::FormDestroy() {
    // The views may still ask for rows while the window's children are torn down.
    CommandTree->setModel(nullptr);
    ParamTree->setModel(nullptr);
    FCurrentCommand = nullptr;
    FCommands.clear();
    FParamValues.Clear();
}

void TMainForm::BuildControls() {
    setWindowTitle(QStringLiteral("Velvaro API Reference Utility 1.26"));
    setMinimumSize(640, 480);
    resize(784, 562);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setFixedHeight(57);
    Label5 = MakeLabel(QStringLiteral("Version"), Panel1, 16, 8);
    VerEdit = new QLineEdit(Panel1);
    VerEdit->setGeometry(16, 24, 51, 21);
    Label1 = MakeLabel(QStringLiteral("Poker Server IP / Domain"), Panel1, 73, 8);
    IPEdit = new QLineEdit(Panel1);
    IPEdit->setGeometry(73, 24, 217, 21);
    Label2 = MakeLabel(QStringLiteral("Port"), Panel1, 295, 8);
    FilePortEdit = new QLineEdit(Panel1);
    FilePortEdit->setGeometry(295, 24, 55, 21);
    Label3 = MakeLabel(QStringLiteral("API Path"), Panel1, 356, 8);
    APIPathEdit = new QLineEdit(Panel1);
    APIPathEdit->setGeometry(356, 24, 105, 21);
    RememberPW = new QCheckBox(QStringLiteral("Remember API Password"), Panel1);
    RememberPW->setGeometry(467, 6, 143, 17);
    FitWidth(RememberPW);
    PasswordEdit = new QLineEdit(Panel1);
    PasswordEdit->setGeometry(467, 24, 143, 21);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    VerEdit->installEventFilter(this);

    CommandTreeModel = new TCommandTreeModel(*this, this);
    CommandTree = new TCommandTreeView(*this, nullptr);
    CommandTree->setModel(CommandTreeModel);
    CommandTree->setHeaderHidden(false);
    CommandTree->header()->setStretchLastSection(true);
    CommandTree->setSelectionMode(QAbstractItemView::SingleSelection);
    CommandTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CommandTree->setRootIsDecorated(true);
    CommandTree->setExpandsOnDoubleClick(true);
    CommandTree->setItemDelegate(new TRowTextDelegate(CommandTree));
    CommandHelp = MakeHelpPane(nullptr);
    LeftPanel = MakeColumn(CommandTree, CommandHelp);
    connect(CommandTree, &QTreeView::collapsed, this, &TMainForm::CommandTreeCollapsed);

    ParamTreeModel = new TParamTreeModel(*this, this);
    ParamTree = new TParamTreeView(*this, nullptr);
    ParamTree->setModel(ParamTreeModel);
    ParamTree->setItemDelegate(new TParamTreeDelegate(ParamTree));
    ParamTree->setRootIsDecorated(false);
    ParamTree->setItemsExpandable(false);
    ParamTree->setAllColumnsShowFocus(false);
    ParamTree->setSelectionBehavior(QAbstractItemView::SelectItems);
    ParamTree->setSelectionMode(QAbstractItemView::SingleSelection);
    ParamTree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    ParamTree->header()->setSectionsMovable(true);
    ParamTree->header()->setStretchLastSection(true);
    ParamTree->header()->setSectionResizeMode(QHeaderView::Interactive);
    ParamTree->header()->resizeSection(0, 175);
    ParamHelp = MakeHelpPane(nullptr);
    RightPanel = MakeColumn(ParamTree, ParamHelp);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setHandleWidth(SplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setOpaqueResize(true);
    Splitter1->addWidget(LeftPanel);
    Splitter1->addWidget(RightPanel);
    Splitter1->setStretchFactor(1, 1);

    BuildButtonPanel();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(ButtonPanel);

    QWidget* order[] = {CommandTree, CommandHelp,  VerEdit,    IPEdit,    FilePortEdit,
                        APIPathEdit, PasswordEdit, RememberPW, ParamTree, ParamHelp,
                        CallButton,  JSONRB,       LegacyRB};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    ApplyTreePalettes();
    CreateShortcuts();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TMainForm::BuildButtonPanel() {
    ButtonPanel = new QWidget(this);
    ButtonPanel->setFixedHeight(41);
    Label4 = MakeLabel(QStringLiteral("Result format:"), ButtonPanel, 99, 12);
    JSONRB = new QRadioButton(QStringLiteral("JSON"), ButtonPanel);
    JSONRB->setChecked(true);
    LegacyRB = new QRadioButton(QStringLiteral("Legacy"), ButtonPanel);
    auto* formats = new QButtonGroup(this);
    formats->addButton(JSONRB);
    formats->addButton(LegacyRB);
    for (QRadioButton* button : {JSONRB, LegacyRB})
        connect(button, &QRadioButton::toggled, this, [this](bool AChecked) {
            if (AChecked)
                JSONRBClick();
        });
    CallButton = new QPushButton(QStringLiteral("Send"), ButtonPanel);
    PlaceInRow(JSONRB, Label4, 183, 10, 50, 17);
    PlaceInRow(LegacyRB, JSONRB, 242, 10, 57, 17);
    PlaceInRow(CallButton, LegacyRB, 363, 6, 110, 25);
    CallButton->setEnabled(false);
    connect(CallButton, &QPushButton::clicked, this, &TMainForm::CallButtonClick);
}

void TMainForm::FormCreate() {
    FCommands.clear();
    FCurrentCommand = nullptr;
    FParamValues.Clear();
    // A settings value that cannot be read is reported, but the catalogue is still built: the
    // window stays usable with the fields read so far.
    try {
        LoadSettings();
    } catch (const std::exception& error) {
        ReportError(error);
    }
    BuildCatalogue();
}

void TMainForm::LoadSettings() {
    // The fields start empty; a value that cannot be read leaves its field so.
    TConnectionSettings settings;
    const auto show = [&] {
        VerEdit->setText(settings.Version);
        IPEdit->setText(settings.IP);
        FilePortEdit->setText(settings.Port);
        APIPathEdit->setText(settings.Path);
        RememberPW->setChecked(settings.RememberPW);
        ReadKeyringPassword(settings);
        PasswordEdit->setText(settings.Password);
        FHistory->SetEnabled(settings.KeepHistory);
        FResultsForm->SetPrettyChoice(settings.ResultsView == QLatin1String("Pretty"));
    };
    try {
        FStore.Load(settings);
    } catch (...) {
        show();
        throw;
    }
    show();
}

void TMainForm::ReadKeyringPassword(TConnectionSettings& ASettings) {
    FKeyringMayHoldPassword = ASettings.RememberPW;
    FPasswordInFile = ASettings.RememberPW && !ASettings.Password.isEmpty();
    // A password still in the file moves to the keyring at the next save.
    if (auto answer = FKeyring.ReadRemembered(ASettings.RememberPW, ASettings.Password))
        FKeyringAnswer = std::move(answer);
    UpdatePasswordTip();
}

void TMainForm::KeepPassword(TConnectionSettings& ASettings) {
    if (ASettings.RememberPW) {
        FKeyringAnswer = FKeyring.Write(ASettings.Password);
        ASettings.PasswordInKeyring = FKeyringAnswer->State == TPasswordKeyring::TState::Available;
        FPasswordInFile = !ASettings.PasswordInKeyring;
        FKeyringMayHoldPassword = true;
    } else if (FKeyringMayHoldPassword) {
        // Unticked: the keyring forgets the password; the file never keeps it.
        FKeyringAnswer = FKeyring.Remove();
        FKeyringMayHoldPassword = FKeyringAnswer->State != TPasswordKeyring::TState::Available;
        FPasswordInFile = false;
    }
    UpdatePasswordTip();
}

void TMainForm::UpdatePasswordTip() {
    const QString file = QDir::toNativeSeparators(FStore.FileName());
    QString tip;
    if (!FKeyringAnswer)
        tip = QStringLiteral("When ticked, the password is kept in the desktop's keyring, or in "
                             "the settings file %1 (readable by you only) where no keyring "
                             "service answers.")
                  .arg(file);
    else if (FKeyringAnswer->State == TPasswordKeyring::TState::Available && FPasswordInFile)
        tip = QStringLiteral("The password is kept in the settings file %1, readable by you only, "
                             "until the desktop's keyring takes it when the window closes.")
                  .arg(file);
    else if (FKeyringAnswer->State == TPasswordKeyring::TState::Available)
        tip = QStringLiteral("The password is kept in the desktop's keyring, not in the settings "
                             "file.");
    else if (FKeyringAnswer->State == TPasswordKeyring::TState::Unavailable)
        tip = QStringLiteral("No keyring service answers, so the password is kept in the "
                             "settings file %1, readable by you only.")
                  .arg(file);
    else
        tip = QStringLiteral("The keyring refused access (%1), so the password is kept in the "
                             "settings file %2, readable by you only.")
                  .arg(FKeyringAnswer->Error, file);
    RememberPW->setToolTip(tip);
}

void TMainForm::SaveSettings() {
    TConnectionSettings settings;
    settings.Version = VerEdit->text();
    settings.IP = IPEdit->text();
    settings.Port = FilePortEdit->text();
    settings.Path = APIPathEdit->text();
    settings.RememberPW = RememberPW->isChecked();
    settings.Password = PasswordEdit->text();
    KeepPassword(settings);
    settings.KeepHistory = FHistory->Enabled();
    settings.ResultsView =
        FResultsForm->PrettyChoice() ? QStringLiteral("Pretty") : QStringLiteral("Raw");
    const QString notice = FStore.Save(settings);
    if (!notice.isEmpty())
        QMessageBox::information(this, ApplicationTitle(QCoreApplication::applicationFilePath()),
                                 notice);
}

void TMainForm::BuildCatalogue() {
    AppendCatalogue(FCommands);
    CommandTreeModel->Fill(FCommands);
    const QModelIndex first = CommandTreeModel->NodeAt(0);
    CommandTree->scrollTo(first, QAbstractItemView::PositionAtTop);
    CommandTree->setCurrentIndex(first);
}

void TMainForm::ReportError(const std::exception& AError) {
    ShowApplicationError(this, QString::fromUtf8(AError.what()));
}

Version TMainForm::EnteredVersion() const {
    return ParseVersionText(VerEdit->text());
}

void TMainForm::ApplyTreePalettes() {
    for (QWidget* tree : {static_cast<QWidget*>(CommandTree), static_cast<QWidget*>(ParamTree)})
        tree->setPalette(UnfocusedSelectionPalette(palette()));
}

void TMainForm::changeEvent(QEvent* AEvent) {
    QWidget::changeEvent(AEvent);
    // A new desktop theme: the trees' selection follows it (their text colours are worked out
    // at every paint).
    if (AEvent->type() == QEvent::PaletteChange)
        ApplyTreePalettes();
}

void TMainForm::RepaintTrees() {
    CommandTree->viewport()->update();
    ParamTree->viewport()->update();
}

void TMainForm::ShowHelp(QTextEdit* APane, const std::string& AName, const std::string& AHelp) {
    APane->clear();
    QTextCursor cursor = APane->textCursor();
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(palette().color(QPalette::WindowText));
    format.setFontWeight(QFont::Bold);
    cursor.insertText(QString::fromStdString(AName) + QStringLiteral(":  "), format);
    format.setFontWeight(QFont::Normal);
    cursor.insertText(QString::fromStdString(AHelp), format);
    // The view stays at the top, where the name is.
}

void TMainForm::resizeEvent(QResizeEvent* AEvent) {
    QWidget::resizeEvent(AEvent);
    FormResize();
}

void TMainForm::FormResize() {
    const int left = (width() - SplitterWidth) * 4 / 10;
    Splitter1->setSizes({left, width() - SplitterWidth - left});
}

void TMainForm::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    if (FFirstShow) {
        FFirstShow = false;
        CommandTree->setFocus(Qt::OtherFocusReason);
    }
}

void TMainForm::closeEvent(QCloseEvent* AEvent) {
    if (Sending()) {
        // The call's own dialog offers Cancel; the window closes only when it is idle.
        AEvent->ignore();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose)
        AEvent->accept();
    else
        AEvent->ignore();
}

void TMainForm::FormCloseQuery(bool& CanClose) {
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        // An unwritable store must not trap the user in the window: after the error, ask.
        ReportError(error);
        const auto answer = QMessageBox::question(
            this, ApplicationTitle(QCoreApplication::applicationFilePath()),
            QStringLiteral("The connection settings could not be saved. Close without saving "
                           "them?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        CanClose = answer == QMessageBox::Yes;
    }
}

bool TMainForm::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched == VerEdit) {
        if (AEvent->type() == QEvent::FocusOut) {
            VerEditExit();
        } else if (AEvent->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(AEvent);
            QChar character = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter
                                  ? QChar(13)
                                  : (key->text().isEmpty() ? QChar() : key->text().front());
            if (character.isNull())
                return false;
            VerEditKeyPress(character);
            return character.isNull(); // a swallowed key goes no further
        }
    }
    return QWidget::eventFilter(AWatched, AEvent);
}

void TMainForm::VerEditExit() {
    RepaintTrees();
}

void TMainForm::VerEditKeyPress(QChar& Key) {
    if (Key == QChar(13)) {
        RepaintTrees();
        Key = QChar();
    }
}
