#pragma once

#include "Command.h"

class TCallDefaults;
struct TCallOptions;

// --rows, --resume and --runs: one command for every row of a file, journaled in the call
// history's database, or the list of the runs kept there. Returns the exit code: 0 when every
// row was answered (or the list printed), 1 otherwise, 2 for a usage or validation error, with
// nothing sent. Throws ECallUsage.
int RunRows(const TCallOptions& AOptions, const TCommandList& ACommands, TCallDefaults& ADefaults);
