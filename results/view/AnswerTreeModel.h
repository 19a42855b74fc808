#pragma once

#include "AnswerTree.h"

#include <QAbstractItemModel>

#include <memory>
#include <unordered_map>
#include <vector>

// The answer's tree as rows: one top row for the whole answer, a row per member or element
// below it, two columns (the key or index, and the value: a scalar as shown, a container's count
// of children). A container's children are listed the first time it is opened, so that opening
// one of a million children costs one walk over them and nothing before.
class TAnswerTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TAnswerTreeModel(QObject* AParent = nullptr) : QAbstractItemModel(AParent) {}

    void SetTree(std::shared_ptr<const TAnswerTree> ATree);
    const std::shared_ptr<const TAnswerTree>& Tree() const { return FTree; }
    // The node of a row, or NoNode.
    std::uint32_t NodeOf(const QModelIndex& AIndex) const;
    // The row of a node (its ancestors' children listed on the way).
    QModelIndex IndexOf(std::uint32_t ANode);

    QModelIndex index(int ARow, int AColumn, const QModelIndex& AParent = {}) const override;
    QModelIndex parent(const QModelIndex& AChild) const override;
    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    bool hasChildren(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;

private:
    const std::vector<std::uint32_t>& ChildrenOf(std::uint32_t ANode) const;
    int RowOf(std::uint32_t ANode) const;

    std::shared_ptr<const TAnswerTree> FTree;
    mutable std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> FChildren;
};
