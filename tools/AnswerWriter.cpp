#include "AnswerWriter.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace {

constexpr std::size_t PieceUnits = 64 * 1024;

// UTF-16 to UTF-8 with ASCII copied in bulk; a lone surrogate becomes U+FFFD.
void AppendUTF8(std::u16string_view AText, std::string& AOut) {
    const std::size_t start = AOut.size();
    AOut.resize(start + AText.size() * 3);
    char* out = AOut.data() + start;
    const char16_t* in = AText.data();
    const char16_t* const end = in + AText.size();
    while (in < end) {
        const char16_t c = *in++;
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDBFF && in < end && *in >= 0xDC00 && *in <= 0xDFFF) {
            const char32_t code = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (*in++ - 0xDC00);
            *out++ = static_cast<char>(0xF0 | (code >> 18));
            *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        } else {
            const char32_t code = (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c;
            *out++ = static_cast<char>(0xE0 | (code >> 12));
            *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    AOut.resize(static_cast<std::size_t>(out - AOut.data()));
}

} // namespace

void TAnswerWriter::Write(std::u16string_view AText) {
    // Converted in bounded steps: the buffer never grows past one step's bytes.
    while (!AText.empty()) {
        std::size_t take = std::min(AText.size(), PieceUnits);
        // A surrogate pair stays together.
        if (take < AText.size() && AText[take - 1] >= 0xD800 && AText[take - 1] <= 0xDBFF)
            --take;
        AppendUTF8(AText.substr(0, take), FBuffer);
        AText.remove_prefix(take);
        Flush();
    }
}

void TAnswerWriter::EndLine() {
    if (FLast != '\n') {
        FBuffer += '\n';
        Flush();
    }
}

void TAnswerWriter::Flush() {
    if (!FBuffer.empty())
        FLast = FBuffer.back();
    const char* data = FBuffer.data();
    std::size_t left = FBuffer.size();
    while (left > 0) {
        const ssize_t written = ::write(FFd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            FBuffer.clear();
            throw std::runtime_error(std::string("Writing the answer failed: ") +
                                     std::strerror(error));
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    FBuffer.clear();
}
