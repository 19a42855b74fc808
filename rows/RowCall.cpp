#include "RowCall.h"

#include "SendRequest.h"

#include <algorithm>

namespace {

bool SameName(const std::string& A, const QString& B) {
    return QString::fromStdString(A).compare(B, Qt::CaseInsensitive) == 0;
}

QString FixedName(const QString& ALine) {
    return ALine.left(ALine.indexOf(u'='));
}

std::vector<std::string> ParamNames(const TCommand& ACommand) {
    std::vector<std::string> names;
    for (const auto& param : ACommand.Params)
        names.push_back(param->Name);
    return names;
}

void CheckNotFixed(const std::string& AName, const QStringList& AFixed) {
    for (const QString& line : AFixed)
        if (SameName(AName, FixedName(line)))
            throw ECallUsage("Parameter '" + AName +
                             "' is both in the file and on the command line.");
}

} // namespace

void CheckColumns(const TCommand& ACommand, const std::vector<std::string>& AColumns,
                  const QStringList& AFixed) {
    const std::vector<std::string> names = ParamNames(ACommand);
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < AColumns.size(); ++i) {
        const std::string& column = AColumns[i];
        try {
            if (std::none_of(names.begin(), names.end(), [&](const std::string& AName) {
                    return SameName(AName, QString::fromStdString(column));
                }))
                throw ECallUsage(
                    UnknownNameMessage("column", column, " for " + ACommand.Name, names));
            for (std::size_t j = 0; j < i; ++j)
                if (SameName(AColumns[j], QString::fromStdString(column)))
                    throw ECallUsage("Column '" + column + "' is given twice.");
            CheckNotFixed(column, AFixed);
        } catch (const ECallUsage& error) {
            problems.push_back(error.what());
        }
    }
    if (problems.empty())
        return;
    std::string text;
    for (const std::string& problem : problems)
        text += (text.empty() ? "" : "\n") + problem;
    throw ECallUsage(text);
}

TCallGrid RowGrid(const TCommand& ACommand, bool AJSON, const QStringList& AFixed,
                  const TFileRow& ARow, std::optional<Version> AServer) {
    QStringList arguments = AFixed;
    for (const TRowValue& value : ARow.Values) {
        CheckNotFixed(value.Name, AFixed);
        if (!value.Value.empty())
            arguments << QString::fromStdString(value.Name) + u'=' +
                             QString::fromStdString(value.Value);
    }
    // A name of the file checked even when its value is empty.
    const std::vector<std::string> names = ParamNames(ACommand);
    for (const TRowValue& value : ARow.Values)
        if (std::none_of(names.begin(), names.end(), [&](const std::string& AName) {
                return SameName(AName, QString::fromStdString(value.Name));
            }))
            throw ECallUsage(
                UnknownNameMessage("parameter", value.Name, " for " + ACommand.Name, names));
    TCallGrid grid = CallGrid(ACommand, AJSON, arguments);
    if (AServer)
        CheckVersions(grid, *AServer);
    std::string missing;
    for (std::size_t row = FixedLines; row < ACommand.Params.size(); ++row) {
        const TParam& param = *ACommand.Params[row];
        if (param.Help.find("(required)") == std::string::npos)
            continue;
        if (AServer && !VersionInRange(*AServer, param.VerMin, param.VerMax))
            continue;
        if (!grid.Ticked[row] || grid.Lines.Value(static_cast<qsizetype>(row)).isEmpty())
            missing += (missing.empty() ? "'" : ", '") + param.Name + "'";
    }
    if (!missing.empty())
        throw ECallUsage(
            "Required " +
            std::string(missing.find(',') == std::string::npos ? "parameter " : "parameters ") +
            missing + " of " + ACommand.Name + " without a value.");
    return grid;
}

void TRowErrors::Add(const TFileRow& ARow, const std::string& AMessage) {
    if (++FCount <= MaxListed)
        FListed.push_back("row " + std::to_string(ARow.Number) + " (line " +
                          std::to_string(ARow.Line) + "): " + AMessage);
}

std::string TRowErrors::Text(std::int64_t ARows) const {
    std::string text;
    for (const std::string& line : FListed)
        text += line + "\n";
    if (FCount > MaxListed)
        text += "... and " + std::to_string(FCount - MaxListed) + " more\n";
    text += std::to_string(FCount) + " of " + std::to_string(ARows) +
            (ARows == 1 ? " row has" : " rows have") + " errors; nothing was sent.";
    return text;
}
