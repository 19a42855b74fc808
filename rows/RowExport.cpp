#include "RowExport.h"

#include "CallArguments.h"
#include "CatalogueJson.h"
#include "Command.h"
#include "RowCall.h"
#include "RowOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool SameName(const std::string& A, const std::string& B) {
    return QString::fromStdString(A).compare(QString::fromStdString(B), Qt::CaseInsensitive) == 0;
}

struct TFileCloser {
    void operator()(std::FILE* AFile) const { std::fclose(AFile); }
};

} // namespace

std::vector<TColumnMatch> MatchColumns(const TCommand& ACommand,
                                       const std::vector<std::string>& AColumns,
                                       const QStringList& AFixed) {
    std::vector<TColumnMatch> matches;
    for (std::size_t i = 0; i < AColumns.size(); ++i) {
        TColumnMatch match;
        match.Column = AColumns[i];
        for (const auto& param : ACommand.Params)
            if (SameName(param->Name, match.Column))
                match.Param = param->Name;
        // The check of the whole header words each problem as the command line does.
        const std::vector<std::string> earlier(AColumns.begin(),
                                               AColumns.begin() + static_cast<std::ptrdiff_t>(i));
        const bool twice = std::any_of(earlier.begin(), earlier.end(), [&](const std::string& A) {
            return SameName(A, match.Column);
        });
        try {
            CheckColumns(ACommand, {match.Column}, AFixed);
            if (twice)
                match.Problem = "Column '" + match.Column + "' is given twice.";
        } catch (const ECallUsage& error) {
            match.Problem = error.what();
        }
        if (!match.Problem.empty() && twice)
            match.Param.clear();
        matches.push_back(std::move(match));
    }
    return matches;
}

std::vector<std::string> RowFileColumns(const std::string& APath, TRowFormat AFormat,
                                        std::int64_t AMaxRows) {
    TRowFile file(APath, AFormat);
    if (AFormat == TRowFormat::Csv)
        return file.Header();
    std::vector<std::string> columns;
    TFileRow row;
    for (std::int64_t i = 0; i < AMaxRows && file.Next(row); ++i)
        for (const TRowValue& value : row.Values)
            if (std::find(columns.begin(), columns.end(), value.Name) == columns.end())
                columns.push_back(value.Name);
    return columns;
}

std::int64_t ExportRows(const std::string& AFrom, TRowFormat AFormat, const std::string& ATo,
                        const std::function<bool(std::int64_t)>& AWanted) {
    TRowFile file(AFrom, AFormat);
    const std::unique_ptr<std::FILE, TFileCloser> out(std::fopen(ATo.c_str(), "we"));
    if (!out)
        throw ERowFileError("Cannot write " + ATo + ": " + std::strerror(errno));
    std::string text;
    if (AFormat == TRowFormat::Csv) {
        const std::vector<std::string>& header = file.Header();
        for (std::size_t i = 0; i < header.size(); ++i)
            text += (i ? "," : "") + CsvField(header[i]);
        text += "\r\n";
    }
    std::int64_t written = 0;
    TFileRow row;
    while (file.Next(row)) {
        if (!AWanted(row.Number))
            continue;
        ++written;
        if (AFormat == TRowFormat::Csv) {
            for (std::size_t i = 0; i < row.Values.size(); ++i)
                text += (i ? "," : "") + CsvField(row.Values[i].Value);
            text += "\r\n";
        } else {
            text += "{";
            for (std::size_t i = 0; i < row.Values.size(); ++i)
                text += (i ? "," : "") + JsonString(row.Values[i].Name) + ":" +
                        JsonString(row.Values[i].Value);
            text += "}\n";
        }
        if (text.size() >= 1 << 16) {
            std::fwrite(text.data(), 1, text.size(), out.get());
            text.clear();
        }
    }
    std::fwrite(text.data(), 1, text.size(), out.get());
    if (std::fflush(out.get()) != 0 || std::ferror(out.get()) != 0)
        throw ERowFileError("Cannot write " + ATo + ": " + std::strerror(errno));
    return written;
}
