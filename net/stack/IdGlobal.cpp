#include "IdGlobal.h"

#include <chrono>

namespace {

constexpr char32_t ReplacementChar = 0xFFFD;

// Reads one code point at AIndex and advances; a malformed sequence yields U+FFFD for its
// first byte only, so the following bytes are read afresh.
char32_t NextCodePoint(std::span<const uint8_t> AText, size_t& AIndex) {
    const uint8_t Lead = AText[AIndex];
    if (Lead < 0x80) {
        ++AIndex;
        return Lead;
    }
    size_t Count = 0;
    char32_t Code = 0;
    char32_t Min = 0;
    if ((Lead & 0xE0) == 0xC0) {
        Count = 1, Code = Lead & 0x1F, Min = 0x80;
    } else if ((Lead & 0xF0) == 0xE0) {
        Count = 2, Code = Lead & 0x0F, Min = 0x800;
    } else if ((Lead & 0xF8) == 0xF0) {
        Count = 3, Code = Lead & 0x07, Min = 0x10000;
    } else {
        ++AIndex;
        return ReplacementChar;
    }
    if (AIndex + Count >= AText.size()) {
        ++AIndex;
        return ReplacementChar;
    }
    for (size_t I = 1; I <= Count; ++I) {
        const uint8_t Next = AText[AIndex + I];
        if ((Next & 0xC0) != 0x80) {
            ++AIndex;
            return ReplacementChar;
        }
        Code = (Code << 6) | (Next & 0x3F);
    }
    if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) {
        ++AIndex;
        return ReplacementChar;
    }
    AIndex += Count + 1;
    return Code;
}

std::span<const uint8_t> AsBytes(std::string_view AText) {
    return {reinterpret_cast<const uint8_t*>(AText.data()), AText.size()};
}

} // namespace

TIdBytes EncodeText(std::string_view AText, TIdTextEncoding AEncoding) {
    if (AEncoding == TIdTextEncoding::enUTF8) {
        const auto Bytes = AsBytes(AText);
        return TIdBytes(Bytes.begin(), Bytes.end());
    }
    const char32_t Highest = AEncoding == TIdTextEncoding::enLatin1 ? 0xFF : 0x7F;
    TIdBytes Result;
    Result.reserve(AText.size());
    const auto Bytes = AsBytes(AText);
    for (size_t I = 0; I < Bytes.size();) {
        const char32_t Code = NextCodePoint(Bytes, I);
        Result.push_back(Code <= Highest ? static_cast<uint8_t>(Code) : uint8_t('?'));
    }
    return Result;
}

std::string DecodeText(std::span<const uint8_t> ABytes, TIdTextEncoding AEncoding) {
    std::string Result;
    Result.reserve(ABytes.size());
    switch (AEncoding) {
    case TIdTextEncoding::enUTF8:
        for (size_t I = 0; I < ABytes.size();) {
            AppendUtf8(Result, NextCodePoint(ABytes, I));
        }
        break;
    case TIdTextEncoding::enLatin1:
        for (const uint8_t Byte : ABytes) {
            AppendUtf8(Result, Byte);
        }
        break;
    default:
        for (const uint8_t Byte : ABytes) {
            AppendUtf8(Result, Byte < 0x80 ? char32_t(Byte) : ReplacementChar);
        }
        break;
    }
    return Result;
}

int64_t TickCountMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void AppendUtf8(std::string& AOut, char32_t ACode) {
    if (ACode < 0x80) {
        AOut += static_cast<char>(ACode);
    } else if (ACode < 0x800) {
        AOut += static_cast<char>(0xC0 | (ACode >> 6));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    } else if (ACode < 0x10000) {
        AOut += static_cast<char>(0xE0 | (ACode >> 12));
        AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    } else {
        AOut += static_cast<char>(0xF0 | (ACode >> 18));
        AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
        AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    }
}
