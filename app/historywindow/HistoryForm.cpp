#include "HistoryForm.h"

#include "AnswerPane.h"
#include "BackgroundPool.h"
#include "HistoryRecorder.h"
#include "HistorySearch.h"
#include "LineDiff.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

THistoryForm::THistoryForm(THistoryRecorder& ARecorder, TCallHandler AOpen, TCallHandler ALoad,
                           QWidget* AParent)
    : QWidget(AParent, Qt::Window), FRecorder(ARecorder), FOpen(std::move(AOpen)),
      FLoad(std::move(ALoad)), FReader(ARecorder.Folder()),
      FSearch(std::make_unique<THistorySearch>(ARecorder.Folder())) {
    setWindowTitle(QStringLiteral("Call history"));
    // Room for the columns of a usual call and a short answer under them at any font: about 125
    // characters by 40 lines, as far as the screen allows.
    QSize room(fontMetrics().averageCharWidth() * 125, fontMetrics().height() * 40);
    if (const QScreen* screen = this->screen())
        room = room.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(room);

    FilterEdit = new QLineEdit(this);
    FilterEdit->setAccessibleName(QStringLiteral("Filter calls"));
    FilterEdit->setPlaceholderText(
        QStringLiteral("Filter: command, profile, parameter values, answer text"));
    FilterEdit->setClearButtonEnabled(true);
    Model = new THistoryModel(this);
    CreateCallList();
    CreateEmptyLabel();
    QSplitter* split = CreateAnswerPane();

    OpenButton = new QPushButton(QStringLiteral("Open answer"), this);
    LoadButton = new QPushButton(QStringLiteral("Load into grid"), this);
    LoadButton->setToolTip(QStringLiteral("Ctrl+L"));
    CreateCompareButtons();
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
    // Beside the filter, where the line can give them room.
    auto* top = new QHBoxLayout;
    top->addWidget(FilterEdit, 1);
    top->addWidget(BeforeButton);
    top->addWidget(CompareButton);
    layout->addLayout(top);
    layout->addWidget(split, 1);
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
        Model->Clear();
        ClearPreview();
        ShowEmptyState();
        if (isVisible())
            Refresh();
    });
    connect(&FRecorder, &THistoryRecorder::StatusChanged, this, [this] { ShowStatus(); });
    connect(&FRecorder, &THistoryRecorder::MovedAside, this, [this] {
        Model->Clear();
        ClearPreview();
        // They still have the file that was moved.
        FReader.Close();
        FSearch->Reopen();
        if (isVisible())
            Refresh();
    });
    connect(FSearch.get(), &THistorySearch::Listed, this, &THistoryForm::ShowCalls);
    connect(FSearch.get(), &THistorySearch::Indexing, this, &THistoryForm::ShowIndexing);
    connect(FSearch.get(), &THistorySearch::IndexingFailed, this, [this](const QString& AError) {
        FIndexingLeft = 0;
        FIndexError = QStringLiteral("Some answers cannot be searched yet: ") + AError;
        ShowStatus();
    });
}

void THistoryForm::CreateCallList() {
    CallList = new QTableView(this);
    CallList->setAccessibleName(QStringLiteral("Calls"));
    CallList->setModel(Model);
    CallList->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Two calls selected (Ctrl+click) can be compared.
    CallList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    CallList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CallList->setTabKeyNavigation(false);
    CallList->setWordWrap(false);
    CallList->verticalHeader()->hide();
    // Rows of one height need no measuring, so a long list opens at once.
    CallList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    CallList->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // Every column as wide as what it holds; the status takes the rest, cut short where it is
    // long and shown whole in its tooltip.
    CallList->horizontalHeader()->setStretchLastSection(false);
    CallList->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    CallList->horizontalHeader()->setSectionResizeMode(THistoryModel::Status, QHeaderView::Stretch);
}

// The list over the answer of its current call; the user may give either more room.
QSplitter* THistoryForm::CreateAnswerPane() {
    AnswerPane = new TAnswerPane(this);
    FPreview = new QFutureWatcher<TPreview>(this);
    connect(CallList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { PreviewCurrent(); });
    connect(FPreview, &QFutureWatcher<TPreview>::finished, this, [this] { ShowPreview(); });
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    split->addWidget(CallList);
    split->addWidget(AnswerPane);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    return split;
}

THistoryForm::~THistoryForm() {
    // The read under way ends first: it opened the file this window's owner may remove next.
    FPreview->waitForFinished();
}

void THistoryForm::CreateCompareButtons() {
    BeforeButton = new QPushButton(QStringLiteral("Before copy"), this);
    BeforeButton->setToolTip(
        QStringLiteral("The answer of the read sent before this call, as it was before the call"));
    CompareButton = new QPushButton(QStringLiteral("Compare"), this);
    CompareButton->setToolTip(
        QStringLiteral("Line diff of the answers of two selected calls (Ctrl+D)"));
    connect(BeforeButton, &QPushButton::clicked, this, [this] { OpenBeforeCopy(); });
    connect(CompareButton, &QPushButton::clicked, this, [this] { CompareSelected(); });
    auto* compareShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    connect(compareShortcut, &QShortcut::activated, this, [this] { CompareSelected(); });
}

// In the middle of the list, over its background; clicks go through to the list.
void THistoryForm::CreateEmptyLabel() {
    EmptyLabel = new QLabel(CallList->viewport());
    EmptyLabel->setAlignment(Qt::AlignCenter);
    EmptyLabel->setWordWrap(true);
    EmptyLabel->setForegroundRole(QPalette::Text); // on the list's background, readable
    EmptyLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    EmptyLabel->hide();
    auto* layout = new QVBoxLayout(CallList->viewport());
    layout->addWidget(EmptyLabel);
}

void THistoryForm::setVisible(bool AVisible) {
    if (AVisible && !isVisible() && parentWidget()) {
        const QWidget* owner = parentWidget()->window();
        const QScreen* screen = owner->screen();
        move(CentredOver(owner->frameGeometry(), frameGeometry().size(),
                         screen ? screen->availableGeometry() : QRect()));
    }
    QWidget::setVisible(AVisible);
}

void THistoryForm::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    KeepHistory->setChecked(FRecorder.Enabled());
    Refresh();
}

void THistoryForm::hideEvent(QHideEvent* AEvent) {
    // No one is looking: the indexing goes on when the window shows again.
    FSearch->Stop();
    FIndexingLeft = 0;
    QWidget::hideEvent(AEvent);
}

void THistoryForm::Refresh() {
    FIndexError.clear();
    FSearch->Search(FilterEdit->text());
    ShowStatus();
}

bool THistoryForm::Searching() const {
    return FSearch->Busy();
}

void THistoryForm::ShowCalls(const std::vector<THistorySummary>& ACalls, const QString& AError) {
    const QModelIndex current = CallList->currentIndex();
    const qint64 currentId = current.isValid() ? Model->CallId(current.row()) : 0;
    Model->SetCalls(ACalls);
    FReadError = AError;
    if (Model->rowCount() > 0) {
        // The same call stays current as the list follows new calls and the indexing.
        const int row = Model->RowOf(currentId);
        CallList->setCurrentIndex(Model->index(row < 0 ? 0 : row, 0));
    } else {
        ClearPreview();
    }
    ShowStatus();
    ShowEmptyState();
}

void THistoryForm::ShowEmptyState() {
    // A list that could not be read says so in the status line instead.
    const bool empty = Model->rowCount() == 0 && FReadError.isEmpty();
    if (!empty) {
        EmptyLabel->hide();
        return;
    }
    if (THistoryFilter(FilterEdit->text()).Text.isEmpty())
        EmptyLabel->setText(QStringLiteral("No calls recorded yet."));
    else if (FIndexingLeft > 0)
        EmptyLabel->setText(QStringLiteral("No calls match the filter so far."));
    else
        EmptyLabel->setText(QStringLiteral("No calls match the filter."));
    EmptyLabel->show();
}

void THistoryForm::ShowIndexing(qint64 ALeft) {
    const bool progressed = ALeft < FIndexingLeft;
    FIndexingLeft = ALeft;
    ShowStatus();
    if (!Searching())
        ShowEmptyState();
    // What the filter finds grows with every answer indexed.
    if (progressed && isVisible() && !THistoryFilter(FilterEdit->text()).Terms.isEmpty())
        Refresh();
}

void THistoryForm::ShowStatus() {
    QStringList lines;
    if (!FReadError.isEmpty())
        lines.append(FReadError);
    if (FIndexingLeft > 0)
        lines.append(QStringLiteral("Indexing answers\u2026 %1 left").arg(FIndexingLeft));
    if (!FIndexError.isEmpty())
        lines.append(FIndexError);
    if (const QString recording = FRecorder.Status(); !recording.isEmpty())
        lines.append(recording);
    StatusLabel->setText(lines.join(u'\n'));
    StatusLabel->setVisible(!lines.isEmpty());
}

std::optional<THistoryCall> THistoryForm::CurrentCall() {
    const QModelIndex current = CallList->currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return LoadCall(Model->CallId(current.row()));
}

std::optional<THistoryCall> THistoryForm::LoadCall(qint64 AId) {
    try {
        if (!FReader.IsOpen())
            FReader.OpenForReading();
        std::optional<THistoryCall> call = FReader.Load(AId);
        if (!call) {
            FReadError = QStringLiteral("That call is no longer in the history.");
            ShowStatus();
        }
        return call;
    } catch (const EHistoryError& error) {
        FReadError = QString::fromStdString(error.what());
        FReader.Close(); // opened again next time: the file may be made or replaced meanwhile
        ShowStatus();
        return std::nullopt;
    }
}

bool THistoryForm::Previewing() const {
    return FPreview->isRunning() || FPreviewWanted != FPreviewDone;
}

void THistoryForm::PreviewCurrent() {
    const QModelIndex current = CallList->currentIndex();
    // The list passes through no current row as it is read again: the pane keeps its call.
    if (!current.isValid())
        return;
    FPreviewWanted = Model->CallId(current.row());
    // One read at a time: the call wanted when it ends is read next.
    if (!FPreview->isRunning() && FPreviewWanted != FPreviewDone)
        StartPreview(FPreviewWanted);
}

void THistoryForm::StartPreview(qint64 AId) {
    FPreview->setFuture(
        QtConcurrent::run(&BackgroundPool(), [folder = FRecorder.Folder(), AId]() -> TPreview {
            try {
                return {AId, ReadEntryTexts(folder, AId), {}};
            } catch (const std::exception& error) {
                return {AId, {}, QString::fromStdString(error.what())};
            }
        }));
}

void THistoryForm::ShowPreview() {
    const TPreview preview = FPreview->result();
    if (preview.Id == FPreviewWanted) {
        FPreviewDone = preview.Id;
        if (preview.Error.isEmpty())
            AnswerPane->Show(preview.Texts);
        else
            AnswerPane->ShowNone(preview.Error);
    }
    if (FPreviewWanted != FPreviewDone)
        StartPreview(FPreviewWanted);
}

void THistoryForm::ClearPreview() {
    FPreviewWanted = 0;
    FPreviewDone = 0;
    AnswerPane->ShowNone();
}

void THistoryForm::Run(const TCallHandler& AHandler) {
    if (std::optional<THistoryCall> call = CurrentCall())
        AHandler(*call);
}

void THistoryForm::OpenBeforeCopy() {
    const std::optional<THistoryCall> call = CurrentCall();
    if (!call)
        return;
    if (call->BeforeCopyId <= 0) {
        FReadError = QStringLiteral("%1 has no before copy.").arg(call->Command);
        ShowStatus();
        return;
    }
    if (std::optional<THistoryCall> before = LoadCall(call->BeforeCopyId))
        FOpen(*before);
}

void THistoryForm::CompareSelected() {
    QModelIndexList rows = CallList->selectionModel()->selectedRows();
    if (rows.size() != 2) {
        FReadError = QStringLiteral("Select two calls to compare (Ctrl+click the second).");
        ShowStatus();
        return;
    }
    // The list is newest first: the lower row is the older call.
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& AOne, const QModelIndex& AOther) {
        return AOne.row() > AOther.row();
    });
    const std::optional<THistoryCall> older = LoadCall(Model->CallId(rows[0].row()));
    const std::optional<THistoryCall> newer = LoadCall(Model->CallId(rows[1].row()));
    if (!older || !newer)
        return;
    const std::vector<TDiffLine> diff = DiffLines(PrettyLines(older->Answer.toStdU16String()),
                                                  PrettyLines(newer->Answer.toStdU16String()));
    if (CompareWindow == nullptr) {
        CompareWindow = new QDialog(this);
        CompareWindow->resize(size());
        CompareText = new QPlainTextEdit(CompareWindow);
        CompareText->setReadOnly(true);
        CompareText->setLineWrapMode(QPlainTextEdit::NoWrap);
        CompareText->setFont(FixedFontAsLargeAs(font()));
        CompareText->setAccessibleName(QStringLiteral("Differences"));
        auto* layout = new QVBoxLayout(CompareWindow);
        layout->addWidget(CompareText);
    }
    const auto name = [](const THistoryCall& ACall) {
        return QStringLiteral("%1 of %2")
            .arg(ACall.Command,
                 ACall.When.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    };
    CompareWindow->setWindowTitle(
        QStringLiteral("Compare: - %1, + %2").arg(name(*older), name(*newer)));
    CompareText->setPlainText(QString::fromStdU16String(DiffText(diff)));
    CompareWindow->show();
    CompareWindow->raise();
}
