#include "CallArguments.h"

#include "SendRequest.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string_view AText) {
    std::string out(AText);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::size_t EditDistance(std::string_view A, std::string_view B) {
    std::vector<std::size_t> row(B.size() + 1);
    for (std::size_t j = 0; j <= B.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= A.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= B.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (A[i - 1] != B[j - 1])});
            diagonal = above;
        }
    }
    return row[B.size()];
}

bool EqualsNoCase(std::string_view A, std::string_view B) {
    return A.size() == B.size() && Lower(A) == Lower(B);
}

std::string Quoted(std::string_view AName) {
    // Appended piece by piece: GCC 12 at -O3 takes "'" + std::string for an overlapping copy.
    std::string quoted;
    quoted.reserve(AName.size() + 2);
    quoted += '\'';
    quoted += AName;
    quoted += '\'';
    return quoted;
}

std::string VersionText(Version AVersion) {
    return FormatVersion(AVersion);
}

} // namespace

std::vector<std::string> ClosestNames(std::string_view AName,
                                      const std::vector<std::string>& ACandidates) {
    const std::string name = Lower(AName);
    // A third of the name, at least two edits: enough for a dropped or doubled letter or two,
    // not so much that unrelated short names are offered.
    const std::size_t limit = std::max<std::size_t>(2, name.size() / 3);
    std::size_t best = limit + 1;
    std::vector<std::string> closest;
    for (const std::string& candidate : ACandidates) {
        const std::size_t distance = EditDistance(name, Lower(candidate));
        if (distance > limit)
            continue;
        if (distance < best) {
            best = distance;
            closest.clear();
        }
        if (distance == best && closest.size() < 3)
            closest.push_back(candidate);
    }
    return closest;
}

std::string UnknownNameMessage(std::string_view AKind, std::string_view AName,
                               std::string_view AContext,
                               const std::vector<std::string>& ACandidates) {
    std::string message =
        "Unknown " + std::string(AKind) + " " + Quoted(AName) + std::string(AContext) + ".";
    const std::vector<std::string> closest = ClosestNames(AName, ACandidates);
    for (std::size_t i = 0; i < closest.size(); ++i)
        message += (i == 0                    ? " Did you mean "
                    : i + 1 == closest.size() ? " or "
                                              : ", ") +
                   Quoted(closest[i]);
    return closest.empty() ? message : message + "?";
}

const TCommand& FindCommand(const TCommandList& ACommands, std::string_view AName) {
    std::vector<std::string> names;
    for (const auto& entry : ACommands) {
        if (entry->Header)
            continue;
        if (EqualsNoCase(entry->Name, AName))
            return *entry;
        names.push_back(entry->Name);
    }
    throw ECallUsage(UnknownNameMessage("command", AName, "", names));
}

std::string VersionRange(Version AVerMin, Version AVerMax) {
    return AVerMax == OpenEnded ? VersionText(AVerMin) + "+"
                                : VersionText(AVerMin) + " to " + VersionText(AVerMax);
}

TCallGrid CallGrid(const TCommand& ACommand, bool AJSON, const QStringList& AArguments) {
    TCallGrid grid{&ACommand, CommandLines(ACommand, AJSON), {}};
    grid.Ticked.assign(static_cast<std::size_t>(grid.Lines.Count()), false);
    std::fill_n(grid.Ticked.begin(), std::min<qsizetype>(FixedLines, grid.Lines.Count()), true);
    std::vector<bool> given(grid.Ticked.size(), false);

    std::vector<std::string> names;
    for (const auto& param : ACommand.Params)
        names.push_back(param->Name);
    for (const QString& argument : AArguments) {
        const qsizetype separator = argument.indexOf(u'=');
        if (separator <= 0)
            throw ECallUsage("Expected NAME=VALUE, not " + Quoted(argument.toStdString()) + ".");
        const std::string name = argument.left(separator).toStdString();
        const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& A) {
            return EqualsNoCase(A, name);
        });
        if (found == names.end())
            throw ECallUsage(UnknownNameMessage("parameter", name, " for " + ACommand.Name, names));
        const auto row = static_cast<std::size_t>(found - names.begin());
        if (row < static_cast<std::size_t>(FixedLines))
            throw ECallUsage(*found + " is filled in by the program and cannot be given as " +
                             "NAME=VALUE" +
                             (*found == "Password" ? "; use --password-env or --password-file."
                              : *found == "JSON"   ? "; use --legacy for JSON=No."
                                                   : "; name the command as COMMAND."));
        if (given[row])
            throw ECallUsage("Parameter " + Quoted(*found) + " is given twice.");
        given[row] = true;
        grid.Ticked[row] = true;
        grid.Lines.SetLine(static_cast<qsizetype>(row),
                           QString::fromStdString(*found) + u'=' + argument.mid(separator + 1));
    }
    return grid;
}

void CheckVersions(const TCallGrid& AGrid, Version AServer) {
    const TCommand& command = *AGrid.Command;
    const std::string server = VersionText(AServer);
    if (!VersionInRange(AServer, command.VerMin, command.VerMax))
        throw ECallUsage("Command " + command.Name + " is not in server version " + server +
                         "; versions " + VersionRange(command.VerMin, command.VerMax) +
                         " have it. --force sends it anyway.");
    // Command, Password and JSON go out with every call, as from the window.
    for (std::size_t row = FixedLines; row < AGrid.Ticked.size(); ++row) {
        const TParam& param = *command.Params[row];
        if (AGrid.Ticked[row] && !VersionInRange(AServer, param.VerMin, param.VerMax))
            throw ECallUsage("Parameter " + Quoted(param.Name) + " of " + command.Name +
                             " is not in server version " + server + "; versions " +
                             VersionRange(param.VerMin, param.VerMax) +
                             " have it. --force sends it anyway.");
    }
}

TParamValues CallForm(const TCallGrid& AGrid, const QString& APassword) {
    return ComposeForm(
        AGrid.Lines,
        [&AGrid](qsizetype ARow) { return AGrid.Ticked[static_cast<std::size_t>(ARow)]; },
        APassword);
}
