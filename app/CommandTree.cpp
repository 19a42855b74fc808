#include "CommandTree.h"

#include <QApplication>
#include <QFont>
#include <QPainter>

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

QModelIndex TCommandTreeModel::FindByPrefix(const QString& APrefix, int AFrom) const {
    const int count = static_cast<int>(TopRowOf.size());
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

void TCommandTreeView::keyboardSearch(const QString& ASearch) {
    auto* commands = qobject_cast<TCommandTreeModel*>(model());
    if (commands == nullptr || ASearch.isEmpty()) {
        SearchText.clear();
        return;
    }
    // Letters typed in quick succession make one name.
    if (!SearchClock.isValid() || SearchClock.elapsed() > QApplication::keyboardInputInterval())
        SearchText.clear();
    SearchClock.start();
    SearchText += ASearch;
    // The same letter again and again steps through the names that begin with it.
    const bool repeated = SearchText.count(SearchText.front()) == SearchText.size();
    const QString prefix = repeated ? SearchText.left(1) : SearchText;
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
