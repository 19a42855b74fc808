#include "ResultsForm.h"

#include "AnswerDataPane.h"

#include "BackgroundPool.h"
#include "ResultsFilterBar.h"
#include "ResultsFindBar.h"
#include "ResultsSave.h"
#include "ResultsStatus.h"
#include "ResultsView.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
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
    ResultsMemo->setAccessibleName(QStringLiteral("Answer"));
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
    // A long status is cut at the window's edge rather than widening the window.
    StatusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusLayout->addWidget(StatusLine, 1);
    Progress = new QProgressBar(statusRow);
    Progress->setRange(0, 0);
    Progress->setMaximumWidth(120);
    Progress->setMaximumHeight(PrettyButton->sizeHint().height() * 2 / 3);
    Progress->setTextVisible(false);
    Progress->hide();
    statusLayout->addWidget(Progress);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), statusRow);
    CancelButton->setToolTip(QStringLiteral("Stop receiving the answer"));
    CancelButton->hide();
    statusLayout->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FilterBar = new TResultsFilterBar(this);
    layout->addWidget(FilterBar);
    layout->addWidget(ResultsMemo, 1);
    layout->addWidget(FindBar);
    layout->addWidget(statusRow);

    connect(PrettyButton, &QToolButton::toggled, this, &TResultsForm::SetPrettyChoice);
    const auto shortcut = [this](const QKeySequence& AKeys, auto AAction) {
        connect(new QShortcut(AKeys, this), &QShortcut::activated, this, AAction);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_J), [this] { SetPrettyChoice(!FWantPretty); });
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
    connect(&FRawWatcher, &QFutureWatcherBase::finished, this, &TResultsForm::RawReady);
    connect(&FPrettyWatcher, &QFutureWatcherBase::finished, this, &TResultsForm::PrettyReady);
    connect(FindBar, &TResultsFindBar::Found, this, &TResultsForm::CheckIdle);
    connect(ResultsMemo, &TResultsView::WrapDone, this, &TResultsForm::CheckIdle);
    ResultsMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ResultsMemo, &QWidget::customContextMenuRequested, this, &TResultsForm::ShowMenu);
    connect(ResultsMemo, &TResultsView::CopyRefused, this, [this](const QString& AReason) {
        ShowError(QStringLiteral("Could not copy:\n%1").arg(AReason));
    });
    connect(&FSaveWatcher, &QFutureWatcherBase::finished, this, &TResultsForm::SaveDone);

    DataPane = new TAnswerDataPane(this);
    DataPane->hide();
    layout->insertWidget(layout->indexOf(ResultsMemo) + 1, DataPane, 1);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_T),
             [this] { ShowDataView(static_cast<int>(TAnswerDataPane::TMode::Tree)); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_B),
             [this] { ShowDataView(static_cast<int>(TAnswerDataPane::TMode::Table)); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_G), [this] { FilterBar->Open(); });
    connect(FilterBar, &TResultsFilterBar::Requested, this, &TResultsForm::ApplyFilter);
    connect(FilterBar, &TResultsFilterBar::Ran, this, &TResultsForm::FilterRan);
    connect(FilterBar, &TResultsFilterBar::RunEnded, this, &TResultsForm::CheckIdle);
    connect(PrettyButton, &QToolButton::clicked, this, &TResultsForm::ShowTextView);
    connect(DataPane, &TAnswerDataPane::Idle, this, &TResultsForm::CheckIdle);
    FIntakeTimer.setInterval(100);
    connect(&FIntakeTimer, &QTimer::timeout, this, &TResultsForm::UpdateIntake);
    connect(CancelButton, &QPushButton::clicked, this, [this] {
        CancelButton->setEnabled(false);
        emit CancelRequested();
    });
    // Closing the window while the answer arrives ends the call.
    connect(this, &QDialog::rejected, this, [this] {
        if (Receiving())
            emit CancelRequested();
    });
}

void TResultsForm::ShowDataView(int AMode) {
    const auto mode = static_cast<TAnswerDataPane::TMode>(AMode);
    if (DataPane->isVisible() && DataPane->Mode() == mode) {
        ShowTextView();
        return;
    }
    ResultsMemo->hide();
    FindBar->hide();
    DataPane->show();
    ShowTextInDataPane();
    DataPane->ShowMode(mode);
}

void TResultsForm::ShowTextInDataPane() {
    DataPane->SetAnswer(FShown, FShown != FAnswer);
}

void TResultsForm::ShowTextView() {
    if (!DataPane->isVisible())
        return;
    DataPane->hide();
    ResultsMemo->show();
    ResultsMemo->setFocus();
}

TResultsForm::~TResultsForm() {
    // Work still running ends on its own; nothing waits for it. A save is the exception: the
    // file the user asked for is finished (it replaces the old one only when complete).
    if (FCancel)
        FCancel->store(true);
    FSaveWatcher.waitForFinished();
}

void TResultsForm::SetResultsText(const QString& AText) {
    SetAnswer(std::make_shared<const std::u16string>(AText.toStdU16String()));
}

QString TResultsForm::ResultsText() const {
    return FAnswer ? CrLfLineBreaks(QString::fromStdU16String(*FAnswer)) : QString();
}

void TResultsForm::SetCallResult(TCallResult AResult, bool ACancelled) {
    EndIntake();
    FReceived = QDateTime::currentDateTime();
    FCancelled = ACancelled;
    auto text = std::make_shared<const std::u16string>(std::move(AResult.Text));
    FResult = std::move(AResult);
    SetAnswer(std::move(text));
    ShowStatus();
}

void TResultsForm::BeginAnswer(std::shared_ptr<TAnswerIntake> AIntake) {
    // Whatever was shown before goes, even when the new answer turns out the same.
    if (FCancel)
        FCancel->store(true);
    FilterBar->Stop();
    FAnswer.reset();
    FShown.reset();
    FFilter.clear();
    FAnswerForms = {};
    FRawDocument.reset();
    FPrettyDocument.reset();
    FPrettyVerdict = {};
    FPrettyTried = false;
    FRawPending = false;
    FPrettyPending = false;
    FPreview.reset();
    FindBar->Close();
    FindBar->FindEdit->clear();
    ResultsMemo->SetDocument(nullptr);
    FResult = {};
    FCancelled = false;
    FIntake = std::move(AIntake);
    CancelButton->setEnabled(true);
    CancelButton->show();
    Progress->show();
    FIntakeTimer.start();
    UpdateIntake();
}

void TResultsForm::EndAnswer(TCallResult AResult, bool ACancelled) {
    if (!FIntake)
        return SetCallResult(std::move(AResult), ACancelled);
    std::shared_ptr<const TTextDocument> raw = FIntake->TakeDocument();
    EndIntake();
    FReceived = QDateTime::currentDateTime();
    FCancelled = ACancelled;
    AResult.Text.clear();
    FResult = std::move(AResult);
    TTextDocument::TText text = raw->Source();
    SetAnswer(std::move(text), std::move(raw));
    ShowStatus();
}

void TResultsForm::UpdateIntake() {
    if (!FIntake)
        return;
    // The first screen is copied while it fills; the rest is read only once it has all come.
    const std::size_t shown = FPreview ? static_cast<std::size_t>(FPreview->Length()) : 0;
    if (shown < PreviewUnits && FIntake->Units() > static_cast<int64_t>(shown)) {
        FPreview = TTextDocument::MakeRaw(
            std::make_shared<const std::u16string>(FIntake->First(PreviewUnits)));
        ResultsMemo->SetDocument(FPreview);
    }
    ShowStatus();
}

void TResultsForm::EndIntake() {
    if (!FIntake)
        return;
    FIntake.reset();
    FIntakeTimer.stop();
    CancelButton->hide();
}

void TResultsForm::AbandonAnswer() {
    if (!Receiving())
        return;
    EndIntake();
    FPreview.reset();
    ResultsMemo->SetDocument(nullptr);
    hide();
    CheckIdle();
}

void TResultsForm::SetAnswer(TTextDocument::TText AText,
                             std::shared_ptr<const TTextDocument> ARaw) {
    if (FAnswer && *FAnswer == *AText)
        return;
    if (FCancel)
        FCancel->store(true);
    FilterBar->Stop();
    FAnswer = std::move(AText);
    FShown = FAnswer;
    FFilter.clear();
    FAnswerForms = {};
    FilterBar->ShowError({});
    FilterBar->ShowNote({});
    // A search typed for the last answer does not follow into the next.
    FindBar->Close();
    FindBar->FindEdit->clear();
    FRawDocument.reset();
    FPrettyDocument.reset();
    FPrettyVerdict = {};
    FPrettyTried = false;
    // The first screen of an answer that was arriving stays until its document is made.
    if (!FPreview || ResultsMemo->Document() != FPreview)
        ResultsMemo->SetDocument(nullptr);
    StartWork(std::move(ARaw));
    ShowTextInDataPane();
    RecallFilter();
}

void TResultsForm::RecallFilter() {
    const TRecentFilters recent =
        FRecall.Recent && !FCommand.isEmpty() ? FRecall.Recent(FCommand) : TRecentFilters{};
    FilterBar->SetHistory(recent.Filters);
    if (!recent.LastApplied || recent.Filters.isEmpty()) {
        FilterBar->FilterLine->clear();
        return;
    }
    const QString& last = recent.Filters.front();
    FilterBar->FilterLine->setText(last);
    FilterBar->show();
    if (FAnswer->size() > AutoFilterUnits) {
        FilterBar->ShowNote(
            QStringLiteral("The last filter used on %1 is not applied to an answer of this size "
                           "on its own: Enter applies it.")
                .arg(FCommand));
        return;
    }
    ApplyFilter(last);
}

void TResultsForm::RememberFilter(const QString& AProgram) {
    if (!FRecall.Use || FCommand.isEmpty())
        return;
    try {
        FRecall.Use(FCommand, AProgram);
        if (FRecall.Recent)
            FilterBar->SetHistory(FRecall.Recent(FCommand).Filters);
    } catch (const std::exception& error) {
        FilterBar->ShowNote(QStringLiteral("The filter could not be remembered: %1")
                                .arg(QString::fromStdString(error.what())));
    }
}

void TResultsForm::ApplyFilter(const QString& AProgram) {
    FilterBar->ShowNote({});
    if (!FAnswer)
        return;
    if (AProgram.isEmpty()) {
        FilterBar->Stop();
        FilterBar->ShowError({});
        FilterBar->FilterLine->clear();
        FFilter.clear();
        ShowText(FAnswer, nullptr);
        RememberFilter({});
        ShowStatus();
        CheckIdle();
        return;
    }
    FilterBar->show();
    FilterBar->FilterLine->setText(AProgram);
    FilterBar->Run(FAnswer, AProgram);
    Progress->show();
    ShowStatus();
}

void TResultsForm::FilterRan(const TFilterOutput& AOutput) {
    FilterBar->ShowError(AOutput.Error);
    // A program that does not compile leaves the views as they were.
    if (AOutput.Compiled && AOutput.Raw) {
        FFilter = AOutput.Program;
        ShowText(AOutput.Text, AOutput.Raw);
        if (AOutput.Error.isEmpty())
            RememberFilter(FFilter);
    }
    ShowStatus();
    CheckIdle();
}

void TResultsForm::ShowText(TTextDocument::TText AText, std::shared_ptr<const TTextDocument> ARaw) {
    if (!AText || AText == FShown)
        return;
    if (FCancel)
        FCancel->store(true);
    // The answer's forms are kept while a filter's results are shown; those not made yet are
    // made again when the answer comes back.
    if (FShown == FAnswer)
        FAnswerForms = {FRawPending ? nullptr : FRawDocument,
                        FPrettyPending ? nullptr : FPrettyDocument, FPrettyVerdict,
                        FPrettyTried && !FPrettyPending};
    FShown = std::move(AText);
    FRawPending = false;
    FPrettyPending = false;
    if (FShown == FAnswer) {
        FRawDocument = std::move(FAnswerForms.Raw);
        FPrettyDocument = std::move(FAnswerForms.Pretty);
        FPrettyVerdict = std::move(FAnswerForms.Verdict);
        FPrettyTried = FAnswerForms.PrettyTried;
        FAnswerForms = {};
        ARaw = FRawDocument;
    } else {
        FRawDocument.reset();
        FPrettyDocument.reset();
        FPrettyVerdict = {};
        FPrettyTried = false;
    }
    StartWork(std::move(ARaw));
    ShowTextInDataPane();
}

void TResultsForm::StartWork(std::shared_ptr<const TTextDocument> ARaw) {
    FCancel = std::make_shared<std::atomic<bool>>(false);
    if (FWantPretty && !FPrettyTried)
        StartPretty();
    if (ARaw) {
        FRawDocument = std::move(ARaw);
        ShowDocument();
        CheckIdle();
    } else {
        FRawPending = true;
        FRawWatcher.setFuture(
            QtConcurrent::run(&BackgroundPool(), [text = FShown, cancel = FCancel] {
                return TTextDocument::MakeRaw(text, cancel.get());
            }));
    }
    if (FRawPending || FPrettyPending)
        Progress->show();
    ShowStatus();
}

void TResultsForm::StartPretty() {
    FPrettyTried = true;
    FPrettyPending = true;
    FPrettyWatcher.setFuture(QtConcurrent::run(
        &BackgroundPool(), [text = FShown, cancel = FCancel, sequence = FShown != FAnswer] {
            TPrettyWork work{text, nullptr, {}};
            work.Document =
                TTextDocument::MakePretty(text, work.Verdict, nullptr, cancel.get(), sequence);
            return work;
        }));
}

void TResultsForm::RawReady() {
    auto document = FRawWatcher.result();
    if (!document || document->Source() != FShown)
        return;
    FRawPending = false;
    FRawDocument = std::move(document);
    ShowDocument();
    CheckIdle();
}

void TResultsForm::PrettyReady() {
    TPrettyWork work = FPrettyWatcher.result();
    if (work.Text != FShown)
        return; // made for a text no longer shown
    FPrettyPending = false;
    FPrettyDocument = std::move(work.Document);
    FPrettyVerdict = std::move(work.Verdict);
    ShowDocument();
    CheckIdle();
}

void TResultsForm::ShowDocument() {
    const auto& wanted = FWantPretty && FPrettyDocument ? FPrettyDocument : FRawDocument;
    // The first screen of an answer to be shown indented stays while the indented form is made:
    // laying out the raw form meanwhile (a long line is wrapped whole) would hold up the window
    // only to be thrown away.
    if (FWantPretty && FPrettyPending && FPreview && ResultsMemo->Document() == FPreview)
        return ShowStatus();
    if (wanted && ResultsMemo->Document() != wanted) {
        ResultsMemo->SetDocument(wanted);
        FPreview.reset();
        FindBar->Refresh();
    }
    ShowStatus();
}

void TResultsForm::ShowStatus() {
    if (FIntake) {
        const TAnswerIntake::THead head = FIntake->Head();
        QString text =
            QStringLiteral("%1 received...").arg(QLocale().formattedDataSize(FIntake->Bytes()));
        if (!head.StatusLine.empty())
            text = QString::fromStdString(head.StatusLine) + QStringLiteral(" | ") + text;
        StatusLine->setText(text);
        StatusLine->setToolTip(text);
        return;
    }
    const auto& shown = ResultsMemo->Document();
    // Until its document is made, a received answer's lines are not known.
    QString text = ResultsStatusText(FResult, shown && shown != FPreview ? shown->LineCount() : -1);
    if (FCancelled)
        text += QStringLiteral(" | Cancelled");
    // A cut answer is not whole JSON; the status says it was cut instead.
    if (FWantPretty && FPrettyTried && !FPrettyPending && !FPrettyDocument &&
        FResult.KeptBytes < 0 && FShown == FAnswer)
        text += QStringLiteral(" | Not JSON: line %1, column %2")
                    .arg(FPrettyVerdict.ErrorLine)
                    .arg(FPrettyVerdict.ErrorColumn);
    if (Saving())
        text += QStringLiteral(" | Saving %1 ...").arg(QFileInfo(FSavingPath).fileName());
    // What is shown, found and saved is then the filter's results, not the answer: said first,
    // where a narrow window does not cut it off; the program is in the line and the tip.
    if (FilterBar->Pending())
        text = QStringLiteral("Filtering... | ") + text;
    if (!FFilter.isEmpty())
        text = QStringLiteral("jq filter applied | ") + text;
    StatusLine->setText(text);
    StatusLine->setToolTip(FFilter.isEmpty() ? text
                                             : text + QStringLiteral("\njq filter: ") + FFilter);
}

bool TResultsForm::ShowingPretty() const {
    return ResultsMemo->Document() && ResultsMemo->Document()->Pretty();
}

bool TResultsForm::Busy() const {
    return Receiving() || FRawPending || FPrettyPending || FindBar->Searching() || Saving() ||
           DataPane->Busy() || FilterBar->Running() || ResultsMemo->Wrapping();
}

void TResultsForm::CheckIdle() {
    if (Receiving() || FRawPending || FPrettyPending || Saving() || DataPane->Busy() ||
        FilterBar->Running())
        return;
    Progress->hide();
    if (!FindBar->Searching() && !ResultsMemo->Wrapping())
        emit Idle();
}

void TResultsForm::SetPrettyChoice(bool APretty) {
    FWantPretty = APretty;
    {
        const QSignalBlocker blocker(PrettyButton);
        PrettyButton->setChecked(APretty);
    }
    if (FAnswer && FWantPretty && !FPrettyTried) {
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
        FPrettyDocument != nullptr || QString::fromStdString(FResult.ContentType)
                                          .contains(QLatin1String("json"), Qt::CaseInsensitive);
    if (!json && FShown) {
        const std::size_t first = FShown->find_first_not_of(u" \t\r\n");
        json =
            first != std::u16string::npos && ((*FShown)[first] == u'{' || (*FShown)[first] == u'[');
    }
    const QDateTime when = FReceived.isValid() ? FReceived : QDateTime::currentDateTime();
    return command + u'-' + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
           (json ? QStringLiteral(".json") : QStringLiteral(".txt"));
}

bool TResultsForm::Save() {
    if (!FAnswer)
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
    FSavingPath = path;
    // The text shown: a filter's results when one is applied (the status line says so).
    FSaveWatcher.setFuture(SaveResultsTextInBackground(
        path, FShown, ShowingPretty() ? ResultsMemo->Document() : nullptr));
    Progress->show();
    ShowStatus();
    return true;
}

void TResultsForm::SaveDone() {
    const QString path = FSavingPath;
    const QString error = FSaveWatcher.result();
    FSavingPath.clear();
    ShowStatus();
    CheckIdle();
    if (!error.isEmpty())
        ShowError(
            QStringLiteral("Could not save %1:\n%2").arg(QDir::toNativeSeparators(path), error));
}

std::unique_ptr<QMenu> TResultsForm::MakeContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const auto add = [&](const QString& AText, const QKeySequence& AKeys, auto AAction) {
        QAction* action = menu->addAction(AText, this, AAction);
        action->setShortcut(AKeys);
        return action;
    };
    add(QStringLiteral("&Copy"), QKeySequence::Copy, [this] {
        ResultsMemo->Copy();
    })->setEnabled(ResultsMemo->SelectionEnd() > ResultsMemo->SelectionStart());
    add(QStringLiteral("Select &All"), QKeySequence::SelectAll, [this] {
        ResultsMemo->SelectAll();
    })->setEnabled(ResultsMemo->Document() != nullptr);
    menu->addSeparator();
    add(QStringLiteral("&Find..."), QKeySequence::Find, [this] { FindBar->Open(); });
    add(QStringLiteral("jq Fi&lter..."), QKeySequence(Qt::CTRL | Qt::Key_G),
        [this] { FilterBar->Open(); });
    add(QStringLiteral("&Save As..."), QKeySequence::Save, [this] {
        Save();
    })->setEnabled(FAnswer != nullptr && !Saving());
    menu->addSeparator();
    auto* views = new QActionGroup(menu.get());
    for (const bool pretty : {false, true}) {
        QAction* action =
            add(pretty ? QStringLiteral("&Pretty") : QStringLiteral("&Raw"),
                QKeySequence(Qt::CTRL | Qt::Key_J), [this, pretty] { SetPrettyChoice(pretty); });
        action->setCheckable(true);
        action->setChecked(FWantPretty == pretty);
        action->setActionGroup(views);
        if (FWantPretty == pretty)
            action->setShortcut({}); // the keys switch to the other one
    }
    return menu;
}

void TResultsForm::ShowMenu(QPoint AWhere) {
    MakeContextMenu()->exec(ResultsMemo->viewport()->mapToGlobal(AWhere));
}

void TResultsForm::ShowError(const QString& AText) {
    // The window may have been closed meanwhile: then the box shows over its owner.
    QWidget* over = isVisible() || !parentWidget() ? this : parentWidget();
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), AText, QMessageBox::Ok, over);
    box.exec();
}

void TResultsForm::ShowModalOver(const QWidget& AOwner) {
    ShowTextInDataPane();
    PlaceOver(AOwner);
    ResultsMemo->setFocus(Qt::OtherFocusReason);
    exec();
}

void TResultsForm::ShowOver(const QWidget& AOwner) {
    PlaceOver(AOwner);
    show();
    ResultsMemo->setFocus(Qt::OtherFocusReason);
}

void TResultsForm::PlaceOver(const QWidget& AOwner) {
    if (!FShownBefore) {
        FShownBefore = true;
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
}

void TResultsForm::keyPressEvent(QKeyEvent* AEvent) {
    // Escape closes the find bar only; the window has no Escape binding of its own.
    if (AEvent->key() == Qt::Key_Escape) {
        if (FilterBar->isAncestorOf(QApplication::focusWidget()))
            (DataPane->isVisible() ? static_cast<QWidget*>(DataPane) : ResultsMemo)->setFocus();
        else if (FindBar->isVisible())
            FindBar->Close();
        AEvent->accept();
        return;
    }
    QDialog::keyPressEvent(AEvent);
}
