#pragma once

#include "Command.h"

#include <QString>

// What the guard of a production profile says and asks, the same in the window and the call tool.

// Whether sending ACommand on a profile asks first: anything but a read on a production server.
bool NeedsConfirmation(const TCommand& ACommand, bool AProduction);

// What a command of AClass does, as a verb phrase: "reads data", "changes data", "moves money",
// "removes data".
QString ClassEffect(TCommandClass AClass);

// "AccountsDelete removes data on production profile 'live'".
QString GuardStatement(const TCommand& ACommand, const QString& AProfile);

// A remove asks for the profile's name to be typed; other classes for a plain yes.
inline bool NeedsTypedName(const TCommand& ACommand) {
    return ACommand.Class == TCommandClass::Remove;
}
