#include "HistoryForm.h"

#include "HistoryRecorder.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QVBoxLayout>

THistoryForm::THistoryForm(THistoryRecorder& ARecorder, TCallHandler AOpen, TCallHandler ALoad,
                           QWidget* AParent)
    : QWidget(AParent, Qt::Window), FRecorder(ARecorder), FOpen(std::move(AOpen)),
      FLoad(std::move(ALoad)), FReader(ARecorder.Folder()) {
    setWindowTitle(QStringLiteral("Call history"));
    resize(720, 420);

    FilterEdit = new QLineEdit(this);
    FilterEdit->setPlaceholderText(
        QStringLiteral("Filter: command, parameter values, answer text"));
    FilterEdit->setClearButtonEnabled(true);
    Model = new THistoryModel(this);
    CallList = new QTableView(this);
    CallList->setModel(Model);
    CallList->setSelectionBehavior(QAbstractItemView::SelectRows);
    CallList->setSelectionMode(QAbstractItemView::SingleSelection);
    CallList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CallList->setTabKeyNavigation(false);
    CallList->setWordWrap(false);
    CallList->verticalHeader()->hide();
    // Rows of one height need no measuring, so a long list opens at once.
    CallList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    CallList->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    CallList->horizontalHeader()->setStretchLastSection(false);
    CallList->horizontalHeader()->setSectionResizeMode(THistoryModel::Status, QHeaderView::Stretch);
    CallList->setColumnWidth(THistoryModel::When, 140);
    CallList->setColumnWidth(THistoryModel::Command, 150);
    CallList->setColumnWidth(THistoryModel::Outcome, 70);

    OpenButton = new QPushButton(QStringLiteral("Open answer"), this);
    LoadButton = new QPushButton(QStringLiteral("Load into grid"), this);
    LoadButton->setToolTip(QStringLiteral("Ctrl+L"));
    ClearButton = new QPushButton(QStringLiteral("Clear history"), this);
    KeepHistory = new QCheckBox(QStringLiteral("Keep call history"), this);
    KeepHistory->setChecked(FRecorder.Enabled());
    StatusLabel = new QLabel(this);
    StatusLabel->setWordWrap(true);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(OpenButton);
    buttons->addWidget(LoadButton);
    buttons->addStretch(1);
    buttons->addWidget(KeepHistory);
    buttons->addWidget(ClearButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FilterEdit);
    layout->addWidget(CallList, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusLabel);

    connect(FilterEdit, &QLineEdit::textChanged, this, [this] { Refresh(); });
    connect(FilterEdit, &QLineEdit::returnPressed, CallList,
            [this] { CallList->setFocus(Qt::ShortcutFocusReason); });
    // Enter and a double-click both activate a row.
    connect(CallList, &QAbstractItemView::activated, this, [this] { Run(FOpen); });
    connect(OpenButton, &QPushButton::clicked, this, [this] { Run(FOpen); });
    connect(LoadButton, &QPushButton::clicked, this, [this] { Run(FLoad); });
    auto* loadShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(loadShortcut, &QShortcut::activated, this, [this] { Run(FLoad); });
    connect(KeepHistory, &QCheckBox::toggled, this,
            [this](bool AKeep) { FRecorder.SetEnabled(AKeep); });
    connect(ClearButton, &QPushButton::clicked, this, [this] {
        QMessageBox ask(QMessageBox::Question, QStringLiteral("Clear history"),
                        QStringLiteral("Delete every stored call?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setDefaultButton(QMessageBox::No);
        if (ask.exec() == QMessageBox::Yes)
            FRecorder.Clear();
    });
    connect(&FRecorder, &THistoryRecorder::Recorded, this, [this] {
        if (isVisible())
            Refresh();
    });
    connect(&FRecorder, &THistoryRecorder::Cleared, this, [this] {
        // The compacted file is a new one for a reader that had it open.
        Model->clear();
        if (isVisible())
            Refresh();
    });
    connect(&FRecorder, &THistoryRecorder::StatusChanged, this, [this] { ShowStatus(); });
    connect(&FRecorder, &THistoryRecorder::MovedAside, this, [this] {
        Model->clear();
        FReader.Close(); // it still has the file that was moved
        if (isVisible())
            Refresh();
    });
}

THistoryForm::~THistoryForm() {
    Model->clear(); // its query uses the reader's connection
}

void THistoryForm::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    KeepHistory->setChecked(FRecorder.Enabled());
    Refresh();
}

void THistoryForm::hideEvent(QHideEvent* AEvent) {
    // An unfinished query holds a snapshot that keeps the journal from being folded back.
    Model->clear();
    QWidget::hideEvent(AEvent);
}

void THistoryForm::Refresh() {
    FReadError.clear();
    try {
        if (!FReader.IsOpen())
            FReader.OpenForReading();
        // The list's older query would keep the reader on a snapshot from before the answers
        // the filter has indexed.
        Model->clear();
        Model->setQuery(FReader.ListQuery(FilterEdit->text()));
        if (Model->lastError().isValid())
            FReadError = Model->lastError().text();
    } catch (const EHistoryError& error) {
        Model->clear();
        FReadError = QString::fromStdString(error.what());
        // Opened again next time: the file may be made or replaced meanwhile.
        FReader.Close();
    }
    if (Model->rowCount() > 0 && !CallList->currentIndex().isValid())
        CallList->setCurrentIndex(Model->index(0, 0));
    ShowStatus();
}

void THistoryForm::ShowStatus() {
    const QString recording = FRecorder.Status();
    StatusLabel->setText(FReadError.isEmpty() || recording.isEmpty()
                             ? FReadError + recording
                             : FReadError + u'\n' + recording);
    StatusLabel->setVisible(!StatusLabel->text().isEmpty());
}

std::optional<THistoryCall> THistoryForm::CurrentCall() {
    const QModelIndex current = CallList->currentIndex();
    if (!current.isValid() || !FReader.IsOpen())
        return std::nullopt;
    try {
        std::optional<THistoryCall> call = FReader.Load(Model->CallId(current.row()));
        if (!call) {
            FReadError = QStringLiteral("That call is no longer in the history.");
            ShowStatus();
        }
        return call;
    } catch (const EHistoryError& error) {
        FReadError = QString::fromStdString(error.what());
        ShowStatus();
        return std::nullopt;
    }
}

void THistoryForm::Run(const TCallHandler& AHandler) {
    if (std::optional<THistoryCall> call = CurrentCall())
        AHandler(*call);
}
