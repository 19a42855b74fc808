#pragma once

#include "Command.h"

// Appends every group header and command of the built-in catalogue to ACommands, in display
// order. ACommands is expected to be empty.
void AppendCatalogue(TCommandList& ACommands);
