// The window's keyboard: shortcuts for Send, copying the call as a command line, a run for rows,
// closing, the About box (F1 in every window: it lists every window's keys) and the "Go to
// command" popup. None of them adds a control to the window's layout.

#include "AboutBox.h"
#include "CommandTree.h"
#include "GoToCommandPopup.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "TextColors.h"

#include <QPushButton>
#include <QShortcut>

void TMainForm::CreateShortcuts() {
    const auto add = [this](const QKeySequence& AKeys, auto AHandler) {
        auto* shortcut = new QShortcut(AKeys, this);
        connect(shortcut, &QShortcut::activated, this, AHandler);
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { SendFromKeyboard(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Enter), [this] { SendFromKeyboard(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    ShowAboutOnF1(*this);
    add(QKeySequence(Qt::CTRL | Qt::Key_K), [this] { ShowGoToCommand(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_R), [this] { ShowRowRun(); });
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] { CopyCallLine(false); });
    add(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C), [this] { CopyCallLine(true); });
}

void TMainForm::ShowAboutOnF1(QWidget& AWindow) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), &AWindow);
    connect(shortcut, &QShortcut::activated, &AWindow, [&AWindow] { ShowAboutBox(&AWindow); });
}

void TMainForm::SendFromKeyboard() {
    // As a click on the button: nothing while it is disabled, and a value still being typed
    // in the grid goes out with the call.
    if (!CallButton->isEnabled() || Sending())
        return;
    ParamTree->CommitEdit();
    CallButton->click();
}

QColor TMainForm::CommandTextColor(const TCommand& ACommand) const {
    return VersionInRange(EnteredVersion(), ACommand.VerMin, ACommand.VerMax)
               ? QColor()
               : GreyedTextColor(CommandTree->palette());
}

void TMainForm::ShowGoToCommand() {
    if (GoToCommandPopup == nullptr) {
        GoToCommandPopup = new TGoToCommandPopup(
            FCommands, [this](const TCommand& ACommand) { return CommandTextColor(ACommand); },
            this);
        connect(GoToCommandPopup, &TGoToCommandPopup::CommandChosen, this, &TMainForm::GoToCommand);
    }
    GoToCommandPopup->Popup(QRect(mapToGlobal(QPoint(0, 0)), size()));
}

int TMainForm::CommandPosition(const QString& AName) const {
    for (std::size_t i = 0; i < FCommands.size(); ++i)
        if (QString::fromStdString(FCommands[i]->Name) == AName)
            return static_cast<int>(i);
    return -1;
}

void TMainForm::GoToCommand(int APosition) {
    const QModelIndex node = CommandTreeModel->NodeAt(APosition);
    if (!node.isValid())
        return;
    CommandTree->expand(node.parent());
    CommandTree->setCurrentIndex(node);
    CommandTree->scrollTo(node);
    CommandTree->setFocus(Qt::ShortcutFocusReason);
}
