#pragma once

#include "RunJournal.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <unordered_map>
#include <vector>

// The rows of a run with their outcome, as a table: row, outcome, HTTP status, milliseconds and
// what the server or the client said. A row takes a few bytes; the words are kept for failed and
// unknown rows only (up to MaxTexts), so a run of any length fits. Can show the failed and
// unknown rows only.
class TRowOutcomeModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { RowColumn, OutcomeColumn, StatusColumn, TimeColumn, TextColumn, ColumnCount };
    static constexpr std::size_t MaxTexts = 10000;

    using QAbstractTableModel::QAbstractTableModel;

    void Clear();
    // Appends the rows in the order given.
    void Add(const std::vector<TRowRecord>& ARecords);
    void SetFailedOnly(bool AFailedOnly);
    bool FailedOnly() const { return FFailedOnly; }

    // Every row kept, failed and unknown ones.
    std::int64_t Rows() const { return static_cast<std::int64_t>(FRows.size()); }
    std::int64_t FailedRows() const { return static_cast<std::int64_t>(FFailed.size()); }
    // The numbers of the failed and unknown rows, in order.
    std::vector<std::int64_t> FailedNumbers() const;
    // The number and state of the shown row AIndex.
    std::int64_t RowNumber(int AIndex) const;
    TRowState State(int AIndex) const;

    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;

private:
    struct TRow {
        std::int64_t Number = 0;
        std::int32_t DurationMs = 0;
        std::int16_t Status = 0;
        TRowState State = TRowState::Pending;
    };
    const TRow& Shown(int AIndex) const;

    std::vector<TRow> FRows;
    std::vector<std::uint32_t> FFailed; // positions in FRows
    std::unordered_map<std::int64_t, QString> FTexts;
    bool FFailedOnly = false;
};
