#pragma once

#include "Command.h"

#include <string>

// The catalogue as the command-line tool lists and describes it. AWidth is the terminal's width in
// columns: the texts are laid out in aligned columns and wrapped to it. AWidth 0: plain text for
// a pipe, one line per entry with the fields separated by tabs, nothing wrapped.

// One line per command of AGroup (all groups when null): name, version range and the first
// sentence of its help. On a terminal each group starts with its name.
std::string ListText(const TCommandList& ACommands, const TCommand* AGroup, int AWidth);

// The command's help, then a table of its parameters with version range and help; the standard
// parameters the tool fills (Command, Password, JSON) are explained for the command line.
std::string DescribeText(const TCommand& ACommand, int AWidth);

// The help text up to the end of its first sentence: a full stop followed by a blank or the end.
std::string FirstSentence(const std::string& AHelp);
