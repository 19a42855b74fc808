#include "LineOffsets.h"

#include <algorithm>
#include <limits>

void TLineOffsets::push_back(int64_t AOffset) {
    if (FSize % BlockSize == 0) {
        TBlock& block = FBlocks.emplace_back();
        block.Base = AOffset;
        block.Near.reserve(std::min<std::size_t>(BlockSize, 1024));
    }
    TBlock& block = FBlocks.back();
    ++FSize;
    const int64_t distance = AOffset - block.Base;
    if (block.Far.empty() && distance <= std::numeric_limits<uint32_t>::max()) {
        block.Near.push_back(static_cast<uint32_t>(distance));
        return;
    }
    if (block.Far.empty()) {
        block.Far.reserve(BlockSize);
        for (const uint32_t near : block.Near)
            block.Far.push_back(block.Base + near);
        block.Near = {};
    }
    block.Far.push_back(AOffset);
}

std::size_t TLineOffsets::UpperBound(int64_t AOffset) const {
    // The last block whose first offset is at or before AOffset, then within it.
    const auto after =
        std::upper_bound(FBlocks.begin(), FBlocks.end(), AOffset,
                         [](int64_t AValue, const TBlock& ABlock) { return AValue < ABlock.Base; });
    if (after == FBlocks.begin())
        return 0;
    const auto block = static_cast<std::size_t>(after - FBlocks.begin()) - 1;
    const TBlock& found = FBlocks[block];
    std::size_t within = 0;
    if (found.Far.empty()) {
        const int64_t distance = AOffset - found.Base;
        within =
            distance > std::numeric_limits<uint32_t>::max()
                ? found.Near.size()
                : static_cast<std::size_t>(std::upper_bound(found.Near.begin(), found.Near.end(),
                                                            static_cast<uint32_t>(distance)) -
                                           found.Near.begin());
    } else {
        within = static_cast<std::size_t>(
            std::upper_bound(found.Far.begin(), found.Far.end(), AOffset) - found.Far.begin());
    }
    return block * BlockSize + within;
}
