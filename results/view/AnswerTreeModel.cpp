#include "AnswerTreeModel.h"

#include <algorithm>

namespace {

bool IsContainer(TNodeKind AKind) {
    return AKind == TNodeKind::Object || AKind == TNodeKind::Array;
}

// A long value is cut for its row; Copy gives it whole.
constexpr int MaxShown = 500;

} // namespace

void TAnswerTreeModel::SetTree(std::shared_ptr<const TAnswerTree> ATree) {
    beginResetModel();
    FTree = std::move(ATree);
    FChildren.clear();
    endResetModel();
}

const std::vector<std::uint32_t>& TAnswerTreeModel::ChildrenOf(std::uint32_t ANode) const {
    auto at = FChildren.find(ANode);
    if (at == FChildren.end())
        at = FChildren.emplace(ANode, FTree->Children(ANode)).first;
    return at->second;
}

int TAnswerTreeModel::RowOf(std::uint32_t ANode) const {
    const std::uint32_t parent = FTree->Node(ANode).Parent;
    if (parent == NoNode)
        return 0;
    // The children are in document order, so a node's row is found by halving.
    const std::vector<std::uint32_t>& siblings = ChildrenOf(parent);
    return static_cast<int>(std::lower_bound(siblings.begin(), siblings.end(), ANode) -
                            siblings.begin());
}

std::uint32_t TAnswerTreeModel::NodeOf(const QModelIndex& AIndex) const {
    return AIndex.isValid() ? static_cast<std::uint32_t>(AIndex.internalId()) : NoNode;
}

QModelIndex TAnswerTreeModel::IndexOf(std::uint32_t ANode) {
    if (!FTree || ANode == NoNode)
        return {};
    return createIndex(RowOf(ANode), 0, static_cast<quintptr>(ANode));
}

QModelIndex TAnswerTreeModel::index(int ARow, int AColumn, const QModelIndex& AParent) const {
    if (!FTree || ARow < 0 || AColumn < 0 || AColumn > 1)
        return {};
    if (!AParent.isValid())
        return ARow == 0 ? createIndex(0, AColumn, quintptr{0}) : QModelIndex();
    const std::vector<std::uint32_t>& children = ChildrenOf(NodeOf(AParent));
    if (static_cast<std::size_t>(ARow) >= children.size())
        return {};
    return createIndex(ARow, AColumn, static_cast<quintptr>(children[ARow]));
}

QModelIndex TAnswerTreeModel::parent(const QModelIndex& AChild) const {
    if (!AChild.isValid())
        return {};
    const std::uint32_t parent = FTree->Node(NodeOf(AChild)).Parent;
    if (parent == NoNode)
        return {};
    return createIndex(RowOf(parent), 0, static_cast<quintptr>(parent));
}

int TAnswerTreeModel::rowCount(const QModelIndex& AParent) const {
    if (!FTree || FTree->Size() == 0)
        return 0;
    if (!AParent.isValid())
        return 1;
    if (AParent.column() != 0)
        return 0;
    const std::uint32_t node = NodeOf(AParent);
    return IsContainer(FTree->Kind(node)) ? static_cast<int>(FTree->Node(node).Length) : 0;
}

int TAnswerTreeModel::columnCount(const QModelIndex& /*AParent*/) const {
    return 2;
}

bool TAnswerTreeModel::hasChildren(const QModelIndex& AParent) const {
    return rowCount(AParent) > 0;
}

QVariant TAnswerTreeModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!AIndex.isValid() || (ARole != Qt::DisplayRole && ARole != Qt::ToolTipRole))
        return {};
    const std::uint32_t node = NodeOf(AIndex);
    const TAnswerNode& info = FTree->Node(node);
    if (AIndex.column() == 0) {
        if (info.Parent == NoNode)
            return QStringLiteral("(answer)");
        if (FTree->Kind(info.Parent) == TNodeKind::Array)
            return QStringLiteral("[%1]").arg(AIndex.row());
        return QString::fromStdString(FTree->Key(node));
    }
    const TNodeKind kind = FTree->Kind(node);
    if (kind == TNodeKind::Object)
        return QStringLiteral("{%1}").arg(info.Length);
    if (kind == TNodeKind::Array)
        return QStringLiteral("[%1]").arg(info.Length);
    QString text = QString::fromStdString(FTree->DisplayText(node));
    if (ARole == Qt::DisplayRole && text.size() > MaxShown)
        text = text.left(MaxShown) + QChar(0x2026);
    return text;
}

QVariant TAnswerTreeModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole)
        return {};
    return ASection == 0 ? QStringLiteral("Name") : QStringLiteral("Value");
}
