#include "HistoryModel.h"

#include "HistoryStore.h"

#include <QDateTime>
#include <QLocale>

qint64 THistoryModel::CallId(int ARow) const {
    return QSqlQueryModel::data(createIndex(ARow, THistoryStore::ListId), Qt::DisplayRole)
        .toLongLong();
}

int THistoryModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : ColumnCount;
}

QVariant THistoryModel::data(const QModelIndex& AItem, int ARole) const {
    if (!AItem.isValid() ||
        (ARole != Qt::DisplayRole && ARole != Qt::TextAlignmentRole && ARole != Qt::ToolTipRole))
        return {};
    const auto value = [&](THistoryStore::TListColumn AColumn) {
        // The query's own columns, more than the list shows.
        return QSqlQueryModel::data(createIndex(AItem.row(), AColumn), Qt::DisplayRole);
    };
    const bool numeric = AItem.column() == Duration || AItem.column() == Size;
    if (ARole == Qt::TextAlignmentRole)
        return numeric ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    switch (AItem.column()) {
    case When:
        return QDateTime::fromString(value(THistoryStore::ListWhen).toString(), Qt::ISODateWithMs)
            .toLocalTime()
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Command:
        return value(THistoryStore::ListCommand);
    case Outcome:
        return value(THistoryStore::ListOutcome);
    case Status: {
        // A failure without a status line is told by its message.
        const QString status = value(THistoryStore::ListStatus).toString();
        const QString error = value(THistoryStore::ListError).toString();
        if (ARole == Qt::ToolTipRole)
            return error.isEmpty() ? status : error;
        return status.isEmpty() ? error.section(u'\n', 0, 0).trimmed() : status;
    }
    case Duration:
        return QStringLiteral("%1 ms").arg(value(THistoryStore::ListDuration).toLongLong());
    case Size: {
        const QString size = QLocale::system().formattedDataSize(
            value(THistoryStore::ListSize).toLongLong(), 1, QLocale::DataSizeTraditionalFormat);
        return value(THistoryStore::ListCut).toBool() ? size + QStringLiteral(" (cut)") : size;
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
