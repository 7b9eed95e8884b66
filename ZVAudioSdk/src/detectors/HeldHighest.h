// The highest of a per-hop value over the current tenth of a second and the
// holdBlocks tenths before it: a gate's measure that must outlast what it
// saw (a note between a band's beats, a ring's burst) while the detector's
// slower windows still hold it. Kept per 100 ms block, so the cost is
// holdBlocks + 1 comparisons a hop; no allocation. Plain data of the
// detector that owns it, same thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zvsdk {

class HeldHighest {
public:
    static constexpr std::uint32_t kMaxBlocks = 29;  // with the current block, at most three seconds

    // holdBlocks is clamped to 0 .. kMaxBlocks.
    explicit HeldHighest(std::uint32_t holdBlocks) noexcept : blockCount_(std::min(holdBlocks, kMaxBlocks)) {}

    // Takes this hop's value; returns the highest over the hold.
    float Update(float value) noexcept
    {
        blockHighest_ = std::max(blockHighest_, value);
        float highest = blockHighest_;
        for (std::uint32_t b = 0; b < blockCount_; ++b) {
            highest = std::max(highest, blocks_[b]);
        }
        if (++inBlock_ == kBlockHops) {
            if (blockCount_ > 0) {
                blocks_[block_] = blockHighest_;
                block_ = (block_ + 1) % blockCount_;
            }
            blockHighest_ = 0.0f;
            inBlock_ = 0;
        }
        return highest;
    }

private:
    static constexpr std::uint32_t kBlockHops = 10;  // 100 ms
    const std::uint32_t blockCount_;
    float blocks_[kMaxBlocks] = {};
    float blockHighest_ = 0.0f;
    std::uint32_t block_ = 0;
    std::uint32_t inBlock_ = 0;
};

}  // namespace zvsdk
