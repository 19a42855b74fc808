#include "ResultsFilterBar.h"

#include "JqFilter.h"

#include <QCompleter>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStringListModel>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// jq cannot be stopped inside one result, so a program that works long on one holds its thread
// until it ends: filters run on threads of their own, and indexing, indenting, find and wrapping
// go on beside them.
QThreadPool& FilterPool() {
    static QThreadPool pool;
    return pool;
}

TFilterOutput RunFilter(const TTextDocument::TText& AAnswer, const QString& AProgram,
                        const std::atomic<bool>& ACancel) {
    TFilterOutput output;
    output.Program = AProgram;
    const QByteArray input =
        QStringView(AAnswer->data(), static_cast<qsizetype>(AAnswer->size())).toUtf8();
    auto text = std::make_shared<std::u16string>();
    const TJqOutcome outcome = RunJq(
        AProgram.toStdString(), std::string_view(input.constData(), std::size_t(input.size())),
        TJqOptions{true},
        [&](std::string_view ALine) {
            const QString line =
                QString::fromUtf8(ALine.data(), static_cast<qsizetype>(ALine.size()));
            text->append(reinterpret_cast<const char16_t*>(line.utf16()),
                         static_cast<std::size_t>(line.size()));
        },
        &ACancel);
    if (outcome.Cancelled)
        return output;
    // The last result's line break would show as an empty line of its own.
    if (!text->empty() && text->back() == u'\n')
        text->pop_back();
    output.Compiled = outcome.Compiled;
    output.Error = QString::fromStdString(outcome.Error);
    output.Text = text;
    output.Raw = TTextDocument::MakeRaw(std::move(text), &ACancel);
    return output;
}

} // namespace

TResultsFilterBar::TResultsFilterBar(QWidget* AParent) : QWidget(AParent) {
    auto* caption = new QLabel(QStringLiteral("jq:"), this);
    FilterLine = new QLineEdit(this);
    caption->setBuddy(FilterLine);
    FilterLine->setPlaceholderText(
        QStringLiteral("jq filter, for example .Accounts[0] (Enter applies, Up: filters used)"));
    FilterLine->setAccessibleName(QStringLiteral("jq filter"));
    FilterLine->setClearButtonEnabled(true);
    HistoryButton = new QToolButton(this);
    HistoryButton->setArrowType(Qt::DownArrow);
    HistoryButton->setAutoRaise(true);
    HistoryButton->setToolTip(QStringLiteral("Filters used on this command's answers"));
    HistoryButton->setAccessibleName(QStringLiteral("Filters used"));
    HistoryButton->setEnabled(false);
    FilterError = new QLabel(this);
    FilterError->setWordWrap(true);
    FilterError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FilterError->hide();
    FilterNote = new QLabel(this);
    FilterNote->setWordWrap(true);
    FilterNote->hide();
    auto* line = new QHBoxLayout;
    line->addWidget(caption);
    line->addWidget(FilterLine, 1);
    line->addWidget(HistoryButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    layout->addLayout(line);
    layout->addWidget(FilterError);
    layout->addWidget(FilterNote);

    auto* completer = new QCompleter(new QStringListModel(this), this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    FilterLine->setCompleter(completer);
    connect(FilterLine, &QLineEdit::returnPressed, this,
            [this] { emit Requested(FilterLine->text().trimmed()); });
    connect(FilterLine, &QLineEdit::textEdited, this, [this] { FHistoryAt = -1; });
    connect(HistoryButton, &QToolButton::clicked, this, [this] {
        QMenu menu;
        for (const QString& filter : FHistory)
            menu.addAction(filter, this, [this, filter] {
                FilterLine->setText(filter);
                emit Requested(filter);
            });
        menu.exec(HistoryButton->mapToGlobal(QPoint(0, HistoryButton->height())));
    });
    FilterLine->installEventFilter(this);
    hide();
}

TResultsFilterBar::~TResultsFilterBar() {
    // A run still going ends at its next look at the flag; nothing waits for it.
    Stop();
}

void TResultsFilterBar::Open() {
    show();
    FilterLine->setFocus(Qt::ShortcutFocusReason);
    FilterLine->selectAll();
}

void TResultsFilterBar::SetHistory(const QStringList& AFilters) {
    FHistory = AFilters;
    FHistoryAt = -1;
    static_cast<QStringListModel*>(FilterLine->completer()->model())->setStringList(AFilters);
    HistoryButton->setEnabled(!AFilters.isEmpty());
}

void TResultsFilterBar::StepHistory(int AStep) {
    // A filter the line holds already is passed over, so that every step changes the line.
    int at = FHistoryAt + AStep;
    while (at >= 0 && at < FHistory.size() && FHistory[at] == FilterLine->text())
        at += AStep;
    if (at < -1 || at >= FHistory.size())
        return;
    if (FHistoryAt == -1)
        FTyped = FilterLine->text();
    FHistoryAt = at;
    FilterLine->setText(at == -1 ? FTyped : FHistory[at]);
}

bool TResultsFilterBar::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched == FilterLine && AEvent->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(AEvent);
        if (key->modifiers() == Qt::NoModifier &&
            (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            StepHistory(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(AWatched, AEvent);
}

void TResultsFilterBar::Run(TTextDocument::TText AAnswer, const QString& AProgram) {
    Stop();
    FCancel = std::make_shared<std::atomic<bool>>(false);
    auto* watcher = new QFutureWatcher<TFilterOutput>(this);
    FNewest = watcher;
    FPending = true;
    ++FRuns;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        --FRuns;
        watcher->deleteLater();
        if (watcher == FNewest) {
            FNewest = nullptr;
            FPending = false;
            emit Ran(watcher->result());
        }
        emit RunEnded();
    });
    watcher->setFuture(QtConcurrent::run(
        &FilterPool(), [answer = std::move(AAnswer), program = AProgram, cancel = FCancel] {
            return RunFilter(answer, program, *cancel);
        }));
}

void TResultsFilterBar::Stop() {
    if (FCancel)
        FCancel->store(true);
    FNewest = nullptr;
    FPending = false;
}

void TResultsFilterBar::ShowError(const QString& AText) {
    FilterError->setText(AText);
    FilterError->setVisible(!AText.isEmpty());
}

void TResultsFilterBar::ShowNote(const QString& AText) {
    FilterNote->setText(AText);
    FilterNote->setVisible(!AText.isEmpty());
}
