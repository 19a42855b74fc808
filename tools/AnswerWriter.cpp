#include "AnswerWriter.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t PieceUnits = 64 * 1024;

// Narrows the 16 units at AText into the 16 bytes at AOut; returns how many of them are ASCII
// before the first that is not.
std::size_t NarrowASCII16(const char16_t* AText, char* AOut) {
#ifdef __SSE2__
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AText));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AText + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), _mm_packus_epi16(low, high));
    // A unit is ASCII when none of its bits above the lowest seven is set.
    const __m128i notASCII = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    const __m128i ascii = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_and_si128(low, notASCII), zero),
                                          _mm_cmpeq_epi16(_mm_and_si128(high, notASCII), zero));
    const auto others = ~static_cast<unsigned>(_mm_movemask_epi8(ascii)) & 0xFFFFu;
    return others == 0 ? 16 : static_cast<std::size_t>(std::countr_zero(others));
#else
    std::size_t count = 16;
    for (std::size_t k = 16; k-- > 0;) {
        AOut[k] = static_cast<char>(AText[k]);
        if (AText[k] >= 0x80)
            count = k;
    }
    return count;
#endif
}

// UTF-16 to UTF-8 into AOut, which has room for three bytes a unit; returns the bytes written.
// ASCII is narrowed sixteen units at a time; a lone surrogate becomes U+FFFD.
std::size_t EncodeUTF8(std::u16string_view AText, char* AOut) {
    char* out = AOut;
    const char16_t* in = AText.data();
    const char16_t* const end = in + AText.size();
    while (in < end) {
        // A block is narrowed whole and kept up to its first unit that is not ASCII; the room
        // for three bytes a unit holds the sixteen bytes.
        while (end - in >= 16) {
            const std::size_t run = NarrowASCII16(in, out);
            out += run;
            in += run;
            if (run < 16)
                break;
        }
        if (in == end)
            break;
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
    return static_cast<std::size_t>(out - AOut);
}

} // namespace

void TAnswerWriter::Write(std::u16string_view AText) {
    // Converted in bounded steps: the buffer never grows past one step's bytes.
    while (!AText.empty()) {
        std::size_t take = std::min(AText.size(), PieceUnits);
        // A surrogate pair stays together.
        if (take < AText.size() && AText[take - 1] >= 0xD800 && AText[take - 1] <= 0xDBFF)
            --take;
        if (!FBuffer)
            FBuffer = std::make_unique_for_overwrite<char[]>(PieceUnits * 3);
        FUsed = EncodeUTF8(AText.substr(0, take), FBuffer.get());
        AText.remove_prefix(take);
        if (FCopy)
            FCopy(std::string_view(FBuffer.get(), FUsed));
        Flush();
    }
}

void TAnswerWriter::EndLine() {
    if (FLast != '\n')
        WriteOut("\n");
}

void TAnswerWriter::Flush() {
    const std::size_t used = FUsed;
    FUsed = 0;
    WriteOut(std::string_view(FBuffer.get(), used));
}

void TAnswerWriter::WriteOut(std::string_view ABytes) {
    if (ABytes.empty())
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
