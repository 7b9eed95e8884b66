// SmokeAlarm: the temporal-three cadence (three beeps of about 0.5 s with
// 0.5 s between them, then about 1.5 s of quiet, repeated) of either a loud
// narrow piezo tone at 2.8 to 3.5 kHz or a 520 Hz square wave.
//
// Per hop: is the alarm tone sounding? Runs of tone hops become beeps
// (dropouts of up to 30 ms bridged), kept only when their length and pitch
// fit. Three fitting beeps separated by fitting gaps, then a quiet longer
// than any gap, make one cycle; a fourth beep where the pause should be
// breaks the pattern (steady beeping, a four-beep carbon-monoxide alarm).
// A chirp of a low battery is one short beep and never starts a cycle.
//
// Confidence: the first cycle gives 0.5 to 0.99 by how clearly its beeps
// stood above the background; every further cycle in step adds to it. It
// holds through the pauses and fades once the beeping stops.
#include <algorithm>
#include <cmath>

#include "Memory.h"
#include "detectors/Detector.h"

namespace zvsdk {
namespace {

class SmokeAlarm final : public Detector {
public:
    explicit SmokeAlarm(const nlohmann::json& block)
        : piezoLowHz_(Parameter(block, "piezoLowHz", 2700.0f, 500.0f, 8000.0f)),
          piezoHighHz_(Parameter(block, "piezoHighHz", 3700.0f, 500.0f, 8000.0f)),
          squareLowHz_(Parameter(block, "squareLowHz", 490.0f, 100.0f, 2000.0f)),
          squareHighHz_(Parameter(block, "squareHighHz", 555.0f, 100.0f, 2000.0f)),
          minSquareHarmonicity_(Parameter(block, "minSquareHarmonicity", 0.6f, 0.0f, 1.0f)),
          minLevelOverFloorDb_(Parameter(block, "minLevelOverFloorDb", 6.0f, 0.0f, 60.0f)),
          clearLevelOverFloorDb_(Parameter(block, "clearLevelOverFloorDb", 15.0f, 0.0f, 80.0f)),
          minProminenceDb_(Parameter(block, "minProminenceDb", 12.0f, 0.0f, 60.0f)),
          minOverFloorDb_(Parameter(block, "minOverFloorDb", 10.0f, 0.0f, 60.0f)),
          clearOverFloorDb_(Parameter(block, "clearOverFloorDb", 25.0f, 0.0f, 80.0f)),
          echoDropDb_(Parameter(block, "echoDropDb", 12.0f, 0.0f, 60.0f)),
          gapToneHarmonicity_(Parameter(block, "gapToneHarmonicity", 0.7f, 0.0f, 1.0f)),
          gapToneOverFloorDb_(Parameter(block, "gapToneOverFloorDb", 10.0f, 0.0f, 80.0f)),
          gapToneBelowDb_(Parameter(block, "gapToneBelowDb", 10.0f, 0.0f, 80.0f)),
          beepMin_(Hops(Parameter(block, "beepMinS", 0.3f, 0.0f, 5.0f))),
          beepMax_(Hops(Parameter(block, "beepMaxS", 0.72f, 0.0f, 5.0f))),
          gapMin_(Hops(Parameter(block, "gapMinS", 0.3f, 0.0f, 5.0f))),
          gapMax_(Hops(Parameter(block, "gapMaxS", 0.72f, 0.0f, 5.0f))),
          pauseMin_(Hops(Parameter(block, "pauseMinS", 0.8f, 0.0f, 10.0f))),
          pauseMax_(Hops(Parameter(block, "pauseMaxS", 2.3f, 0.0f, 10.0f))),
          cycleGain_(Parameter(block, "cycleGain", 0.25f, 0.0f, 1.0f)),
          fadeAfter_(Hops(Parameter(block, "fadeAfterS", 1.0f, 0.0f, 60.0f))),
          fadePerSecond_(Parameter(block, "fadePerSecond", 2.0f, 0.0f, 10.0f))
    {
    }

    float Update(const Features& f) noexcept override
    {
        Tone heard;
        bool tone = IsAlarmTone(f, heard);
        const float pitch = heard.pitch;
        const float level = heard.levelDb;
        // Within a beep, and between the beeps of a group, only the same
        // tone counts: a note of music in the alarm's range neither fills a
        // gap nor breaks the group.
        const float reference = beepHops_ > 0 ? beepReference_ : (count_ > 0 ? groupPitch_ : 0.0f);
        if (tone && reference > 0.0f && std::fabs(pitch - reference) > 0.05f * reference) {
            tone = false;
        }
        // A room's echo of a beep is the same tone, fading: once it is well
        // below the beep it is quiet, so the beep keeps its length and the
        // gap stays a gap.
        const float loudest = beepHops_ > 0 ? beepLevelDb_ : (count_ > 0 ? groupLevelDb_ : kSilenceDb);
        if (tone && level < loudest - echoDropDb_) {
            tone = false;
        }
        if (tone) {
            if (beepHops_ == 0) {
                gapBefore_ = silence_;
                gapWasQuiet_ = QuietGap();
                beepPitchSum_ = 0.0f;
                beepPitchHops_ = 0;
                beepClarity_ = 0.0f;
                beepReference_ = pitch;
                beepLevelDb_ = level;
            }
            beepLevelDb_ = std::max(beepLevelDb_, level);
            beepHops_ += 1 + quietHops_;  // a bridged dropout belongs to the beep
            quietHops_ = 0;
            // Pitch and clarity from the steady part: the first hops of a
            // beep share their window with what came before.
            if (beepHops_ > kSettle) {
                beepPitchSum_ += pitch;
                ++beepPitchHops_;
                beepClarity_ += heard.clarity;
                beepReference_ = beepPitchSum_ / static_cast<float>(beepPitchHops_);
            }
        } else if (beepHops_ > 0) {
            if (++quietHops_ > kBridge) {
                BeepEnds();
            }
        } else {
            ++silence_;
            CountGapHop(f);
            if (silence_ >= pauseMin_ && QuietGap()) {
                brokenRun_ = false;
                if (count_ == 3 && !cycleCounted_) {
                    CycleComplete();
                }
            }
            if (silence_ > pauseMax_) {
                count_ = 0;
            }
        }
        ++hop_;

        if (hop_ - lastBeepHop_ > fadeAfter_) {
            confidence_ = std::max(0.0f, confidence_ - fadePerSecond_ / kHopsPerSecond);
            if (confidence_ == 0.0f) {
                cycles_ = 0;
            }
        }
        return confidence_;
    }

private:
    static constexpr std::uint32_t kBridge = 8;  // 80 ms: a word over a beep does not split it
    static constexpr std::uint32_t kSettle = 3;  // hops before a beep fills the window
    static constexpr std::uint32_t kBlip = 12;  // shorter tones are clicks or chirps, not beeps

    static std::uint32_t Hops(float seconds) { return static_cast<std::uint32_t>(seconds * kHopsPerSecond + 0.5f); }

    // What one hop says about an alarm tone: its pitch (the fundamental),
    // its level (for telling a beep from its echo) and how clearly it stands
    // above the background, 0..1.
    struct Tone {
        float pitch = 0.0f;
        float levelDb = kSilenceDb;
        float clarity = 0.0f;
    };

    // Whether the peak above 2 kHz is an overtone of a harmonic tone below
    // it (a siren's, a horn's), not a piezo of its own: the lower tone has a
    // real fundamental (its overtones are not far stronger than it) and the
    // peak sits on one of its multiples. A lone piezo's pitch estimate is a
    // subharmonic with nothing at it.
    static bool OvertoneOfLowerTone(const Features& f) noexcept
    {
        if (f.f0Hz < 200.0f || f.f0Hz > 2300.0f || f.harmonicity < 0.7f || f.harmonicsDb > 10.0f) {
            return false;
        }
        const float multiple = f.highPeakHz / f.f0Hz;
        return multiple >= 1.5f && std::fabs(multiple - std::round(multiple)) < 0.04f * multiple;
    }

    bool IsAlarmTone(const Features& f, Tone& tone) const noexcept
    {
        // The square wave first: periodic at its fundamental even when
        // another sound has the strongest peak (its fifth and seventh
        // partials would otherwise pass for a piezo). A broad sound: its
        // level is the hop's.
        if (f.f0Hz >= squareLowHz_ && f.f0Hz <= squareHighHz_ && f.harmonicity >= minSquareHarmonicity_ &&
            f.levelOverFloorDb >= minLevelOverFloorDb_) {
            tone.pitch = f.f0Hz;
            tone.levelDb = f.levelDb;
            tone.clarity = Ramp(f.levelOverFloorDb, minLevelOverFloorDb_, clearLevelOverFloorDb_);
            return true;
        }
        // The piezo tone: the strongest peak above 2 kHz, whatever a voice
        // does below.
        if (f.highPeakProminenceDb >= minProminenceDb_ && f.highPeakOverFloorDb >= minOverFloorDb_ &&
            f.highPeakHz >= piezoLowHz_ && f.highPeakHz <= piezoHighHz_ && !OvertoneOfLowerTone(f)) {
            tone.pitch = f.highPeakHz;
            tone.levelDb = f.highPeakLevelDb;
            tone.clarity = Ramp(f.highPeakOverFloorDb, minOverFloorDb_, clearOverFloorDb_);
            return true;
        }
        // The square wave again, when its strongest partial (the
        // fundamental or an odd overtone) is all that shows.
        if (f.peakProminenceDb < minProminenceDb_ || f.peakOverFloorDb < minOverFloorDb_) {
            return false;
        }
        for (float harmonic : {1.0f, 3.0f, 5.0f}) {
            const float fundamental = f.peakHz / harmonic;
            if (fundamental >= squareLowHz_ && fundamental <= squareHighHz_) {
                tone.pitch = fundamental;
                tone.levelDb = f.levelDb;
                tone.clarity = Ramp(f.levelOverFloorDb, minLevelOverFloorDb_, clearLevelOverFloorDb_);
                return true;
            }
        }
        return false;
    }

    // A gap or pause of the square-wave alarm is only one when no other
    // clear harmonic tone in a siren's range, nearly as loud as the beeps,
    // fills most of it: the high note
    // of a hi-lo siren between two low ones is no gap. A piezo's gaps need
    // no such care, nothing else sounds like it.
    void CountGapHop(const Features& f) noexcept
    {
        ++gapHops_;
        const bool otherTone = f.harmonicity >= gapToneHarmonicity_ && f.f0Hz >= 400.0f && f.f0Hz <= 2300.0f &&
                               std::fabs(f.f0Hz - groupPitch_) > 0.05f * groupPitch_ &&
                               f.peakOverFloorDb >= gapToneOverFloorDb_ && f.levelDb > groupLevelDb_ - gapToneBelowDb_;
        if (groupPitch_ < piezoLowHz_ && otherTone) {
            ++gapLoudHops_;
        }
    }

    bool QuietGap() const noexcept { return 2 * gapLoudHops_ <= gapHops_; }

    void BeepEnds() noexcept
    {
        const std::uint32_t length = beepHops_;
        const std::uint32_t quiet = quietHops_;
        beepHops_ = 0;
        quietHops_ = 0;
        if (length < kBlip) {
            // A click or a chirp: part of the quiet around it.
            silence_ = gapBefore_ + length + quiet;
            return;
        }
        const std::uint32_t gap = gapBefore_;
        const float pitch = beepPitchSum_ / static_cast<float>(std::max<std::uint32_t>(beepPitchHops_, 1));
        const float clarity = beepClarity_ / static_cast<float>(std::max<std::uint32_t>(beepPitchHops_, 1));
        silence_ = quiet;
        lastBeepHop_ = hop_;
        gapHops_ = 0;
        gapLoudHops_ = 0;
        const bool inRhythm = gap >= gapMin_ && gap <= gapMax_ && gapWasQuiet_;
        const bool samePitch = count_ > 0 && std::fabs(pitch - groupPitch_) < 0.05f * groupPitch_;
        if (length < beepMin_ || length > beepMax_) {
            count_ = 0;
            cycles_ = 0;
            return;
        }
        if (brokenRun_) {
            return;
        }
        if (count_ >= 1 && count_ <= 2 && inRhythm && samePitch) {
            ++count_;
            groupClarity_ = std::min(groupClarity_, clarity);
            groupLevelDb_ = std::max(groupLevelDb_, beepLevelDb_);
            cycleCounted_ = false;
            return;
        }
        if (count_ == 3 && inRhythm) {
            // A fourth beep in the rhythm: steady beeping, not the alarm,
            // until a pause.
            count_ = 0;
            cycles_ = 0;
            brokenRun_ = true;
            return;
        }
        const bool nextCycle = count_ == 3 && cycleCounted_ && samePitch && gap <= pauseMax_;
        if (!nextCycle) {
            cycles_ = 0;
        }
        count_ = 1;
        cycleCounted_ = false;
        groupPitch_ = pitch;
        groupClarity_ = clarity;
        groupLevelDb_ = beepLevelDb_;
    }

    void CycleComplete() noexcept
    {
        cycleCounted_ = true;
        ++cycles_;
        const float first = 0.5f + 0.49f * groupClarity_;
        confidence_ = std::min(1.0f, std::max(confidence_, first + cycleGain_ * static_cast<float>(cycles_ - 1)));
    }

    const float piezoLowHz_;
    const float piezoHighHz_;
    const float squareLowHz_;
    const float squareHighHz_;
    const float minSquareHarmonicity_;
    const float minLevelOverFloorDb_;
    const float clearLevelOverFloorDb_;
    const float minProminenceDb_;
    const float minOverFloorDb_;
    const float clearOverFloorDb_;
    const float echoDropDb_;
    const float gapToneHarmonicity_;
    const float gapToneOverFloorDb_;
    const float gapToneBelowDb_;
    const std::uint32_t beepMin_;
    const std::uint32_t beepMax_;
    const std::uint32_t gapMin_;
    const std::uint32_t gapMax_;
    const std::uint32_t pauseMin_;
    const std::uint32_t pauseMax_;
    const float cycleGain_;
    const std::uint32_t fadeAfter_;
    const float fadePerSecond_;

    std::uint64_t hop_ = 0;
    std::uint64_t lastBeepHop_ = 0;
    // The beep in progress.
    std::uint32_t beepHops_ = 0;
    std::uint32_t quietHops_ = 0;
    std::uint32_t beepPitchHops_ = 0;
    std::uint32_t gapBefore_ = 0;
    float beepPitchSum_ = 0.0f;
    float beepClarity_ = 0.0f;
    float beepReference_ = 0.0f;
    float beepLevelDb_ = kSilenceDb;
    // The group of beeps in step so far.
    std::uint32_t silence_ = 0;  // quiet hops since the last beep ended
    std::uint32_t count_ = 0;
    bool cycleCounted_ = false;
    bool brokenRun_ = false;
    float groupPitch_ = 0.0f;
    float groupClarity_ = 0.0f;
    float groupLevelDb_ = kSilenceDb;
    std::uint32_t gapHops_ = 0;
    std::uint32_t gapLoudHops_ = 0;
    bool gapWasQuiet_ = true;
    std::uint32_t cycles_ = 0;

    float confidence_ = 0.0f;
};

}  // namespace

Detector* MakeSmokeAlarm(std::uint32_t, const nlohmann::json& block) { return ZvNew<SmokeAlarm>(block); }

}  // namespace zvsdk
