#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

struct UConverter;

// Decodes a body to UTF-16 as its bytes arrive: UTF-8, byte by byte, or through an ICU converter
// fed piece by piece. Fed in any pieces, it gives exactly what decoding the whole body at once
// gives, so a large answer is never held as bytes and as text together.
class TIdTextDecoder {
public:
    enum class TMode { Bytes, UTF8, Converter };

    // Bytes or UTF8.
    explicit TIdTextDecoder(TMode AMode) : FMode(AMode), FDropMark(AMode == TMode::UTF8) {}
    // Through ICU's converter AConverterName; byte by byte when ICU cannot open it.
    explicit TIdTextDecoder(const char* AConverterName);

    TMode Mode() const { return FMode; }
    // AExpectedTotal: the body's announced length in bytes, or -1. It only bounds how far the
    // text grows ahead of what arrived; nothing is reserved for bytes that have not come.
    void Feed(std::span<const uint8_t> ABytes, int64_t AExpectedTotal = -1);
    // The text decoded since the last Take, for a caller that passes the text on as it comes;
    // valid until the next Feed. Only whole characters are in it, surrogate pairs included. The
    // room kept for the text then stays the size of one piece.
    std::u16string_view Take();
    // The text (after a Take: the rest of it); a character cut short at the end becomes U+FFFD.
    // The decoder is spent after it.
    std::u16string Finish();
    // Text comes out as UTF-8 instead, through TakeUTF8 and FinishUTF8: the UTF-8 form of what
    // Take and Finish would give. The well-formed bytes of a UTF-8 body pass through as they
    // came, without a round trip through UTF-16. Set before the first Feed.
    void SetOutputUTF8() { FOutputUTF8 = true; }
    // Take as UTF-8; valid until the next Feed.
    std::string_view TakeUTF8();
    // Finish as UTF-8.
    std::string FinishUTF8();
    // UTF-16 units held, decoded text and room together.
    std::size_t Capacity() const { return FText.capacity(); }

private:
    struct TConverterCloser {
        void operator()(UConverter* AConverter) const;
    };

    // Makes room for AUnits more UTF-16 units after the ones written.
    char16_t* Room(std::size_t AUnits, int64_t AExpectedTotal);
    void Commit(std::size_t AUnits);
    // Puts back the first half of a surrogate pair that Take held back.
    void RestoreLead(int64_t AExpectedTotal);
    void FeedUTF8(std::span<const uint8_t> ABytes, int64_t AExpectedTotal);
    void FeedBytes(std::span<const uint8_t> ABytes, int64_t AExpectedTotal);
    // Decodes UTF-8 bytes that end with a whole character.
    void DecodeWhole(std::span<const uint8_t> ABytes, int64_t AExpectedTotal);
    // Appends well-formed UTF-8 to the bytes taken next, after the text decoded before them.
    void PassThrough(std::span<const uint8_t> ABytes);
    void AppendEncoded(std::u16string_view AText);
    // Forgets the bytes the caller took; they were valid until now.
    void DropTakenBytes();
    // AFlush: the body has ended; what the converter still holds comes out.
    void Convert(std::span<const uint8_t> ABytes, bool AFlush, int64_t AExpectedTotal);

    TMode FMode;
    std::unique_ptr<UConverter, TConverterCloser> FConverter;
    std::u16string FText; // [0, FWritten) decoded; the rest is room
    std::size_t FWritten = 0;
    std::size_t FPrefaulted = 0; // units of FText whose pages are known to be in memory
    bool FPrefault = true;
    bool FStartChecked = false;
    bool FTaking = false;
    // A byte-order mark at the start is dropped: UTF-8, and converters of the Unicode family.
    bool FDropMark = false;
    // The first half of a surrogate pair held back by Take until the second half comes.
    char16_t FLead = 0;
    bool FOutputUTF8 = false;
    std::string FBytes; // UTF-8 output not yet taken
    bool FBytesTaken = false;
    // The start of a UTF-8 character whose remaining bytes have not arrived yet.
    uint8_t FCarry[4] = {};
    std::size_t FCarrySize = 0;
};
