#include "IdGlobal.h"

#include "IdText.h"

#include <chrono>
#include <sys/mman.h>

namespace {

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
    IdText::ForEachCodePoint(AText, [&](char32_t ACode) {
        Result.push_back(ACode <= Highest ? static_cast<uint8_t>(ACode) : uint8_t('?'));
    });
    return Result;
}

std::string DecodeText(std::span<const uint8_t> ABytes, TIdTextEncoding AEncoding) {
    switch (AEncoding) {
    case TIdTextEncoding::enUTF8:
        return IdText::ValidUTF8(ABytes);
    case TIdTextEncoding::enLatin1:
        return IdText::Latin1ToUTF8(
            std::string_view(reinterpret_cast<const char*>(ABytes.data()), ABytes.size()));
    default:
        break;
    }
    std::string Result;
    Result.reserve(ABytes.size());
    for (const uint8_t Byte : ABytes) {
        IdText::AppendUTF8(Result, Byte < 0x80 ? char32_t(Byte) : char32_t(0xFFFD));
    }
    return Result;
}

int64_t TickCountMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool PrefaultForWriting(const void* ABegin, const void* AEnd) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::uintptr_t Page = 4096;
    const std::uintptr_t First = reinterpret_cast<std::uintptr_t>(ABegin) & ~(Page - 1);
    const std::uintptr_t Last = reinterpret_cast<std::uintptr_t>(AEnd) & ~(Page - 1);
    return Last <= First ||
           madvise(reinterpret_cast<void*>(First), Last - First, MADV_POPULATE_WRITE) == 0;
#else
    (void)ABegin;
    (void)AEnd;
    return false;
#endif
}
