// What the vocal detectors (Aggression, BabyCry) know of a voice: a few
// measures per hop, summed over the last second, turned into one vector of
// evidence that each class weighs with its own weights from the data file.
//
// Why a weighted sum rather than a chain of rules: a shout, a cry, a sung
// note and a siren differ in many small ways at once (how much of the time
// it is voiced, where the foreground energy lies, how broad and how steady
// the harmonic spectrum is, how the pitch moves), and no single one of them
// separates them on its own. The weights are fitted on generated material
// and kept in the data file; the measures are chosen so that each means the
// same whatever the background: energies are taken over the tracked floor.
//
// Cost: running sums over fixed rings, O(bands) per hop, no allocation;
// on a voiced hop, also a few dozen band look-ups to check the pitch.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <iterator>
#include <string>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "Features.h"
#include "detectors/Detector.h"
#include "detectors/HeldHighest.h"
#include "detectors/WindowCount.h"

namespace zvsdk {

// 2^x for |x| < 126 within about 0.1 %: band powers from dB without the
// cost of the library's exp, which would dominate a detector's hop.
inline float FastExp2(float x) noexcept
{
    x = std::clamp(x, -126.0f, 126.0f);
    const float whole = std::floor(x);
    const float f = x - whole;
    // Polynomial for 2^f on [0, 1).
    const float p = 1.0f + f * (0.6960656f + f * (0.2244050f + f * 0.0790233f));
    std::int32_t bits = 0;
    std::memcpy(&bits, &p, sizeof bits);
    bits += static_cast<std::int32_t>(whole) * (1 << 23);  // a multiply: shifting a negative is undefined
    float result = 0.0f;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

// Power above the background floor per range. A band counts only where it
// stands clearly out of its floor, so the shares describe the foreground
// sound whatever the background's colour.
struct Foreground {
    float low = 0.0f;   // below 1 kHz
    float mid = 0.0f;   // 1 .. 4 kHz: where raised vocal effort pushes energy
    float high = 0.0f;  // above 4 kHz
    float bottom = 0.0f;    // below 500 Hz: a raised voice leaves little here
    float lowerMid = 0.0f;  // 0.5 .. 2 kHz
    float upperMid = 0.0f;  // 2 .. 4 kHz: the presence a strained voice adds
    int litBands = 0;   // bands 0.5 .. 5 kHz at least 6 dB over their floor
    int bands = 0;      // bands 0.5 .. 5 kHz below Nyquist
    int litHigh = 0;    // bands 4 .. 8 kHz at least 6 dB over their floor
    int highBands = 0;  // bands 4 .. 8 kHz below Nyquist
    float Total() const noexcept { return low + mid + high; }
};

inline Foreground MeasureForeground(const Features& f) noexcept
{
    constexpr float kLog2Of10Over10 = 0.33219281f;
    Foreground result;
    for (int band = 0; band < f.bandCount; ++band) {
        const float hz = f.bandHz[band];
        const float over = f.bandDb[band] - f.floorDb[band];
        if (hz >= 500.0f && hz <= 5000.0f) {
            ++result.bands;
            result.litBands += over >= 6.0f ? 1 : 0;
        }
        if (hz >= 4000.0f && hz <= 8000.0f) {
            ++result.highBands;
            result.litHigh += over >= 6.0f ? 1 : 0;
        }
        if (over < 3.0f) {
            continue;
        }
        const float power = FastExp2(kLog2Of10Over10 * f.bandDb[band]) * (1.0f - FastExp2(-kLog2Of10Over10 * over));
        if (hz < 1000.0f) {
            result.low += power;
        } else if (hz < 4000.0f) {
            result.mid += power;
        } else {
            result.high += power;
        }
        if (hz < 500.0f) {
            result.bottom += power;
        } else if (hz < 2000.0f) {
            result.lowerMid += power;
        } else if (hz < 4000.0f) {
            result.upperMid += power;
        }
    }
    return result;
}

// The band whose centre lies nearest `hz` (the bands are contiguous and
// ascending, so this is the band holding it, to within a few hertz at an
// edge).
inline int NearestBand(const Features& f, float hz) noexcept
{
    const float* first = f.bandHz;
    const float* last = f.bandHz + f.bandCount;
    const float* above = std::lower_bound(first, last, hz);
    if (above == first) {
        return 0;
    }
    if (above == last) {
        return f.bandCount - 1;
    }
    const int i = static_cast<int>(above - first);
    return *above - hz < hz - f.bandHz[i - 1] ? i : i - 1;
}

// How far the harmonics of `pitchHz` up to `topHz` stand out of their floor
// over the points half-way between them: the sum over the harmonics whose
// band differs from the in-between one (litDb, dB), and how many those are.
struct HarmonicComb {
    float litDb = 0.0f;
    int parted = 0;
};

inline HarmonicComb MeasureComb(const Features& f, float pitchHz, float topHz) noexcept
{
    auto over = [&](int band) { return std::max(0.0f, f.bandDb[band] - f.floorDb[band]); };
    HarmonicComb comb;
    for (int h = 1; static_cast<float>(h) * pitchHz <= topHz; ++h) {
        const int at = NearestBand(f, static_cast<float>(h) * pitchHz);
        const int between = NearestBand(f, (static_cast<float>(h) + 0.5f) * pitchHz);
        if (at != between) {
            comb.litDb += over(at) - over(between);
            ++comb.parted;
        }
    }
    return comb;
}

// The voice's fundamental, checked against the bands. On a loud, rough
// voice the front end's period often locks onto the 2nd-4th harmonic or an
// octave low. Below 1.2 kHz the bands are narrow enough (80 .. 150 Hz) to
// part the harmonics of a voice above about 120 Hz, so each candidate among
// f0/4, f0/3, f0/2, f0 and 2 f0 is scored by how far its harmonics stand out
// of their floor over the points half-way between them; the lowest candidate
// wins unless a higher one explains the bands at least 1 dB better (a
// subharmonic's odd multiples fall between the true harmonics and score low,
// a superharmonic's in-between points are harmonics and score near zero).
// Returns f0 itself where no candidate has two parted harmonics.
inline float VoicePitch(const Features& f) noexcept
{
    constexpr float kLowestHz = 120.0f;
    constexpr float kHighestHz = 1000.0f;
    constexpr float kCombTopHz = 1200.0f;
    constexpr float kMarginDb = 1.0f;
    const float candidates[] = {f.f0Hz / 4.0f, f.f0Hz / 3.0f, f.f0Hz / 2.0f, f.f0Hz, 2.0f * f.f0Hz};
    float bestHz = f.f0Hz;
    float bestScore = 0.0f;
    bool found = false;
    for (float c : candidates) {
        if (c < kLowestHz || c > kHighestHz) {
            continue;
        }
        const HarmonicComb comb = MeasureComb(f, c, kCombTopHz);
        if (comb.parted < 2) {
            continue;
        }
        const float score = comb.litDb / static_cast<float>(comb.parted);
        if (!found || score > bestScore + kMarginDb) {
            bestScore = score;
            bestHz = c;
            found = true;
        }
    }
    return bestHz;
}

// Vocal effort: the second-strongest band in 1 .. 3 kHz over the band of the
// first harmonic, dB (within -30 .. 40). A raised voice pushes its energy
// from the first harmonic into the harmonics around 1 .. 3 kHz; calm or
// raised talk, singing, laughter and a crowd keep the first harmonics on
// top. The second band, not the strongest: a voice lights several there,
// a siren's or a whistle's single tone one.
inline float EffortDb(const Features& f, float pitchHz) noexcept
{
    // Foreground power (over the floor) per band, so that a background of
    // talk does not lend its own first harmonics to the measure.
    auto foregroundDb = [&](int band) {
        return 10.0f * std::log10(std::max(f.bandPower[band] - f.floorPower[band], 1e-12f));
    };
    float strongest = kSilenceDb;
    float second = kSilenceDb;
    for (int band = 0; band < f.bandCount; ++band) {
        if (f.bandHz[band] >= 1000.0f && f.bandHz[band] <= 3000.0f) {
            const float db = foregroundDb(band);
            second = std::max(second, std::min(strongest, db));
            strongest = std::max(strongest, db);
        }
    }
    return std::clamp(second - foregroundDb(NearestBand(f, pitchHz)), -30.0f, 40.0f);
}

// Whether the 1 .. 4 kHz bands, summed, stand 4 dB over their summed floor.
inline bool VoiceBandsStandOut(const Features& f) noexcept
{
    float power = 0.0f;
    float floor = 0.0f;
    for (int band = 0; band < f.bandCount; ++band) {
        if (f.bandHz[band] >= 1000.0f && f.bandHz[band] < 4000.0f) {
            power += f.bandPower[band];
            floor += f.floorPower[band];
        }
    }
    // 10^(4/10): VoicedHop's 4 dB, on the summed powers.
    return power >= 2.5118864f * floor && floor > 0.0f;
}

// Whether a hop is voiced: periodic and standing out of the background.
// "Standing out" is the whole level over the whole floor, or, with
// `voiceBandsCount`, also the 1 .. 4 kHz bands over their own floor: a
// raised voice puts its energy there, and under a background that is
// strongest below 1 kHz (traffic, brown or pink noise) the whole level of a
// shout as loud as the background barely rises while its own bands do.
inline bool VoicedHop(const Features& f, bool voiceBandsCount) noexcept
{
    constexpr float kOverFloorDb = 4.0f;
    if (f.f0Hz <= 0.0f || f.harmonicity < 0.4f) {
        return false;
    }
    if (f.levelOverFloorDb >= kOverFloorDb || !voiceBandsCount) {
        return f.levelOverFloorDb >= kOverFloorDb;
    }
    return VoiceBandsStandOut(f);
}

// The evidence vector, in the order of a class's "weights" in the data file.
enum VoiceMeasure : int {
    kBias,
    kVoicedShare,       // voiced hops in the last second
    kVoicedShareShort,  // voiced hops in the last 300 ms
    kHarmonicity,       // mean over voiced hops (as all below, unless said)
    kMidShare,          // foreground share in 1 .. 4 kHz
    kHighShare,         // foreground share above 4 kHz
    kBreadth,           // share of the 0.5 .. 5 kHz bands lit
    kPeakShare,         // power in the strongest narrow peak: a tone's is most
    kOverFloor,         // level over the floor, / 40 dB
    kPitch,             // log2(f0 / 300 Hz)
    kPitchSpread,       // deviation of log2 f0 over the second
    kPitchMotion,       // mean |change of log2 f0| from hop to hop (octave slips cut at 0.3)
    kOvertones,         // overtones over the fundamental, / 30 dB
    kRunStarts,         // voiced runs begun in the last second, / 10
    kRunLength,         // the current (or just ended) voiced run, / 1 s
    kLevelSpread,       // deviation of the hop level over the second, / 10 dB
    kCryRange,          // voiced hops with f0 in 280 .. 700 Hz
    kFlatness,          // spectral flatness
    kBouts,             // voiced runs of 0.35 .. 2 s ended in the last 3 s, / 3
    kHighBreadth,       // share of the 4 .. 8 kHz bands lit: a strained, clipped voice's
    kPitchJumps,        // hops whose pitch leapt by more than 0.3 octave: a rough voice's
    kCrest,             // peak over RMS of the hop, / 20 dB: low where a voice is clipped
    kPresence,          // 2 .. 4 kHz over 0.5 .. 2 kHz, dB / 20 (within +-1): vocal effort
    kBottomShare,       // foreground share below 500 Hz
    kShimmer,           // mean |change of the hop level| between voiced hops, / 10 dB: roughness
    kClipped,           // share of samples at full scale
    kMeasureCount
};

class VoiceWindow {
public:
    // `windowHops` (kShort .. kMaxWindow) is how far back the evidence looks:
    // a shout can be over in half a second, a cry shows itself over a second.
    // `measuresEffort` turns on Effort(): its pitch check costs a little on
    // every voiced hop, so a class that does not read it leaves it off.
    // `voiceBandsCount`: see VoicedHop.
    explicit VoiceWindow(std::uint32_t windowHops = kMaxWindow, bool measuresEffort = false,
                         bool voiceBandsCount = false) noexcept
        : window_(std::clamp(windowHops, kShort, kMaxWindow)),
          measuresEffort_(measuresEffort),
          voiceBandsCount_(voiceBandsCount),
          levelSum_(-90.0 * window_),
          levelSquares_(8100.0 * window_)
    {
    }

    // Takes the next hop; `out` gets the evidence vector for the last window.
    void Update(const Features& f, float out[kMeasureCount]) noexcept
    {
        Hop hop;
        hop.level = std::max(f.levelDb, -90.0f);
        hop.voiced = VoicedHop(f, voiceBandsCount_);
        if (hop.voiced) {
            const Foreground g = MeasureForeground(f);
            lastLow_ = g.low;
            lastMid_ = g.mid;
            const float total = g.Total() + 1e-20f;
            const float pitch = std::log2(f.f0Hz / 300.0f);
            hop.values[0] = f.harmonicity;
            hop.values[1] = g.mid / total;
            hop.values[2] = g.high / total;
            hop.values[3] = g.bands > 0 ? static_cast<float>(g.litBands) / static_cast<float>(g.bands) : 0.0f;
            hop.values[4] = f.peakShare;
            hop.values[5] = std::min(f.levelOverFloorDb, 40.0f) / 40.0f;
            hop.values[6] = pitch;
            hop.values[7] = pitch * pitch;
            hop.values[8] = lastVoiced_ ? std::min(std::fabs(pitch - lastPitch_), 0.3f) : 0.0f;
            hop.values[9] = std::clamp(f.harmonicsDb, -30.0f, 30.0f) / 30.0f;
            hop.values[10] = (f.f0Hz >= 280.0f && f.f0Hz <= 700.0f) ? 1.0f : 0.0f;
            hop.values[11] = f.flatness;
            hop.values[12] = g.highBands > 0 ? static_cast<float>(g.litHigh) / static_cast<float>(g.highBands) : 0.0f;
            hop.values[13] = lastVoiced_ && std::fabs(pitch - lastPitch_) > 0.3f ? 1.0f : 0.0f;
            hop.values[14] = std::clamp(f.peakDb - f.levelDb, 0.0f, 20.0f) / 20.0f;
            const float presenceDb = 10.0f * std::log10((g.upperMid + 1e-12f) / (g.lowerMid + 1e-12f));
            hop.values[15] = std::clamp(presenceDb, -20.0f, 20.0f) / 20.0f;
            hop.values[16] = g.bottom / total;
            hop.values[17] = lastVoiced_ ? std::min(std::fabs(hop.level - lastLevel_), 10.0f) / 10.0f : 0.0f;
            hop.values[18] = f.clippedFraction;
            lastPitch_ = pitch;
        }
        const std::uint32_t second = static_cast<std::uint32_t>(hopIndex_ % kMaxWindow);
        if (effortVoiced_[second]) {
            effortSum_ -= effort_[second];
            --effortCount_;
        }
        effortVoiced_[second] = hop.voiced;
        lastVoicePitch_ = hop.voiced && measuresEffort_ ? VoicePitch(f) : 0.0f;
        effort_[second] = hop.voiced && measuresEffort_ ? EffortDb(f, lastVoicePitch_) : 0.0f;
        if (hop.voiced) {
            effortSum_ += effort_[second];
            ++effortCount_;
        }
        if (hop.voiced && !lastVoiced_) {
            hop.runStart = true;
        }
        // Runs survive a dropout of a few hops: a rough voice loses its
        // period now and then.
        if (hop.voiced) {
            run_ += 1 + gap_;
            gap_ = 0;
        } else if (run_ > 0 && ++gap_ > kMaxGap) {
            if (run_ >= kBoutMin && run_ <= kBoutMax) {
                boutEnds_[boutPos_ % kBoutSlots] = hopIndex_;
                ++boutPos_;
            }
            lastRun_ = run_;
            lastRunEnd_ = hopIndex_;
            run_ = 0;
            gap_ = 0;
        }
        lastVoiced_ = hop.voiced;
        lastLevel_ = hop.level;

        // Running sums over the ring: add the new hop, drop the oldest.
        const std::uint32_t slot = static_cast<std::uint32_t>(hopIndex_ % window_);
        Account(ring_[slot], -1);
        ring_[slot] = hop;
        Account(hop, 1);
        const Hop& shortOld = ring_[(hopIndex_ + window_ - kShort) % window_];
        shortVoiced_ += (hop.voiced ? 1 : 0) - (hopIndex_ >= kShort && shortOld.voiced ? 1 : 0);
        ++hopIndex_;

        const float voiced = static_cast<float>(voicedCount_);
        const double perVoiced = voicedCount_ > 0 ? 1.0 / voicedCount_ : 0.0;
        auto mean = [&](int i) { return static_cast<float>(sums_[i] * perVoiced); };
        out[kBias] = 1.0f;
        out[kVoicedShare] = voiced / static_cast<float>(window_);
        out[kVoicedShareShort] = static_cast<float>(shortVoiced_) / kShort;
        out[kHarmonicity] = mean(0);
        out[kMidShare] = mean(1);
        out[kHighShare] = mean(2);
        out[kBreadth] = mean(3);
        out[kPeakShare] = mean(4);
        out[kOverFloor] = mean(5);
        const float meanPitch = mean(6);
        out[kPitch] = meanPitch;
        out[kPitchSpread] = std::sqrt(std::max(0.0f, mean(7) - meanPitch * meanPitch));
        out[kPitchMotion] = mean(8);
        out[kOvertones] = mean(9);
        out[kRunStarts] = static_cast<float>(runStarts_) / 10.0f;
        const std::uint32_t recentRun = hopIndex_ - lastRunEnd_ <= window_ ? lastRun_ : 0;
        out[kRunLength] = std::min(static_cast<float>(std::max(run_, recentRun)), 200.0f) / kHopsPerSecond;
        const double meanLevel = levelSum_ / window_;
        out[kLevelSpread] =
            static_cast<float>(std::sqrt(std::max(0.0, levelSquares_ / window_ - meanLevel * meanLevel)) / 10.0);
        out[kCryRange] = mean(10);
        out[kFlatness] = mean(11);
        int bouts = 0;
        for (std::uint64_t end : boutEnds_) {
            bouts += (end > 0 && hopIndex_ - end <= kBoutMemory) ? 1 : 0;
        }
        out[kBouts] = static_cast<float>(bouts) / 3.0f;
        out[kHighBreadth] = mean(12);
        out[kPitchJumps] = mean(13);
        out[kCrest] = mean(14);
        out[kPresence] = mean(15);
        out[kBottomShare] = mean(16);
        out[kShimmer] = mean(17);
        out[kClipped] = mean(18);
    }

    // Mean vocal effort (EffortDb) over the voiced hops of the last second,
    // whatever the window; 0 when none was voiced or effort is not measured.
    // Effort shows over a whole phrase, and half a second of it wavers too
    // much with the vowels.
    float Effort() const noexcept
    {
        return effortCount_ > 0 ? static_cast<float>(effortSum_ / effortCount_) : 0.0f;
    }

    // This hop's, when it was voiced (0 otherwise): its foreground power
    // below 1 kHz and in 1 .. 4 kHz (Foreground), and its pitch checked
    // against the bands (VoicePitch; 0 unless effort is measured).
    float LastLow() const noexcept { return lastLow_; }
    float LastMid() const noexcept { return lastMid_; }
    float LastVoicePitch() const noexcept { return lastVoicePitch_; }

private:
    static constexpr int kValues = 19;
    static constexpr std::uint32_t kMaxWindow = 100;  // one second
    static constexpr std::uint32_t kShort = 30;
    static constexpr std::uint32_t kMaxGap = 4;
    static constexpr std::uint32_t kBoutMin = 35;
    static constexpr std::uint32_t kBoutMax = 200;
    static constexpr std::uint64_t kBoutMemory = 300;
    static constexpr int kBoutSlots = 4;

    struct Hop {
        bool voiced = false;
        bool runStart = false;
        float level = -90.0f;
        float values[kValues] = {};
    };

    void Account(const Hop& hop, int sign) noexcept
    {
        const double level = hop.level;
        levelSum_ += sign * level;
        levelSquares_ += sign * level * level;
        runStarts_ += hop.runStart ? sign : 0;
        if (!hop.voiced) {
            return;
        }
        voicedCount_ += sign;
        for (int i = 0; i < kValues; ++i) {
            sums_[i] += sign * static_cast<double>(hop.values[i]);
        }
    }

    const std::uint32_t window_;
    const bool measuresEffort_;
    const bool voiceBandsCount_;
    Hop ring_[kMaxWindow];
    std::uint64_t hopIndex_ = 0;
    int voicedCount_ = 0;
    int shortVoiced_ = 0;
    int runStarts_ = 0;
    // Doubles: the sums run for hours, adding and dropping.
    double sums_[kValues] = {};
    // The ring starts out as silence at -90 dB.
    double levelSum_;
    double levelSquares_;
    bool lastVoiced_ = false;
    float lastPitch_ = 0.0f;
    float lastLevel_ = -90.0f;
    std::uint32_t run_ = 0;
    std::uint32_t gap_ = 0;
    std::uint32_t lastRun_ = 0;
    std::uint64_t lastRunEnd_ = 0;
    std::uint64_t boutEnds_[kBoutSlots] = {};
    std::uint32_t boutPos_ = 0;
    float effort_[kMaxWindow] = {};
    bool effortVoiced_[kMaxWindow] = {};
    double effortSum_ = 0.0;
    int effortCount_ = 0;
    float lastLow_ = 0.0f;
    float lastMid_ = 0.0f;
    float lastVoicePitch_ = 0.0f;
};

// What the Aggression detector weighs: the voice measures of VoiceWindow
// and a few measures of vocal effort that do not lean on the front end's
// pitch, each over the voiced hops of the same window.
enum EffortMeasure : int {
    kEffort = kMeasureCount,  // VoiceWindow::Effort, / 20 dB
    kVoicePitch,              // mean log2(VoicePitch / 300 Hz) over voiced hops
    kTilt,                    // foreground 1 .. 4 kHz over below 1 kHz, dB / 20 (within +-1.5)
    kLoudShare,               // hops of the window at least 10 dB over the floor
    kEffortMeasureCount
};

class EffortEvidence {
public:
    // `voiceBandsCount`: a hop counts as voiced also where only the voice's
    // bands stand out (VoicedHop); for what is fitted with it (Aggression).
    explicit EffortEvidence(std::uint32_t windowHops, bool voiceBandsCount = false) noexcept
        : window_(windowHops, true, voiceBandsCount),
          length_(std::clamp<std::uint32_t>(windowHops, 1, kRing)),
          voiceBandsCount_(voiceBandsCount)
    {
    }

    void Update(const Features& f, float out[kEffortMeasureCount]) noexcept
    {
        window_.Update(f, out);
        Slot slot;
        slot.voiced = VoicedHop(f, voiceBandsCount_);
        slot.loud = f.levelOverFloorDb >= 10.0f;
        if (slot.voiced) {
            slot.pitch = std::log2(std::max(window_.LastVoicePitch(), 50.0f) / 300.0f);
            const float tiltDb = 10.0f * std::log10((window_.LastMid() + 1e-12f) / (window_.LastLow() + 1e-12f));
            slot.tilt = std::clamp(tiltDb, -30.0f, 30.0f) / 20.0f;
        }
        Slot& old = ring_[next_];
        Account(old, -1);
        old = slot;
        Account(slot, 1);
        next_ = (next_ + 1) % length_;
        const double perVoiced = voiced_ > 0 ? 1.0 / voiced_ : 0.0;
        out[kEffort] = window_.Effort() / 20.0f;
        out[kVoicePitch] = static_cast<float>(pitchSum_ * perVoiced);
        out[kTilt] = static_cast<float>(tiltSum_ * perVoiced);
        out[kLoudShare] = static_cast<float>(loud_) / static_cast<float>(length_);
    }

    // This hop's pitch checked against the bands (VoicePitch), 0 unless voiced.
    float LastVoicePitch() const noexcept { return window_.LastVoicePitch(); }

private:
    static constexpr std::uint32_t kRing = 100;
    struct Slot {
        bool voiced = false;
        bool loud = false;
        float pitch = 0.0f;
        float tilt = 0.0f;
    };
    void Account(const Slot& s, int sign) noexcept
    {
        loud_ += s.loud ? sign : 0;
        if (s.voiced) {
            voiced_ += sign;
            pitchSum_ += sign * static_cast<double>(s.pitch);
            tiltSum_ += sign * static_cast<double>(s.tilt);
        }
    }

    VoiceWindow window_;
    const std::uint32_t length_;
    const bool voiceBandsCount_;
    Slot ring_[kRing];
    std::uint32_t next_ = 0;
    int voiced_ = 0;
    int loud_ = 0;
    double pitchSum_ = 0.0;
    double tiltSum_ = 0.0;
};

// Whether a played note was heard lately: the highest share, over the last
// holdBlocks tenths of a second and the current one, of the last windowHops
// hops whose checked pitch (VoicePitch) was held: within
// kToleranceSemitones of most of the voiced hops 50 .. 150 ms before it.
// The defaults (a second's share of all its hops, held for three seconds)
// are BabyCry's; with perVoicedFrom > 0 the share is of the window's voiced
// hops instead, counted as no fewer than perVoicedFrom, so a note that the
// pitch check finds on only half of its hops (a horn in traffic) still
// fills it, and a handful of voiced hops cannot.
//
// A note of an instrument holds its pitch to a few hundredths of a semitone
// from its onset to its end, then steps to the next, so a second of a tune
// has most of its voiced hops held; a drum hit or a chord that moves the
// checked pitch elsewhere for a moment costs only those hops. A voice is
// never that steady: its period jitters by a percent or more from cycle to
// cycle and a cry's melody rises and falls, so even the flat top of a cry's
// arc lands within a tenth of a semitone of the hops before it only now
// and then, not on most of them. The share counts the hops of the whole
// second, not only the voiced ones, so a few voiced hops of a cry deep in
// noise cannot make it large; it is held for three seconds because a band
// does not stop between its notes while a cry's odds may peak in a pause
// of the tune (a drum fill, a chord change).
//
// With recurAtLeast > 0 a hop counts instead when its pitch lies within the
// tolerance of at least that many of the voiced hops 20 .. 300 ms before it,
// whichever they are: a pitch that keeps coming back to the same value while
// others come between (a beep pattern, a horn broken up by traffic, a band's
// notes under the reverberation of a room) where the majority rule above
// finds no single held stretch. A voice's jitter and glide seldom bring its
// pitch back that close that often.
//
// Cost: up to eleven comparisons a voiced hop (29 when recurring) and
// holdBlocks + 1 a hop; no allocation.
class HeldPitch {
public:
    // windowHops is clamped to 1 .. 100, holdBlocks to 0 .. 29.
    // recurAtLeast is clamped to 0 .. 29.
    explicit HeldPitch(std::uint32_t windowHops = kMaxWindow, std::uint32_t holdBlocks = HeldHighest::kMaxBlocks,
                       std::uint32_t perVoicedFrom = 0, std::uint32_t recurAtLeast = 0) noexcept
        : heldHops_(windowHops),
          voicedHops_(windowHops),
          held_(holdBlocks),
          perVoicedFrom_(static_cast<int>(std::min(perVoicedFrom, kMaxWindow))),
          recurAtLeast_(static_cast<int>(std::min(recurAtLeast, kRecurFarthest - kRecurNearest + 1))),
          nearest_(recurAtLeast_ > 0 ? kRecurNearest : kNearest),
          farthest_(recurAtLeast_ > 0 ? kRecurFarthest : kFarthest)
    {
        std::fill(std::begin(pitches_), std::end(pitches_), kUnvoiced);
    }

    // Takes this hop's checked pitch (0 when not voiced); returns the highest
    // share of held hops in the window over the hold.
    float Update(float pitchHz) noexcept
    {
        const float pitch = pitchHz > 0.0f ? std::log2(pitchHz) : kUnvoiced;
        bool held = false;
        if (pitch != kUnvoiced) {
            int voiced = 0;
            int near = 0;
            for (std::uint32_t back = nearest_; back <= farthest_; ++back) {
                const float before = pitches_[(next_ + kPitches - back) % kPitches];
                if (before != kUnvoiced) {
                    ++voiced;
                    near += std::fabs(pitch - before) <= kToleranceOctaves ? 1 : 0;
                }
            }
            held = recurAtLeast_ > 0 ? near >= recurAtLeast_ : voiced >= kMinReferences && 2 * near > voiced;
        }
        pitches_[next_] = pitch;
        next_ = (next_ + 1) % kPitches;
        const int heldCount = heldHops_.Update(held);
        const int voicedCount = voicedHops_.Update(pitch != kUnvoiced);
        const int counted =
            perVoicedFrom_ > 0 ? std::max(voicedCount, perVoicedFrom_) : static_cast<int>(heldHops_.Hops());
        const float share = static_cast<float>(heldCount) / static_cast<float>(counted);
        return held_.Update(share);
    }

private:
    static constexpr float kUnvoiced = -100.0f;
    // 0.1 semitone (0.6 %): above the front end's wobble on a steady tone,
    // below a voice's cycle-to-cycle jitter.
    static constexpr float kToleranceOctaves = 0.1f / 12.0f;
    static constexpr std::uint32_t kNearest = 5;    // 50 ms
    static constexpr std::uint32_t kFarthest = 15;  // 150 ms
    static constexpr int kMinReferences = 3;
    static constexpr std::uint32_t kRecurNearest = 2;    // 20 ms
    static constexpr std::uint32_t kRecurFarthest = 30;  // 300 ms
    static constexpr std::uint32_t kPitches = kRecurFarthest + 1;
    static constexpr std::uint32_t kMaxWindow = WindowCount::kMaxHops;
    WindowCount heldHops_;
    WindowCount voicedHops_;
    HeldHighest held_;  // the highest share over the hold
    const int perVoicedFrom_;
    const int recurAtLeast_;
    const std::uint32_t nearest_;
    const std::uint32_t farthest_;
    float pitches_[kPitches];
    std::uint32_t next_ = 0;
};

// How many times, over the last windowHops hops, the pitch stepped from one
// held note to another. A note is a run of pitched hops within half a
// semitone of the run's mean (a whistle's vibrato of up to 2 % stays in it)
// lasting at least minHops; a step is a note that starts within maxGapHops of
// the previous note's end and lies minSemitones .. maxSemitones from it, both
// notes wavering by at least a tenth of a semitone: a band's synthesised or
// keyed notes hold their pitch exactly, a whistle's vibrato moves it. A
// whistled tune steps between notes every 0.12 .. 0.5 s; a shout or a scream
// glides through one arch per word, so its runs stay short or follow each
// other by less than a step, and its words lie apart by more than the gap.
class NoteSteps {
public:
    // windowHops is clamped to 1 .. 100.
    NoteSteps(std::uint32_t windowHops, std::uint32_t minHops, std::uint32_t maxGapHops, float minSemitones,
              float maxSemitones) noexcept
        : steps_(windowHops),
          minHops_(std::max<std::uint32_t>(minHops, 1)),
          maxGap_(maxGapHops),
          minStep_(minSemitones),
          maxStep_(maxSemitones)
    {
    }

    // Takes the hop's fundamental (0 when none); returns the steps in the window.
    int Update(float f0Hz) noexcept
    {
        ++hop_;
        bool stepped = false;
        if (f0Hz > 0.0f) {
            const float pitch = 12.0f * std::log2(f0Hz);
            if (runHops_ > 0 && std::fabs(pitch - runSum_ / runHops_) > kHalfWidth) {
                runHops_ = 0;
            }
            if (runHops_ == 0) {
                runSum_ = 0.0;
                runStart_ = hop_;
                runLow_ = pitch;
                runHigh_ = pitch;
            }
            runSum_ += pitch;
            runLow_ = std::min(runLow_, pitch);
            runHigh_ = std::max(runHigh_, pitch);
            ++runHops_;
            if (runHops_ >= minHops_) {
                const float mean = static_cast<float>(runSum_ / runHops_);
                const bool wavers = runHigh_ - runLow_ >= kMinWaver;
                if (runHops_ == minHops_ && noteEnd_ > 0 && runStart_ - noteEnd_ <= maxGap_ + 1) {
                    const float step = std::fabs(mean - noteMean_);
                    stepped = step >= minStep_ && step <= maxStep_ && wavers && noteWavers_;
                }
                noteMean_ = mean;
                noteWavers_ = wavers;
                noteEnd_ = hop_;
            }
        } else {
            runHops_ = 0;
        }
        return steps_.Update(stepped);
    }

private:
    static constexpr float kHalfWidth = 0.5f;  // semitones
    static constexpr float kMinWaver = 0.1f;   // semitones, highest less lowest
    WindowCount steps_;
    const std::uint32_t minHops_;
    const std::uint32_t maxGap_;
    const float minStep_;
    const float maxStep_;
    std::uint64_t hop_ = 0;
    std::uint64_t runStart_ = 0;
    std::uint32_t runHops_ = 0;
    double runSum_ = 0.0;
    float runLow_ = 0.0f;
    float runHigh_ = 0.0f;
    float noteMean_ = 0.0f;
    bool noteWavers_ = false;
    std::uint64_t noteEnd_ = 0;
};

// How long the current voiced stretch has lasted, in hops, from its first
// voiced hop to the last, bridging gaps of up to maxGapHops; 0 once a longer
// gap has ended it. Over loud noise a shout's hops pass a voiced test only
// now and then, so a window's voiced share cannot tell it from a bark or a
// meow voiced throughout; its length can: a bark or a meow is over within
// 50 .. 300 ms, a shout's words run on for 0.4 s and more. Gaps longer than
// the bridge (a bark volley's pauses) start a new stretch. BeforeShare says
// whether the stretch rose out of an unvoiced background: over babble or
// talk a voice is always found and every stretch runs long. The stream's
// past before its first hop counts as voiced, since nothing is known of it.
// No allocation; a few operations a hop.
class VoicedStretch {
public:
    explicit VoicedStretch(std::uint32_t maxGapHops) noexcept : maxGap_(maxGapHops)
    {
        std::fill(std::begin(ring_), std::end(ring_), true);
    }

    // Takes whether this hop is voiced; returns the stretch's length.
    std::uint32_t Update(bool voiced) noexcept
    {
        if (voiced) {
            if (length_ == 0) {
                beforeShare_ = static_cast<float>(before_) / static_cast<float>(kBefore);
            }
            length_ = std::min(length_ > 0 ? length_ + gap_ + 1 : 1, kLongest);
            gap_ = 0;
        } else if (length_ > 0 && ++gap_ > maxGap_) {
            length_ = 0;
            gap_ = 0;
        }
        before_ += (voiced ? 1 : 0) - (ring_[next_] ? 1 : 0);
        ring_[next_] = voiced;
        next_ = (next_ + 1) % kBefore;
        return length_;
    }

    // The voiced share of the second before the current (or last) stretch began.
    float BeforeShare() const noexcept { return beforeShare_; }

private:
    static constexpr std::uint32_t kBefore = 100;  // one second
    static constexpr std::uint32_t kLongest = 1u << 20;
    const std::uint32_t maxGap_;
    std::uint32_t length_ = 0;
    std::uint32_t gap_ = 0;
    bool ring_[kBefore];
    std::uint32_t next_ = 0;
    int before_ = static_cast<int>(kBefore);
    float beforeShare_ = 1.0f;
};

// A class's weighing of the evidence: a small network, kHidden units of
// tanh(hidden . evidence) summed by "output" (kHidden weights, then a bias)
// into z; the class's fitted values when its block has none. z is averaged
// over the last smoothHops hops, so a single odd hop does not make a
// detection; the confidence is 1 / (1 + exp(-slope * (mean z - centre))),
// which follows the evidence up at once and comes down by at most
// dropDecayPerSecond.
constexpr int kHidden = 8;

struct VoiceWeights {
    float hidden[kHidden][kMeasureCount];
    float output[kHidden + 1];
};

class VoiceScore {
public:
    VoiceScore(const nlohmann::json& block, const VoiceWeights& defaults, float centre, float slope)
        : weights_(defaults),
          centre_(Parameter(block, "centre", centre, -100.0f, 100.0f)),
          slope_(Parameter(block, "slope", slope, 0.01f, 100.0f)),
          dropPerHop_(Parameter(block, "dropDecayPerSecond", 1.0f, 0.0f, 100.0f) / kHopsPerSecond),
          smoothHops_(static_cast<int>(Parameter(block, "smoothHops", 30.0f, 1.0f, kMaxSmooth)))
    {
        Read(block, "hidden", &weights_.hidden[0][0], kHidden * kMeasureCount);
        Read(block, "output", weights_.output, kHidden + 1);
        // Starts as if the last hops had been clearly not the class.
        std::fill(std::begin(recent_), std::end(recent_), kStartZ);
        zSum_ = kStartZ * static_cast<float>(smoothHops_);
    }

    float Weigh(const float (&evidence)[kMeasureCount]) const noexcept
    {
        float z = weights_.output[kHidden];
        for (int j = 0; j < kHidden; ++j) {
            float a = 0.0f;
            for (int i = 0; i < kMeasureCount; ++i) {
                a += weights_.hidden[j][i] * evidence[i];
            }
            z += weights_.output[j] * std::tanh(a);
        }
        return z;
    }

    // The confidence for this hop from its weighed evidence `z`.
    float Follow(float z) noexcept
    {
        zSum_ += z - recent_[next_];
        recent_[next_] = z;
        next_ = (next_ + 1) % smoothHops_;
        // Re-summed once a wrap so rounding cannot build up over hours.
        if (next_ == 0) {
            zSum_ = 0.0f;
            for (int i = 0; i < smoothHops_; ++i) {
                zSum_ += recent_[i];
            }
        }
        const float mean = zSum_ / static_cast<float>(smoothHops_);
        const float target = 1.0f / (1.0f + std::exp(-slope_ * (mean - centre_)));
        confidence_ = std::max(target, confidence_ - dropPerHop_);
        return confidence_;
    }

private:
    static void Read(const nlohmann::json& block, const char* key, float* into, int count)
    {
        const auto found = block.find(key);
        if (found == block.end()) {
            return;
        }
        if (!found->is_array() || found->size() != static_cast<std::size_t>(count)) {
            throw std::runtime_error(std::string("detector weights: wrong count in ") + key);
        }
        for (int i = 0; i < count; ++i) {
            const auto& w = (*found)[static_cast<std::size_t>(i)];
            if (!w.is_number() || !std::isfinite(w.get<double>()) || std::fabs(w.get<double>()) > 1000.0) {
                throw std::runtime_error(std::string("detector weights: not a finite number within +-1000 in ") + key);
            }
            into[i] = w.get<float>();
        }
    }

    VoiceWeights weights_;
    const float centre_;
    const float slope_;
    const float dropPerHop_;
    static constexpr float kMaxSmooth = 100.0f;
    const int smoothHops_;
    static constexpr float kStartZ = -10.0f;
    float recent_[static_cast<int>(kMaxSmooth)] = {};
    float zSum_ = 0.0f;
    int next_ = 0;
    float confidence_ = 0.0f;
};

}  // namespace zvsdk
