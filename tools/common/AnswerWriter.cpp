#include "AnswerWriter.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unistd.h>

TAnswerWriter::TAnswerWriter(int AFd, std::function<void(std::string_view)> ACopy)
    : FFd(AFd), FTerminal(::isatty(AFd) == 1), FCopy(std::move(ACopy)) {}

void TAnswerWriter::Write(std::string_view AText) {
    if (AText.empty())
        return;
    if (FCopy)
        FCopy(AText);
    WriteOut(AText);
}

void TAnswerWriter::EndLine() {
    if (FTerminal && FLast != '\n')
        WriteOut("\n");
}

void TAnswerWriter::WriteOut(std::string_view ABytes) {
    if (ABytes.empty() || FFd < 0)
        return;
    FLast = ABytes.back();
    const char* data = ABytes.data();
    std::size_t left = ABytes.size();
    while (left > 0) {
        const ssize_t written = ::write(FFd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            throw std::runtime_error(std::string("Writing the answer failed: ") +
                                     std::strerror(error));
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}
