#include "ResultsForm.h"

#include "BackgroundPool.h"
#include "ResultsFindBar.h"
#include "ResultsSave.h"
#include "ResultsStatus.h"
#include "ResultsView.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

QString CrLfLineBreaks(const QString& AText) {
    QString result;
    result.reserve(AText.size() + AText.size() / 32);
    const QChar* p = AText.constData();
    const QChar* const end = p + AText.size();
    while (p < end) {
        const QChar* runStart = p;
        while (p < end && *p != u'\r' && *p != u'\n')
            ++p;
        result.append(runStart, p - runStart);
        if (p == end)
            break;
        if (*p == u'\r' && p + 1 < end && p[1] == u'\n')
            ++p;
        ++p;
        result.append(QLatin1String("\r\n"));
    }
    return result;
}

TResultsForm::TResultsForm(QWidget* AParent) : QDialog(AParent) {
    setWindowTitle(QStringLiteral("Results"));
    // A window of its own, transient for its parent: no task-bar entry, never under the owner.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setModal(true);
    resize(624, 342);
    ResultsMemo = new TResultsView(this);
    FindBar = new TResultsFindBar(*ResultsMemo, this);
    auto* statusRow = new QWidget(this);
    auto* statusLayout = new QHBoxLayout(statusRow);
    statusLayout->setContentsMargins(2, 0, 4, 0);
    PrettyButton = new QToolButton(statusRow);
    PrettyButton->setText(QStringLiteral("Pretty"));
    PrettyButton->setCheckable(true);
    PrettyButton->setAutoRaise(true);
    PrettyButton->setToolTip(QStringLiteral("Show JSON indented (Ctrl+J)"));
    statusLayout->addWidget(PrettyButton);
    StatusLine = new QLabel(statusRow);
    StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLayout->addWidget(StatusLine, 1);
    Progress = new QProgressBar(statusRow);
    Progress->setRange(0, 0);
    Progress->setMaximumWidth(120);
    Progress->setMaximumHeight(PrettyButton->sizeHint().height() * 2 / 3);
    Progress->setTextVisible(false);
    Progress->hide();
    statusLayout->addWidget(Progress);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ResultsMemo, 1);
    layout->addWidget(FindBar);
    layout->addWidget(statusRow);

    connect(PrettyButton, &QToolButton::toggled, this, &TResultsForm::SetPrettyChoice);
    const auto shortcut = [this](const QKeySequence& AKeys, auto AAction) {
        connect(new QShortcut(AKeys, this), &QShortcut::activated, this, AAction);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_J), [this] { SetPrettyChoice(!WantPretty); });
    shortcut(QKeySequence::Find, [this] { FindBar->Open(); });
    shortcut(QKeySequence(Qt::Key_F3), [this] {
        if (FindBar->isVisible())
            FindBar->Next();
        else
            FindBar->Open();
    });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindBar->Previous(); });
    shortcut(QKeySequence::Save, [this] { Save(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), [this] { close(); });
    connect(&RawWatcher, &QFutureWatcherBase::finished, this, &TResultsForm::RawReady);
    connect(&PrettyWatcher, &QFutureWatcherBase::finished, this, &TResultsForm::PrettyReady);
    connect(FindBar, &TResultsFindBar::Found, this, &TResultsForm::CheckIdle);
    connect(&SaveWatcher, &QFutureWatcherBase::finished, this, &TResultsForm::SaveDone);
}

TResultsForm::~TResultsForm() {
    // Work still running ends on its own; nothing waits for it. A save is the exception: the
    // file the user asked for is finished (it replaces the old one only when complete).
    if (Cancel)
        Cancel->store(true);
    SaveWatcher.waitForFinished();
}

void TResultsForm::SetResultsText(const QString& AText) {
    SetAnswer(std::make_shared<const std::u16string>(AText.toStdU16String()));
}

QString TResultsForm::ResultsText() const {
    return Answer ? CrLfLineBreaks(QString::fromStdU16String(*Answer)) : QString();
}

void TResultsForm::SetCallResult(TCallResult AResult) {
    Received = QDateTime::currentDateTime();
    auto text = std::make_shared<const std::u16string>(std::move(AResult.Text));
    Result = std::move(AResult);
    SetAnswer(std::move(text));
    ShowStatus();
}

void TResultsForm::SetAnswer(TTextDocument::TText AText) {
    if (Answer && *Answer == *AText)
        return;
    if (Cancel)
        Cancel->store(true);
    Answer = std::move(AText);
    RawDocument.reset();
    PrettyDocument.reset();
    PrettyVerdict = {};
    PrettyTried = false;
    ResultsMemo->SetDocument(nullptr);
    StartWork();
}

void TResultsForm::StartWork() {
    Cancel = std::make_shared<std::atomic<bool>>(false);
    RawPending = true;
    RawWatcher.setFuture(QtConcurrent::run(&BackgroundPool(), [text = Answer, cancel = Cancel] {
        return TTextDocument::MakeRaw(text, cancel.get());
    }));
    if (WantPretty)
        StartPretty();
    Progress->show();
    ShowStatus();
}

void TResultsForm::StartPretty() {
    PrettyTried = true;
    PrettyPending = true;
    PrettyWatcher.setFuture(QtConcurrent::run(&BackgroundPool(), [text = Answer, cancel = Cancel] {
        TPrettyWork work{text, nullptr, {}};
        work.Document = TTextDocument::MakePretty(text, work.Verdict, nullptr, cancel.get());
        return work;
    }));
}

void TResultsForm::RawReady() {
    auto document = RawWatcher.result();
    if (!document || document->Source() != Answer)
        return;
    RawPending = false;
    RawDocument = std::move(document);
    ShowDocument();
    CheckIdle();
}

void TResultsForm::PrettyReady() {
    TPrettyWork work = PrettyWatcher.result();
    if (work.Text != Answer)
        return; // made for an answer no longer shown
    PrettyPending = false;
    PrettyDocument = std::move(work.Document);
    PrettyVerdict = std::move(work.Verdict);
    ShowDocument();
    CheckIdle();
}

void TResultsForm::ShowDocument() {
    const auto& wanted = WantPretty && PrettyDocument ? PrettyDocument : RawDocument;
    if (wanted && ResultsMemo->Document() != wanted) {
        ResultsMemo->SetDocument(wanted);
        FindBar->Refresh();
    }
    ShowStatus();
}

void TResultsForm::ShowStatus() {
    const auto& shown = ResultsMemo->Document();
    QString text = ResultsStatusText(Result, shown ? shown->LineCount() : -1);
    if (WantPretty && PrettyTried && !PrettyPending && !PrettyDocument)
        text += QStringLiteral(" | Not JSON: line %1, column %2")
                    .arg(PrettyVerdict.ErrorLine)
                    .arg(PrettyVerdict.ErrorColumn);
    if (Saving())
        text += QStringLiteral(" | Saving %1 ...").arg(QFileInfo(SavingPath).fileName());
    StatusLine->setText(text);
}

bool TResultsForm::ShowingPretty() const {
    return ResultsMemo->Document() && ResultsMemo->Document()->Pretty();
}

bool TResultsForm::Busy() const {
    return RawPending || PrettyPending || FindBar->Searching() || Saving();
}

void TResultsForm::CheckIdle() {
    if (RawPending || PrettyPending || Saving())
        return;
    Progress->hide();
    if (!FindBar->Searching())
        emit Idle();
}

void TResultsForm::SetPrettyChoice(bool APretty) {
    WantPretty = APretty;
    {
        const QSignalBlocker blocker(PrettyButton);
        PrettyButton->setChecked(APretty);
    }
    if (Answer && WantPretty && !PrettyTried) {
        StartPretty();
        Progress->show();
    }
    ShowDocument();
}

QString TResultsForm::SuggestedFileName() const {
    const QString title = windowTitle();
    const qsizetype dash = title.indexOf(QLatin1String(" - "));
    QString command = dash > 0 ? title.left(dash) : title;
    // A name that cannot be a file name part is not offered.
    command.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]")),
                    QStringLiteral("_"));
    bool json =
        PrettyDocument != nullptr || QString::fromStdString(Result.ContentType)
                                         .contains(QLatin1String("json"), Qt::CaseInsensitive);
    if (!json && Answer) {
        const std::size_t first = Answer->find_first_not_of(u" \t\r\n");
        json =
            first != std::u16string::npos && ((*Answer)[first] == u'{' || (*Answer)[first] == u'[');
    }
    const QDateTime when = Received.isValid() ? Received : QDateTime::currentDateTime();
    return command + u'-' + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           (json ? QStringLiteral(".json") : QStringLiteral(".txt"));
}

bool TResultsForm::Save() {
    if (!Answer)
        return false;
    if (Saving()) {
        QApplication::beep(); // the status line says what is being saved
        return false;
    }
    QString folder = SaveFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    const QString suggested = QDir(folder).filePath(SuggestedFileName());
    const QString path = AskSaveFileName
                             ? AskSaveFileName(this, suggested)
                             : QFileDialog::getSaveFileName(
                                   this, QStringLiteral("Save Answer"), suggested,
                                   QStringLiteral("JSON (*.json);;Text (*.txt);;All files (*)"));
    if (path.isEmpty())
        return false;
    SaveFolder = QFileInfo(path).absolutePath();
    SavingPath = path;
    SaveWatcher.setFuture(SaveResultsTextInBackground(
        path, Answer, ShowingPretty() ? ResultsMemo->Document() : nullptr));
    Progress->show();
    ShowStatus();
    return true;
}

void TResultsForm::SaveDone() {
    const QString path = SavingPath;
    const QString error = SaveWatcher.result();
    SavingPath.clear();
    ShowStatus();
    CheckIdle();
    if (error.isEmpty())
        return;
    // The window may have been closed meanwhile: then the box shows over its owner.
    QWidget* over = isVisible() || !parentWidget() ? this : parentWidget();
    QMessageBox box(
        QMessageBox::Critical, QStringLiteral("Error"),
        QStringLiteral("Could not save %1:\n%2").arg(QDir::toNativeSeparators(path), error),
        QMessageBox::Ok, over);
    box.exec();
}

void TResultsForm::ShowModalOver(const QWidget& AOwner) {
    if (!ShownBefore) {
        ShownBefore = true;
        const QRect owner = AOwner.frameGeometry();
        QPoint place(owner.left() + (owner.width() - frameGeometry().width()) / 2,
                     owner.top() + (owner.height() - frameGeometry().height()) / 2);
        if (const QScreen* screen = AOwner.screen()) {
            const QRect desktop = screen->availableVirtualGeometry();
            place.setX(std::max(place.x(), desktop.left()));
            place.setY(std::max(place.y(), desktop.top()));
        }
        move(place);
    }
    ResultsMemo->setFocus(Qt::OtherFocusReason);
    exec();
}

void TResultsForm::keyPressEvent(QKeyEvent* AEvent) {
    // Escape closes the find bar only; the window has no Escape binding of its own.
    if (AEvent->key() == Qt::Key_Escape) {
        if (FindBar->isVisible())
            FindBar->Close();
        AEvent->accept();
        return;
    }
    QDialog::keyPressEvent(AEvent);
}
