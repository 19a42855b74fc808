#pragma once

#include "IdGlobal.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// A byte queue: append at the end, take from the front, search. Taking bytes off the front costs
// time in proportion to the bytes taken, never to what stays behind.
class TIdBuffer {
public:
    size_t Size() const { return FTail - FHead; }
    bool Empty() const { return Size() == 0; }
    void Clear();

    // The buffered bytes, front first; valid until the next change.
    std::span<const uint8_t> View() const { return {FData.data() + FHead, Size()}; }
    uint8_t PeekByte(size_t AIndex) const { return FData[FHead + AIndex]; }

    void Write(std::span<const uint8_t> ABytes);
    void Write(std::string_view ABytes);
    // Room for ACount more bytes at the end, to be filled and then committed.
    std::span<uint8_t> PrepareWrite(size_t ACount);
    // Keeps the first ACount bytes of the last PrepareWrite.
    void CommitWrite(size_t ACount);

    // Moves ACount bytes off the front into ABytes (appended or replacing).
    void ExtractToBytes(TIdBytes& ABytes, size_t ACount, bool AAppend = true);
    TIdBytes Extract(size_t ACount);
    // Drops ACount bytes off the front.
    void Remove(size_t ACount);

    // Position of the first ANeedle at or after AStart, or -1.
    std::ptrdiff_t IndexOf(std::span<const uint8_t> ANeedle, size_t AStart = 0) const;

private:
    // Moves the live bytes to the front once the dead space before them outweighs them.
    void Compact();

    std::vector<uint8_t> FData; // storage; live bytes are [FHead, FTail)
    size_t FHead = 0;
    size_t FTail = 0;
};
