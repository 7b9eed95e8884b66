#include "Decision.h"

#include <cmath>
#include <limits>

namespace zvsdk {

namespace {

constexpr std::uint32_t kNever = std::numeric_limits<std::uint32_t>::max();

// Which classes one sound is likely to raise together, in class-code order:
// the bursts (GlassBreak, GunShot, DogBark) and the voices (Aggression,
// BabyCry); each alarm is a kind of its own, so a siren never holds back a
// smoke alarm sounding under it.
constexpr int kKind[ZV_AUDIO_CLASS_COUNT] = {0, 1, 0, 2, 2, 3, 0};

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
    for (auto& outranked : outranked_) {
        outranked = false;
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
    float margin[ZV_AUDIO_CLASS_COUNT];
    bool detected[ZV_AUDIO_CLASS_COUNT];
    int surest = 0;  // the most confident detected class, eligible or not
    float surestMargin = -1.0f;
    for (int i = 0; i < ZV_AUDIO_CLASS_COUNT; ++i) {
        if (sinceReport_[i] != kNever) {
            ++sinceReport_[i];
        }
        detected[i] = confidence[i] >= thresholds_[i];
        margin[i] = detected[i] ? Margin(confidence[i], thresholds_[i]) : -1.0f;
        if (!detected[i]) {
            outranked_[i] = false;  // re-armed: its next rise is a sound of its own
        } else if (margin[i] > surestMargin) {
            surestMargin = margin[i];
            surest = i + 1;
        }
    }
    // An outranked class comes back once it is the surest of all.
    if (surest != 0) {
        outranked_[surest - 1] = false;
    }
    int winner = 0;
    float best = -1.0f;
    for (int i = 0; i < ZV_AUDIO_CLASS_COUNT; ++i) {
        if (!detected[i] || outranked_[i] || sinceReport_[i] < retriggerFrames_) {
            continue;
        }
        // A surer detected class of the same kind, reported or not, holds
        // the sound: a shout that also reads a little like a cry is a shout.
        bool held = false;
        for (int j = 0; j < ZV_AUDIO_CLASS_COUNT; ++j) {
            held = held || (j != i && kKind[j] == kKind[i] && detected[j] && margin[j] > margin[i]);
        }
        if (held) {
            outranked_[i] = true;
        } else if (margin[i] > best) {
            best = margin[i];
            winner = i + 1;
        }
    }
    if (winner != 0) {
        sinceReport_[winner - 1] = 0;
        // Whatever else is detected alongside the winner, less surely, is
        // taken as the same sound read as a less likely class. Classes that
        // are exactly as sure (two thresholds of 0) take turns.
        for (int i = 0; i < ZV_AUDIO_CLASS_COUNT; ++i) {
            outranked_[i] = outranked_[i] || (detected[i] && margin[i] < margin[winner - 1]);
        }
    }
    return winner;
}

}  // namespace zvsdk
