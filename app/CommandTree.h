#pragma once

#include "Command.h"

#include <QAbstractItemModel>
#include <QTreeView>

#include <vector>

class TMainForm;

// The command tree's model: one row per catalogue entry, groups at the top level and their
// commands beneath. Rows carry no data of their own; every cell asks the window's handlers.
class TCommandTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    TCommandTreeModel(TMainForm& AForm, QObject* AParent);

    // Adds one row per entry of ACommands: a header at the top level, a command under the
    // header before it.
    void Fill(const TCommandList& ACommands);

    // The entry's position in the catalogue: the row's index in a pre-order walk over every row,
    // collapsed ones included. No row gives 0.
    static int AbsoluteIndex(const QModelIndex& ANode);
    QModelIndex NodeAt(int AAbsoluteIndex) const;

    QModelIndex index(int ARow, int AColumn, const QModelIndex& AParent = {}) const override;
    QModelIndex parent(const QModelIndex& AChild) const override;
    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& ANode, int ARole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override;
    Qt::ItemFlags flags(const QModelIndex& ANode) const override;

private:
    struct TopRow {
        int Position;
        std::vector<int> Children; // catalogue positions
    };
    TMainForm& Form;
    std::vector<TopRow> TopRows;
    std::vector<int> TopRowOf; // for each position: its top-level row (or parent's)
};

// The command tree's view: reports focus changes and collapses to the window.
class TCommandTreeView : public QTreeView {
    Q_OBJECT
public:
    TCommandTreeView(TMainForm& AForm, QWidget* AParent);

protected:
    void currentChanged(const QModelIndex& ACurrent, const QModelIndex& APrevious) override;

private:
    TMainForm& Form;
};
