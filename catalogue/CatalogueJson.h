#pragma once

#include "Command.h"

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

// Writes entries of the catalogue as a JSON array: one object per group header or command with its
// name, help, version range and parameters. The catalogue export writes all of them; the
// command-line tool writes a group or a single command the same way.
void WriteCatalogueJson(std::span<const std::unique_ptr<TCommand>> ACommands, std::ostream& AOut);

// AText (UTF-8) as a JSON string, quotes included: quote, backslash and control characters
// escaped, everything else as it is.
std::string JsonString(std::string_view AText);
