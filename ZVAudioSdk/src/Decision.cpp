#include "Decision.h"

#include <cmath>
#include <limits>

namespace zvsdk {

namespace {

constexpr std::uint32_t kNever = std::numeric_limits<std::uint32_t>::max();

float Margin(float confidence, float threshold) noexcept
{
    if (threshold >= 1.0f) {
        return 1.0f;  // only a confidence of 1 reaches it
    }
    return (confidence - threshold) / (1.0f - threshold);
}

}  // namespace

Decision::Decision(std::uint32_t retriggerFrames) noexcept : retriggerFrames_(retriggerFrames < 1 ? 1 : retriggerFrames)
{
    for (auto& since : sinceReport_) {
        since = kNever;
    }
}

bool Decision::SetThresholds(const float thresholds[ZV_AUDIO_CLASS_COUNT]) noexcept
{
    for (int i = 0; i < ZV_AUDIO_CLASS_COUNT; ++i) {
        // The negated comparison also refuses NaN.
        if (!std::isfinite(thresholds[i]) || !(thresholds[i] >= 0.0f && thresholds[i] <= 1.0f)) {
            return false;
        }
    }
    for (int i = 0; i < ZV_AUDIO_CLASS_COUNT; ++i) {
        thresholds_[i] = thresholds[i];
    }
    hasThresholds_ = true;
    return true;
}

int Decision::Decide(const float confidence[ZV_AUDIO_CLASS_COUNT]) noexcept
{
    int winner = 0;
    float best = -1.0f;
    for (int i = 0; i < ZV_AUDIO_CLASS_COUNT; ++i) {
        if (sinceReport_[i] != kNever) {
            ++sinceReport_[i];
        }
        const bool eligible = sinceReport_[i] >= retriggerFrames_;
        if (eligible && confidence[i] >= thresholds_[i]) {
            const float margin = Margin(confidence[i], thresholds_[i]);
            if (margin > best) {
                best = margin;
                winner = i + 1;
            }
        }
    }
    if (winner != 0) {
        sinceReport_[winner - 1] = 0;
    }
    return winner;
}

}  // namespace zvsdk
