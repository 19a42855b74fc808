#pragma once

#include <string>

// Writes AText to standard error at once after the tool's name ("vlcallbench-call: "), so every
// message says where it comes from, ending it with a line break when it has none.
void WriteError(const std::string& AText);
