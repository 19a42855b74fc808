#pragma once

#include "Command.h"
#include "ParamValues.h"

#include <QString>
#include <QStringList>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A command line that cannot be sent as it stands: an unknown or misplaced name, a value the
// server version lacks. The message is the text the user sees.
class ECallUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The catalogue names closest to AName by edit distance, ignoring case; empty when none is close
// enough to be a likely slip of the keyboard. At most three, in catalogue order.
std::vector<std::string> ClosestNames(std::string_view AName,
                                      const std::vector<std::string>& ACandidates);

// "Unknown <AKind> '<AName>'<AContext>." followed by " Did you mean 'X'?" (or 'X' or 'Y') when
// ClosestNames finds something.
std::string UnknownNameMessage(std::string_view AKind, std::string_view AName,
                               std::string_view AContext,
                               const std::vector<std::string>& ACandidates);

// The command (not group) named AName ignoring case; throws ECallUsage naming the closest ones.
const TCommand& FindCommand(const TCommandList& ACommands, std::string_view AName);

// A version range as "2.10+" or "2.25 to 4.99".
std::string VersionRange(Version AVerMin, Version AVerMax);

// One call as a command line names it: the command's grid with the given values in their rows
// and those rows ticked, exactly as a user would fill the window's grid.
struct TCallGrid {
    const TCommand* Command = nullptr;
    TParamValues Lines;
    std::vector<bool> Ticked;
};

// Puts AArguments ("NAME=VALUE", in any order; names ignoring case) into ACommand's grid. Throws
// ECallUsage for an argument without "=", an unknown name, a name given twice, and for Command,
// Password and JSON, which the program fills itself.
TCallGrid CallGrid(const TCommand& ACommand, bool AJSON, const QStringList& AArguments);

// Throws ECallUsage when AServer lacks the command or one of the ticked parameters, naming the
// versions that have it.
void CheckVersions(const TCallGrid& AGrid, Version AServer);

// The form the window's Send would post for this grid and password.
TParamValues CallForm(const TCallGrid& AGrid, const QString& APassword);
