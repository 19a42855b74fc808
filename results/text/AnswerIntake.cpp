#include "AnswerIntake.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <sys/mman.h>

namespace {

// Asks for the room of a large text to be backed by large pages where the system offers them:
// filling it then costs a page fault per 2 MB instead of one per 4 KB, which on a virtual machine
// is much of the time the answer takes to arrive.
void PreferLargePages(const void* AData, std::size_t ABytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t Page = std::uintptr_t(2) << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(AData) + Page - 1) & ~(Page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(AData) + ABytes) & ~(Page - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)AData;
    (void)ABytes;
#endif
}

} // namespace

void TAnswerIntake::Start(THead AHead, int64_t AExpectedUnits) {
    {
        const std::lock_guard lock(FMutex);
        FHead = std::move(AHead);
        // A body's bytes make at most as many units in every character set the client reads
        // piece by piece, so an announced length is room enough; past it the text grows.
        if (AExpectedUnits > 0) {
            FText.reserve(static_cast<std::size_t>(AExpectedUnits));
            PreferLargePages(FText.data(), FText.capacity() * sizeof(char16_t));
        }
    }
    FStarted.store(true, std::memory_order_release);
}

void TAnswerIntake::Append(std::u16string_view APiece, int64_t ABytes) {
    if (!APiece.empty()) {
        {
            const std::lock_guard lock(FMutex);
            FText.append(APiece);
            FUnits.store(static_cast<int64_t>(FText.size()), std::memory_order_relaxed);
        }
        // Only this thread changes the text, so it reads it without the lock.
        FIndex.Add(FText);
    }
    FBytes.store(ABytes, std::memory_order_relaxed);
}

TAnswerIntake::THead TAnswerIntake::Head() const {
    const std::lock_guard lock(FMutex);
    return FHead;
}

std::u16string TAnswerIntake::First(std::size_t AUnits) const {
    const std::lock_guard lock(FMutex);
    return FText.substr(0, std::min(AUnits, FText.size()));
}

std::shared_ptr<const TTextDocument> TAnswerIntake::TakeDocument() {
    const std::lock_guard lock(FMutex);
    FUnits.store(0, std::memory_order_relaxed);
    auto text = std::make_shared<const std::u16string>(std::move(FText));
    FText.clear();
    return TTextDocument::MakeRaw(std::move(text), std::move(FIndex));
}
