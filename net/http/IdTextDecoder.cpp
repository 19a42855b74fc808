#include "IdTextDecoder.h"

#include "IdGlobal.h"
#include "IdHTTPText.h"
#include "IdText.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unicode/ucnv.h>

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

// The bytes of the ill-formed sequence at the start of ABytes that decoding replaces as one.
std::size_t IllFormedLength(std::span<const uint8_t> ABytes) {
    std::size_t End = 0;
    UChar32 C = 0;
    U8_NEXT_OR_FFFD(ABytes.data(), End, ABytes.size(), C);
    return End;
}

} // namespace

void TIdTextDecoder::TConverterCloser::operator()(UConverter* AConverter) const {
    ucnv_close(AConverter);
}

TIdTextDecoder::TIdTextDecoder(const char* AConverterName) : FMode(TMode::Converter) {
    UErrorCode Status = U_ZERO_ERROR;
    FConverter.reset(ucnv_open(AConverterName, &Status));
    if (U_FAILURE(Status) || !FConverter) {
        FConverter.reset();
        FMode = TMode::Bytes;
        return;
    }
    // UTF-16 and UTF-32 without an order read the mark themselves; a mark after it, or one in an
    // encoding of fixed order, is dropped the same way.
    Status = U_ZERO_ERROR;
    const char* Name = ucnv_getName(FConverter.get(), &Status);
    FDropMark = U_SUCCESS(Status) && Name != nullptr && IdHTTPText::StartsWithNoCase(Name, "UTF");
}

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
        FPrefault = PrefaultForWriting(FText.data() + FPrefaulted, FText.data() + End);
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
        if (FDropMark && FText.front() == u'\xFEFF') {
            FText.erase(0, 1);
            --FWritten;
        }
    }
}

void TIdTextDecoder::Feed(std::span<const uint8_t> ABytes, int64_t AExpectedTotal) {
    DropTakenBytes();
    if (ABytes.empty())
        return;
    RestoreLead(AExpectedTotal);
    switch (FMode) {
    case TMode::Bytes:
        FeedBytes(ABytes, AExpectedTotal);
        break;
    case TMode::UTF8:
        FeedUTF8(ABytes, AExpectedTotal);
        break;
    case TMode::Converter:
        Convert(ABytes, false, AExpectedTotal);
        break;
    }
}

void TIdTextDecoder::RestoreLead(int64_t AExpectedTotal) {
    if (FLead == 0)
        return;
    *Room(1, AExpectedTotal) = FLead;
    FLead = 0;
    Commit(1);
}

void TIdTextDecoder::FeedBytes(std::span<const uint8_t> ABytes, int64_t AExpectedTotal) {
    char16_t* Out = Room(ABytes.size(), AExpectedTotal);
    for (std::size_t I = 0; I < ABytes.size(); ++I)
        Out[I] = ABytes[I];
    Commit(ABytes.size());
}

void TIdTextDecoder::FeedUTF8(std::span<const uint8_t> ABytes, int64_t AExpectedTotal) {
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
        DecodeWhole(ABytes.first(Cut), AExpectedTotal);
        ABytes = ABytes.subspan(Cut);
    }
}

void TIdTextDecoder::DecodeWhole(std::span<const uint8_t> ABytes, int64_t AExpectedTotal) {
    while (FOutputUTF8 && !ABytes.empty()) {
        // Well-formed bytes are their own UTF-8; an ill-formed sequence is decoded to the
        // replacement it becomes.
        const std::size_t Plain = IdText::WellFormedUTF8(ABytes);
        PassThrough(ABytes.first(Plain));
        ABytes = ABytes.subspan(Plain);
        if (ABytes.empty())
            return;
        const std::size_t IllFormed = IllFormedLength(ABytes);
        char16_t* Out = Room(IllFormed, AExpectedTotal);
        Commit(IdText::DecodeUTF8(ABytes.first(IllFormed), Out));
        ABytes = ABytes.subspan(IllFormed);
    }
    if (!ABytes.empty()) {
        char16_t* Out = Room(ABytes.size(), AExpectedTotal);
        Commit(IdText::DecodeUTF8(ABytes, Out));
    }
}

void TIdTextDecoder::PassThrough(std::span<const uint8_t> ABytes) {
    if (ABytes.empty())
        return;
    if (FWritten > 0) {
        AppendEncoded(std::u16string_view(FText.data(), FWritten));
        FWritten = 0;
    }
    // The mark at the start was skipped before; what passes here is text.
    FStartChecked = true;
    FBytes.append(reinterpret_cast<const char*>(ABytes.data()), ABytes.size());
}

void TIdTextDecoder::AppendEncoded(std::u16string_view AText) {
    const std::size_t Old = FBytes.size();
    FBytes.resize(Old + AText.size() * 3);
    FBytes.resize(Old + IdText::EncodeUTF8(AText, FBytes.data() + Old));
}

void TIdTextDecoder::Convert(std::span<const uint8_t> ABytes, bool AFlush, int64_t AExpectedTotal) {
    // ICU refuses a call with more than 2 GiB of bytes or 2^30 units of room.
    constexpr std::size_t MaxSlice = std::size_t(1) << 28;
    const char* Source = reinterpret_cast<const char*>(ABytes.data());
    const char* const End = Source + ABytes.size();
    UErrorCode Status = U_ZERO_ERROR;
    do {
        const auto Bytes = std::min(static_cast<std::size_t>(End - Source), MaxSlice);
        const char* const SliceEnd = Source + Bytes;
        // Room for one unit per byte, which most charsets never exceed; the rest waits in the
        // converter for the next round. A few bytes go through a buffer of their own, so the
        // text's room grows by exactly what they give.
        UChar Spill[64];
        const bool Small = Bytes < std::size(Spill);
        UChar* const Begin = Small ? Spill : reinterpret_cast<UChar*>(Room(Bytes, AExpectedTotal));
        UChar* Target = Begin;
        Status = U_ZERO_ERROR;
        ucnv_toUnicode(FConverter.get(), &Target, Begin + (Small ? std::size(Spill) : Bytes),
                       &Source, SliceEnd, nullptr, AFlush && SliceEnd == End, &Status);
        const auto Units = static_cast<std::size_t>(Target - Begin);
        if (Small && Units > 0)
            std::copy(Spill, Target, Room(Units, AExpectedTotal));
        Commit(Units);
        if (U_FAILURE(Status) && Status != U_BUFFER_OVERFLOW_ERROR) {
            // With the substituting callbacks a converter gives U+FFFD for what it cannot read,
            // and the slices stay within what one call takes, so this is not expected. Text
            // already passed on cannot be taken back: the rest is read byte by byte, as a body
            // no converter can read is.
            FConverter.reset();
            FMode = TMode::Bytes;
            FeedBytes(std::span(reinterpret_cast<const uint8_t*>(Source),
                                static_cast<std::size_t>(End - Source)),
                      AExpectedTotal);
            return;
        }
    } while (Source != End || Status == U_BUFFER_OVERFLOW_ERROR);
}

std::u16string_view TIdTextDecoder::Take() {
    FTaking = true;
    std::size_t Units = FWritten;
    // Some converters give the first half of a surrogate pair before the bytes of the second
    // have come (UTF-7, CESU-8): it goes out with the second.
    if (Units > 0 && U16_IS_LEAD(FText[Units - 1]))
        FLead = FText[--Units];
    FWritten = 0;
    return {FText.data(), Units};
}

std::u16string TIdTextDecoder::Finish() {
    RestoreLead(-1);
    if (FMode == TMode::Converter) {
        static constexpr uint8_t None = 0;
        Convert(std::span(&None, 0), true, -1);
    }
    if (FCarrySize > 0) {
        char16_t* Out = Room(FCarrySize, -1);
        Commit(IdText::DecodeUTF8(std::span(FCarry, FCarrySize), Out));
        FCarrySize = 0;
    }
    FText.resize(FWritten);
    FWritten = 0;
    return std::move(FText);
}

void TIdTextDecoder::DropTakenBytes() {
    if (FBytesTaken) {
        FBytes.clear();
        FBytesTaken = false;
    }
}

std::string_view TIdTextDecoder::TakeUTF8() {
    DropTakenBytes();
    AppendEncoded(Take());
    FBytesTaken = true;
    return FBytes;
}

std::string TIdTextDecoder::FinishUTF8() {
    DropTakenBytes();
    AppendEncoded(Finish());
    return std::move(FBytes);
}
