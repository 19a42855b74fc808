#include "ErrorOutput.h"

#include <cstdio>

void WriteError(const std::string& AText) {
    std::string text = "vlcallbench-call: " + AText;
    if (text.empty() || text.back() != '\n')
        text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}
