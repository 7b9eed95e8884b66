// BabyCry: an infant's cry: a high fundamental (about 300 to 600 Hz) with
// rich overtones, in bouts of half a second to a second and a half
// separated by inhalations, repeated, the pitch rising and falling and
// sometimes breaking upwards.
//
// What sets it apart, in the voice measures of the last second and the bouts
// of the last three (VoiceMeasures.h): long voiced runs with the pitch in the
// cry's range, strong overtones, repeated bouts with short pauses. A cat's
// meow comes once or twice with longer pauses, a gull's calls are short and
// higher, a hinge is one squeal without harmonic voice, a child's talk is
// short syllables at a lower pitch, a siren never pauses for breath. A
// scream shares the cry's pitch and rhythm; what is left to tell them apart
// is its harshness (clipped, energy above 4 kHz, pitch leaps), and the
// fitted weights lean on that as far as it goes.
//
// Two plain gates on the odds, whatever the weights make of the rest: an
// infant's short vocal tract puts its formants high, so a cry's foreground
// reaches well into 2 .. 4 kHz, where a shout (formants near 1 kHz) falls
// away; and a cry is still a voice, its first harmonics below 1 kHz strong,
// so its foreground in 1 .. 4 kHz stays within about 20 dB of what lies
// below 1 kHz (tilt). A squeaking hinge rings a few narrow resonances above
// 1 kHz over a weak fundamental and tilts 20 .. 30 dB.
//
// A third gate against music: a band's sustained notes can sit in the
// cry's pitch range with rich overtones, but each note holds its pitch
// where a cry's melody glides and jitters (HeldPitch); the gate shuts as
// the share of held hops (the most in a second over the last three)
// grows.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Memory.h"
#include "detectors/Detector.h"
#include "detectors/VoiceMeasures.h"

namespace zvsdk {
namespace {

// The fitted network lives in the data file only (217 numbers are no
// default worth repeating here); without it the class stays silent.
constexpr VoiceWeights kSilent = {{}, {0, 0, 0, 0, 0, 0, 0, 0, -10.0f}};
constexpr float kCentre = 0.0f;
constexpr float kSlope = 1.0f;

class BabyCry final : public Detector {
public:
    explicit BabyCry(const nlohmann::json& block)
        : score_(block, kSilent, kCentre, kSlope),
          noPresenceDb_(Parameter(block, "noPresenceDb", -10.0f, -20.0f, 20.0f)),
          fullPresenceDb_(Parameter(block, "fullPresenceDb", -3.0f, -20.0f, 20.0f)),
          openTiltDb_(Parameter(block, "openTiltDb", 18.0f, -30.0f, 30.0f)),
          closedTiltDb_(Parameter(block, "closedTiltDb", 24.0f, -30.0f, 31.0f)),
          openHeldShare_(Parameter(block, "openHeldShare", 0.35f, 0.0f, 1.0f)),
          closedHeldShare_(Parameter(block, "closedHeldShare", 0.55f, 0.0f, 1.01f))
    {
        if (closedTiltDb_ <= openTiltDb_) {
            throw std::runtime_error("BabyCry: closedTiltDb must lie above openTiltDb");
        }
        if (closedHeldShare_ <= openHeldShare_) {
            throw std::runtime_error("BabyCry: closedHeldShare must lie above openHeldShare");
        }
    }

    float Update(const Features& f) noexcept override
    {
        float evidence[kEffortMeasureCount];
        evidence_.Update(f, evidence);
        float voice[kMeasureCount];
        std::copy(evidence, evidence + kMeasureCount, voice);
        const float presence = Ramp(evidence[kPresence] * 20.0f, noPresenceDb_, fullPresenceDb_);
        // Open up to openTiltDb, closed from closedTiltDb (Ramp rises, so on
        // the negated tilt).
        const float tilt = Ramp(-evidence[kTilt] * 20.0f, -closedTiltDb_, -openTiltDb_);
        // Likewise open up to openHeldShare, closed from closedHeldShare.
        const float heldShare = held_.Update(evidence_.LastVoicePitch());
        const float notes = Ramp(-heldShare, -closedHeldShare_, -openHeldShare_);
        return score_.Follow(score_.Weigh(voice) + std::log(std::max(presence * tilt * notes, 1e-4f)));
    }

private:
    // The voice measures of the last second and the tilt over the same
    // hops (EffortEvidence also checks the pitch on voiced hops, which the
    // tilt does not need; the cost is a few dozen band look-ups a hop).
    EffortEvidence evidence_{100};
    HeldPitch held_;
    VoiceScore score_;
    const float noPresenceDb_;
    const float fullPresenceDb_;
    const float openTiltDb_;
    const float closedTiltDb_;
    const float openHeldShare_;
    const float closedHeldShare_;
};

}  // namespace

Detector* MakeBabyCry(std::uint32_t, const nlohmann::json& block) { return ZvNew<BabyCry>(block); }

}  // namespace zvsdk
