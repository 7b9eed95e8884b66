// BeatGrid: whether an impulsive observation's onset falls on a steady beat
// that has been playing for some seconds, and how far it stands above that
// beat's own hits.
//
// A drum kit (a drummer, a loop, a band) is the commonest sound that passes
// for a shot or for breaking glass: a kick and snare struck together is broad,
// sudden and short, a crash opens a phrase with lasting, noisy highs. What a
// kit has and a shot, a pane or a cry lacks is a beat: hits at a regular
// period (eighth notes to half notes, about 0.18-1 s) over the seconds before.
// A shot in a street with music playing lands on that music's beat only by
// chance and then stands far above its notes; a burst of shots is short and
// its first round has no grid behind it.
//
// How: every hop's flux (the front end's mean rise of the band levels) is
// kept for kHistory hops; a hop is a hit where the flux reaches
// "minHitFluxDb" and is the highest within the refractory hops around it.
// For an observation that opened on hop t0, a grid is walked back from t0 for
// each period L (whole hops, kMinLagHops..kMaxLagHops): the next hit is looked
// for within "toleranceHops" of the position one period before the last one
// found (or predicted), so a grid that drifts (a drummer speeding up, a loop
// resampled) is followed hit by hit. The share of positions that found a hit,
// less the share found on the grid shifted by half a period (so that a dense,
// irregular background that has a hit everywhere reads no beat), is the
// grid's strength; the strongest period wins. The observation is ruled out
// when that strength reaches "minShare" over at least "minSpanS" seconds of
// stream before t0 and its onset's loudest hop stands at most "maxOverDb"
// above the second loudest hit the grid found (one loud hit on the grid, an
// earlier shot, does not raise the bar). A sub-block without these keys takes
// the defaults; a class block without "beat" rules nothing out and pays
// nothing per hop.
//
// Built at Init on the caller's thread; Feed and RulesOut run on the thread
// that feeds the engine, one hop at a time, and allocate nothing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "Features.h"
#include "detectors/Detector.h"

namespace zvsdk {

class BeatGrid {
public:
    static constexpr int kHistory = 800;  // hops kept: the span read, plus an observation's length
    static constexpr int kMinLagHops = 18;  // 0.18 s: eighth notes at 166 bpm
    static constexpr int kMaxLagHops = 100;  // 1 s: quarter notes at 60 bpm
    // The window searched halfway between two hits of the shortest period
    // must reach neither of them, or every grid counts its own hits against
    // itself: (kMinLagHops - tolerance) / 2 > tolerance, rounded down.
    static constexpr int kMaxToleranceHops = (kMinLagHops - 2) / 3;

    BeatGrid(const nlohmann::json& block, const char* name)
        : present_(block.contains("beat")),
          minHitFluxDb_(Parameter(OptionalObject(block, "beat", name), "minHitFluxDb", 3.0f, 0.0f, 60.0f)),
          toleranceHops_(static_cast<int>(Parameter(OptionalObject(block, "beat", name), "toleranceHops", 5.0f, 1.0f,
                                                    static_cast<float>(kMaxToleranceHops)))),
          spanHops_(static_cast<int>(Parameter(OptionalObject(block, "beat", name), "spanS", 5.0f, 1.0f, 7.0f) *
                                     static_cast<float>(kHopsPerSecond))),
          minSpanHops_(static_cast<int>(Parameter(OptionalObject(block, "beat", name), "minSpanS", 2.5f, 1.0f, 7.0f) *
                                        static_cast<float>(kHopsPerSecond))),
          minShare_(Parameter(OptionalObject(block, "beat", name), "minShare", 0.6f, 0.0f, 1.0f)),
          maxOverDb_(Parameter(OptionalObject(block, "beat", name), "maxOverDb", 3.0f, -30.0f, 60.0f))
    {
        if (minSpanHops_ > spanHops_) {
            throw std::runtime_error(std::string(name) + " beat: minSpanS above spanS");
        }
        std::fill(flux_, flux_ + kFluxHops, 0.0f);
        std::fill(level_, level_ + kHistory, kSilenceDb);
        std::fill(hit_, hit_ + kHistory, false);
    }

    bool Present() const noexcept { return present_; }

    // Every hop, before the observation that closes on it is judged.
    void Feed(const Features& f) noexcept
    {
        if (!present_) {
            return;
        }
        const int at = Index(f.hop);
        flux_[f.hop % kFluxHops] = f.fluxDb;
        level_[at] = f.levelDb;
        hit_[at] = false;
        // The hop kRefractory back is a hit when it is the highest flux of the
        // hops around it (ties go to the earlier).
        if (f.hop < kRefractory) {
            return;
        }
        const std::uint64_t centre = f.hop - kRefractory;
        const float v = flux_[centre % kFluxHops];
        if (v < minHitFluxDb_) {
            return;
        }
        for (std::uint64_t h = centre - std::min<std::uint64_t>(centre, kRefractory); h <= f.hop; ++h) {
            const float other = flux_[h % kFluxHops];
            if (h != centre && (other > v || (other == v && h < centre))) {
                return;
            }
        }
        hit_[Index(centre)] = true;
    }

    // Whether the observation that opened on `start` is one of a steady
    // beat's hits; `now` is the current hop (start + the observation's length).
    bool RulesOut(std::uint64_t start, std::uint64_t now) const noexcept
    {
        if (!present_ || start < static_cast<std::uint64_t>(minSpanHops_) ||
            now - start + static_cast<std::uint64_t>(spanHops_ + toleranceHops_) >= kHistory) {
            return false;
        }
        float onsetDb = kSilenceDb;
        for (std::uint64_t h = start; h < start + kRefractory && h <= now; ++h) {
            onsetDb = std::max(onsetDb, level_[Index(h)]);
        }
        const int span = static_cast<int>(std::min<std::uint64_t>(start, static_cast<std::uint64_t>(spanHops_)));
        float bestShare = 0.0f;
        float bestLoudest = kSilenceDb;
        for (int lag = kMinLagHops; lag <= kMaxLagHops; ++lag) {
            const Walk w = WalkBack(start, lag, span);
            if (w.positions < kMinPositions) {
                break;
            }
            const float share = static_cast<float>(w.found - w.between) / static_cast<float>(w.positions);
            if (share > bestShare) {
                bestShare = share;
                bestLoudest = w.secondDb;
            }
        }
        return bestShare >= minShare_ && onsetDb - bestLoudest <= maxOverDb_;
    }

private:
    static constexpr std::uint64_t kRefractory = 3;  // hops either side a hit must top
    static constexpr int kMinPositions = 4;          // a beat is at least four periods long
    static constexpr std::uint64_t kFluxHops = 2 * kRefractory + 1;  // the flux is read only around a hit

    struct Walk {
        int positions = 0;
        int found = 0;
        int between = 0;  // hits halfway between two positions of the grid
        float loudestDb = kSilenceDb;
        float secondDb = kSilenceDb;  // the second loudest hit found
    };

    static int Index(std::uint64_t hop) noexcept { return static_cast<int>(hop % kHistory); }

    // The hit nearest `at` within the tolerance, or -1.
    std::int64_t HitNear(std::int64_t at) const noexcept
    {
        for (int d = 0; d <= toleranceHops_; ++d) {
            if (hit_[Index(static_cast<std::uint64_t>(at + d))]) {
                return at + d;
            }
            if (hit_[Index(static_cast<std::uint64_t>(at - d))]) {
                return at - d;
            }
        }
        return -1;
    }

    // The grid of period `lag` walked back from `start` over `span` hops,
    // each step re-anchored on the hit it found; the hits halfway between
    // the anchors are counted against it.
    Walk WalkBack(std::uint64_t start, int lag, int span) const noexcept
    {
        Walk w;
        const std::int64_t first = static_cast<std::int64_t>(start) - span;
        std::int64_t anchor = static_cast<std::int64_t>(start);
        for (;;) {
            const std::int64_t predicted = anchor - lag;
            if (predicted - toleranceHops_ < first) {
                return w;
            }
            ++w.positions;
            const std::int64_t foundAt = HitNear(predicted);
            const std::int64_t landed = foundAt < 0 ? predicted : foundAt;
            if (HitNear((anchor + landed) / 2) >= 0) {
                ++w.between;
            }
            anchor = landed;
            if (foundAt < 0) {
                continue;
            }
            ++w.found;
            float hitDb = kSilenceDb;
            for (std::int64_t h = foundAt; h < foundAt + static_cast<std::int64_t>(kRefractory); ++h) {
                hitDb = std::max(hitDb, level_[Index(static_cast<std::uint64_t>(h))]);
            }
            w.secondDb = std::max(w.secondDb, std::min(w.loudestDb, hitDb));
            w.loudestDb = std::max(w.loudestDb, hitDb);
        }
    }

    const bool present_;
    const float minHitFluxDb_;
    const int toleranceHops_;
    const int spanHops_;
    const int minSpanHops_;
    const float minShare_;
    const float maxOverDb_;
    float flux_[kFluxHops];
    float level_[kHistory];
    bool hit_[kHistory];
};

}  // namespace zvsdk
