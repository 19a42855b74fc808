#include "ResultsFindBar.h"

#include "BackgroundPool.h"
#include "ResultsView.h"
#include "TextSearch.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

TResultsFindBar::TResultsFindBar(TResultsView& AView, QWidget* AParent)
    : QWidget(AParent), FView(AView) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* caption = new QLabel(QStringLiteral("Find:"), this);
    layout->addWidget(caption);
    FindEdit = new QLineEdit(this);
    caption->setBuddy(FindEdit);
    FindEdit->setClearButtonEnabled(true);
    layout->addWidget(FindEdit, 1);
    CountLabel = new QLabel(this);
    CountLabel->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("0000000 of 0000000")));
    layout->addWidget(CountLabel);
    auto* previous = new QToolButton(this);
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(QStringLiteral("Previous match (Shift+F3)"));
    previous->setAccessibleName(QStringLiteral("Previous match"));
    layout->addWidget(previous);
    auto* next = new QToolButton(this);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(QStringLiteral("Next match (F3)"));
    next->setAccessibleName(QStringLiteral("Next match"));
    layout->addWidget(next);
    MatchCase = new QCheckBox(QStringLiteral("Match case"), this);
    layout->addWidget(MatchCase);
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("Close"));
    close->setAutoRaise(true);
    layout->addWidget(close);

    connect(FindEdit, &QLineEdit::textChanged, this, &TResultsFindBar::Search);
    connect(MatchCase, &QCheckBox::toggled, this, &TResultsFindBar::Search);
    connect(previous, &QToolButton::clicked, this, &TResultsFindBar::Previous);
    connect(next, &QToolButton::clicked, this, &TResultsFindBar::Next);
    connect(close, &QToolButton::clicked, this, &TResultsFindBar::Close);
    connect(&FWatcher, &QFutureWatcher<std::vector<int64_t>>::finished, this,
            &TResultsFindBar::Searched);
    FindEdit->installEventFilter(this);
    hide();
}

TResultsFindBar::~TResultsFindBar() {
    if (FCancel)
        FCancel->store(true);
}

void TResultsFindBar::Open() {
    show();
    FindEdit->setFocus(Qt::ShortcutFocusReason);
    FindEdit->selectAll();
}

void TResultsFindBar::Close() {
    if (FCancel)
        FCancel->store(true);
    FPending = false;
    hide();
    FView.SetMatches({}, 0);
    FView.setFocus(Qt::OtherFocusReason);
}

void TResultsFindBar::Refresh() {
    if (isVisible())
        Search();
}

void TResultsFindBar::Search() {
    if (FCancel)
        FCancel->store(true);
    FNeedle = FindEdit->text();
    const auto& document = FView.Document();
    if (FNeedle.isEmpty() || !document) {
        FPending = false;
        FView.SetMatches({}, 0);
        CountLabel->clear();
        FWatcher.setFuture(QFuture<std::vector<int64_t>>());
        emit Found();
        return;
    }
    FCancel = std::make_shared<std::atomic<bool>>(false);
    FPending = true;
    const Qt::CaseSensitivity sensitivity =
        MatchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    FWatcher.setFuture(QtConcurrent::run(
        &BackgroundPool(), [document, needle = FNeedle, sensitivity, cancel = FCancel] {
            return FindAll(*document, needle, sensitivity, cancel.get());
        }));
}

void TResultsFindBar::Searched() {
    if (FWatcher.future().isCanceled() || FWatcher.future().resultCount() == 0 || !isVisible())
        return;
    FPending = false;
    std::vector<int64_t> matches = FWatcher.result();
    // The first match at or after the selection is the current one.
    const auto at = std::lower_bound(matches.begin(), matches.end(), FView.SelectionStart());
    FCurrent = at == matches.end() ? 0 : static_cast<std::size_t>(at - matches.begin());
    FView.SetMatches(std::move(matches), FNeedle.size());
    if (!FView.Matches().empty())
        Select(FCurrent);
    ShowCount();
    emit Found();
}

void TResultsFindBar::Select(std::size_t AIndex) {
    const std::vector<int64_t>& matches = FView.Matches();
    if (matches.empty())
        return;
    FCurrent = AIndex % matches.size();
    FView.SetSelection(matches[FCurrent], matches[FCurrent] + FNeedle.size());
    ShowCount();
}

void TResultsFindBar::ShowCount() {
    const QLocale locale;
    const std::size_t count = FView.Matches().size();
    CountLabel->setText(QStringLiteral("%1 of %2")
                            .arg(locale.toString(count == 0 ? 0 : qulonglong(FCurrent) + 1),
                                 locale.toString(qulonglong(count))));
}

void TResultsFindBar::Next() {
    Select(FCurrent + 1);
}

void TResultsFindBar::Previous() {
    const std::size_t count = FView.Matches().size();
    if (count > 0)
        Select(FCurrent == 0 ? count - 1 : FCurrent - 1);
}

bool TResultsFindBar::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched == FindEdit && AEvent->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(AEvent);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                Previous();
            else
                Next();
            return true;
        }
    }
    return QWidget::eventFilter(AWatched, AEvent);
}
