// Onsets and what follows them: the shared measurement of the impulsive
// detectors (GunShot, GlassBreak, DogBark). Each detector owns one.
//
// An onset is a hop whose bands jump over the hop before (the front end's
// flux) while a 1 ms block of the waveform jumps over the 20 ms before it.
// Each onset opens an observation of kObserveHops hops (0.6 s, long enough
// for a shot's reverberant tail to show its fall), measured
// against the band levels just before the onset, not against the long-term
// floor: a shot in a burst is measured over the tail of the one before, and a
// sound that starts with the stream over the silence before it. Up to kSlots
// observations run side by side, so the shots of a burst or the shards after
// a glass's impact are each observed from their own start.
//
// When an observation closes, its descriptors (kDescriptorCount numbers, see
// Descriptor) go to the detector, which weighs them into a confidence. The
// weights are fitted on labelled generated material and kept in the data
// file; the descriptors are plain acoustic measures, so a weight can be read
// ("the longer the highs go on, the less a gunshot").
//
// Plain data of its detector, same thread; Update allocates nothing and costs
// little between onsets (a copy of the hop's band levels).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#ifdef ZV_IMPULSIVE_TRACE
#include <cstdio>
#endif

#include "Features.h"
#include "detectors/DepthTwoTrees.h"
#include "detectors/Detector.h"
#include "detectors/BeatGrid.h"

namespace zvsdk {

// 10^(db/10) to about 1e-4 relative: the observations convert every band of
// every hop they watch, where the library's time is tight.
inline float FastDbToPower(float db) noexcept
{
    const float x = std::clamp(db * 0.33219281f, -126.0f, 126.0f);  // log2 of the power
    const float whole = std::floor(x);
    const float part = x - whole;
    const float mantissa = 1.0f + part * (0.6951786f + part * (0.2261018f + part * 0.0781793f));
    const std::int32_t bits = (static_cast<std::int32_t>(whole) + 127) << 23;
    float scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return mantissa * scale;
}

inline float PowerToDb(float power) noexcept { return 10.0f * std::log10(power + 1e-14f); }

enum Descriptor : int {
    kRise,          // mean rise of the bands 100 Hz .. 8 kHz at the onset, dB
    kBroad,         // share of those bands that rose by about 10 dB
    kLowShare,      // share of the onset's new energy below 500 Hz
    kHighShare,     // share of the onset's new energy above 3 kHz
    kTopRise,       // mean rise of the bands above 5 kHz, dB
    kDrop2,         // fall of the new energy 20 ms after its peak, dB
    kDrop5,         // ... 50 ms after (or just before the next onset)
    kDrop12,        // ... 120 ms after
    kHighDrop2,     // fall of the new energy above 3 kHz 20 ms after its peak, dB
    kProminence,    // mean prominence of the strongest narrow peak while it sounds, dB
    kFlatness,      // mean spectral flatness over the first 40 ms
    kHarmonicity,   // mean harmonicity while it sounds
    kVoiced,        // share of the first 150 ms with a clear pitch of 100 Hz .. 1.5 kHz
    kSustain,       // share of the observation within 20 dB of the peak
    kHighSustain,   // share of the observation with the highs within 20 dB of their peak
    kShards,        // share of hops after the first 40 ms where the highs jump up again
    kHighLate,      // highs' peak over their level after 150 ms, dB
    kInnerOnsets,   // further onsets within the observation
    kGapBefore,     // log2 of the hops since the onset before this one
    kRecentOnsets,  // onsets in the 3 s before this one
    kOnsetDb,       // the waveform's 1 ms jump at the onset, dB
    kPitchFall,     // fall of the pitch from its highest to its last voiced hop, octaves
    kPitch,         // mean log2 pitch of the voiced hops (0 when none)
    kMidShare,      // share of the onset's new energy in 500 Hz .. 3 kHz
    kDropEnd,       // fall of the new energy from its peak to the observation's last 100 ms, dB
    kVoiceStart,    // share of the first 150 ms before its first hop of clear pitch (1 when none)
    kLowRise,       // mean rise of the bands 100 .. 500 Hz at the onset, dB
    kLateFlatness,  // mean spectral flatness of the sounding hops 40 .. 200 ms after the onset
    kAttack,        // hops from the onset until the new energy is within 3 dB of its first 100 ms' peak
    kPeakOverRef,   // the new energy's peak over the whole reference, dB
    kJumps,         // share of hops 40 ms .. 0.6 s after the onset whose waveform jumps again by 6 dB or more
    kReshape,       // mean spread over the risen high bands of their hop-to-hop change, dB
    kShapeDrift,    // change of the highs' spectral shape from the impact to 100-250 ms after, dB
    kOverRecent,    // the onset's loudest hop over the loudest onset of the 3 s before it, dB (+30: none)
    kVoiceOpened,   // 1 when the voice bands' rule alone opened the observation (see ImpulseEvents), else 0
    kCallHops,      // hops from the onset while the level stays within 10 dB of its first 150 ms' top
    kLineRise,      // rise of the strongest line's frequency from the call's start to its highest, octaves
    kLineRiseHops,  // hops from the call's start to that highest
    kLineHz,        // median frequency of the strongest line over the call, Hz (0 when none stands out)
    kPeerShare,     // share of the onsets of the 3 s before at most 3 dB under the onset's loudest hop, or louder
    kPartialsKept,  // mean of the front end's highPartialsKept over hops 160 ms .. 0.6 s after the onset
    kAlikeShare,    // share of the onsets of the 3 s before whose spectrum had the onset's shape (within 6 dB)
    kRingDb,        // how far the low body's strongest band strays from a straight-line decay, dB (30: no body)
    kRingTailDb,    // ... over the 7 hops after its peak hop, dB (30: no body)
    kModePurityDb,  // median over hops 1-5 of the strongest 180-700 Hz bin over the bins 3-5 away, dB (0: none)
    kDescriptorCount
};

class ImpulseEvents {
public:
    static constexpr int kObserveHops = 60;
    static constexpr int kSlots = 4;

    // With jumpFromHopBefore, the waveform's jump may also have come in the
    // hop before the bands' rise: the 1 ms block that jumps is timed to the
    // sample, while the 32 ms window sees a burst that starts late in a hop
    // only in the next one, and a faint burst (shards at 0 dB) lifts the
    // bands enough only once the window holds most of it.
    //
    // With highsDetail, the highs' further jumps, hop-to-hop spread and shape
    // (kJumps, kReshape, kShapeDrift, kPartialsKept) are measured; without, they read 0 and
    // cost nothing (only GlassBreak weighs them).
    //
    // With onsetContext, kOverRecent, kPeerShare and kAlikeShare are
    // measured: how far the onset stands above the onsets of the recent
    // past, how many of them it does not stand above, and how many had its
    // spectral shape. A shot is the loudest, most sudden thing around; a
    // drum hit is one of many alike; a clap amid applause is no louder than
    // most claps before it, and sounds like them. Without, they read 0 and
    // cost nothing (only GunShot's veto and the classes' "applause" weigh
    // them).
    //
    // With voiceBandsDb above 0, an observation is also opened where the
    // voice's bands (250 Hz .. 4 kHz, summed) stand voiceBandsDb or more over
    // their floor having stood under half that within the kRecent hops
    // before, with the waveform's jump as above and the all-band flux from
    // voiceFluxDb. Why: a bark over steady noise (white, pink, rain, traffic)
    // at equal level lifts the whole spectrum's flux by only 2-4 dB, under
    // the usual bound, while its own bands stand 7-17 dB over their floor.
    // Such an onset is not counted as one anywhere else (refractory time,
    // further onsets, onsets before, kOverRecent), so every other
    // observation reads as without the rule; it reads kVoiceOpened 1.
    ImpulseEvents(float minFluxDb, float minOnsetDb, bool jumpFromHopBefore = false, bool highsDetail = false,
                  bool onsetContext = false, float voiceBandsDb = 0.0f, float voiceFluxDb = 0.0f)
        : minFluxDb_(minFluxDb),
          minOnsetDb_(minOnsetDb),
          jumpFromHopBefore_(jumpFromHopBefore),
          highsDetail_(highsDetail),
          onsetContext_(onsetContext),
          voiceBandsDb_(voiceBandsDb),
          voiceFluxDb_(voiceFluxDb)
    {
        for (auto& row : recentDb_) {
            std::fill(row, row + kBandCount, kSilenceDb);
        }
        std::fill(onsetHops_, onsetHops_ + kOnsetMemory, kNever);
        std::fill(onsetLevels_, onsetLevels_ + kOnsetMemory, kSilenceDb);
    }

    // kSustain then counts only the hops that still sound (new energy at
    // least half the background's) when the onset came out of a steady
    // scene (at most maxRecentOnsets onsets in the 3 s before, none in the
    // 2^minGapBefore hops before: a scene that has just set in, a burst of
    // applause out of silence, has not settled into a swing), its new
    // energy fell minDrop12Db or more within 120 ms but not past
    // maxDrop12Db (gone altogether: the scene fell under the level it held
    // before the onset, so it was no steady swing) and its peak stood
    // minPeakOverRefDb or more over the background (else hardly a hop
    // sounds, however long the sound: a faint click). Why: over a steady
    // background near the sound's own level, the background's swing alone
    // stays within 20 dB of the faint peak and every hop counted, so a
    // bark read as held as a steady noise. A busy scene's swing holds
    // sounds of its own, and a held tone does not fall: both read as before.
    struct SoundingSustain {
        float maxRecentOnsets;
        float minGapBefore;  // log2 of hops, as kGapBefore
        float minDrop12Db;
        float maxDrop12Db;
        float minPeakOverRefDb;
    };
    void SetSoundingSustain(const SoundingSustain& bounds) noexcept
    {
        sounding_ = bounds;
        soundingOn_ = true;
    }

    // Feeds one hop. Returns true when an observation closed on this hop; its
    // descriptors are then in `out`.
    bool Update(const Features& f, float out[kDescriptorCount]) noexcept
    {
        const float jumpDb = jumpFromHopBefore_ ? std::max(f.onsetDb, jumpBeforeDb_) : f.onsetDb;
        jumpBeforeDb_ = f.onsetDb;
        const bool onset = f.fluxDb >= minFluxDb_ && jumpDb >= minOnsetDb_ &&
                           (lastOnset_ == kNever || f.hop >= lastOnset_ + kRefractoryHops);
        const bool voiceRise = voiceBandsDb_ > 0.0f && VoiceBandsRise(f);
        const bool voiceOnset = !onset && voiceRise && f.fluxDb >= voiceFluxDb_ && jumpDb >= minOnsetDb_ &&
                                (lastOnset_ == kNever || f.hop >= lastOnset_ + kRefractoryHops) &&
                                (lastVoiceOnset_ == kNever || f.hop >= lastVoiceOnset_ + kRefractoryHops);
        bool anyActive = onset || voiceOnset;
        for (const Slot& slot : slots_) {
            anyActive = anyActive || slot.active;
        }
        if (onsetContext_ && lastOnset_ != kNever && f.hop < lastOnset_ + kLoudestHops) {
            float& level = onsetLevels_[(onsetPos_ + kOnsetMemory - 1) % kOnsetMemory];
            level = std::max(level, f.levelDb);
        }
        bool closed = false;
        if (anyActive) {
            std::copy(f.bandPower, f.bandPower + kBandCount, power_);
            for (Slot& slot : slots_) {
                if (!slot.active) {
                    continue;
                }
                if (onset) {
                    ++slot.innerOnsets;
                    slot.firstInner = std::min(slot.firstInner, slot.hops);
                }
                Observe(slot, f);
                if (slot.hops == kObserveHops) {
                    Describe(slot, out);
                    closedStart_ = slot.startHop;
                    slot.active = false;
                    closed = true;
                }
            }
            if (onset) {
                Slot* chosen = FreeOrWeakerSlot(f.fluxDb);
                if (chosen != nullptr) {
                    Start(*chosen, f, jumpDb);
                    Observe(*chosen, f);
                }
                RememberOnset(f);
            }
            if (voiceOnset) {
                // Below every all-band onset's flux, so it never takes one's slot.
                Slot* chosen = FreeOrWeakerSlot(f.fluxDb);
                if (chosen != nullptr) {
                    Start(*chosen, f, jumpDb);
                    chosen->voiceOpened = true;
                    Observe(*chosen, f);
                }
                lastVoiceOnset_ = f.hop;
            }
        }
        std::copy(f.bandDb, f.bandDb + kBandCount, recentDb_[recentPos_]);
        recentPos_ = (recentPos_ + 1) % kRecent;
        return closed;
    }

    // The hop on which the observation that closed last had opened.
    std::uint64_t ClosedStart() const noexcept { return closedStart_; }

private:
    // The voice's bands over their floor reach voiceBandsDb_ on this hop,
    // having stood under half of it within the kRecent hops before. Keeps
    // the last kRecent hops' readings.
    bool VoiceBandsRise(const Features& f) noexcept
    {
        float power = 0.0f;
        float floor = 0.0f;
        for (int b = 0; b < f.bandCount; ++b) {
            if (f.bandHz[b] >= 250.0f && f.bandHz[b] <= 4000.0f) {
                power += f.bandPower[b];
                floor += f.floorPower[b];
            }
        }
        const float overDb = 10.0f * std::log10((power + 1e-20f) / (floor + 1e-20f));
        float lowest = overDb;
        for (float v : voiceOverDb_) {
            lowest = std::min(lowest, v);
        }
        voiceOverDb_[voicePos_] = overDb;
        voicePos_ = (voicePos_ + 1) % kRecent;
        return overDb >= voiceBandsDb_ && lowest < 0.5f * voiceBandsDb_;
    }

    static constexpr int kRecent = 6;           // hops before an onset that make its reference
    static constexpr int kOnsetMemory = 64;
    static constexpr int kRefractoryHops = 3;
    static constexpr std::uint64_t kNever = ~std::uint64_t{0};
    static constexpr int kVoicedHops = 15;
    static constexpr int kAttackHops = 10;
    static constexpr int kLateHops = 10;
    static constexpr float kStreamStartPower = 1e-12f;  // -120 dB: silence before the stream
    // An onset's level is its loudest hop among its first kLoudestHops (the
    // refractory time, so that the next onset's hops are never counted).
    static constexpr int kLoudestHops = kRefractoryHops;
    static constexpr float kNoneBeforeDb = 30.0f;  // kOverRecent when no onset came before
    static constexpr float kPeerDb = 3.0f;         // kPeerShare: how far under the onset a peer may lie
    static constexpr float kAlikeDb = 6.0f;        // kAlikeShare: RMS over the bands of two shapes' difference
    static constexpr float kSoundingShare = 0.5f;  // a hop sounds while its new energy is this share of its reference
    // kRingDb: the low body is read in the bands of kRingLowHz .. kRingHighHz
    // (a drum's head and shell; a kick's fundamental lies below, its
    // overtones within); its strongest band over hops 1..kRingHops must
    // carry kRingShare of their new energy and peak, within the first
    // kRingPeakHops, kRingOverDb over its reference; it is then followed
    // kRingHops from that peak.
    static constexpr float kRingLowHz = 100.0f;
    static constexpr float kRingHighHz = 700.0f;
    static constexpr int kRingBands = 8;
    static constexpr int kRingHops = 8;
    static constexpr int kRingPeakHops = 4;
    static constexpr float kRingShare = 0.3f;
    static constexpr float kRingOverDb = 12.0f;
    static constexpr float kNoRingDb = 30.0f;
    static constexpr int kModeHops = 5;
    static constexpr int kModeMinHops = 3;
    static constexpr float kModeOverDb = 12.0f;

    struct Slot {
        bool active = false;
        int hops = 0;
        int bands = 0;
        std::uint64_t startHop = 0;
        float hz[kBandCount] = {};
        float refPower[kBandCount] = {};
        float refDb[kBandCount] = {};
        float refTotal = 0.0f;
        float peakBandDb[kBandCount] = {};
        float excessDb[kObserveHops] = {};
        float highDb[kObserveHops] = {};
        float levelDb[kObserveHops] = {};
        float lineHz[kObserveHops] = {};  // the strongest narrow peak's frequency, 0 when it stands under 6 dB
        float modePurityDb[kModeHops] = {};  // the front end's lowPeakPurityDb where the bin stands out
        int modeHops = 0;
        float low = 0.0f;
        float mid = 0.0f;
        float high = 0.0f;
        int firstInner = kObserveHops;
        int innerOnsets = 0;
        float prominence = 0.0f;
        int prominenceHops = 0;
        float flatness = 0.0f;
        float harmonicity = 0.0f;
        int harmonicityHops = 0;
        int voiced = 0;
        float pitchSum = 0.0f;
        float pitchTop = 0.0f;
        float pitchLast = 0.0f;
        float gapBefore = 0.0f;
        float recentOnsets = 0.0f;
        float onsetDb = 0.0f;
        float fluxDb = 0.0f;  // the onset's flux, which an onset must beat to take this slot
        bool voiceOpened = false;  // opened by the voice bands' rule
        bool fromStart = false;  // opened in the stream's first hops, measured against silence
        float peakExcess = 0.0f;
        float earlyPower[kBandCount] = {};  // from the start: band powers summed over hops 0..3
        float latePower[kBandCount] = {};   //   and over the last kLateHops
        int voiceStart = kVoicedHops;
        float lateFlatness = 0.0f;
        int lateFlatnessHops = 0;
        int jumps = 0;
        float prevHighDb[kBandCount] = {};
        float reshape = 0.0f;
        int reshapeHops = 0;
        float partialsKept = 0.0f;
        int partialsKeptHops = 0;
        float earlyShape[kBandCount] = {};
        float laterShape[kBandCount] = {};
        float loudestDb = kSilenceDb;        // the loudest of the first kLoudestHops
        float recentLoudestDb = kSilenceDb;  // the loudest onset of the 3 s before (kSilenceDb: none)
        float recentLevels[kOnsetMemory] = {};  // the levels of the onsets of the 3 s before
        int alike = 0;                          // how many of them had the onset's shape (kAlikeDb)
        int ringFirst = 0;  // the first band of the low body, and how many
        int ringBands = 0;
        float ringPower[kRingPeakHops + kRingHops][kRingBands] = {};  // their new energy, hop by hop
    };

    // A free slot, or else the one opened by the weakest onset when this
    // onset is stronger (its flux): in a busy scene (speech, music) the
    // background's onsets keep every slot open, and must not keep a shot
    // among them from being observed. The evicted observation is dropped.
    Slot* FreeOrWeakerSlot(float fluxDb) noexcept
    {
        Slot* weakest = nullptr;
        for (Slot& slot : slots_) {
            if (!slot.active) {
                return &slot;
            }
            if (weakest == nullptr || slot.fluxDb < weakest->fluxDb) {
                weakest = &slot;
            }
        }
        return weakest != nullptr && weakest->fluxDb < fluxDb ? weakest : nullptr;
    }

    // The spectrum's shape on the onset's hop: each band's level less the
    // mean of them all, so that a nearer or farther clap reads alike.
    static void Shape(const Features& f, float shape[kBandCount]) noexcept
    {
        float mean = 0.0f;
        for (int b = 0; b < f.bandCount; ++b) {
            mean += f.bandDb[b];
        }
        mean /= static_cast<float>(std::max(f.bandCount, 1));
        for (int b = 0; b < kBandCount; ++b) {
            shape[b] = b < f.bandCount ? f.bandDb[b] - mean : 0.0f;
        }
    }

    void RememberOnset(const Features& f) noexcept
    {
        const std::uint64_t hop = f.hop;
        if (onsetContext_) {
            Shape(f, onsetShapes_[onsetPos_]);
        }
        onsetHops_[onsetPos_] = hop;
        onsetLevels_[onsetPos_] = f.levelDb;
        onsetPos_ = (onsetPos_ + 1) % kOnsetMemory;
        lastOnset_ = hop;
    }

    void Start(Slot& s, const Features& f, float jumpDb) noexcept
    {
        const float hopsPerRecent = static_cast<float>(kRecent);
        s = Slot{};
        s.active = true;
        s.bands = f.bandCount;
        s.startHop = f.hop;
        std::copy(f.bandHz, f.bandHz + kBandCount, s.hz);
        for (int b = 0; b < s.bands; ++b) {
            float sum = 0.0f;
            for (const auto& row : recentDb_) {
                sum += FastDbToPower(row[b]);
            }
            // An onset within the stream's first hops has no hops before it
            // to measure against, and the floor was primed from the sound
            // itself: it is measured against silence (a clip that starts on
            // a shot), and only its fall tells whether it comes and goes.
            s.fromStart = f.hop < static_cast<std::uint64_t>(kRecent);
            const float reference = s.fromStart ? kStreamStartPower : std::max(sum / hopsPerRecent, f.floorPower[b]);
            s.refPower[b] = reference;
            s.refDb[b] = PowerToDb(reference);
            s.refTotal += reference;
            s.peakBandDb[b] = kSilenceDb;
        }
        const std::uint64_t gap = lastOnset_ == kNever ? 1000 : std::min<std::uint64_t>(f.hop - lastOnset_, 1000);
        s.gapBefore = std::log2(static_cast<float>(gap));
        int recent = 0;
        float shape[kBandCount];
        if (onsetContext_) {
            Shape(f, shape);
        }
        for (int i = 0; i < kOnsetMemory; ++i) {
            const std::uint64_t hop = onsetHops_[i];
            if (hop != kNever && hop + 3 * kHopsPerSecond >= f.hop) {
                if (onsetContext_) {
                    float squares = 0.0f;
                    for (int b = 0; b < f.bandCount; ++b) {
                        squares += (shape[b] - onsetShapes_[i][b]) * (shape[b] - onsetShapes_[i][b]);
                    }
                    s.alike += squares <= kAlikeDb * kAlikeDb * static_cast<float>(f.bandCount) ? 1 : 0;
                }
                s.recentLevels[recent++] = onsetLevels_[i];
                s.recentLoudestDb = std::max(s.recentLoudestDb, onsetLevels_[i]);
            }
        }
        s.recentOnsets = static_cast<float>(recent);
        for (int b = 0; b < s.bands && s.hz[b] <= kRingHighHz; ++b) {
            if (s.hz[b] < kRingLowHz) {
                s.ringFirst = b + 1;
            } else if (s.ringBands < kRingBands) {
                ++s.ringBands;
            }
        }
        s.onsetDb = jumpDb;
        s.fluxDb = f.fluxDb;
    }

    void Observe(Slot& s, const Features& f) noexcept
    {
        const int k = s.hops;
        float excess = 0.0f;
        float low = 0.0f;
        float mid = 0.0f;
        float high = 0.0f;
        if (k < kLoudestHops) {
            s.loudestDb = std::max(s.loudestDb, f.levelDb);
        }
        for (int b = 0; b < s.bands; ++b) {
            if (k <= 3) {
                s.peakBandDb[b] = std::max(s.peakBandDb[b], f.bandDb[b]);
                s.earlyPower[b] += s.fromStart ? power_[b] : 0.0f;
            }
            if (s.fromStart && k >= kObserveHops - kLateHops) {
                s.latePower[b] += power_[b];
            }
            const float over = std::max(0.0f, power_[b] - s.refPower[b]);
            excess += over;
            if (s.hz[b] < 500.0f) {
                low += over;
            } else if (s.hz[b] < 3000.0f) {
                mid += over;
            } else {
                high += over;
            }
        }
        if (k < kRingPeakHops + kRingHops) {
            for (int i = 0; i < s.ringBands; ++i) {
                const int b = s.ringFirst + i;
                s.ringPower[k][i] = std::max(0.0f, power_[b] - s.refPower[b]);
            }
        }
        s.excessDb[k] = PowerToDb(excess);
        s.highDb[k] = PowerToDb(high);
        s.levelDb[k] = f.levelDb;
        s.lineHz[k] = f.peakProminenceDb >= 6.0f ? f.peakHz : 0.0f;
        if (k >= 1 && k <= kModeHops && f.lowPeakOverFloorDb >= kModeOverDb) {
            s.modePurityDb[s.modeHops++] = f.lowPeakPurityDb;
        }
        if (k <= 3) {
            s.low += low;
            s.mid += mid;
            s.high += high;
            s.flatness += f.flatness * 0.25f;
        }
        // Sounding: the new energy at least half the background's; against
        // silence, within 10 dB of its peak so far (what remains after is
        // the background the stream started in, not the sound).
        s.peakExcess = std::max(s.peakExcess, excess);
        const bool sounding = s.fromStart ? excess >= 0.1f * s.peakExcess : excess >= kSoundingShare * s.refTotal;
        if (k >= 2 && k <= 10 && sounding) {
            s.prominence += f.peakProminenceDb;
            ++s.prominenceHops;
        }
        if (highsDetail_) {
            ObserveHighs(s, f, k);
        }
        if (k >= 4 && k < 20 && sounding) {
            s.lateFlatness += f.flatness;
            ++s.lateFlatnessHops;
        }
        if (k < kVoicedHops && sounding) {
            s.harmonicity += f.harmonicity;
            ++s.harmonicityHops;
            if (f.harmonicity >= 0.45f && f.f0Hz >= 100.0f && f.f0Hz <= 1500.0f) {
                const float pitch = std::log2(f.f0Hz);
                s.voiceStart = std::min(s.voiceStart, k);
                ++s.voiced;
                s.pitchSum += pitch;
                s.pitchTop = std::max(s.pitchTop, pitch);
                s.pitchLast = pitch;
            }
        }
        ++s.hops;
    }

    // The highs after the onset: further jumps of the waveform, how many of
    // their fine peaks hold from hop to hop 100 ms apart, the spread across
    // the high bands of their hop-to-hop change, and their levels at the
    // impact and 100-250 ms later (for kShapeDrift).
    void ObserveHighs(Slot& s, const Features& f, int k) noexcept
    {
        if (k >= 4 && f.onsetDb >= 6.0f) {
            ++s.jumps;
        }
        // From the first hop whose 100 ms back lies past the impact.
        if (k >= 16) {
            s.partialsKept += f.highPartialsKept;
            ++s.partialsKeptHops;
        }
        if (k >= 30) {
            return;  // the bands are read over the first 0.3 s only
        }
        // Hop-to-hop change of the bands above 3 kHz that stand 6 dB over
        // the reference: its spread across the bands is small when they
        // all decay together (one ringing body) and large when separate
        // shards light different bands.
        float sum = 0.0f;
        float sum2 = 0.0f;
        int n = 0;
        for (int b = 0; b < s.bands; ++b) {
            if (s.hz[b] < 3000.0f) {
                continue;
            }
            const float db = f.bandDb[b];
            if (k >= 1 && k < 30 && db >= s.refDb[b] + 6.0f && s.prevHighDb[b] >= s.refDb[b] + 6.0f) {
                const float change = db - s.prevHighDb[b];
                sum += change;
                sum2 += change * change;
                ++n;
            }
            s.prevHighDb[b] = db;
            if (k <= 3) {  // kept in step with the divisors in Describe
                s.earlyShape[b] += db;
            } else if (k >= 10 && k < 25) {
                s.laterShape[b] += db;
            }
        }
        if (n >= 3) {
            const float mean = sum / static_cast<float>(n);
            s.reshape += std::sqrt(std::max(0.0f, sum2 / static_cast<float>(n) - mean * mean));
            ++s.reshapeHops;
        }
    }

    // The call as a whole: how long it holds its level, and the contour of
    // its strongest line (a harmonic near the voice's formant). The line is
    // followed by its hop-to-hop steps; a step of more than 0.15 octave is
    // the peak moving to another harmonic and is left out, so the contour
    // does not suffer the pitch tracker's octave errors.
    static void DescribeCall(const Slot& s, float out[kDescriptorCount]) noexcept
    {
        constexpr int kTopHops = 15;
        constexpr int kLongestCall = 50;
        float top = kSilenceDb;
        for (int k = 0; k < kTopHops; ++k) {
            top = std::max(top, s.levelDb[k]);
        }
        int call = 0;
        for (int k = 0; k < kLongestCall && k <= call + 1; ++k) {  // one quieter hop may interrupt it
            if (s.levelDb[k] >= top - 10.0f) {
                call = k + 1;
            }
        }
        float contour = 0.0f;
        float highest = 0.0f;
        int highestHop = 0;
        float previous = 0.0f;
        float lines[kLongestCall];
        int lineCount = 0;
        for (int k = 0; k < call; ++k) {
            const float hz = s.lineHz[k];
            if (hz <= 0.0f) {
                continue;
            }
            lines[lineCount++] = hz;
            if (previous > 0.0f) {
                const float step = std::log2(hz / previous);
                contour += std::fabs(step) < 0.15f ? step : 0.0f;
                if (contour > highest) {
                    highest = contour;
                    highestHop = k;
                }
            }
            previous = hz;
        }
        std::nth_element(lines, lines + lineCount / 2, lines + lineCount);
        out[kCallHops] = static_cast<float>(call);
        out[kLineRise] = highest;
        out[kLineRiseHops] = static_cast<float>(highestHop);
        out[kLineHz] = lineCount > 0 ? lines[lineCount / 2] : 0.0f;
    }

    // How the onset's low body dies away: a drum's head or a kick rings, a
    // mode whose level falls in a straight line (in dB) over the 80 ms after
    // its peak; a muzzle blast, a slam or a clap is noise, whose level in a
    // band this narrow (about 90 Hz) flickers hop to hop by a few dB as it
    // falls. The RMS distance of the strongest band from its fitted line;
    // kNoRingDb when no band carries a body that stands out and lasts.
    //
    // kRingTailDb reads the same band from the hop after its peak, leaving
    // out the pulse that set the mode going: a balloon's skin or a door's
    // thud is a few ms of noise over a short ring, and that hop stands off
    // the ring's line as a muzzle blast's flicker does.
    static void Ring(const Slot& s, float& ringDb, float& tailDb) noexcept
    {
        ringDb = kNoRingDb;
        tailDb = kNoRingDb;
        float total = 0.0f;
        float best = 0.0f;
        int band = -1;
        for (int i = 0; i < s.ringBands; ++i) {
            float sum = 0.0f;
            for (int k = 1; k <= kRingHops; ++k) {
                sum += s.ringPower[k][i];
            }
            total += sum;
            if (sum > best) {
                best = sum;
                band = i;
            }
        }
        if (band < 0 || best < kRingShare * total) {
            return;
        }
        int peak = 0;
        for (int k = 1; k < kRingPeakHops; ++k) {
            peak = s.ringPower[k][band] > s.ringPower[peak][band] ? k : peak;
        }
        const float peakPower = s.ringPower[peak][band];
        if (peakPower <= 0.0f || PowerToDb(peakPower) < s.refDb[s.ringFirst + band] + kRingOverDb) {
            return;
        }
        ringDb = LineDistance(s, band, peak, kRingHops);
        tailDb = LineDistance(s, band, peak + 1, kRingHops - 1);
    }

    // A balloon's skin rings as one sinusoid, a line as narrow as the window
    // allows, and in a room its echo is still that line; a blast's low end
    // is noise, whose strongest bin stands only a little over the bins
    // around it. The median over hops 1..kModeHops where a bin stands out
    // (a pistol's body is a broader mode and reads under a pop's skin);
    // 0 when fewer than kModeMinHops do.
    static float ModePurity(const Slot& s) noexcept
    {
        if (s.modeHops < kModeMinHops) {
            return 0.0f;
        }
        float v[kModeHops];
        for (int i = 0; i < s.modeHops; ++i) {  // insertion: at most kModeHops values
            int j = i;
            for (; j > 0 && v[j - 1] > s.modePurityDb[i]; --j) {
                v[j] = v[j - 1];
            }
            v[j] = s.modePurityDb[i];
        }
        const int mid = s.modeHops / 2;
        return s.modeHops % 2 == 1 ? v[mid] : 0.5f * (v[mid - 1] + v[mid]);
    }

    // The RMS distance of the band's level over hops from .. from + n - 1
    // from its fitted line; kNoRingDb when it is gone within them.
    static float LineDistance(const Slot& s, int band, int from, int n) noexcept
    {
        float y[kRingHops];
        float mean = 0.0f;
        for (int k = 0; k < n; ++k) {
            const float p = s.ringPower[from + k][band];
            if (p <= 0.0f) {
                return kNoRingDb;  // gone: no ring
            }
            y[k] = PowerToDb(p);
            mean += y[k] / static_cast<float>(n);
        }
        const float mid = 0.5f * static_cast<float>(n - 1);
        float sxy = 0.0f;
        float sxx = 0.0f;
        for (int k = 0; k < n; ++k) {
            sxy += (static_cast<float>(k) - mid) * (y[k] - mean);
            sxx += (static_cast<float>(k) - mid) * (static_cast<float>(k) - mid);
        }
        const float slope = sxy / sxx;
        float squares = 0.0f;
        for (int k = 0; k < n; ++k) {
            const float e = y[k] - (mean + slope * (static_cast<float>(k) - mid));
            squares += e * e;
        }
        return std::sqrt(squares / static_cast<float>(n));
    }

    void Describe(const Slot& s, float out[kDescriptorCount]) const noexcept
    {
        // An observation from the stream's start was measured against
        // silence; its onset's rise and the shares of its new energy are
        // read against what remains once it has passed (the background the
        // stream started in), as an onset later in the stream is read
        // against the hops before it.
        float refDb[kBandCount];
        float low = s.low;
        float mid = s.mid;
        float high = s.high;
        float refTotal = s.refTotal;
        if (s.fromStart) {
            low = mid = high = refTotal = 0.0f;
            for (int b = 0; b < s.bands; ++b) {
                const float background = s.latePower[b] / static_cast<float>(kLateHops);
                refDb[b] = PowerToDb(background);
                refTotal += background;
                const float over = std::max(0.0f, s.earlyPower[b] - 4.0f * background);
                (s.hz[b] < 500.0f ? low : s.hz[b] < 3000.0f ? mid : high) += over;
            }
        } else {
            std::copy(s.refDb, s.refDb + kBandCount, refDb);
        }
        int counted = 0;
        int topBands = 0;
        float rise = 0.0f;
        float broad = 0.0f;
        float top = 0.0f;
        int lowBands = 0;
        float lowRise = 0.0f;
        for (int b = 0; b < s.bands; ++b) {
            if (s.hz[b] < 100.0f || s.hz[b] > 8000.0f) {
                continue;
            }
            const float r = std::max(0.0f, s.peakBandDb[b] - refDb[b]);
            ++counted;
            rise += r;
            broad += Ramp(r, 3.0f, 10.0f);
            if (s.hz[b] >= 5000.0f) {
                top += r;
                ++topBands;
            }
            if (s.hz[b] < 500.0f) {
                lowRise += r;
                ++lowBands;
            }
        }
        const float n = static_cast<float>(std::max(counted, 1));
        out[kRise] = std::min(rise / n, 50.0f);
        out[kBroad] = broad / n;
        const float total = low + mid + high + 1e-14f;
        out[kLowShare] = low / total;
        out[kMidShare] = mid / total;
        out[kHighShare] = high / total;
        out[kTopRise] = topBands > 0 ? std::min(top / static_cast<float>(topBands), 50.0f) : 0.0f;

        int peak = 0;
        int highPeak = 0;
        for (int k = 1; k <= 3; ++k) {
            peak = s.excessDb[k] > s.excessDb[peak] ? k : peak;
            highPeak = s.highDb[k] > s.highDb[highPeak] ? k : highPeak;
        }
        // Falls are read before the next onset of a burst lifts the level again.
        const int last = std::max(peak + 1, s.firstInner - 1);
        auto drop = [&](const float* db, int from, int after) {
            return std::clamp(db[from] - db[std::min(from + after, last)], -20.0f, 40.0f);
        };
        out[kDrop2] = drop(s.excessDb, peak, 2);
        out[kDrop5] = drop(s.excessDb, peak, 5);
        out[kDrop12] = drop(s.excessDb, peak, 12);
        float endPower = 0.0f;
        for (int k = kObserveHops - 10; k < kObserveHops; ++k) {
            endPower += FastDbToPower(s.excessDb[k]);
        }
        out[kDropEnd] = std::clamp(s.excessDb[peak] - PowerToDb(endPower / 10.0f), -20.0f, 40.0f);
        out[kHighDrop2] = drop(s.highDb, highPeak, 2);

        out[kProminence] = s.prominenceHops > 0 ? s.prominence / static_cast<float>(s.prominenceHops) : 0.0f;
        out[kFlatness] = s.flatness;
        out[kHarmonicity] = s.harmonicityHops > 0 ? s.harmonicity / static_cast<float>(s.harmonicityHops) : 0.0f;
        out[kVoiced] = static_cast<float>(s.voiced) / static_cast<float>(kVoicedHops);

        const float soundingDb = PowerToDb(kSoundingShare * s.refTotal);
        int sustain = 0;
        int sounding = 0;
        int highSustain = 0;
        int shards = 0;
        float highAfter = kSilenceDb;
        for (int k = 0; k < kObserveHops; ++k) {
            sustain += s.excessDb[k] >= s.excessDb[peak] - 20.0f ? 1 : 0;
            sounding += s.excessDb[k] >= s.excessDb[peak] - 20.0f && s.excessDb[k] >= soundingDb ? 1 : 0;
            highSustain += s.highDb[k] >= s.highDb[highPeak] - 20.0f ? 1 : 0;
            if (k >= 4 && s.highDb[k] >= s.highDb[k - 1] + 2.0f && s.highDb[k] >= s.highDb[highPeak] - 25.0f) {
                ++shards;
            }
            if (k >= 15) {
                highAfter = std::max(highAfter, s.highDb[k]);
            }
        }
        out[kSustain] = static_cast<float>(sustain) / kObserveHops;
        out[kHighSustain] = static_cast<float>(highSustain) / kObserveHops;
        out[kShards] = static_cast<float>(shards) / static_cast<float>(kObserveHops - 4);
        out[kHighLate] = std::clamp(s.highDb[highPeak] - highAfter, -20.0f, 40.0f);
        out[kInnerOnsets] = static_cast<float>(s.innerOnsets);
        out[kGapBefore] = s.gapBefore;
        out[kRecentOnsets] = s.recentOnsets;
        out[kOnsetDb] = std::min(s.onsetDb, 50.0f);
        out[kPitchFall] = s.voiced > 0 ? s.pitchTop - s.pitchLast : 0.0f;
        out[kPitch] = s.voiced > 0 ? s.pitchSum / static_cast<float>(s.voiced) : 0.0f;
        out[kVoiceStart] = static_cast<float>(s.voiceStart) / static_cast<float>(kVoicedHops);
        out[kLowRise] = lowBands > 0 ? std::min(lowRise / static_cast<float>(lowBands), 50.0f) : 0.0f;
        out[kLateFlatness] =
            s.lateFlatnessHops > 0 ? s.lateFlatness / static_cast<float>(s.lateFlatnessHops) : 0.0f;
        float early = kSilenceDb;
        for (int k = 0; k < kAttackHops; ++k) {
            early = std::max(early, s.excessDb[k]);
        }
        int attack = 0;
        while (attack < kAttackHops - 1 && s.excessDb[attack] < early - 3.0f) {
            ++attack;
        }
        out[kAttack] = static_cast<float>(attack);
        out[kPeakOverRef] = std::clamp(early - PowerToDb(refTotal), 0.0f, 60.0f);
        if (soundingOn_ && !s.fromStart && s.recentOnsets <= sounding_.maxRecentOnsets &&
            s.gapBefore >= sounding_.minGapBefore && out[kDrop12] >= sounding_.minDrop12Db &&
            out[kDrop12] <= sounding_.maxDrop12Db && out[kPeakOverRef] >= sounding_.minPeakOverRefDb) {
            out[kSustain] = static_cast<float>(sounding) / kObserveHops;
        }
        // Against the onsets of the 3 s before; a stream that opens on the
        // sound has none, which is how most recorded shots begin.
        out[kOverRecent] = !onsetContext_                     ? 0.0f
                           : s.recentLoudestDb <= kSilenceDb ? kNoneBeforeDb
                                                             : std::clamp(s.loudestDb - s.recentLoudestDb,
                                                                          -kNoneBeforeDb, kNoneBeforeDb);
        int peers = 0;
        for (int i = 0; i < static_cast<int>(s.recentOnsets); ++i) {
            peers += s.recentLevels[i] >= s.loudestDb - kPeerDb ? 1 : 0;
        }
        out[kPeerShare] = onsetContext_ && s.recentOnsets > 0.0f ? static_cast<float>(peers) / s.recentOnsets : 0.0f;
        out[kAlikeShare] = s.recentOnsets > 0.0f ? static_cast<float>(s.alike) / s.recentOnsets : 0.0f;
        out[kVoiceOpened] = s.voiceOpened ? 1.0f : 0.0f;
        Ring(s, out[kRingDb], out[kRingTailDb]);
        out[kModePurityDb] = ModePurity(s);
        DescribeCall(s, out);
        if (!highsDetail_) {
            out[kJumps] = out[kReshape] = out[kShapeDrift] = out[kPartialsKept] = 0.0f;
            return;
        }
        out[kPartialsKept] = s.partialsKeptHops > 0 ? s.partialsKept / static_cast<float>(s.partialsKeptHops) : 0.0f;
        out[kJumps] = static_cast<float>(s.jumps) / static_cast<float>(kObserveHops - 4);
        out[kReshape] = s.reshapeHops > 0 ? s.reshape / static_cast<float>(s.reshapeHops) : 0.0f;
        // The highs' shape (each band's mean level minus that of all of them)
        // at the impact against 100-250 ms later: a ringing body keeps its
        // partials; shards that follow the impact sound in other bands.
        float diff[kBandCount];
        int highBands = 0;
        float meanDiff = 0.0f;
        for (int b = 0; b < s.bands; ++b) {
            if (s.hz[b] >= 3000.0f) {
                diff[highBands] = s.earlyShape[b] / 4.0f - s.laterShape[b] / 15.0f;
                meanDiff += diff[highBands];
                ++highBands;
            }
        }
        meanDiff /= static_cast<float>(std::max(highBands, 1));
        float spread = 0.0f;
        for (int i = 0; i < highBands; ++i) {
            spread += (diff[i] - meanDiff) * (diff[i] - meanDiff);
        }
        out[kShapeDrift] = highBands > 1 ? std::sqrt(spread / static_cast<float>(highBands)) : 0.0f;
    }

    const float minFluxDb_;
    const float minOnsetDb_;
    const bool jumpFromHopBefore_;
    const bool highsDetail_;
    const bool onsetContext_;
    bool soundingOn_ = false;
    SoundingSustain sounding_ = {};
    const float voiceBandsDb_;
    const float voiceFluxDb_;
    float voiceOverDb_[kRecent] = {};  // the voice bands over their floor in the last kRecent hops, dB
    int voicePos_ = 0;
    std::uint64_t lastVoiceOnset_ = kNever;
    float jumpBeforeDb_ = 0.0f;
    Slot slots_[kSlots];
    float power_[kBandCount] = {};
    float recentDb_[kRecent][kBandCount];
    int recentPos_ = 0;
    std::uint64_t onsetHops_[kOnsetMemory];
    float onsetLevels_[kOnsetMemory];  // each remembered onset's loudest hop (kLoudestHops), dBFS
    float onsetShapes_[kOnsetMemory][kBandCount] = {};  // and its spectrum's shape (Shape), with onsetContext
    int onsetPos_ = 0;
    std::uint64_t lastOnset_ = kNever;
    std::uint64_t closedStart_ = 0;
};

// A detector's reading of one observation: a sum of small decision trees
// over the descriptors (each tree two levels deep: one question, then one
// more on either side), fitted with a logistic loss on labelled generated
// material, so the sum is a log-odds. Trees catch what a single weight per
// measure cannot: a fall that is too slow and one that is too fast both
// speak against a gunshot. `scale` and `shift` then calibrate the log-odds
// (confidence = logistic(scale * sum + shift)), so that 0.5 means the same
// for every class.
class DescriptorTrees {
public:
    // Reads "trees" and "bias" (DepthTwoTrees), "scale" and "shift" from the
    // block. Throws std::runtime_error on a malformed tree.
    explicit DescriptorTrees(const nlohmann::json& block)
        : trees_(block),
          scale_(Parameter(block, "scale", 1.0f, 0.0f, 10.0f)),
          shift_(Parameter(block, "shift", 0.0f, -100.0f, 100.0f))
    {
    }

    float LogOdds(const float (&d)[kDescriptorCount]) const noexcept { return trees_.LogOdds(d); }

    // extraLogOdds: further trees' sum added before the scale and shift.
    float Confidence(const float (&d)[kDescriptorCount], float extraLogOdds = 0.0f) const noexcept
    {
        const float z = scale_ * (LogOdds(d) + extraLogOdds) + shift_;
        return 1.0f / (1.0f + std::exp(-std::clamp(z, -30.0f, 30.0f)));
    }

private:
    DepthTwoTrees<kDescriptorCount, 160> trees_;
    const float scale_;
    const float shift_;
};

// The bands centred 5 .. 8 kHz, where GunShot's rules read a shot's crack.
// Every wideband rate has them, so the same sound reads the same at 16 and
// 48 kHz (over the bands up to 12 kHz a 48 kHz stream's rise and share
// would be averaged with bands a muffled crack hardly reaches); a stream
// below 12 kHz has none.
inline bool IsCrackBand(float hz) noexcept { return hz >= 5000.0f && hz < 8000.0f; }

struct CrackBandsLevel {
    float meanDb = kSilenceDb;  // mean level of the crack bands this hop (kSilenceDb when there are none)
    int count = 0;              // how many bands of the stream are crack bands
};

inline CrackBandsLevel CrackBandsDb(const Features& f) noexcept
{
    CrackBandsLevel level;
    float sum = 0.0f;
    for (int b = 0; b < f.bandCount; ++b) {
        if (IsCrackBand(f.bandHz[b])) {
            sum += f.bandDb[b];
            ++level.count;
        }
    }
    if (level.count > 0) {
        level.meanDb = sum / static_cast<float>(level.count);
    }
    return level;
}

// The hop's power in the bands below 500 Hz (a blast's and a round's low
// part).
inline float LowBandPower(const Features& f) noexcept
{
    float low = 0.0f;
    for (int b = 0; b < f.bandCount; ++b) {
        low += f.bandHz[b] < 500.0f ? f.bandPower[b] : 0.0f;
    }
    return low;
}

#ifdef ZV_IMPULSIVE_TRACE
// The hop's share of power below 500 Hz, for the blast's and the train's
// per-hop trace lines.
inline float TraceLowShare(const Features& f) noexcept
{
    float allPower = 0.0f;
    for (int b = 0; b < f.bandCount; ++b) {
        allPower += f.bandPower[b];
    }
    return LowBandPower(f) / (allPower + 1e-20f);
}
#endif

// The confidence a rule reports while its own fade runs. A rule keeps one
// fade clock (`clock`, stepping down from `clockPeak`, the value it reached
// when it last fired); a firing that earned a higher confidence (`peak`)
// reports it at the clock's peak and falls with the clock onto the same
// course, so that the hop it drops under 0.5 is the clock's: the reports
// at 0.5 are those of the clock alone, only the confidence above it moves.
// With peak == clockPeak this returns clock exactly.
inline float FadeFromPeak(float clock, float clockPeak, float peak) noexcept
{
    if (clock < 0.5f || !(clockPeak > 0.5f) || peak <= clockPeak) {
        return clock;
    }
    return peak - (clockPeak - clock) * ((peak - 0.5f) / (clockPeak - 0.5f));
}

// A class block's "veto": trees fitted only on the observations the class's
// own trees already read as the class, telling it from the look-alikes that
// pass for it there (a drum kit's crash for glass, a kick and snare struck
// together for a shot). An observation whose veto log-odds is below 0 is
// ruled out in the class's Admits; the class's confidence is not touched
// otherwise. A block without "veto" vetoes nothing (the trees' sum alone
// would be the default bias, which vetoes everything); a "veto" that is not
// an object is a damaged data file and fails Init. Built at Init on the
// caller's thread, read-only afterwards.
class ObservationVeto {
public:
    ObservationVeto(const nlohmann::json& block, const char* name)
        : present_(block.contains("veto")), trees_(OptionalObject(block, "veto", name))
    {
    }

    bool RulesOut(const float d[kDescriptorCount]) const noexcept
    {
        if (!present_) {
            return false;
        }
        float descriptors[kDescriptorCount];
        std::copy(d, d + kDescriptorCount, descriptors);
        return trees_.LogOdds(descriptors) < 0.0f;
    }

private:
    const bool present_;
    const DepthTwoTrees<kDescriptorCount, 32> trees_;
};

// A class block's "applause" read on the onsets before: a clap amid
// applause is one of many alike, while a bark, a pane or a shot stands out
// of what came before and is like only the few of its own series. Two
// rules, each off without its share: no louder than most of many onsets
// before ("peersMinOnsets" onsets or more in the 3 s before, "minPeerShare"
// or more of them peers, kPeerShare), or sounding like most of many
// ("alikeMinOnsets", "minAlikeShare" of kAlikeShare). The detector must ask
// for the onset context while the block has "applause". Built at Init on
// the caller's thread, read-only afterwards.
class CrowdGate {
public:
    CrowdGate(const nlohmann::json& block, const char* name)
        : peersOn_(Crowd(block, name).contains("minPeerShare")),
          peersMinOnsets_(Parameter(Crowd(block, name), "peersMinOnsets", 11.0f, 0.0f, 300.0f)),
          minPeerShare_(Parameter(Crowd(block, name), "minPeerShare", 0.8f, 0.0f, 1.0f)),
          alikeOn_(Crowd(block, name).contains("minAlikeShare")),
          alikeMinOnsets_(Parameter(Crowd(block, name), "alikeMinOnsets", 11.0f, 0.0f, 300.0f)),
          minAlikeShare_(Parameter(Crowd(block, name), "minAlikeShare", 0.5f, 0.0f, 1.0f))
    {
    }

    bool RulesOut(const float d[kDescriptorCount]) const noexcept
    {
        return (peersOn_ && d[kRecentOnsets] >= peersMinOnsets_ && d[kPeerShare] >= minPeerShare_) ||
               (alikeOn_ && d[kRecentOnsets] >= alikeMinOnsets_ && d[kAlikeShare] >= minAlikeShare_);
    }

private:
    static const nlohmann::json& Crowd(const nlohmann::json& block, const char* name)
    {
        return OptionalObject(block, "applause", name);
    }

    const bool peersOn_;
    const float peersMinOnsets_;
    const float minPeerShare_;
    const bool alikeOn_;
    const float alikeMinOnsets_;
    const float minAlikeShare_;
};

// A class block's "voiceOnset": the voice bands' onset rule (ImpulseEvents;
// "minBandsDb", the bands' stand over their floor, and "minFluxDb", the
// all-band flux it still asks for) and trees ("trees", "bias") boosted on
// top of the class's own for the observations that rule alone opens. They
// were fitted on those observations only, so everything the all-band onsets
// open reads as without them. No "voiceOnset": the rule is off; one that is
// not an object is a damaged data file and fails Init. Built at Init on the
// caller's thread, read-only afterwards.
class VoiceOnsetBlock {
public:
    VoiceOnsetBlock(const nlohmann::json& block, const char* name)
        : minBandsDb_(Parameter(OptionalObject(block, "voiceOnset", name), "minBandsDb", 0.0f, 0.0f, 60.0f)),
          minFluxDb_(Parameter(OptionalObject(block, "voiceOnset", name), "minFluxDb", 0.0f, 0.0f, 60.0f)),
          trees_(OptionalObject(block, "voiceOnset", name))
    {
    }

    float MinBandsDb() const noexcept { return minBandsDb_; }
    float MinFluxDb() const noexcept { return minFluxDb_; }
    float LogOdds(const float (&d)[kDescriptorCount]) const noexcept { return trees_.LogOdds(d); }

private:
    const float minBandsDb_;
    const float minFluxDb_;
    const DepthTwoTrees<kDescriptorCount, 48> trees_;
};

// What the three impulsive detectors share: an ImpulseEvents, the class's
// trees from the data file, and a confidence that jumps to an observation's
// reading when it closes, holds a moment (so the frame that carries it and
// the decision see it) and then fades. A class rules an observation out
// beforehand (Admits) where one plain measure contradicts it whatever the
// trees would say; the trees are fitted on admitted observations only.
class ImpulseDetector : public Detector {
public:
    // highsDetail and onsetContext: see ImpulseEvents.
    ImpulseDetector(const nlohmann::json& block, const char* name, bool highsDetail = false, bool onsetContext = false)
        : voice_(block, name),
          events_(Parameter(block, "minFluxDb", 4.0f, 0.0f, 60.0f), Parameter(block, "minOnsetDb", 3.0f, 0.0f, 60.0f),
                  Parameter(block, "jumpFromHopBefore", 0.0f, 0.0f, 1.0f) > 0.5f, highsDetail, onsetContext,
                  voice_.MinBandsDb(), voice_.MinFluxDb()),
          trees_(block),
          beat_(block, name),
          holdHops_(static_cast<int>(Parameter(block, "holdHops", 20.0f, 0.0f, 200.0f))),
          name_(name)
    {
        // The block's "soundingSustain" (see ImpulseEvents); absent: off.
        if (block.contains("soundingSustain")) {
            const nlohmann::json& sounding = OptionalObject(block, "soundingSustain", name);
            const ImpulseEvents::SoundingSustain bounds{Parameter(sounding, "maxRecentOnsets", 2.0f, 0.0f, 300.0f),
                                                        Parameter(sounding, "minGapBefore", 5.0f, 0.0f, 20.0f),
                                                        Parameter(sounding, "minDrop12Db", 3.0f, -20.0f, 40.0f),
                                                        Parameter(sounding, "maxDrop12Db", 39.0f, -20.0f, 40.0f),
                                                        Parameter(sounding, "minPeakOverRefDb", 1.0f, 0.0f, 60.0f)};
            // Reversed drop bounds would switch the reading off without a word.
            if (bounds.minDrop12Db > bounds.maxDrop12Db) {
                throw std::runtime_error(std::string(name) + " soundingSustain: minDrop12Db above maxDrop12Db");
            }
            events_.SetSoundingSustain(bounds);
        }
    }

    float Update(const Features& f) noexcept override
    {
        float d[kDescriptorCount];
        beat_.Feed(f);
        if (events_.Update(f, d)) {
            const float reading = !Admits(d) || beat_.RulesOut(events_.ClosedStart(), f.hop) ? 0.0f
                                  : d[kVoiceOpened] > 0.0f ? trees_.Confidence(d, voice_.LogOdds(d))
                                                           : trees_.Confidence(d);
#ifdef ZV_IMPULSIVE_TRACE
            std::fprintf(stderr, "%s hop %llu conf %.3f", name_, static_cast<unsigned long long>(f.hop), reading);
            for (float v : d) {
                std::fprintf(stderr, " %.3f", v);
            }
            std::fprintf(stderr, "\n");
#endif
            if (reading >= confidence_) {
                confidence_ = reading;
                hold_ = holdHops_;
            }
        } else if (hold_ > 0) {
            --hold_;
        } else {
            confidence_ = std::max(0.0f, confidence_ - 0.05f);
        }
        return confidence_;
    }

protected:
    // Every impulsive class is a sound that comes and goes: within the
    // observation the new energy falls well below its peak. A background
    // that sets in (or a stream that starts mid-noise) does not.
    virtual bool Admits(const float d[kDescriptorCount]) const noexcept
    {
        return std::max({d[kDrop2], d[kDrop5], d[kDrop12], d[kDropEnd]}) >= 6.0f;
    }

private:
    const VoiceOnsetBlock voice_;
    ImpulseEvents events_;
    DescriptorTrees trees_;
    BeatGrid beat_;  // the class block's "beat": hits of a steady beat are ruled out
    const int holdHops_;
    [[maybe_unused]] const char* name_;  // names the class in a trace build
    float confidence_ = 0.0f;
    int hold_ = 0;
};

}  // namespace zvsdk
