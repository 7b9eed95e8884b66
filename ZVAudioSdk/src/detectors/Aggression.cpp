// Aggression: loud, strained human voicing (shouting, yelling, screaming).
//
// What sets it apart, in the voice measures of the last second
// (VoiceMeasures.h): voiced most of the time in long runs, a raised
// fundamental, the foreground energy pushed into 1 .. 4 kHz and spread over
// many harmonics (a tone, a whistle or a siren lights a few bands only),
// rough (the pitch and level jitter), and loud over the background. Normal
// or raised talk stays lower and keeps its energy below 1 kHz, in short
// syllables; singing holds steady notes; laughter is short voiced bursts.
// The weights are fitted on generated shouts, screams and their look-alikes.
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
    explicit Aggression(const nlohmann::json& block) : score_(block, kSilent, kCentre, kSlope) {}

    float Update(const Features& f) noexcept override
    {
        float evidence[kMeasureCount];
        window_.Update(f, evidence);
        return score_.Follow(score_.Weigh(evidence));
    }

private:
    VoiceWindow window_;
    VoiceScore score_;
};

}  // namespace

Detector* MakeAggression(std::uint32_t, const nlohmann::json& block) { return ZvNew<Aggression>(block); }

}  // namespace zvsdk
