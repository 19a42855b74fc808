#include "TableText.h"

#include <algorithm>
#include <string_view>

namespace {

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

// Characters of a UTF-8 text (code points; continuation bytes do not count).
std::size_t Characters(std::string_view AText) {
    return static_cast<std::size_t>(std::count_if(AText.begin(), AText.end(), [](char AChar) {
        return (static_cast<unsigned char>(AChar) & 0xC0) != 0x80;
    }));
}

// The text cut to AMax characters, the last of them an ellipsis; line breaks and tabs as spaces.
std::string Shown(std::string_view AText, std::size_t AMax) {
    std::string out;
    AppendTsvField(AText, out);
    if (Characters(out) <= AMax)
        return out;
    std::size_t kept = 0;
    std::size_t at = 0;
    for (; at < out.size(); ++at) {
        if ((static_cast<unsigned char>(out[at]) & 0xC0) != 0x80) {
            if (kept == AMax - 1)
                break;
            ++kept;
        }
    }
    out.resize(at);
    return out + "\u2026";
}

} // namespace

std::string TableCsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows) {
    std::string out;
    for (std::size_t column = 0; column < ATable.Columns.size(); ++column) {
        if (column != 0)
            out += ',';
        AppendCsvField(ATable.Columns[column], out);
    }
    out += "\r\n";
    for (const std::uint32_t row : ARows) {
        for (std::size_t column = 0; column < ATable.Columns.size(); ++column) {
            if (column != 0)
                out += ',';
            AppendCsvField(CellText(ATree, ATable.Cell(row, column)), out);
        }
        out += "\r\n";
    }
    return out;
}

std::string TableTsv(const TAnswerTree& ATree, const TAnswerTable& ATable,
                     const std::vector<std::uint32_t>& ARows, bool AHeader) {
    std::string out;
    if (AHeader) {
        for (std::size_t column = 0; column < ATable.Columns.size(); ++column) {
            if (column != 0)
                out += '\t';
            AppendTsvField(ATable.Columns[column], out);
        }
        out += '\n';
    }
    for (const std::uint32_t row : ARows) {
        for (std::size_t column = 0; column < ATable.Columns.size(); ++column) {
            if (column != 0)
                out += '\t';
            AppendTsvField(CellText(ATree, ATable.Cell(row, column)), out);
        }
        out += '\n';
    }
    return out;
}

std::string TableAligned(const TAnswerTree& ATree, const TAnswerTable& ATable,
                         const std::vector<std::uint32_t>& ARows, std::size_t AMaxWidth) {
    const std::size_t columns = ATable.Columns.size();
    std::vector<std::vector<std::string>> lines;
    lines.reserve(ARows.size() + 1);
    lines.emplace_back();
    for (const std::string& name : ATable.Columns)
        lines.back().push_back(Shown(name, AMaxWidth));
    for (const std::uint32_t row : ARows) {
        lines.emplace_back();
        for (std::size_t column = 0; column < columns; ++column)
            lines.back().push_back(Shown(CellText(ATree, ATable.Cell(row, column)), AMaxWidth));
    }
    std::vector<std::size_t> widths(columns, 0);
    for (const auto& line : lines)
        for (std::size_t column = 0; column < columns; ++column)
            widths[column] = std::max(widths[column], Characters(line[column]));
    std::string out;
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t column = 0; column < columns; ++column) {
            if (column != 0)
                text += "  ";
            const std::size_t pad = widths[column] - Characters(line[column]);
            if (ATable.Numeric[column]) {
                text.append(pad, ' ');
                text += line[column];
            } else {
                text += line[column];
                if (column + 1 < columns)
                    text.append(pad, ' ');
            }
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text;
        out += '\n';
    }
    return out;
}
