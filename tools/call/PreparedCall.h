#pragma once

#include "CallArguments.h"
#include "Command.h"
#include "ParamValues.h"

#include <QString>

class TCallDefaults;
struct TCallOptions;

// A call ready to go out: the catalogue's command, the URL and the form as the window's Send
// would post them.
struct TPreparedCall {
    const TCommand* Command = nullptr;
    QString URL;
    TParamValues Form;
    QString Password; // as the form carries it
    TCallGrid Grid;   // the command's rows as the command line filled and ticked them
};

// Checks the command line of a call against the options, the catalogue and the server version
// (the window's unless given, and not with --force), then composes it: the URL from --server or
// the window's settings (a --server URL must name http:// or https://), the password from
// --password-env, --password-file or the remembered one. Throws ECallUsage, before anything is
// sent, for the first thing that is wrong.
TPreparedCall PrepareCall(const TCallOptions& AOptions, const TCommandList& ACommands,
                          TCallDefaults& ADefaults);
