#pragma once

#include "Command.h"
#include "RowTextDelegate.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QElapsedTimer>
#include <QTreeView>

#include <vector>

// What the command tree asks of the window that shows it. Rows are given by their index in the
// tree's model.
class TCommandTreeHandlers {
public:
    virtual QString CommandTreeGetText(const QModelIndex& ANode) const = 0;
    virtual void CommandTreePaintText(const QModelIndex& ANode, TTextStyle& AStyle) const = 0;
    virtual void CommandTreeFocusChanged(const QModelIndex& ANode) = 0;

protected:
    ~TCommandTreeHandlers() = default;
};

// The command tree's model: one row per catalogue entry, groups at the top level and their
// commands beneath. Rows carry no data of their own; every cell asks the handlers.
class TCommandTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    TCommandTreeModel(const TCommandTreeHandlers& AHandlers, QObject* AParent);

    // Adds one row per entry of ACommands: a header at the top level, a command under the
    // header before it.
    void Fill(const TCommandList& ACommands);

    // The entry's position in the catalogue: the row's index in a pre-order walk over every row,
    // collapsed ones included. No row gives 0.
    static int AbsoluteIndex(const QModelIndex& ANode);
    QModelIndex NodeAt(int AAbsoluteIndex) const;
    // The first row from AFrom on (wrapping round, collapsed rows included) whose text begins
    // with APrefix, ignoring case; invalid when there is none.
    QModelIndex FindByPrefix(const QString& APrefix, int AFrom) const;

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
    const TCommandTreeHandlers& FHandlers;
    std::vector<TopRow> FTopRows;
    std::vector<int> FTopRowOf; // for each position: its top-level row (or parent's)
};

// The command tree's view: reports focus changes to the handlers, finds typed names in
// collapsed groups too and draws dotted tree lines whatever the style.
class TCommandTreeView : public QTreeView {
    Q_OBJECT
public:
    TCommandTreeView(TCommandTreeHandlers& AHandlers, QWidget* AParent);

    void keyboardSearch(const QString& ASearch) override;

protected:
    void currentChanged(const QModelIndex& ACurrent, const QModelIndex& APrevious) override;
    void drawBranches(QPainter* APainter, const QRect& ARect,
                      const QModelIndex& ANode) const override;

private:
    TCommandTreeHandlers& FHandlers;
    QString FSearchText;
    QElapsedTimer FSearchClock;
};
