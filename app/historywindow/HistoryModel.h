#pragma once

#include "HistoryStore.h"

#include <QAbstractTableModel>

#include <vector>

// The list of stored calls, newest first, as the last search found them: their summaries only,
// held in memory, so that nothing of the database stays open behind the list. Answers are read
// only when a call is opened. The server and the status, which may be long, show whole in their
// tooltips; sizes are in the results window's units.
class THistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { When, Command, Server, Outcome, Status, Duration, Size, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;
    qint64 CallId(int ARow) const;
    // The row of the call AId; -1 when it is not listed.
    int RowOf(qint64 AId) const;
    void SetCalls(std::vector<THistorySummary> ACalls);
    void Clear() { SetCalls({}); }

    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AItem, int ARole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override;

private:
    std::vector<THistorySummary> FCalls;
};
