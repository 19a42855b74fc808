#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Ascending offsets, one per line, in four bytes each: blocks of 65 536, each holding its offsets
// as distances from its first. A block whose distances do not fit keeps them whole. Growing copies
// at most the block being filled.
class TLineOffsets {
public:
    void push_back(int64_t AOffset);
    int64_t operator[](std::size_t AIndex) const {
        const TBlock& block = FBlocks[AIndex / BlockSize];
        const std::size_t at = AIndex % BlockSize;
        return block.Far.empty() ? block.Base + block.Near[at] : block.Far[at];
    }
    int64_t back() const { return (*this)[FSize - 1]; }
    std::size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    // The index of the first offset greater than AOffset, as std::upper_bound.
    std::size_t UpperBound(int64_t AOffset) const;

private:
    static constexpr std::size_t BlockSize = 1 << 16;
    struct TBlock {
        int64_t Base = 0;
        std::vector<uint32_t> Near;
        std::vector<int64_t> Far; // instead of Near once a distance does not fit
    };
    std::vector<TBlock> FBlocks;
    std::size_t FSize = 0;
};
