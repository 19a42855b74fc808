#pragma once

#include <QSqlQueryModel>

// The list of stored calls, newest first. Rows come from the database as the view scrolls to
// them; answers are read only when a call is opened.
class THistoryModel : public QSqlQueryModel {
    Q_OBJECT
public:
    enum TColumn { When, Command, Outcome, Status, Duration, Size, ColumnCount };

    using QSqlQueryModel::QSqlQueryModel;
    qint64 CallId(int ARow) const;

    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AItem, int ARole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override;
};
