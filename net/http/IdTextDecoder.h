#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Decodes a body to UTF-16 as its bytes arrive, for the encodings whose result does not depend on
// seeing the whole body: UTF-8 and byte by byte. Fed in any pieces, it gives exactly what decoding
// the whole body at once gives, so a large answer is never held as bytes and as text together.
class TIdTextDecoder {
public:
    enum class TMode { Bytes, UTF8 };

    explicit TIdTextDecoder(TMode AMode) : FMode(AMode) {}

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
    // UTF-16 units held, decoded text and room together.
    std::size_t Capacity() const { return FText.capacity(); }

private:
    // Makes room for AUnits more UTF-16 units after the ones written.
    char16_t* Room(std::size_t AUnits, int64_t AExpectedTotal);
    void Commit(std::size_t AUnits);

    TMode FMode;
    std::u16string FText; // [0, FWritten) decoded; the rest is room
    std::size_t FWritten = 0;
    std::size_t FPrefaulted = 0; // units of FText whose pages are known to be in memory
    bool FPrefault = true;
    bool FStartChecked = false;
    bool FTaking = false;
    // The start of a UTF-8 character whose remaining bytes have not arrived yet.
    uint8_t FCarry[4] = {};
    std::size_t FCarrySize = 0;
};
