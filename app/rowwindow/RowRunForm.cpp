#include "RowRunForm.h"

#include "BeforeCopy.h"
#include "CallArguments.h"
#include "RowExport.h"
#include "RowOutcomeModel.h"
#include "RunJournal.h"
#include "SecretParams.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Rows shown as they will be sent, and curl lines of a dry run.
constexpr int PreviewRows = 5;
constexpr int DryRunLines = 1000;

QString Text(const std::string& AText) {
    return QString::fromStdString(AText);
}

// "1 row", "3 rows".
QString Counted(qint64 ACount, const char* AWhat) {
    return QStringLiteral("%1 %2%3").arg(ACount).arg(QLatin1String(AWhat),
                                                     ACount == 1 ? QString() : QStringLiteral("s"));
}

QString Duration(double ASeconds) {
    const auto seconds = static_cast<qint64>(std::llround(ASeconds));
    return seconds >= 3600
               ? QStringLiteral("%1:%2:%3")
                     .arg(seconds / 3600)
                     .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
                     .arg(seconds % 60, 2, 10, QChar(u'0'))
               : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

} // namespace

TRowRunForm::TRowRunForm(TRowRunContext AContext, QWidget* AParent)
    : QWidget(AParent, Qt::Window), FContext(std::move(AContext)) {
    FSetup.Command = FContext.Command;
    FSetup.JSON = FContext.JSON;
    FSetup.Fixed = FContext.Fixed;
    FSetup.Server = FContext.Server;
    FSetup.URL = FContext.URL;
    FSetup.Profile = FContext.Profile;
    FSetup.Password = FContext.Password;
    FSetup.Catalogue = FContext.Catalogue;
    setWindowTitle(QStringLiteral("Run for rows - ") + Text(FContext.Command->Name));
    Ask = [this](const QString& ATitle, const QString& AText) {
        return QMessageBox::question(this, ATitle, AText, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };

    auto* layout = new QVBoxLayout(this);
    auto* fileRow = new QHBoxLayout;
    auto* fileLabel = new QLabel(QStringLiteral("&File:"), this);
    FileEdit = new QLineEdit(this);
    // A path may be typed or pasted as well as chosen; Enter opens it.
    FileEdit->setPlaceholderText(QStringLiteral("A CSV or JSON Lines file, one row per call"));
    fileLabel->setBuddy(FileEdit);
    ChooseButton = new QPushButton(QStringLiteral("&Choose..."), this);
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(FileEdit, 1);
    fileRow->addWidget(ChooseButton);
    layout->addLayout(fileRow);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    BuildCheckPane(splitter);
    BuildRunPane(splitter);
    layout->addWidget(splitter, 1);

    FixedLabel->setText(
        FContext.Fixed.isEmpty()
            ? QStringLiteral("No values given for every row (tick rows in the grid to give some).")
            : QStringLiteral("Given for every row: ") +
                  WithoutSecrets(FContext.Fixed, SecretNames(*FContext.Command)).join(u", "));
    // Only a command with a read to send first offers it.
    BeforeCopyBox->setChecked(FContext.BeforeCopies);
    BeforeCopyBox->setVisible(FContext.Catalogue != nullptr &&
                              BeforeCopyOf(FContext.Command->Name) != nullptr);

    FUpdateTimer = new QTimer(this);
    FUpdateTimer->setSingleShot(true);
    FUpdateTimer->setInterval(
        std::chrono::duration_cast<std::chrono::milliseconds>(TRowRunSession::TellEvery));
    connect(FUpdateTimer, &QTimer::timeout, this, &TRowRunForm::TakeRows);
    connect(ChooseButton, &QPushButton::clicked, this, &TRowRunForm::ChooseClick);
    connect(FileEdit, &QLineEdit::returnPressed, this,
            [this] { OpenFile(FileEdit->text().trimmed()); });
    connect(DryRunButton, &QPushButton::clicked, this, &TRowRunForm::DryRun);
    connect(StartButton, &QPushButton::clicked, this, &TRowRunForm::Start);
    connect(PauseButton, &QPushButton::toggled, this, &TRowRunForm::PauseClick);
    connect(StopButton, &QPushButton::clicked, this, &TRowRunForm::StopClick);
    connect(ExportButton, &QPushButton::clicked, this, &TRowRunForm::ExportClick);
    connect(FailedOnlyBox, &QCheckBox::toggled, Outcomes, &TRowOutcomeModel::SetFailedOnly);
    resize(1000, 760);
    UpdateButtons();
}

void TRowRunForm::BuildCheckPane(QSplitter* ASplitter) {
    auto* top = new QWidget(ASplitter);
    auto* topLayout = new QGridLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    ColumnList = new QTreeWidget(top);
    ColumnList->setHeaderLabels({QStringLiteral("Column"), QStringLiteral("Parameter")});
    ColumnList->setRootIsDecorated(false);
    ColumnList->setAccessibleName(QStringLiteral("Columns"));
    FixedLabel = new QLabel(top);
    FixedLabel->setWordWrap(true);
    FixedLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    CheckText = new QPlainTextEdit(top);
    CheckText->setReadOnly(true);
    CheckText->setAccessibleName(QStringLiteral("Check of every row"));
    PreviewText = new QPlainTextEdit(top);
    PreviewText->setReadOnly(true);
    PreviewText->setLineWrapMode(QPlainTextEdit::NoWrap);
    PreviewText->setAccessibleName(QStringLiteral("First rows as they will be sent"));
    topLayout->addWidget(new QLabel(QStringLiteral("Columns and parameters:"), top), 0, 0);
    topLayout->addWidget(ColumnList, 1, 0, 2, 1);
    topLayout->addWidget(FixedLabel, 0, 1);
    topLayout->addWidget(CheckText, 1, 1);
    topLayout->addWidget(new QLabel(QStringLiteral("First rows as they will be sent:"), top), 3, 0,
                         1, 2);
    topLayout->addWidget(PreviewText, 4, 0, 1, 2);
}

void TRowRunForm::BuildRunPane(QSplitter* ASplitter) {
    auto* bottom = new QWidget(ASplitter);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    auto* options = new QHBoxLayout;
    const auto addOption = [&](const QString& ALabel, QWidget* AControl) {
        auto* label = new QLabel(ALabel, bottom);
        label->setBuddy(AControl);
        options->addWidget(label);
        options->addWidget(AControl);
    };
    ConcurrencySpin = new QSpinBox(bottom);
    ConcurrencySpin->setRange(1, TRowRunSettings::MaxConcurrency);
    addOption(QStringLiteral("C&alls at once:"), ConcurrencySpin);
    RateSpin = new QDoubleSpinBox(bottom);
    RateSpin->setRange(0, 100000);
    RateSpin->setSpecialValueText(QStringLiteral("no limit"));
    addOption(QStringLiteral("Calls per seco&nd at most:"), RateSpin);
    MaxFailuresSpin = new QSpinBox(bottom);
    MaxFailuresSpin->setRange(0, 1000000);
    MaxFailuresSpin->setValue(1);
    MaxFailuresSpin->setSpecialValueText(QStringLiteral("never"));
    addOption(QStringLiteral("Ma&x failures before stopping:"), MaxFailuresSpin);
    RetryFailedBox = new QCheckBox(QStringLiteral("Send failed rows a&gain"), bottom);
    ResendUnknownBox = new QCheckBox(QStringLiteral("Send &unknown rows again"), bottom);
    options->addWidget(RetryFailedBox);
    options->addWidget(ResendUnknownBox);
    BeforeCopyBox = new QCheckBox(QStringLiteral("&Before copy of each row"), bottom);
    BeforeCopyBox->setToolTip(QStringLiteral(
        "Send the read that shows what the row's change alters just before it, and keep the "
        "reads with the run in the history"));
    options->addWidget(BeforeCopyBox);
    options->addStretch(1);
    bottomLayout->addLayout(options);

    auto* buttons = new QHBoxLayout;
    DryRunButton = new QPushButton(QStringLiteral("&Dry run"), bottom);
    StartButton = new QPushButton(QStringLiteral("&Start"), bottom);
    PauseButton = new QPushButton(QStringLiteral("&Pause"), bottom);
    PauseButton->setCheckable(true);
    StopButton = new QPushButton(QStringLiteral("S&top"), bottom);
    Progress = new QProgressBar(bottom);
    Progress->setAccessibleName(QStringLiteral("Rows done"));
    ProgressLabel = new QLabel(bottom);
    for (QPushButton* button : {DryRunButton, StartButton, PauseButton, StopButton})
        buttons->addWidget(button);
    buttons->addWidget(Progress, 1);
    bottomLayout->addLayout(buttons);
    bottomLayout->addWidget(ProgressLabel);

    auto* tableRow = new QHBoxLayout;
    FailedOnlyBox = new QCheckBox(QStringLiteral("Show only fai&led and unknown rows"), bottom);
    ExportButton = new QPushButton(QStringLiteral("&Export failed rows..."), bottom);
    tableRow->addWidget(FailedOnlyBox);
    tableRow->addStretch(1);
    tableRow->addWidget(ExportButton);
    bottomLayout->addLayout(tableRow);
    Outcomes = new TRowOutcomeModel(this);
    RowTable = new QTableView(bottom);
    RowTable->setModel(Outcomes);
    RowTable->setAccessibleName(QStringLiteral("Rows and their outcome"));
    RowTable->verticalHeader()->hide();
    // Every row the same height: the view never measures a long run's rows one by one.
    RowTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    RowTable->verticalHeader()->setDefaultSectionSize(RowTable->fontMetrics().height() + 6);
    RowTable->horizontalHeader()->setStretchLastSection(true);
    RowTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    bottomLayout->addWidget(RowTable, 1);
    SummaryLabel = new QLabel(bottom);
    SummaryLabel->setWordWrap(true);
    SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bottomLayout->addWidget(SummaryLabel);
}

TRowRunForm::~TRowRunForm() {
    // The worker's thread is gone before the journal it writes.
    FSession.reset();
}

TRunJournal& TRowRunForm::Journal() {
    if (!FJournal)
        FJournal = std::make_unique<TRunJournal>(FContext.HistoryFolder);
    return *FJournal;
}

void TRowRunForm::ChooseClick() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Rows to send"), FileEdit->text(),
        QStringLiteral("Rows (*.csv *.jsonl *.ndjson);;All files (*)"));
    if (!file.isEmpty())
        OpenFile(file);
}

void TRowRunForm::OpenFile(const QString& AFile) {
    if (FSession)
        return;
    // A run of the file opened before, offered for resuming, is no longer claimed.
    FJournal.reset();
    FileEdit->setText(AFile);
    ColumnList->clear();
    CheckText->clear();
    PreviewText->clear();
    FCheck.reset();
    FResume.reset();
    FSetup.File = AFile.toStdString();
    const std::optional<TRowFormat> format = RowFormatOfFile(FSetup.File);
    if (!format) {
        CheckText->setPlainText(QStringLiteral("Cannot tell the format of %1 by its extension: "
                                               "name it .csv, .jsonl or .ndjson.")
                                    .arg(AFile));
        UpdateButtons();
        return;
    }
    FSetup.Format = *format;
    try {
        for (const TColumnMatch& match : MatchColumns(
                 *FSetup.Command, RowFileColumns(FSetup.File, FSetup.Format), FSetup.Fixed)) {
            auto* item = new QTreeWidgetItem(
                ColumnList, {Text(match.Column),
                             match.Problem.empty() ? Text(match.Param) : Text(match.Problem)});
            if (!match.Problem.empty())
                item->setForeground(1, QColor(Qt::red));
            item->setToolTip(1, item->text(1));
        }
        ColumnList->resizeColumnToContents(0);
        FCheck = CheckRowFile(FSetup);
        CheckText->setPlainText(Counted(FCheck->Rows, "row") +
                                QStringLiteral(" checked: every row can be sent."));
        TRowFile file(FSetup.File, FSetup.Format);
        TFileRow row;
        QString preview;
        for (int i = 0; i < PreviewRows && file.Next(row); ++i)
            preview += QStringLiteral("row %1: ").arg(row.Number) +
                       RowJob(FSetup, row).KeptFields.join(u"  ") + u'\n';
        PreviewText->setPlainText(preview);
    } catch (const ERowSyntax& error) {
        CheckText->setPlainText(Text(RowSyntaxMessage(FSetup.File, error)));
    } catch (const std::exception& error) {
        // ECallUsage lists the rows that fail the check; nothing can be sent.
        CheckText->setPlainText(QString::fromUtf8(error.what()));
    }
    if (FCheck)
        OfferResume();
    UpdateButtons();
}

void TRowRunForm::OfferResume() {
    RetryFailedBox->setChecked(false);
    ResendUnknownBox->setChecked(false);
    try {
        TRunJournal& journal = Journal();
        const QString file = QFileInfo(QString::fromStdString(FSetup.File)).absoluteFilePath();
        const std::optional<qint64> id = journal.LastUnfinishedRun(file);
        if (!id)
            return;
        const std::optional<TRunInfo> run = journal.Run(*id);
        if (!run || run->Command != Text(FSetup.Command->Name))
            return;
        if (!journal.Claim(run->Id)) {
            CheckText->appendPlainText(
                QStringLiteral("\nRun %1 of this file is going on in another process.").arg(*id));
            return;
        }
        // Rows an ended run left "sending" may have reached the server.
        journal.MarkUnknownLeftSending(run->Id);
        const TRunCounts counts = journal.Counts(run->Id);
        QString text = QStringLiteral("Run %1 of this file, begun %2, was not finished:\n%3.")
                           .arg(run->Id)
                           .arg(run->StartedUtc.left(19).replace(u'T', u' '),
                                Text(RowRunSummary(*run, counts)));
        if (counts.Unknown > 0)
            text += QStringLiteral("\n\nThe unknown %1 may have reached the server before the "
                                   "run ended: check them there. They are not sent again unless "
                                   "you tick \"Send unknown rows again\".")
                        .arg(Text(RowList(counts.UnknownRows, counts.Unknown)));
        if (run->Sha256 != QString::fromStdString(FCheck->Sha256))
            text += QStringLiteral("\n\nThe file has changed since: it cannot be resumed.");
        else
            text += QStringLiteral("\n\nResume it?");
        if (run->Sha256 != QString::fromStdString(FCheck->Sha256)) {
            CheckText->appendPlainText(u'\n' + text);
            FJournal.reset();
            return;
        }
        if (Ask(QStringLiteral("Resume run %1").arg(run->Id), text))
            FResume = *run;
        else
            FJournal.reset(); // the run is left to the tool or a later window

    } catch (const ERunJournalError& error) {
        CheckText->appendPlainText(QStringLiteral("\nThe journal of runs cannot be read: ") +
                                   QString::fromUtf8(error.what()));
    }
}

void TRowRunForm::DryRun() {
    if (!FCheck)
        return;
    PreviewText->clear();
    QString text;
    try {
        TRowFile file(FSetup.File, FSetup.Format);
        TFileRow row;
        const QStringList secrets = SecretNames(*FSetup.Command);
        while (file.Next(row)) {
            if (row.Number > DryRunLines) {
                text += QStringLiteral("... and %1 more rows\n").arg(FCheck->Rows - DryRunLines);
                break;
            }
            text +=
                CurlLine(FSetup.URL, RowJob(FSetup, row).Form, secrets, false, FContext.CurlTls) +
                u'\n';
        }
    } catch (const std::exception& error) {
        text += QString::fromUtf8(error.what());
    }
    PreviewText->setPlainText(text);
}

void TRowRunForm::Start() {
    if (!FCheck || FSession)
        return;
    if (FContext.ConfirmRun && !FContext.ConfirmRun(FCheck->Rows))
        return;
    TRowRunSession::TPlan plan;
    FSetup.BeforeCopy = BeforeCopyBox->isChecked();
    plan.Setup = FSetup;
    plan.Choice = {RetryFailedBox->isChecked(), ResendUnknownBox->isChecked()};
    plan.Settings.URL = FSetup.URL;
    plan.Settings.Concurrency = ConcurrencySpin->value();
    plan.Settings.Rate = RateSpin->value();
    plan.Settings.MaxFailures = MaxFailuresSpin->value();
    plan.Settings.ConfigureTls = FContext.ConfigureTls;
    plan.HistoryFolder = FContext.HistoryFolder;
    plan.KeepHistory = FContext.KeepHistory;
    try {
        TRunJournal& journal = Journal();
        // The file is checked again: it may have changed since it was opened.
        const TRowFileCheck check = CheckRowFile(FSetup);
        if (FResume) {
            ResumeRowRun(journal, *FResume, check, FSetup.File);
            plan.Run = *journal.Run(FResume->Id);
            plan.Resumed = true;
            FToDo = RowsToSend(plan.Run, journal.Counts(plan.Run.Id), plan.Choice);
        } else {
            plan.Run = NewRowRun(FSetup, journal, check);
            journal.Claim(plan.Run.Id);
            FToDo = check.Rows;
        }
    } catch (const std::exception& error) {
        QMessageBox::critical(this, QStringLiteral("Run for rows"),
                              QString::fromUtf8(error.what()));
        return;
    }
    FRunFile = FSetup.File;
    FRunFormat = FSetup.Format;
    Outcomes->Clear();
    SummaryLabel->clear();
    FDone = 0;
    FFailures = 0;
    FStarted = std::chrono::steady_clock::now();
    PauseButton->setChecked(false);
    FSession = std::make_unique<TRowRunSession>(std::move(plan), *FJournal);
    connect(FSession.get(), &TRowRunSession::RowsReady, this, [this] {
        if (!FUpdateTimer->isActive())
            FUpdateTimer->start();
    });
    connect(FSession.get(), &TRowRunSession::Ended, this, &TRowRunForm::SessionEnded);
    ShowProgress();
    UpdateButtons();
}

void TRowRunForm::TakeRows() {
    if (!FSession)
        return;
    std::vector<TRowRecord> records;
    for (TRowRunSession::TDone& done : FSession->TakeDone()) {
        if (!done.Skipped) {
            ++FDone;
            if (done.Record.State == TRowState::Failed)
                ++FFailures;
        }
        records.push_back(std::move(done.Record));
    }
    Outcomes->Add(records);
    ShowProgress();
}

void TRowRunForm::ShowProgress() {
    Progress->setRange(0, 1000);
    Progress->setValue(FToDo > 0 ? static_cast<int>(FDone * 1000 / FToDo) : 0);
    Progress->setFormat(QStringLiteral("%1 of %2").arg(FDone).arg(FToDo));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - FStarted).count();
    const double rate = seconds > 0 ? static_cast<double>(FDone) / seconds : 0;
    QString text =
        QStringLiteral("%1 of %2 rows done, %3 calls/s").arg(FDone).arg(FToDo).arg(rate, 0, 'f', 1);
    if (rate > 0 && FDone < FToDo && FSession)
        text +=
            QStringLiteral(", %1 left").arg(Duration(static_cast<double>(FToDo - FDone) / rate));
    text += QStringLiteral(", %1 failed").arg(FFailures);
    if (FSession && FSession->Paused())
        text += QStringLiteral(" (paused: no new row starts)");
    ProgressLabel->setText(text);
}

void TRowRunForm::SessionEnded() {
    FUpdateTimer->stop();
    TakeRows();
    QString text = Text(FSession->Summary());
    if (FSession->StoppedByFailures())
        text = QStringLiteral("Stopped after %1. ")
                   .arg(Counted(MaxFailuresSpin->value(), "failed call")) +
               text;
    if (!FSession->Failure().isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + FSession->Failure();
    SummaryLabel->setText(text);
    FSession.reset();
    // The claim on the run goes with the journal: another window or the tool may resume it.
    FJournal.reset();
    FResume.reset();
    ShowProgress();
    UpdateButtons();
    emit RunEnded();
    if (FCloseWhenEnded)
        close();
}

void TRowRunForm::PauseClick(bool APaused) {
    if (FSession)
        FSession->SetPaused(APaused);
    PauseButton->setText(APaused ? QStringLiteral("Go &on") : QStringLiteral("&Pause"));
    ShowProgress();
}

void TRowRunForm::StopClick() {
    if (!FSession)
        return;
    FSession->Stop();
    StopButton->setEnabled(false);
    PauseButton->setEnabled(false);
    ProgressLabel->setText(QStringLiteral("Stopping: no new row starts; the calls under way end."));
}

void TRowRunForm::ExportClick() {
    const bool json = FRunFormat == TRowFormat::JsonLines;
    const QFileInfo from(QString::fromStdString(FRunFile));
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export failed rows"),
        from.dir().filePath(from.completeBaseName() + QStringLiteral("-failed.") +
                            (json ? QStringLiteral("jsonl") : QStringLiteral("csv"))),
        json ? QStringLiteral("JSON Lines (*.jsonl *.ndjson)") : QStringLiteral("CSV (*.csv)"));
    if (!file.isEmpty())
        ExportFailed(file);
}

bool TRowRunForm::ExportFailed(const QString& AFile) {
    const std::vector<std::int64_t> failed = Outcomes->FailedNumbers();
    try {
        const std::int64_t written =
            ExportRows(FRunFile, FRunFormat, AFile.toStdString(), [&failed](std::int64_t ARow) {
                return std::binary_search(failed.begin(), failed.end(), ARow);
            });
        SummaryLabel->setText(Counted(written, "row") +
                              QStringLiteral(" written to %1.").arg(AFile));
        return true;
    } catch (const std::exception& error) {
        QMessageBox::critical(this, QStringLiteral("Export failed rows"),
                              QString::fromUtf8(error.what()));
        return false;
    }
}

void TRowRunForm::UpdateButtons() {
    const bool running = FSession != nullptr;
    ChooseButton->setEnabled(!running);
    DryRunButton->setEnabled(!running && FCheck.has_value());
    StartButton->setEnabled(!running && FCheck.has_value());
    StartButton->setText(FResume ? QStringLiteral("&Resume run %1").arg(FResume->Id)
                                 : QStringLiteral("&Start"));
    PauseButton->setEnabled(running);
    StopButton->setEnabled(running);
    RetryFailedBox->setVisible(FResume.has_value());
    ResendUnknownBox->setVisible(FResume.has_value());
    RetryFailedBox->setEnabled(!running);
    ResendUnknownBox->setEnabled(!running);
    BeforeCopyBox->setEnabled(!running);
    for (QWidget* option : {static_cast<QWidget*>(ConcurrencySpin), static_cast<QWidget*>(RateSpin),
                            static_cast<QWidget*>(MaxFailuresSpin)})
        option->setEnabled(!running);
    ExportButton->setEnabled(!running && Outcomes->FailedRows() > 0);
}

void TRowRunForm::closeEvent(QCloseEvent* AEvent) {
    if (!FSession) {
        AEvent->accept();
        return;
    }
    AEvent->ignore();
    if (FCloseWhenEnded)
        return;
    if (!Ask(QStringLiteral("Run for rows"),
             QStringLiteral("A run is going on. Stop it and close the window? No new row starts; "
                            "the calls under way end first.")))
        return;
    FCloseWhenEnded = true;
    StopClick();
}
