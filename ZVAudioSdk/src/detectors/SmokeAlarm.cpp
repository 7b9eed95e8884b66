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
        : piezoLowHz_(Parameter(block, "piezoLowHz", 2600.0f, 500.0f, 8000.0f)),
          piezoHighHz_(Parameter(block, "piezoHighHz", 3700.0f, 500.0f, 8000.0f)),
          squareLowHz_(Parameter(block, "squareLowHz", 490.0f, 100.0f, 2000.0f)),
          squareHighHz_(Parameter(block, "squareHighHz", 555.0f, 100.0f, 2000.0f)),
          minProminenceDb_(Parameter(block, "minProminenceDb", 12.0f, 0.0f, 60.0f)),
          minOverFloorDb_(Parameter(block, "minOverFloorDb", 10.0f, 0.0f, 60.0f)),
          clearOverFloorDb_(Parameter(block, "clearOverFloorDb", 25.0f, 0.0f, 80.0f)),
          beepMin_(Hops(Parameter(block, "beepMinS", 0.3f, 0.0f, 5.0f))),
          beepMax_(Hops(Parameter(block, "beepMaxS", 0.72f, 0.0f, 5.0f))),
          gapMin_(Hops(Parameter(block, "gapMinS", 0.3f, 0.0f, 5.0f))),
          gapMax_(Hops(Parameter(block, "gapMaxS", 0.72f, 0.0f, 5.0f))),
          pauseMin_(Hops(Parameter(block, "pauseMinS", 0.9f, 0.0f, 10.0f))),
          pauseMax_(Hops(Parameter(block, "pauseMaxS", 2.3f, 0.0f, 10.0f))),
          cycleGain_(Parameter(block, "cycleGain", 0.25f, 0.0f, 1.0f)),
          fadeAfter_(Hops(Parameter(block, "fadeAfterS", 3.0f, 0.0f, 60.0f))),
          fadePerSecond_(Parameter(block, "fadePerSecond", 0.5f, 0.0f, 10.0f))
    {
    }

    float Update(const Features& f) noexcept override
    {
        float pitch = 0.0f;
        const bool tone = IsAlarmTone(f, pitch);
        if (tone) {
            if (beepHops_ == 0) {
                BeepStarts();
                beepPitchSum_ = 0.0f;
                beepClarity_ = 0.0f;
            }
            beepHops_ += 1 + quietHops_;  // a bridged dropout belongs to the beep
            quietHops_ = 0;
            beepPitchSum_ += pitch;
            ++beepPitchHops_;
            beepClarity_ += f.peakOverFloorDb;
        } else if (beepHops_ > 0 && ++quietHops_ > kBridge) {
            BeepEnds();
        } else if (beepHops_ == 0) {
            ++silence_;
            if (count_ == 3 && silence_ >= pauseMin_ && !cycleCounted_) {
                CycleComplete();
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
    static constexpr std::uint32_t kBridge = 3;

    static std::uint32_t Hops(float seconds) { return static_cast<std::uint32_t>(seconds * kHopsPerSecond + 0.5f); }

    bool IsAlarmTone(const Features& f, float& pitch) const noexcept
    {
        if (f.peakProminenceDb < minProminenceDb_ || f.peakOverFloorDb < minOverFloorDb_) {
            return false;
        }
        if (f.peakHz >= piezoLowHz_ && f.peakHz <= piezoHighHz_) {
            pitch = f.peakHz;
            return true;
        }
        // The square wave: its strongest partial may be the fundamental or
        // an odd overtone.
        for (float harmonic : {1.0f, 3.0f, 5.0f}) {
            const float fundamental = f.peakHz / harmonic;
            if (fundamental >= squareLowHz_ && fundamental <= squareHighHz_) {
                pitch = fundamental;
                return true;
            }
        }
        return false;
    }

    void BeepStarts() noexcept
    {
        // The quiet before this beep (silence_ counts only whole quiet hops
        // after the last beep ended).
        const std::uint32_t gap = silence_ + kBridge;
        if (count_ >= 1 && count_ <= 2 && gap >= gapMin_ && gap <= gapMax_) {
            pendingGapOk_ = true;
        } else if (count_ == 3 && gap >= gapMin_ && gap <= gapMax_) {
            // A fourth beep in the rhythm: steady beeping, not the alarm.
            pendingGapOk_ = false;
            count_ = 0;
            cycles_ = 0;
            broken_ = true;
        } else {
            pendingGapOk_ = false;
            if (!(count_ == 3 && cycleCounted_ && gap <= pauseMax_)) {
                cycles_ = 0;  // out of step: whatever came before was no cadence
            }
            count_ = 0;
        }
        silence_ = 0;
        beepPitchHops_ = 0;
    }

    void BeepEnds() noexcept
    {
        const std::uint32_t length = beepHops_;
        const float pitch = beepPitchSum_ / static_cast<float>(std::max<std::uint32_t>(beepPitchHops_, 1));
        const float clarity = beepClarity_ / static_cast<float>(std::max<std::uint32_t>(beepPitchHops_, 1));
        beepHops_ = 0;
        silence_ = 0;
        quietHops_ = 0;
        lastBeepHop_ = hop_;
        const bool fits = length >= beepMin_ && length <= beepMax_;
        const bool samePitch = count_ == 0 || std::fabs(pitch - groupPitch_) < 0.05f * groupPitch_;
        if (!fits || broken_) {
            count_ = 0;
            broken_ = false;
            return;
        }
        if (count_ == 0 || !pendingGapOk_ || !samePitch) {
            count_ = 1;
            groupPitch_ = pitch;
            groupClarity_ = clarity;
        } else {
            ++count_;
            groupClarity_ = std::min(groupClarity_, clarity);
        }
        cycleCounted_ = false;
    }

    void CycleComplete() noexcept
    {
        cycleCounted_ = true;
        ++cycles_;
        const float clear = Ramp(groupClarity_, minOverFloorDb_, clearOverFloorDb_);
        const float first = 0.5f + 0.49f * clear;
        confidence_ = std::min(1.0f, std::max(confidence_, first + cycleGain_ * static_cast<float>(cycles_ - 1)));
    }

    const float piezoLowHz_;
    const float piezoHighHz_;
    const float squareLowHz_;
    const float squareHighHz_;
    const float minProminenceDb_;
    const float minOverFloorDb_;
    const float clearOverFloorDb_;
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
    float beepPitchSum_ = 0.0f;
    float beepClarity_ = 0.0f;
    // The group of beeps in step so far.
    std::uint32_t silence_ = 0;  // whole quiet hops since the last beep ended
    std::uint32_t count_ = 0;
    bool pendingGapOk_ = false;
    bool cycleCounted_ = false;
    bool broken_ = false;
    float groupPitch_ = 0.0f;
    float groupClarity_ = 0.0f;
    std::uint32_t cycles_ = 0;

    float confidence_ = 0.0f;
};

}  // namespace

Detector* MakeSmokeAlarm(std::uint32_t, const nlohmann::json& block) { return ZvNew<SmokeAlarm>(block); }

}  // namespace zvsdk
