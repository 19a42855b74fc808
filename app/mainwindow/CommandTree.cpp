#include "CommandTree.h"

#include <QApplication>
#include <QFont>
#include <QPainter>

namespace {

// Internal ids are catalogue positions plus one, so that 0 never names a row.
quintptr InternalId(int APosition) {
    return static_cast<quintptr>(APosition) + 1;
}

} // namespace

TCommandTreeModel::TCommandTreeModel(const TCommandTreeHandlers& AHandlers, QObject* AParent)
    : QAbstractItemModel(AParent), FHandlers(AHandlers) {}

void TCommandTreeModel::Fill(const TCommandList& ACommands) {
    beginResetModel();
    FTopRows.clear();
    FTopRowOf.assign(ACommands.size(), 0);
    for (std::size_t i = 0; i < ACommands.size(); ++i) {
        const int position = static_cast<int>(i);
        if (ACommands[i]->Header || FTopRows.empty())
            FTopRows.push_back({position, {}});
        else
            FTopRows.back().Children.push_back(position);
        FTopRowOf[i] = static_cast<int>(FTopRows.size()) - 1;
    }
    endResetModel();
}

int TCommandTreeModel::AbsoluteIndex(const QModelIndex& ANode) {
    return ANode.isValid() ? static_cast<int>(ANode.internalId()) - 1 : 0;
}

QModelIndex TCommandTreeModel::NodeAt(int AAbsoluteIndex) const {
    if (AAbsoluteIndex < 0 || AAbsoluteIndex >= static_cast<int>(FTopRowOf.size()))
        return {};
    const int top = FTopRowOf[AAbsoluteIndex];
    if (FTopRows[top].Position == AAbsoluteIndex)
        return createIndex(top, 0, InternalId(AAbsoluteIndex));
    return createIndex(AAbsoluteIndex - FTopRows[top].Position - 1, 0, InternalId(AAbsoluteIndex));
}

QModelIndex TCommandTreeModel::FindByPrefix(const QString& APrefix, int AFrom) const {
    const int count = static_cast<int>(FTopRowOf.size());
    for (int step = 0; step < count; ++step) {
        const QModelIndex node = NodeAt(((AFrom + step) % count + count) % count);
        if (data(node, Qt::DisplayRole).toString().startsWith(APrefix, Qt::CaseInsensitive))
            return node;
    }
    return {};
}

QModelIndex TCommandTreeModel::index(int ARow, int AColumn, const QModelIndex& AParent) const {
    if (AColumn != 0 || ARow < 0)
        return {};
    if (!AParent.isValid())
        return ARow < static_cast<int>(FTopRows.size())
                   ? createIndex(ARow, 0, InternalId(FTopRows[ARow].Position))
                   : QModelIndex();
    const int parentPosition = AbsoluteIndex(AParent);
    const TopRow& top = FTopRows[FTopRowOf[parentPosition]];
    if (top.Position != parentPosition || ARow >= static_cast<int>(top.Children.size()))
        return {};
    return createIndex(ARow, 0, InternalId(top.Children[ARow]));
}

QModelIndex TCommandTreeModel::parent(const QModelIndex& AChild) const {
    if (!AChild.isValid())
        return {};
    const int position = AbsoluteIndex(AChild);
    const int top = FTopRowOf[position];
    if (FTopRows[top].Position == position)
        return {};
    return createIndex(top, 0, InternalId(FTopRows[top].Position));
}

int TCommandTreeModel::rowCount(const QModelIndex& AParent) const {
    if (!AParent.isValid())
        return static_cast<int>(FTopRows.size());
    if (AParent.column() != 0)
        return 0;
    const int position = AbsoluteIndex(AParent);
    const TopRow& top = FTopRows[FTopRowOf[position]];
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
        return FHandlers.CommandTreeGetText(ANode);
    case Qt::FontRole:
    case Qt::ForegroundRole:
    case Qt::AccessibleDescriptionRole:
    case RowUnavailableRole: {
        TTextStyle style;
        FHandlers.CommandTreePaintText(ANode, style);
        if (ARole == RowUnavailableRole)
            return style.Unavailable;
        if (ARole == Qt::AccessibleDescriptionRole)
            return style.Unavailable ? UnavailableDescription() : QVariant();
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
    : QTreeView(AParent), FHandlers(AHandlers) {}

void TCommandTreeView::currentChanged(const QModelIndex& ACurrent, const QModelIndex& APrevious) {
    QTreeView::currentChanged(ACurrent, APrevious);
    if (ACurrent != APrevious)
        FHandlers.CommandTreeFocusChanged(ACurrent);
}

void TCommandTreeView::keyboardSearch(const QString& ASearch) {
    auto* commands = qobject_cast<TCommandTreeModel*>(model());
    if (commands == nullptr || ASearch.isEmpty()) {
        FSearchText.clear();
        return;
    }
    // Letters typed in quick succession make one name.
    if (!FSearchClock.isValid() || FSearchClock.elapsed() > QApplication::keyboardInputInterval())
        FSearchText.clear();
    FSearchClock.start();
    FSearchText += ASearch;
    // The same letter again and again steps through the names that begin with it.
    const bool repeated = FSearchText.count(FSearchText.front()) == FSearchText.size();
    const QString prefix = repeated ? FSearchText.left(1) : FSearchText;
    const int current = TCommandTreeModel::AbsoluteIndex(currentIndex());
    const QModelIndex found =
        commands->FindByPrefix(prefix, prefix.size() == 1 ? current + 1 : current);
    if (!found.isValid())
        return;
    expand(found.parent());
    setCurrentIndex(found);
    scrollTo(found);
}

void TCommandTreeView::drawBranches(QPainter* APainter, const QRect& ARect,
                                    const QModelIndex& ANode) const {
    QTreeView::drawBranches(APainter, ARect, ANode);
    // One column per level, the row's own last: a vertical line through each column where a
    // row of that level follows further down, and a branch into the row's own column. A group's
    // line leaves room for its expand button.
    const int indent = indentation();
    const int middleY = ARect.center().y();
    const bool hasChildren = model()->hasChildren(ANode);
    APainter->save();
    QPen pen(palette().color(QPalette::Mid), 0, Qt::DotLine);
    APainter->setPen(pen);
    QModelIndex level = ANode;
    int depth = 0;
    for (QModelIndex up = ANode.parent(); up.isValid(); up = up.parent())
        ++depth;
    for (int column = depth; column >= 0; --column, level = level.parent()) {
        const int x = ARect.left() + column * indent + indent / 2;
        const bool hasNext = level.sibling(level.row() + 1, 0).isValid();
        if (column == depth) {
            const bool first = level.row() == 0 && !level.parent().isValid();
            const int gap = hasChildren ? 6 : 0;
            if (!first)
                APainter->drawLine(x, ARect.top(), x, middleY - gap);
            if (hasNext)
                APainter->drawLine(x, middleY + gap, x, ARect.bottom());
            APainter->drawLine(x + gap, middleY, ARect.left() + (column + 1) * indent, middleY);
        } else if (hasNext) {
            APainter->drawLine(x, ARect.top(), x, ARect.bottom());
        }
    }
    APainter->restore();
}
