#include "HistoryModel.h"

#include <QLocale>

#include <algorithm>

qint64 THistoryModel::CallId(int ARow) const {
    return ARow >= 0 && ARow < rowCount() ? FCalls[static_cast<std::size_t>(ARow)].Id : 0;
}

int THistoryModel::RowOf(qint64 AId) const {
    // Newest first: the ids descend.
    const auto found = std::lower_bound(
        FCalls.begin(), FCalls.end(), AId,
        [](const THistorySummary& ACall, qint64 AWanted) { return ACall.Id > AWanted; });
    return found != FCalls.end() && found->Id == AId ? static_cast<int>(found - FCalls.begin())
                                                     : -1;
}

void THistoryModel::SetCalls(std::vector<THistorySummary> ACalls) {
    beginResetModel();
    FCalls = std::move(ACalls);
    endResetModel();
}

int THistoryModel::rowCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : static_cast<int>(FCalls.size());
}

int THistoryModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : ColumnCount;
}

QVariant THistoryModel::data(const QModelIndex& AItem, int ARole) const {
    if (!checkIndex(AItem, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        (ARole != Qt::DisplayRole && ARole != Qt::TextAlignmentRole && ARole != Qt::ToolTipRole))
        return {};
    const THistorySummary& call = FCalls[static_cast<std::size_t>(AItem.row())];
    const bool numeric = AItem.column() == Duration || AItem.column() == Size;
    if (ARole == Qt::TextAlignmentRole)
        return numeric ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    switch (AItem.column()) {
    case When:
        return call.When.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Command:
        return call.Command;
    case Outcome:
        return call.Outcome;
    case Status:
        // A failure without a status line is told by its message.
        if (ARole == Qt::ToolTipRole)
            return call.ErrorText.isEmpty() ? call.StatusLine : call.ErrorText;
        return call.StatusLine.isEmpty() ? call.ErrorText.section(u'\n', 0, 0).trimmed()
                                         : call.StatusLine;
    case Duration:
        return QStringLiteral("%1 ms").arg(call.DurationMs);
    case Size: {
        const QString size = QLocale::system().formattedDataSize(
            call.AnswerSize, 1, QLocale::DataSizeTraditionalFormat);
        return call.AnswerCut ? size + QStringLiteral(" (cut)") : size;
    }
    default:
        return {};
    }
}

QVariant THistoryModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole)
        return {};
    static const char* const captions[] = {"When",   "Command",  "Outcome",
                                           "Status", "Duration", "Size"};
    return ASection >= 0 && ASection < ColumnCount ? QString::fromLatin1(captions[ASection])
                                                   : QVariant();
}
