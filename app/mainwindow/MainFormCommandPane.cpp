// The command pane's handlers: the tree of groups and commands and its help pane.

#include "Command.h"
#include "CommandTree.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "SendRequest.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

QString TMainForm::CommandTreeGetText(const QModelIndex& ANode) const {
    return QString::fromStdString(FCommands.at(TCommandTreeModel::AbsoluteIndex(ANode))->Name);
}

void TMainForm::CommandTreePaintText(const QModelIndex& ANode, TTextStyle& AStyle) const {
    const TCommand& entry = *FCommands.at(TCommandTreeModel::AbsoluteIndex(ANode));
    if (entry.Header)
        AStyle.Bold = true;
    AStyle.Color = CommandTextColor(entry);
    AStyle.Unavailable = !VersionInRange(EnteredVersion(), entry.VerMin, entry.VerMax);
}

void TMainForm::CommandTreeFocusChanged(const QModelIndex& ANode) {
    FCurrentCommand = FCommands.at(TCommandTreeModel::AbsoluteIndex(ANode)).get();
    ParamHelp->clear();
    ShowHelp(CommandHelp, FCurrentCommand->Name,
             FCurrentCommand->Header
                 ? FCurrentCommand->Help
                 : FCurrentCommand->Help + " [Class: " + CommandClassName(FCurrentCommand->Class) +
                       "]" + VersionRangeText(FCurrentCommand->VerMin, FCurrentCommand->VerMax));
    FParamValues.Clear();
    ParamTreeModel->SetRootNodeCount(0);
    ParamTree->viewport()->update();
    if (FCurrentCommand->Header) {
        CallButton->setEnabled(false);
        return;
    }
    FParamValues = CommandLines(*FCurrentCommand, JSONRB->isChecked());
    ParamTreeModel->SetRootNodeCount(static_cast<int>(FParamValues.Count()));
    ParamTree->viewport()->update();
    CallButton->setEnabled(true);
}

void TMainForm::CommandTreeCollapsed(const QModelIndex& ANode) {
    CommandTree->setCurrentIndex(ANode);
    CommandTree->selectionModel()->select(ANode, QItemSelectionModel::ClearAndSelect);
}
