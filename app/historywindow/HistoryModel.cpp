#include "HistoryModel.h"

#include "DataSize.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <iterator>

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

// The address called, after the profile it was called as when there was one.
static QString ServerText(const THistorySummary& ACall) {
    return ACall.Profile.isEmpty()
               ? ACall.URL
               : QStringLiteral("profile '%1': %2").arg(ACall.Profile, ACall.URL);
}

static QString CommandText(const THistorySummary& ACall) {
    // A run of rows is one entry; its status line says how its rows went.
    if (ACall.Run)
        return ACall.Command + QStringLiteral(" (run for rows)");
    if (ACall.IsBeforeCopy)
        return ACall.Command + QStringLiteral(" (before copy)");
    if (ACall.BeforeCopyId > 0)
        return ACall.Command + QStringLiteral(" (with before copy)");
    return ACall.Command;
}

static QString CommandTip(const THistorySummary& ACall) {
    if (ACall.IsBeforeCopy)
        return QStringLiteral("The read sent first to keep, as it was, what the call after it "
                              "changed");
    if (ACall.BeforeCopyId > 0)
        return QStringLiteral("A read was sent first to keep what this call changed as it was: "
                              "its before copy shows beside the answer");
    return {};
}

QVariant THistoryModel::data(const QModelIndex& AItem, int ARole) const {
    if (!checkIndex(AItem, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const THistorySummary& call = FCalls[static_cast<std::size_t>(AItem.row())];
    const int column = AItem.column();
    if (ARole == Qt::TextAlignmentRole)
        return column == Duration || column == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                    : QVariant();
    if (ARole == Qt::ToolTipRole) {
        if (column == Server)
            return ServerText(call);
        if (column == Command)
            return CommandTip(call);
        if (column != Status)
            return {};
        // The status line and the failure's whole message, each once.
        QStringList parts;
        if (!call.StatusLine.isEmpty())
            parts.append(call.StatusLine);
        if (!call.ErrorText.isEmpty() && call.ErrorText != call.StatusLine)
            parts.append(call.ErrorText);
        return parts.join(u'\n');
    }
    if (ARole != Qt::DisplayRole)
        return {};
    switch (column) {
    case When:
        return call.When.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Command:
        return CommandText(call);
    case Server:
        return ServerText(call);
    case Outcome:
        return call.Outcome;
    case Status:
        // A failure without a status line is told by its message's first line.
        return call.StatusLine.isEmpty() ? call.ErrorText.section(u'\n', 0, 0).trimmed()
                                         : call.StatusLine;
    case Duration:
        return QStringLiteral("%1 ms").arg(QLocale().toString(call.DurationMs));
    case Size: {
        const QString size = DataSizeText(call.AnswerSize);
        return call.AnswerCut ? size + QStringLiteral(" (cut)") : size;
    }
    default:
        return {};
    }
}

QVariant THistoryModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole)
        return {};
    static const char* const captions[] = {"When",   "Command",  "Server", "Outcome",
                                           "Status", "Duration", "Size"};
    static_assert(std::size(captions) == ColumnCount);
    return ASection >= 0 && ASection < ColumnCount ? QString::fromLatin1(captions[ASection])
                                                   : QVariant();
}
