#pragma once

#include "Command.h"

struct TCallOptions;

// --list [GROUP] and --describe COMMAND: the catalogue, or a part of it, as text fitted to the
// terminal or as JSON (--json), on standard output. Returns the exit code; throws ECallUsage for
// a misused option or an unknown name.
int ShowCatalogue(const TCallOptions& AOptions, const TCommandList& ACommands);
