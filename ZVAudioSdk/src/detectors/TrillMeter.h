// How strongly the spectrum warbles: two fixed sets of partials switching on
// and off in turn at 15 .. 25 Hz, as an electronic ring does. Its pitch
// leaps every hop or two among the two tones and the frames that straddle
// them, so a pitch track at a 10 ms hop cannot follow it; the bands can: the
// bands under one tone rise while those under the other fall, at the trill
// rate, hop after hop.
//
// Per hop: each band's foreground (dB over its floor, 600 Hz .. 6 kHz) less
// the mean of those bands, so that a change of the whole level (a voice's
// syllables, a whistle trilled in level, a burst starting) cancels and only
// a shift of energy between bands is left. That contrast is band-passed at
// the trill rate (a resonator at 22 Hz, 16 .. 28 Hz: the 32 ms window
// smears a fast trill most, so the top rates get the most gain) and, apart, freed of
// its slow mean; the share of the band-passed power in all of it, both
// summed over the bands and smoothed over about a quarter of a second, is
// the measure. A voice shifts its energy between bands as its formants move,
// at syllable rate, and its jitter and noise spread the rest over every
// modulation rate, so only a small part lands at the trill rate; a ring puts
// nearly all of its contrast there. Shares are taken only while the
// contrast is strong enough to be a sound's (trillMinDb); otherwise 0.
//
// The highest share is held for holdBlocks x 100 ms: the burst ends, but
// what it left in the slower windows of a detector lasts a while longer.
//
// Cost: two second-order filters and a few sums per band per hop, no
// allocation.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Features.h"
#include "detectors/HeldHighest.h"

namespace zvsdk {

class TrillMeter {
public:
    // holdBlocks is clamped to 0 .. kMaxBlocks.
    explicit TrillMeter(std::uint32_t holdBlocks = 6, float minContrastDb = 2.0f) noexcept
        : held_(std::min(holdBlocks, kMaxBlocks)), minContrastPower_(minContrastDb * minContrastDb)
    {
        // Constant-peak band-pass resonator (unit gain at the centre).
        constexpr float kPi = 3.14159265f;
        const float w0 = 2.0f * kPi * kCentreHz / static_cast<float>(kHopsPerSecond);
        const float alpha = std::sin(w0) / (2.0f * kCentreHz / kWidthHz);
        const float a0 = 1.0f + alpha;
        b0_ = alpha / a0;
        a1_ = -2.0f * std::cos(w0) / a0;
        a2_ = (1.0f - alpha) / a0;
    }

    // Takes this hop's features; returns the highest trill share (0 .. 1)
    // over the hold.
    float Update(const Features& f) noexcept
    {
        float fore[kBandCount];
        int used = 0;
        float mean = 0.0f;
        const int bands = std::min(f.bandCount, kBandCount);
        for (int b = 0; b < bands; ++b) {
            if (f.bandHz[b] < kLowHz || f.bandHz[b] > kHighHz) {
                continue;
            }
            fore[used] = std::max(f.bandDb[b] - f.floorDb[b], 0.0f);
            mean += fore[used];
            ++used;
        }
        float trill = 0.0f;
        float all = 0.0f;
        if (used > 0) {
            mean /= static_cast<float>(used);
            for (int i = 0; i < used; ++i) {
                const float x = fore[i] - mean;
                // Resonator, direct form I (b1 = 0, b2 = -b0).
                const float y = b0_ * (x - x2_[i]) - a1_ * y1_[i] - a2_ * y2_[i];
                x2_[i] = x1_[i];
                x1_[i] = x;
                y2_[i] = y1_[i];
                y1_[i] = y;
                slow_[i] += kSlowRate * (x - slow_[i]);
                const float d = x - slow_[i];
                trill += y * y;
                all += d * d;
            }
            trill /= static_cast<float>(used);
            all /= static_cast<float>(used);
        }
        trillPower_ += kSmoothRate * (trill - trillPower_);
        allPower_ += kSmoothRate * (all - allPower_);
        const float share = allPower_ >= minContrastPower_ ? std::min(trillPower_ / allPower_, 1.0f) : 0.0f;

        return held_.Update(share);
    }

private:
    static constexpr float kLowHz = 600.0f;
    static constexpr float kHighHz = 6000.0f;
    static constexpr float kCentreHz = 22.0f;
    static constexpr float kWidthHz = 12.0f;
    // The contrast's slow mean (about 0.1 s) and the powers' smoothing
    // (about 0.25 s).
    static constexpr float kSlowRate = 0.1f;
    static constexpr float kSmoothRate = 0.04f;
    static constexpr std::uint32_t kMaxBlocks = 20;
    HeldHighest held_;  // the highest share over the hold
    const float minContrastPower_;
    float b0_ = 0.0f;
    float a1_ = 0.0f;
    float a2_ = 0.0f;
    float x1_[kBandCount] = {};
    float x2_[kBandCount] = {};
    float y1_[kBandCount] = {};
    float y2_[kBandCount] = {};
    float slow_[kBandCount] = {};
    float trillPower_ = 0.0f;
    float allPower_ = 0.0f;
};

}  // namespace zvsdk
