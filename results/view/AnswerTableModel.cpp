#include "AnswerTableModel.h"

void TAnswerTableModel::SetTable(std::shared_ptr<const TAnswerTree> ATree, TAnswerTable ATable) {
    beginResetModel();
    FTree = std::move(ATree);
    FTable = std::move(ATable);
    FSorter.Clear();
    FOrder = AllRows(FTable);
    ApplyFilter();
    endResetModel();
}

void TAnswerTableModel::SetFilter(const QString& AText) {
    if (AText == FFilter)
        return;
    beginResetModel();
    FFilter = AText;
    ApplyFilter();
    endResetModel();
}

void TAnswerTableModel::ApplyFilter() {
    FKept.clear();
    if (!FFilter.isEmpty() && FTree) {
        FKept.assign(FTable.Rows, false);
        for (std::uint32_t row = 0; row < FTable.Rows; ++row)
            for (std::size_t column = 0; column < FTable.Columns.size(); ++column) {
                const std::string text = CellText(*FTree, FTable.Cell(row, column));
                if (QString::fromStdString(text).contains(FFilter, Qt::CaseInsensitive)) {
                    FKept[row] = true;
                    break;
                }
            }
    }
    ShowKept();
}

void TAnswerTableModel::ShowKept() {
    if (FKept.empty()) {
        FShown = FOrder;
        return;
    }
    FShown.clear();
    for (const std::uint32_t row : FOrder)
        if (FKept[row])
            FShown.push_back(row);
}

int TAnswerTableModel::rowCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : static_cast<int>(FShown.size());
}

int TAnswerTableModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : static_cast<int>(FTable.Columns.size());
}

QVariant TAnswerTableModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!AIndex.isValid())
        return {};
    const auto column = static_cast<std::size_t>(AIndex.column());
    if (ARole == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(
            (FTable.Numeric[column] ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    if (ARole != Qt::DisplayRole && ARole != Qt::ToolTipRole)
        return {};
    const std::uint32_t cell = FTable.Cell(FShown[static_cast<std::size_t>(AIndex.row())], column);
    return QString::fromStdString(CellText(*FTree, cell));
}

QVariant TAnswerTableModel::headerData(int ASection, Qt::Orientation AOrientation,
                                       int ARole) const {
    if (ARole != Qt::DisplayRole)
        return {};
    if (AOrientation == Qt::Vertical)
        return ASection + 1;
    return QString::fromStdString(FTable.Columns[static_cast<std::size_t>(ASection)]);
}

void TAnswerTableModel::sort(int AColumn, Qt::SortOrder AOrder) {
    if (!FTree || AColumn < 0 || static_cast<std::size_t>(AColumn) >= FTable.Columns.size())
        return;
    beginResetModel();
    FOrder = FSorter.Sort(*FTree, FTable, static_cast<std::size_t>(AColumn),
                          AOrder == Qt::AscendingOrder);
    ShowKept();
    endResetModel();
}
