#include "RowOutput.h"

#include "CatalogueJson.h"

#include <cerrno>
#include <cstring>

std::string CsvField(std::string_view AText) {
    if (AText.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(AText);
    std::string out = "\"";
    for (const char c : AText) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

TRowOutput::TRowOutput(const std::string& APath, std::vector<std::string> AColumns,
                       bool ABeforeCopies)
    : FPath(APath), FJson(RowFormatOfFile(APath) == TRowFormat::JsonLines),
      FBeforeCopies(ABeforeCopies), FColumns(std::move(AColumns)) {
    FFile = std::fopen(APath.c_str(), "we");
    if (FFile == nullptr)
        throw ERowFileError("Cannot write " + APath + ": " + std::strerror(errno));
    if (FJson)
        return;
    std::string header = "row";
    if (FColumns.empty())
        header += ",values";
    for (const std::string& column : FColumns)
        header += "," + CsvField(column);
    header += FBeforeCopies ? ",outcome,status,ms,before_copy,answer\r\n"
                            : ",outcome,status,ms,answer\r\n";
    std::fputs(header.c_str(), FFile);
}

TRowOutput::~TRowOutput() {
    if (FFile != nullptr)
        std::fclose(FFile);
}

void TRowOutput::Write(const TFileRow& ARow, const TRowRecord& ARecord) {
    const std::string outcome = RowStateName(ARecord.State).toStdString();
    std::string line;
    if (FJson) {
        line = "{\"row\":" + std::to_string(ARow.Number) + ",\"values\":{";
        for (std::size_t i = 0; i < ARow.Values.size(); ++i)
            line += (i ? "," : "") + JsonString(ARow.Values[i].Name) + ":" +
                    JsonString(ARow.Values[i].Value);
        line +=
            "},\"outcome\":" + JsonString(outcome) +
            ",\"status\":" + std::to_string(ARecord.Status) +
            ",\"ms\":" + std::to_string(ARecord.DurationMs) +
            (FBeforeCopies ? ",\"before_copy\":" + JsonString(ARecord.BeforeCopy) : "") +
            ",\"answer\":" + JsonString(ARecord.Answer.empty() ? ARecord.Error : ARecord.Answer) +
            "}\n";
    } else {
        line = std::to_string(ARow.Number);
        if (FColumns.empty()) {
            std::string values = "{";
            for (std::size_t i = 0; i < ARow.Values.size(); ++i)
                values += (i ? "," : "") + JsonString(ARow.Values[i].Name) + ":" +
                          JsonString(ARow.Values[i].Value);
            line += "," + CsvField(values + "}");
        } else {
            for (const TRowValue& value : ARow.Values)
                line += "," + CsvField(value.Value);
        }
        line += "," + outcome + "," + std::to_string(ARecord.Status) + "," +
                std::to_string(ARecord.DurationMs) + "," +
                (FBeforeCopies ? CsvField(ARecord.BeforeCopy) + "," : "") +
                CsvField(ARecord.Answer.empty() ? ARecord.Error : ARecord.Answer) + "\r\n";
    }
    std::fwrite(line.data(), 1, line.size(), FFile);
}

void TRowOutput::Close() {
    if (FFile == nullptr)
        return;
    const bool failed = std::ferror(FFile) != 0;
    const bool closed = std::fclose(FFile) == 0;
    FFile = nullptr;
    if (failed || !closed)
        throw ERowFileError("Cannot write " + FPath + ": " + std::strerror(errno));
}
