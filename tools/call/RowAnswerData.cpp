#include "RowAnswerData.h"

#include "AnswerWriter.h"
#include "ErrorOutput.h"
#include "HistoryStore.h"
#include "TableText.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace {

// The widest cell of an aligned table, as for a single answer's table.
constexpr std::size_t MaxAlignedWidth = 60;
// The output is written in pieces of about this size.
constexpr std::size_t OutputPiece = std::size_t(1) << 20;

void WriteNumber(std::uint32_t AValue, std::string& AOut) {
    AOut.append(reinterpret_cast<const char*>(&AValue), sizeof AValue);
}

bool ReadNumber(std::FILE* AFile, std::uint32_t& AValue) {
    return std::fread(&AValue, sizeof AValue, 1, AFile) == 1;
}

} // namespace

TRowAnswerData::TRowAnswerData(const TAnswerDataOptions& AOptions, int AFd)
    : FOptions(AOptions), FFd(AFd),
      FAligned(AOptions.Table && !AOptions.Csv && ::isatty(AFd) != 0) {
    if (!FOptions.Tabled())
        return;
    FLines = std::tmpfile();
    if (FLines == nullptr)
        throw std::runtime_error(std::string("Cannot make a temporary file for the table: ") +
                                 std::strerror(errno));
    // The row's number, apart from the answers' own columns: an answer may have a "row" too.
    FColumns.emplace_back("row");
    FNumeric.push_back(true);
    FWidths.push_back(FAligned ? TextWidth("row") : 0);
}

TRowAnswerData::~TRowAnswerData() {
    if (FLines != nullptr)
        std::fclose(FLines);
}

void TRowAnswerData::Fail(std::int64_t ARow, const std::string& AWhy) {
    FFailed = true;
    WriteError("row " + std::to_string(ARow) + ": " + AWhy);
}

std::size_t TRowAnswerData::ColumnOf(const std::string& AName) {
    const auto [found, added] = FColumnIndex.try_emplace(AName, FColumns.size());
    if (added) {
        FColumns.push_back(AName);
        FNumeric.push_back(true);
        FWidths.push_back(FAligned ? TextWidth(ShownCell(AName, MaxAlignedWidth)) : 0);
    }
    return found->second;
}

void TRowAnswerData::Keep(std::int64_t ARow, const TDataTable& AData) {
    const TAnswerTable& table = AData.Table;
    std::vector<std::size_t> columns;
    columns.reserve(table.Columns.size());
    for (std::size_t column = 0; column < table.Columns.size(); ++column) {
        columns.push_back(ColumnOf(table.Columns[column]));
        if (!table.Numeric[column])
            FNumeric[columns.back()] = false;
    }
    const std::string rowText = std::to_string(ARow);
    std::string record;
    const auto addCell = [this, &record](std::size_t AColumn, const std::string& AText) {
        const std::string& kept = FAligned ? ShownCell(AText, MaxAlignedWidth) : AText;
        if (FAligned)
            FWidths[AColumn] = std::max(FWidths[AColumn], TextWidth(kept));
        WriteNumber(static_cast<std::uint32_t>(AColumn), record);
        WriteNumber(static_cast<std::uint32_t>(kept.size()), record);
        record += kept;
    };
    for (std::size_t row = 0; row < table.Rows; ++row) {
        record.clear();
        WriteNumber(static_cast<std::uint32_t>(columns.size() + 1), record);
        addCell(0, rowText);
        for (std::size_t column = 0; column < columns.size(); ++column)
            addCell(columns[column], CellText(AData.Tree, table.Cell(row, column)));
        if (std::fwrite(record.data(), 1, record.size(), FLines) != record.size())
            throw std::runtime_error(std::string("Cannot keep the table's lines: ") +
                                     std::strerror(errno));
        ++FLineCount;
    }
}

std::optional<std::string> TRowAnswerData::Add(std::int64_t ARow, const std::string& AAnswer,
                                               bool ACut) {
    if (ACut) {
        std::lock_guard lock(FLock);
        Fail(ARow, "the answer is longer than the " +
                       std::to_string(THistoryLimits{}.MaxAnswerBytes >> 20) +
                       " MiB a run keeps of it; it is not read as data.");
        return std::nullopt;
    }
    try {
        if (!FOptions.Tabled()) {
            std::string results;
            const std::string error =
                FilterAnswer(FOptions, AAnswer, FOptions.Compact,
                             [&results](std::string_view ALine) { results += ALine; });
            std::lock_guard lock(FLock);
            if (!FOutputFailed) {
                try {
                    TAnswerWriter(FFd).Write(results);
                } catch (const std::runtime_error& failure) {
                    // Said once: a closed pipe takes no row's results.
                    FOutputFailed = true;
                    FFailed = true;
                    WriteError(failure.what());
                }
            }
            if (!error.empty()) {
                Fail(ARow, error);
                return std::nullopt;
            }
            if (!results.empty())
                results.pop_back();
            return results;
        }
        std::string results;
        if (FOptions.Jq) {
            // The record's text: the same results the table is made of, one per line.
            if (const std::string error =
                    FilterAnswer(FOptions, AAnswer, true,
                                 [&results](std::string_view ALine) { results += ALine; });
                !error.empty()) {
                std::lock_guard lock(FLock);
                Fail(ARow, error);
                return std::nullopt;
            }
        }
        std::optional<TDataTable> data;
        if (FOptions.Jq) {
            data = ResultsTable(results);
            if (!results.empty())
                results.pop_back();
        } else {
            data = AnswerDataTable(FOptions, AAnswer);
        }
        std::lock_guard lock(FLock);
        if (data)
            Keep(ARow, *data);
        if (!FOptions.Jq)
            return std::nullopt;
        return results;
    } catch (const std::runtime_error& error) {
        std::lock_guard lock(FLock);
        Fail(ARow, error.what());
    }
    return std::nullopt;
}

bool TRowAnswerData::Finish() {
    std::lock_guard lock(FLock);
    if (FLines == nullptr || FLineCount == 0)
        return !FFailed;
    try {
        if (std::fflush(FLines) != 0 || std::fseek(FLines, 0, SEEK_SET) != 0)
            throw std::runtime_error(std::string("Cannot read the table's lines back: ") +
                                     std::strerror(errno));
        TAnswerWriter output(FFd);
        std::string text;
        const auto appendLine = [this, &text](const std::vector<std::string>& ACells) {
            if (FAligned) {
                AppendAlignedLine(ACells, FWidths, FNumeric, text);
                return;
            }
            for (std::size_t column = 0; column < ACells.size(); ++column) {
                if (column != 0)
                    text += FOptions.Csv ? ',' : '\t';
                if (FOptions.Csv)
                    AppendCsvField(ACells[column], text);
                else
                    AppendTsvField(ACells[column], text);
            }
            text += FOptions.Csv ? "\r\n" : "\n";
        };
        std::vector<std::string> cells;
        for (const std::string& name : FColumns)
            cells.push_back(FAligned ? ShownCell(name, MaxAlignedWidth) : name);
        appendLine(cells);
        for (std::uint64_t line = 0; line < FLineCount; ++line) {
            for (std::string& cell : cells)
                cell.clear();
            std::uint32_t count = 0;
            bool read = ReadNumber(FLines, count);
            for (std::uint32_t i = 0; read && i < count; ++i) {
                std::uint32_t column = 0;
                std::uint32_t length = 0;
                read = ReadNumber(FLines, column) && ReadNumber(FLines, length) &&
                       column < cells.size();
                if (!read)
                    break;
                cells[column].resize(length);
                read = length == 0 || std::fread(cells[column].data(), 1, length, FLines) == length;
            }
            if (!read)
                throw std::runtime_error("Cannot read the table's lines back.");
            appendLine(cells);
            if (text.size() >= OutputPiece) {
                output.Write(text);
                text.clear();
            }
        }
        output.Write(text);
    } catch (const std::runtime_error& error) {
        WriteError(error.what());
        return false;
    }
    return !FFailed;
}
