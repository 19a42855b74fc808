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
    : QWidget(AParent), View(AView) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(QStringLiteral("Find:"), this));
    FindEdit = new QLineEdit(this);
    FindEdit->setClearButtonEnabled(true);
    layout->addWidget(FindEdit, 1);
    CountLabel = new QLabel(this);
    CountLabel->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("0000000 of 0000000")));
    layout->addWidget(CountLabel);
    auto* previous = new QToolButton(this);
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(QStringLiteral("Previous match (Shift+F3)"));
    layout->addWidget(previous);
    auto* next = new QToolButton(this);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(QStringLiteral("Next match (F3)"));
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
    connect(&Watcher, &QFutureWatcher<std::vector<int64_t>>::finished, this,
            &TResultsFindBar::Searched);
    FindEdit->installEventFilter(this);
    hide();
}

TResultsFindBar::~TResultsFindBar() {
    if (Cancel)
        Cancel->store(true);
}

void TResultsFindBar::Open() {
    show();
    FindEdit->setFocus(Qt::ShortcutFocusReason);
    FindEdit->selectAll();
}

void TResultsFindBar::Close() {
    if (Cancel)
        Cancel->store(true);
    Pending = false;
    hide();
    View.SetMatches({}, 0);
    View.setFocus(Qt::OtherFocusReason);
}

void TResultsFindBar::Refresh() {
    if (isVisible())
        Search();
}

void TResultsFindBar::Search() {
    if (Cancel)
        Cancel->store(true);
    Needle = FindEdit->text();
    const auto& document = View.Document();
    if (Needle.isEmpty() || !document) {
        Pending = false;
        View.SetMatches({}, 0);
        CountLabel->clear();
        Watcher.setFuture(QFuture<std::vector<int64_t>>());
        emit Found();
        return;
    }
    Cancel = std::make_shared<std::atomic<bool>>(false);
    Pending = true;
    const Qt::CaseSensitivity sensitivity =
        MatchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    Watcher.setFuture(QtConcurrent::run(
        &BackgroundPool(), [document, needle = Needle, sensitivity, cancel = Cancel] {
            return FindAll(*document, needle, sensitivity, cancel.get());
        }));
}

void TResultsFindBar::Searched() {
    if (Watcher.future().isCanceled() || Watcher.future().resultCount() == 0 || !isVisible())
        return;
    Pending = false;
    std::vector<int64_t> matches = Watcher.result();
    // The first match at or after the selection is the current one.
    const auto at = std::lower_bound(matches.begin(), matches.end(), View.SelectionStart());
    Current = at == matches.end() ? 0 : static_cast<std::size_t>(at - matches.begin());
    View.SetMatches(std::move(matches), Needle.size());
    if (!View.Matches().empty())
        Select(Current);
    ShowCount();
    emit Found();
}

void TResultsFindBar::Select(std::size_t AIndex) {
    const std::vector<int64_t>& matches = View.Matches();
    if (matches.empty())
        return;
    Current = AIndex % matches.size();
    View.SetSelection(matches[Current], matches[Current] + Needle.size());
    ShowCount();
}

void TResultsFindBar::ShowCount() {
    const QLocale locale;
    const std::size_t count = View.Matches().size();
    CountLabel->setText(QStringLiteral("%1 of %2")
                            .arg(locale.toString(count == 0 ? 0 : qulonglong(Current) + 1),
                                 locale.toString(qulonglong(count))));
}

void TResultsFindBar::Next() {
    Select(Current + 1);
}

void TResultsFindBar::Previous() {
    const std::size_t count = View.Matches().size();
    if (count > 0)
        Select(Current == 0 ? count - 1 : Current - 1);
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
