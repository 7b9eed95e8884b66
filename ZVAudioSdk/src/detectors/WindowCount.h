// How many of the last windowHops hops raised a flag: the sliding count the
// vocal gates keep (held notes, steps between notes, straight pitch lines).
// A ring of flags and a running total, so one hop costs two additions; no
// allocation. Plain data of the detector that owns it, same thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zvsdk {

class WindowCount {
public:
    static constexpr std::uint32_t kMaxHops = 100;  // one second

    // windowHops is clamped to 1 .. kMaxHops.
    explicit WindowCount(std::uint32_t windowHops) noexcept : window_(std::clamp<std::uint32_t>(windowHops, 1, kMaxHops)) {}

    // Takes this hop's flag (the one that leaves the window is forgotten); returns the count.
    int Update(bool flag) noexcept
    {
        count_ += (flag ? 1 : 0) - (flags_[slot_] ? 1 : 0);
        flags_[slot_] = flag;
        slot_ = (slot_ + 1) % window_;
        return count_;
    }

    int Count() const noexcept { return count_; }
    std::uint32_t Hops() const noexcept { return window_; }

private:
    const std::uint32_t window_;
    bool flags_[kMaxHops] = {};
    std::uint32_t slot_ = 0;
    int count_ = 0;
};

}  // namespace zvsdk
