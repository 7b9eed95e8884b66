// Aggression: loud, strained human voicing (shouting, yelling, screaming).
//
// What sets it apart, in the voice measures of the last half second
// (VoiceMeasures.h; a shout can be over in well under a second): voiced most of the time in long runs, a raised
// fundamental, the foreground energy pushed into 1 .. 4 kHz and spread over
// many harmonics (a tone, a whistle or a siren lights a few bands only),
// rough (the pitch and level jitter), and loud over the background. Normal
// or raised talk stays lower and keeps its energy below 1 kHz, in short
// syllables; singing holds steady notes; laughter is short voiced bursts.
// The weights are fitted on generated shouts, screams and their look-alikes;
// the centre is placed high (the fitted odds must reach 9:1), trading
// recall for the few false alarms an operator will put up with.
#include <algorithm>
#include <cmath>

#include "Memory.h"
#include "detectors/Detector.h"
#include "detectors/VoiceMeasures.h"

namespace zvsdk {
namespace {

// The fitted network lives in the data file only (161 numbers are no
// default worth repeating here); without it the class stays silent.
constexpr VoiceWeights kSilent = {{}, {0, 0, 0, 0, 0, 0, 0, 0, -10.0f}};
constexpr float kCentre = 0.0f;
constexpr float kSlope = 1.0f;

class Aggression final : public Detector {
public:
    explicit Aggression(const nlohmann::json& block)
        : window_(static_cast<std::uint32_t>(Parameter(block, "windowHops", 50.0f, 30.0f, 100.0f))),
          score_(block, kSilent, kCentre, kSlope),
          noBreadth_(Parameter(block, "noBreadth", 0.45f, 0.0f, 1.0f)),
          fullBreadth_(Parameter(block, "fullBreadth", 0.65f, 0.0f, 1.0f)),
          noOvertonesDb_(Parameter(block, "noOvertonesDb", -6.0f, -30.0f, 30.0f)),
          fullOvertonesDb_(Parameter(block, "fullOvertonesDb", -1.0f, -30.0f, 30.0f))
    {
    }

    float Update(const Features& f) noexcept override
    {
        float evidence[kMeasureCount];
        window_.Update(f, evidence);
        // A voice has formants: its harmonics light many bands between
        // 0.5 and 5 kHz and the overtones stand near the fundamental. A
        // whistle, an alarm, a siren or a horn lights a few bands with a
        // weak or absent series; those are turned away here whatever the
        // weights make of the rest, as a factor on the odds.
        const float voice = Ramp(evidence[kBreadth], noBreadth_, fullBreadth_) *
                            Ramp(evidence[kOvertones] * 30.0f, noOvertonesDb_, fullOvertonesDb_);
        return score_.Follow(score_.Weigh(evidence) + std::log(std::max(voice, 1e-4f)));
    }

private:
    VoiceWindow window_;
    VoiceScore score_;
    const float noBreadth_;
    const float fullBreadth_;
    const float noOvertonesDb_;
    const float fullOvertonesDb_;
};

}  // namespace

Detector* MakeAggression(std::uint32_t, const nlohmann::json& block) { return ZvNew<Aggression>(block); }

}  // namespace zvsdk
