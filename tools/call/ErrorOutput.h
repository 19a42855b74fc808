#pragma once

#include <string>

// Writes AText to standard error at once, ending it with a line break when it has none.
void WriteError(const std::string& AText);
