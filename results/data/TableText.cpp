#include "TableText.h"

#include <algorithm>
#include <string_view>

void AppendCsvField(std::string_view AText, std::string& AOut) {
    if (AText.find_first_of(",\"\r\n") == std::string_view::npos) {
        AOut += AText;
        return;
    }
    AOut += '"';
    for (const char c : AText) {
        if (c == '"')
            AOut += '"';
        AOut += c;
    }
    AOut += '"';
}

void AppendTsvField(std::string_view AText, std::string& AOut) {
    for (const char c : AText)
        AOut += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
}

std::size_t TextWidth(std::string_view AText) {
    return static_cast<std::size_t>(std::count_if(AText.begin(), AText.end(), [](char AChar) {
        return (static_cast<unsigned char>(AChar) & 0xC0) != 0x80;
    }));
}

std::string ShownCell(std::string_view AText, std::size_t AMaxWidth) {
    std::string out;
    AppendTsvField(AText, out);
    if (TextWidth(out) <= AMaxWidth)
        return out;
    std::size_t kept = 0;
    std::size_t at = 0;
    for (; at < out.size(); ++at) {
        if ((static_cast<unsigned char>(out[at]) & 0xC0) != 0x80) {
            if (kept == AMaxWidth - 1)
                break;
            ++kept;
        }
    }
    out.resize(at);
    return out + "\u2026";
}

void AppendAlignedLine(const std::vector<std::string>& AShown,
                       const std::vector<std::size_t>& AWidths, const std::vector<bool>& ANumeric,
                       std::string& AOut) {
    const std::size_t start = AOut.size();
    const std::size_t columns = AShown.size();
    for (std::size_t column = 0; column < columns; ++column) {
        if (column != 0)
            AOut += "  ";
        const std::size_t pad = AWidths[column] - TextWidth(AShown[column]);
        if (ANumeric[column]) {
            AOut.append(pad, ' ');
            AOut += AShown[column];
        } else {
            AOut += AShown[column];
            if (column + 1 < columns)
                AOut.append(pad, ' ');
        }
    }
    while (AOut.size() > start && AOut.back() == ' ')
        AOut.pop_back();
    AOut += '\n';
}

namespace {

// How a separated table is written: each field, what goes between fields, what ends a line.
struct TSeparatedFormat {
    void (*Field)(std::string_view AText, std::string& AOut);
    char Separator;
    std::string_view LineEnd;
};

std::string SeparatedTable(const TAnswerTree& ATree, const TAnswerTable& ATable,
                           const std::vector<std::uint32_t>& ARows, bool AHeader,
                           const TSeparatedFormat& AFormat) {
    std::string out;
    const auto line = [&](const auto& AText) {
        for (std::size_t column = 0; column < ATable.Columns.size(); ++column) {
            if (column != 0)
                out += AFormat.Separator;
            AFormat.Field(AText(column), out);
        }
        out += AFormat.LineEnd;
    };
    if (AHeader)
        line([&](std::size_t AColumn) -> std::string_view { return ATable.Columns[AColumn]; });
    for (const std::uint32_t row : ARows)
        line([&](std::size_t AColumn) { return CellText(ATree, ATable.Cell(row, AColumn)); });
    return out;
}

} // namespace

std::string TableCsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows, bool AHeader) {
    return SeparatedTable(ATree, ATable, ARows, AHeader, {AppendCsvField, ',', "\r\n"});
}

std::string TableTsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows, bool AHeader) {
    return SeparatedTable(ATree, ATable, ARows, AHeader, {AppendTsvField, '\t', "\n"});
}

std::string TableAligned(const TAnswerTree& ATree, const TAnswerTable& ATable,
                         const std::vector<std::uint32_t>& ARows, std::size_t AMaxWidth) {
    const std::size_t columns = ATable.Columns.size();
    std::vector<std::vector<std::string>> lines;
    lines.reserve(ARows.size() + 1);
    lines.emplace_back();
    for (const std::string& name : ATable.Columns)
        lines.back().push_back(ShownCell(name, AMaxWidth));
    for (const std::uint32_t row : ARows) {
        lines.emplace_back();
        for (std::size_t column = 0; column < columns; ++column)
            lines.back().push_back(ShownCell(CellText(ATree, ATable.Cell(row, column)), AMaxWidth));
    }
    std::vector<std::size_t> widths(columns, 0);
    for (const auto& line : lines)
        for (std::size_t column = 0; column < columns; ++column)
            widths[column] = std::max(widths[column], TextWidth(line[column]));
    std::string out;
    for (const auto& line : lines)
        AppendAlignedLine(line, widths, ATable.Numeric, out);
    return out;
}
