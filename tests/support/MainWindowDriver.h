#pragma once

// Drives the main window as a user would, for the widget tests that link the program.

#include "CommandTree.h"
#include "MainForm.h"

#include <QTest>

#include <string_view>

// Clicks the command named AName in the command tree, expanding its group and scrolling it into
// view first; false when the catalogue has no such entry.
inline bool ClickCommand(TMainForm& AForm, std::string_view AName) {
    const auto& entries = AForm.Catalogue();
    int position = 0;
    while (position < static_cast<int>(entries.size()) && entries[position]->Name != AName)
        ++position;
    if (position == static_cast<int>(entries.size()))
        return false;
    const QModelIndex node = AForm.CommandTreeModel->NodeAt(position);
    AForm.CommandTree->expand(node.parent());
    AForm.CommandTree->scrollTo(node);
    QTest::mouseClick(AForm.CommandTree->viewport(), Qt::LeftButton, {},
                      AForm.CommandTree->visualRect(node).center());
    return true;
}
