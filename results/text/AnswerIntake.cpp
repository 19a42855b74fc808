#include "AnswerIntake.h"

#include <algorithm>
#include <utility>

void TAnswerIntake::Start(THead AHead, int64_t AExpectedUnits) {
    {
        const std::lock_guard lock(FMutex);
        FHead = std::move(AHead);
        // A body's bytes make at most as many units in every character set the client reads
        // piece by piece, so an announced length is room enough; past it the text grows.
        if (AExpectedUnits > 0)
            FText.reserve(static_cast<std::size_t>(AExpectedUnits));
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
