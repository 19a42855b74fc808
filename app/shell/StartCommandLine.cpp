#include "StartCommandLine.h"

#include <string_view>

TStartRequest ReadStartRequest(std::span<const char* const> AArgs) {
    for (const std::string_view arg : AArgs) {
        if (arg == "--")
            break;
        if (arg == "-h" || arg == "--help")
            return TStartRequest::ShowHelp;
        if (arg == "--version")
            return TStartRequest::ShowVersion;
    }
    return TStartRequest::Run;
}

std::string StartUsage() {
    return "usage: vlcallbench [QT-OPTION ...]\n"
           "Opens the reference and console for a Velvaro poker server's HTTP API.\n"
           "\n"
           "Options:\n"
           "  -h, --help  print this help and exit\n"
           "  --version   print the version and exit\n"
           "Qt's own options, such as -style NAME or -platform NAME, are taken as well.\n";
}

std::string StartVersionLine() {
    return "vlcallbench " VL_VERSION "\n";
}
