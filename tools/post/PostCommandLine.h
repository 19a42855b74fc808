#pragma once

// The arguments of vlcallbench-post: options, then the URL and the form lines.

#include "TlsCommandLine.h"

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct TPostCommandLine {
    bool Help = false;
    bool Version = false;
    TTlsCommandLine Tls;
    std::optional<double> Timeout; // seconds
    std::string TimeoutText;       // as typed, for the message when the time is up
    std::string URL;
    std::vector<std::string> Lines;
};

// A wrong use of the command line; the message says what was wrong, without the usage.
class EPostUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// AArgs are the arguments after the program name. Options may stand anywhere before "--";
// every argument after it is the URL or a form line, even when it begins with "-".
TPostCommandLine ParsePostCommandLine(std::span<const char* const> AArgs);

// The help text, ending with a newline.
std::string PostUsage();
