#include "CommandTree.h"

#include <QFont>

// Internal ids are catalogue positions plus one, so that 0 never names a row.
TCommandTreeModel::TCommandTreeModel(const TCommandTreeHandlers& AHandlers, QObject* AParent)
    : QAbstractItemModel(AParent), Handlers(AHandlers) {}

void TCommandTreeModel::Fill(const TCommandList& ACommands) {
    beginResetModel();
    TopRows.clear();
    TopRowOf.assign(ACommands.size(), 0);
    for (std::size_t i = 0; i < ACommands.size(); ++i) {
        const int position = static_cast<int>(i);
        if (ACommands[i]->Header || TopRows.empty())
            TopRows.push_back({position, {}});
        else
            TopRows.back().Children.push_back(position);
        TopRowOf[i] = static_cast<int>(TopRows.size()) - 1;
    }
    endResetModel();
}

int TCommandTreeModel::AbsoluteIndex(const QModelIndex& ANode) {
    return ANode.isValid() ? static_cast<int>(ANode.internalId()) - 1 : 0;
}

QModelIndex TCommandTreeModel::NodeAt(int AAbsoluteIndex) const {
    if (AAbsoluteIndex < 0 || AAbsoluteIndex >= static_cast<int>(TopRowOf.size()))
        return {};
    const int top = TopRowOf[AAbsoluteIndex];
    if (TopRows[top].Position == AAbsoluteIndex)
        return createIndex(top, 0, quintptr(AAbsoluteIndex + 1));
    return createIndex(AAbsoluteIndex - TopRows[top].Position - 1, 0, quintptr(AAbsoluteIndex + 1));
}

QModelIndex TCommandTreeModel::index(int ARow, int AColumn, const QModelIndex& AParent) const {
    if (AColumn != 0 || ARow < 0)
        return {};
    if (!AParent.isValid())
        return ARow < static_cast<int>(TopRows.size())
                   ? createIndex(ARow, 0, quintptr(TopRows[ARow].Position + 1))
                   : QModelIndex();
    const int parentPosition = AbsoluteIndex(AParent);
    const TopRow& top = TopRows[TopRowOf[parentPosition]];
    if (top.Position != parentPosition || ARow >= static_cast<int>(top.Children.size()))
        return {};
    return createIndex(ARow, 0, quintptr(top.Children[ARow] + 1));
}

QModelIndex TCommandTreeModel::parent(const QModelIndex& AChild) const {
    if (!AChild.isValid())
        return {};
    const int position = AbsoluteIndex(AChild);
    const int top = TopRowOf[position];
    if (TopRows[top].Position == position)
        return {};
    return createIndex(top, 0, quintptr(TopRows[top].Position + 1));
}

int TCommandTreeModel::rowCount(const QModelIndex& AParent) const {
    if (!AParent.isValid())
        return static_cast<int>(TopRows.size());
    if (AParent.column() != 0)
        return 0;
    const int position = AbsoluteIndex(AParent);
    const TopRow& top = TopRows[TopRowOf[position]];
    return top.Position == position ? static_cast<int>(top.Children.size()) : 0;
}

int TCommandTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant TCommandTreeModel::data(const QModelIndex& ANode, int ARole) const {
    if (!ANode.isValid())
        return {};
    switch (ARole) {
    case Qt::DisplayRole:
        return Handlers.CommandTreeGetText(ANode);
    case Qt::FontRole:
    case Qt::ForegroundRole: {
        TTextStyle style;
        Handlers.CommandTreePaintText(ANode, style);
        if (ARole == Qt::FontRole && style.Bold) {
            QFont font;
            font.setBold(true);
            return font;
        }
        if (ARole == Qt::ForegroundRole && style.Color.isValid())
            return style.Color;
        return {};
    }
    default:
        return {};
    }
}

QVariant TCommandTreeModel::headerData(int ASection, Qt::Orientation AOrientation,
                                       int ARole) const {
    if (ASection == 0 && AOrientation == Qt::Horizontal && ARole == Qt::DisplayRole)
        return QStringLiteral("Command");
    return {};
}

Qt::ItemFlags TCommandTreeModel::flags(const QModelIndex& ANode) const {
    return ANode.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

TCommandTreeView::TCommandTreeView(TCommandTreeHandlers& AHandlers, QWidget* AParent)
    : QTreeView(AParent), Handlers(AHandlers) {}

void TCommandTreeView::currentChanged(const QModelIndex& ACurrent, const QModelIndex& APrevious) {
    QTreeView::currentChanged(ACurrent, APrevious);
    if (ACurrent != APrevious)
        Handlers.CommandTreeFocusChanged(ACurrent);
}
