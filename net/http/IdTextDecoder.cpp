#include "IdTextDecoder.h"

#include "IdText.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace {

// Bytes of the UTF-8 character a lead byte starts; 1 for bytes no character starts with.
std::size_t SequenceLength(uint8_t ALead) {
    if (ALead >= 0xC2 && ALead <= 0xDF)
        return 2;
    if (ALead >= 0xE0 && ALead <= 0xEF)
        return 3;
    if (ALead >= 0xF0 && ALead <= 0xF4)
        return 4;
    return 1;
}

// Faults in the pages of [ABegin, AEnd) in one call rather than one trap per page as the text
// reaches them; a text of hundreds of megabytes spends more on those traps than on decoding.
// False when the system cannot.
bool Prefault(const char16_t* ABegin, const char16_t* AEnd) {
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

} // namespace

char16_t* TIdTextDecoder::Room(std::size_t AUnits, int64_t AExpectedTotal) {
    const std::size_t Need = FWritten + AUnits;
    if (FText.capacity() < Need) {
        // Doubling: the copies add up to less than the text, and the room ahead of the text never
        // exceeds what it holds, so a large answer does not ask for many times its size. The
        // steps stop at the announced length (never more units than bytes in these encodings).
        // Text that is taken as it comes needs room for one piece only.
        std::size_t Capacity = std::max({Need, FText.capacity() * 2, std::size_t(4096)});
        if (FTaking)
            Capacity = std::max(Need, std::size_t(4096));
        else if (AExpectedTotal >= 0)
            Capacity = std::max(Need, std::min(Capacity, static_cast<std::size_t>(AExpectedTotal)));
        // A fresh string gets exactly this room; growing in place may round it up to double.
        std::u16string Larger;
        Larger.reserve(Capacity);
        Larger.append(FText, 0, FWritten);
        FText.swap(Larger);
        FPrefaulted = FWritten;
    }
    constexpr std::size_t PrefaultStep = std::size_t(1) << 20; // units
    if (FPrefault && Need > FPrefaulted && FText.capacity() >= 2 * PrefaultStep) {
        const std::size_t End =
            std::min(FText.capacity(), std::max(Need, FPrefaulted + PrefaultStep));
        FPrefault = Prefault(FText.data() + FPrefaulted, FText.data() + End);
        FPrefaulted = End;
    }
    FText.resize(Need);
    return FText.data() + FWritten;
}

void TIdTextDecoder::Commit(std::size_t AUnits) {
    FWritten += AUnits;
    FText.resize(FWritten);
    if (!FStartChecked && FWritten > 0) {
        FStartChecked = true;
        // A byte-order mark marks the encoding, it is not part of the text.
        if (FMode == TMode::UTF8 && FText.front() == u'\xFEFF') {
            FText.erase(0, 1);
            --FWritten;
        }
    }
}

void TIdTextDecoder::Feed(std::span<const uint8_t> ABytes, int64_t AExpectedTotal) {
    if (FMode == TMode::Bytes) {
        char16_t* Out = Room(ABytes.size(), AExpectedTotal);
        for (std::size_t I = 0; I < ABytes.size(); ++I)
            Out[I] = ABytes[I];
        Commit(ABytes.size());
        return;
    }
    // A character split between two pieces is completed first, on its own: a character boundary
    // is a boundary for the decoding too.
    if (FCarrySize > 0) {
        const std::size_t Need = SequenceLength(FCarry[0]);
        while (FCarrySize < Need && !ABytes.empty() && U8_IS_TRAIL(ABytes.front())) {
            FCarry[FCarrySize++] = ABytes.front();
            ABytes = ABytes.subspan(1);
        }
        if (FCarrySize < Need && ABytes.empty())
            return;
        char16_t* Out = Room(FCarrySize, AExpectedTotal);
        Commit(IdText::DecodeUTF8(std::span(FCarry, FCarrySize), Out));
        FCarrySize = 0;
    }
    // The mark is skipped before decoding so that a whole body is not moved to drop it.
    if (!FStartChecked && FWritten == 0 && ABytes.size() >= 3 && ABytes[0] == 0xEF &&
        ABytes[1] == 0xBB && ABytes[2] == 0xBF) {
        FStartChecked = true;
        ABytes = ABytes.subspan(3);
    }
    while (!ABytes.empty()) {
        std::size_t Cut = ABytes.size();
        // The last lead byte within reach of the end starts a character that may be incomplete.
        for (std::size_t Back = 1; Back <= std::min<std::size_t>(3, Cut); ++Back) {
            const uint8_t Byte = ABytes[Cut - Back];
            if (!U8_IS_TRAIL(Byte)) {
                if (SequenceLength(Byte) > Back)
                    Cut -= Back;
                break;
            }
        }
        if (Cut == 0) {
            // Only the start of a character is left: it waits for the rest.
            std::copy(ABytes.begin(), ABytes.end(), FCarry);
            FCarrySize = ABytes.size();
            return;
        }
        char16_t* Out = Room(Cut, AExpectedTotal);
        Commit(IdText::DecodeUTF8(ABytes.first(Cut), Out));
        ABytes = ABytes.subspan(Cut);
    }
}

std::u16string_view TIdTextDecoder::Take() {
    FTaking = true;
    const std::u16string_view Text(FText.data(), FWritten);
    FWritten = 0;
    return Text;
}

std::u16string TIdTextDecoder::Finish() {
    if (FCarrySize > 0) {
        char16_t* Out = Room(FCarrySize, -1);
        Commit(IdText::DecodeUTF8(std::span(FCarry, FCarrySize), Out));
        FCarrySize = 0;
    }
    FText.resize(FWritten);
    FWritten = 0;
    return std::move(FText);
}
