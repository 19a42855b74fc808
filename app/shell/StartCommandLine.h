#pragma once

// The program's own arguments, read before the application object exists so that --help and
// --version need no display. Qt's options (-style, -platform, ...) are left to the application
// object; whatever it does not take is a wrong use.

#include <span>
#include <string>

enum class TStartRequest { Run, ShowHelp, ShowVersion };

// AArgs are the arguments after the program name.
TStartRequest ReadStartRequest(std::span<const char* const> AArgs);

// The help text and the version line, each ending with a newline.
std::string StartUsage();
std::string StartVersionLine();
