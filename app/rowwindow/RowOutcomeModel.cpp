#include "RowOutcomeModel.h"

#include <algorithm>
#include <limits>

namespace {

bool IsFailed(TRowState AState) {
    return AState == TRowState::Failed || AState == TRowState::Unknown ||
           AState == TRowState::Sending;
}

} // namespace

void TRowOutcomeModel::Clear() {
    beginResetModel();
    FRows.clear();
    FFailed.clear();
    FTexts.clear();
    endResetModel();
}

void TRowOutcomeModel::Add(const std::vector<TRowRecord>& ARecords) {
    const auto failed = static_cast<std::size_t>(std::count_if(
        ARecords.begin(), ARecords.end(), [](const TRowRecord& A) { return IsFailed(A.State); }));
    const std::size_t shown = FFailedOnly ? FFailed.size() : FRows.size();
    const std::size_t added = FFailedOnly ? failed : ARecords.size();
    if (added > 0)
        beginInsertRows({}, static_cast<int>(shown), static_cast<int>(shown + added - 1));
    for (const TRowRecord& record : ARecords) {
        TRow row;
        row.Number = record.Row;
        row.DurationMs = static_cast<std::int32_t>(
            std::min<qint64>(record.DurationMs, std::numeric_limits<std::int32_t>::max()));
        row.Status = static_cast<std::int16_t>(record.Status);
        row.State = record.State;
        if (IsFailed(row.State)) {
            FFailed.push_back(static_cast<std::uint32_t>(FRows.size()));
            if (FTexts.size() < MaxTexts)
                FTexts.emplace(row.Number, QString::fromStdString(record.StatusLine.empty()
                                                                      ? record.Error
                                                                      : record.StatusLine));
        }
        FRows.push_back(row);
    }
    if (added > 0)
        endInsertRows();
}

void TRowOutcomeModel::SetFailedOnly(bool AFailedOnly) {
    if (AFailedOnly == FFailedOnly)
        return;
    beginResetModel();
    FFailedOnly = AFailedOnly;
    endResetModel();
}

std::vector<std::int64_t> TRowOutcomeModel::FailedNumbers() const {
    std::vector<std::int64_t> numbers;
    numbers.reserve(FFailed.size());
    for (const std::uint32_t position : FFailed)
        numbers.push_back(FRows[position].Number);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

const TRowOutcomeModel::TRow& TRowOutcomeModel::Shown(int AIndex) const {
    return FFailedOnly ? FRows[FFailed[static_cast<std::size_t>(AIndex)]]
                       : FRows[static_cast<std::size_t>(AIndex)];
}

std::int64_t TRowOutcomeModel::RowNumber(int AIndex) const {
    return Shown(AIndex).Number;
}

TRowState TRowOutcomeModel::State(int AIndex) const {
    return Shown(AIndex).State;
}

int TRowOutcomeModel::rowCount(const QModelIndex& AParent) const {
    if (AParent.isValid())
        return 0;
    return static_cast<int>(FFailedOnly ? FFailed.size() : FRows.size());
}

int TRowOutcomeModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : ColumnCount;
}

QVariant TRowOutcomeModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!AIndex.isValid() || AIndex.row() >= rowCount())
        return {};
    const TRow& row = Shown(AIndex.row());
    if (ARole == Qt::TextAlignmentRole && AIndex.column() != TextColumn &&
        AIndex.column() != OutcomeColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (ARole != Qt::DisplayRole)
        return {};
    switch (AIndex.column()) {
    case RowColumn:
        return QVariant::fromValue(row.Number);
    case OutcomeColumn:
        return RowStateName(row.State == TRowState::Sending ? TRowState::Unknown : row.State);
    case StatusColumn:
        return row.Status != 0 ? QVariant(row.Status) : QVariant();
    case TimeColumn:
        return row.State == TRowState::Answered || row.State == TRowState::Failed
                   ? QVariant(row.DurationMs)
                   : QVariant();
    case TextColumn: {
        const auto found = FTexts.find(row.Number);
        return found != FTexts.end() ? found->second : QString();
    }
    default:
        return {};
    }
}

QVariant TRowOutcomeModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole)
        return {};
    switch (ASection) {
    case RowColumn:
        return QStringLiteral("Row");
    case OutcomeColumn:
        return QStringLiteral("Outcome");
    case StatusColumn:
        return QStringLiteral("Status");
    case TimeColumn:
        return QStringLiteral("ms");
    case TextColumn:
        return QStringLiteral("Error");
    default:
        return {};
    }
}
