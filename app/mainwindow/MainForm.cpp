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
#include "SendCall.h"
#include "TextColors.h"
#include "TrustPrompt.h"
#include "VersionText.h"
#include "WindowAccessibility.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QTextEdit>

TMainForm::TMainForm(const QString& ASettingsFile, QWidget* AParent)
    : QWidget(AParent), FStore(ASettingsFile), FPasswordKeeper(FStore.FileName()),
      FFilterMemory(FStore.FileName()) {
    InstallWindowAccessibility();
    BuildControls();
    CreateNetworkComponents();
    CreateHistory();
    // The results window is the main window's own: transient for it, no task-bar entry.
    FResultsForm = std::make_unique<TResultsForm>(this);
    FResultsForm->SetFilterRecall(
        {[this](const QString& ACommand) { return FFilterMemory.Recent(ACommand); },
         [this](const QString& ACommand, const QString& AFilter) {
             FFilterMemory.Use(ACommand, AFilter);
         }});
    ShowAboutOnF1(*FResultsForm);
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
        ShowConnectionFields(settings);
        FHistory->SetEnabled(settings.KeepHistory);
        FResultsForm->SetPrettyChoice(settings.ResultsView == QLatin1String("Pretty"));
        RestoreWindowState(settings);
    };
    try {
        FStore.Load(settings);
    } catch (...) {
        show();
        throw;
    }
    show();
}

void TMainForm::ShowConnectionFields(const TConnectionSettings& ASettings) {
    VerEdit->setText(ASettings.Version);
    IPEdit->setText(ASettings.IP);
    FilePortEdit->setText(ASettings.Port);
    APIPathEdit->setText(ASettings.Path);
    RememberPW->setChecked(ASettings.RememberPW);
    PasswordEdit->setText(FPasswordKeeper.Read(ASettings.RememberPW, ASettings.Password));
    RememberPW->setToolTip(FPasswordKeeper.Tip());
}

void TMainForm::SaveSettings() {
    TConnectionSettings settings;
    settings.Version = VerEdit->text();
    settings.IP = IPEdit->text();
    settings.Port = FilePortEdit->text();
    settings.Path = APIPathEdit->text();
    settings.RememberPW = RememberPW->isChecked();
    settings.Password = PasswordEdit->text();
    settings.PasswordInKeyring = FPasswordKeeper.Keep(settings.RememberPW, settings.Password);
    RememberPW->setToolTip(FPasswordKeeper.Tip());
    settings.KeepHistory = FHistory->Enabled();
    settings.ResultsView =
        FResultsForm->PrettyChoice() ? QStringLiteral("Pretty") : QStringLiteral("Raw");
    // A maximised window is remembered at the size it comes back to.
    const QSize size = isMaximized() || isFullScreen() ? normalGeometry().size() : this->size();
    settings.WindowSize = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    settings.SplitterShare = QString::number(FSplitterShare);
    settings.LastCommand =
        FCurrentCommand ? QString::fromStdString(FCurrentCommand->Name) : QString();
    settings.ResultFormat =
        LegacyRB->isChecked() ? QStringLiteral("Legacy") : QStringLiteral("JSON");
    const QString notice = FStore.Save(settings);
    if (!notice.isEmpty())
        QMessageBox::information(this, ApplicationTitle(QCoreApplication::applicationFilePath()),
                                 notice);
}

void TMainForm::RestoreWindowState(const TConnectionSettings& AStored) {
    // A size from another screen is brought within this one.
    const QStringList size = AStored.WindowSize.split(u'x');
    bool wide = false, high = false;
    QSize stored(size.value(0).toInt(&wide), size.value(1).toInt(&high));
    if (size.size() == 2 && wide && high && stored.isValid()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            stored = stored.boundedTo(screen->availableGeometry().size());
        resize(stored.expandedTo(minimumSize()));
        CentreOnScreen();
    }
    bool number = false;
    const int share = AStored.SplitterShare.toInt(&number);
    FSplitterShare = number && share >= 50 && share <= 950 ? share : DefaultSplitterShare;
    FormResize();
    FStoredCommand = AStored.LastCommand;
    (AStored.ResultFormat == QLatin1String("Legacy") ? LegacyRB : JSONRB)->setChecked(true);
}

void TMainForm::BuildCatalogue() {
    AppendCatalogue(FCommands);
    CommandTreeModel->Fill(FCommands);
    const QModelIndex first = CommandTreeModel->NodeAt(0);
    CommandTree->scrollTo(first, QAbstractItemView::PositionAtTop);
    CommandTree->setCurrentIndex(first);
    if (const int position = CommandPosition(FStoredCommand); position >= 0)
        GoToCommand(position);
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
