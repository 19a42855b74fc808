#pragma once

#include "AnswerTable.h"
#include "TableSort.h"

#include <QAbstractTableModel>

#include <memory>
#include <vector>

// A table of the answer as rows: sorted by a header click (numbers as numbers), cut down by a
// quick filter over every cell's text. The model keeps the order of its rows; cells are made
// when shown.
class TAnswerTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TAnswerTableModel(QObject* AParent = nullptr) : QAbstractTableModel(AParent) {}

    void SetTable(std::shared_ptr<const TAnswerTree> ATree, TAnswerTable ATable);
    const TAnswerTable& Table() const { return FTable; }
    const std::shared_ptr<const TAnswerTree>& Tree() const { return FTree; }
    // Keeps only the rows with a cell that holds AText (in any case); empty keeps all.
    void SetFilter(const QString& AText);
    // The table's rows in the order shown, those the filter keeps.
    const std::vector<std::uint32_t>& ShownRows() const { return FShown; }

    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;
    void sort(int AColumn, Qt::SortOrder AOrder = Qt::AscendingOrder) override;

private:
    // Which rows the filter keeps; made when the filter or the table changes, not on a sort.
    void ApplyFilter();
    // The kept rows in the sorted order.
    void ShowKept();

    std::shared_ptr<const TAnswerTree> FTree;
    TAnswerTable FTable;
    TTableSorter FSorter;
    std::vector<std::uint32_t> FOrder; // every row, sorted
    std::vector<bool> FKept;           // by row, when there is a filter
    std::vector<std::uint32_t> FShown; // those the filter keeps, sorted
    QString FFilter;
};
