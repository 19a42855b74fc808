#include "GoToCommandPopup.h"

#include "CommandSearch.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

TGoToCommandPopup::TGoToCommandPopup(const TCommandList& ACommands,
                                     std::function<QColor(const TCommand&)> ATextColor,
                                     QWidget* AParent)
    // A frameless dialog rather than a popup: screen readers list dialogs among the program's
    // windows and leave popups out. It closes as a popup would when it loses the focus.
    : QFrame(AParent, Qt::Dialog | Qt::FramelessWindowHint), FCommands(ACommands),
      FTextColor(std::move(ATextColor)) {
    setWindowTitle(QStringLiteral("Go to command"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    auto* caption = new QLabel(QStringLiteral("Go to command"), this);
    Field = new QLineEdit(this);
    Field->setPlaceholderText(QStringLiteral("Command, parameter or help text"));
    caption->setBuddy(Field);
    List = new QListWidget(this);
    List->setFocusPolicy(Qt::NoFocus); // the keys stay in the field and move the list
    List->setUniformItemSizes(true);
    List->setAccessibleName(QStringLiteral("Matching commands"));
    layout->addWidget(caption);
    layout->addWidget(Field);
    layout->addWidget(List, 1);
    Field->installEventFilter(this);
    connect(Field, &QLineEdit::textChanged, this, [this] { Refill(); });
    connect(List, &QListWidget::itemActivated, this, [this] { Choose(); });
}

void TGoToCommandPopup::Popup(const QRect& AOver) {
    Field->clear();
    Refill();
    const int width = std::min(AOver.width(), std::max(420, AOver.width() / 2));
    resize(width, std::min(AOver.height(), 360));
    move(AOver.left() + (AOver.width() - width) / 2, AOver.top() + AOver.height() / 8);
    show();
    activateWindow();
    Field->setFocus(Qt::PopupFocusReason);
}

void TGoToCommandPopup::Refill() {
    List->clear();
    for (const TCommandMatch& match : MatchCommands(FCommands, Field->text().toStdString())) {
        const TCommand& command = *FCommands.at(static_cast<std::size_t>(match.Position));
        QString text = QString::fromStdString(command.Name);
        if (!match.ParamName.empty())
            text += (match.Kind == TCommandMatch::TKind::Help ? QStringLiteral("  (help of %1)")
                                                              : QStringLiteral("  (parameter %1)"))
                        .arg(QString::fromStdString(match.ParamName));
        else if (match.Kind == TCommandMatch::TKind::Help)
            text += QStringLiteral("  (help)");
        auto* item = new QListWidgetItem(text, List);
        item->setData(Qt::UserRole, match.Position);
        if (const QColor color = FTextColor(command); color.isValid())
            item->setForeground(color);
    }
    List->setCurrentRow(List->count() > 0 ? 0 : -1);
}

void TGoToCommandPopup::Choose() {
    const QListWidgetItem* item = List->currentItem();
    if (item == nullptr)
        return;
    const int position = item->data(Qt::UserRole).toInt();
    close();
    emit CommandChosen(position);
}

void TGoToCommandPopup::hideEvent(QHideEvent* AEvent) {
    QFrame::hideEvent(AEvent);
    // As a popup would, the box hands the keyboard back to the window it was opened over.
    if (parentWidget())
        parentWidget()->window()->activateWindow();
}

void TGoToCommandPopup::changeEvent(QEvent* AEvent) {
    QFrame::changeEvent(AEvent);
    if (AEvent->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        close();
}

bool TGoToCommandPopup::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched != Field || AEvent->type() != QEvent::KeyPress)
        return QFrame::eventFilter(AWatched, AEvent);
    auto* key = static_cast<QKeyEvent*>(AEvent);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Choose();
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        QApplication::sendEvent(List, key);
        return true;
    default:
        return QFrame::eventFilter(AWatched, AEvent);
    }
}
