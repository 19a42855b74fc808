// The command pane's handlers: the tree of groups and commands and its help pane.

#include "CommandTree.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "SendRequest.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

QString TMainForm::CommandTreeGetText(const QModelIndex& ANode) const {
    return QString::fromStdString(Commands.at(TCommandTreeModel::AbsoluteIndex(ANode))->Name);
}

void TMainForm::CommandTreePaintText(const QModelIndex& ANode, TTextStyle& AStyle) const {
    const TCommand& entry = *Commands.at(TCommandTreeModel::AbsoluteIndex(ANode));
    if (entry.Header)
        AStyle.Bold = true;
    AStyle.Color = CommandTextColor(entry);
}

void TMainForm::CommandTreeFocusChanged(const QModelIndex& ANode) {
    CurrentCommand = Commands.at(TCommandTreeModel::AbsoluteIndex(ANode)).get();
    ParamHelp->clear();
    ShowHelp(CommandHelp, CurrentCommand->Name,
             CurrentCommand->Header
                 ? CurrentCommand->Help
                 : CurrentCommand->Help +
                       VersionRangeText(CurrentCommand->VerMin, CurrentCommand->VerMax));
    ParamValues.Clear();
    ParamTreeModel->SetRootNodeCount(0);
    ParamTree->viewport()->update();
    if (CurrentCommand->Header) {
        CallButton->setEnabled(false);
        return;
    }
    ParamValues = CommandLines(*CurrentCommand, JSONRB->isChecked());
    ParamTreeModel->SetRootNodeCount(static_cast<int>(ParamValues.Count()));
    ParamTree->viewport()->update();
    CallButton->setEnabled(true);
}

void TMainForm::CommandTreeCollapsed(const QModelIndex& ANode) {
    CommandTree->setCurrentIndex(ANode);
    CommandTree->selectionModel()->select(ANode, QItemSelectionModel::ClearAndSelect);
}
