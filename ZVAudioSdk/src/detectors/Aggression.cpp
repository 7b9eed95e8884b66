// Aggression: loud, strained human voicing (shouting, yelling, screaming).
//
// What sets it apart, in the voice measures of the last half second
// (VoiceMeasures.h; a shout can be over in well under a second): voiced most
// of the time in long runs, a raised fundamental, the foreground energy
// pushed into 1 .. 4 kHz and spread over many harmonics (a tone, a whistle or
// a siren lights a few bands only), rough (the pitch and level jitter), and
// loud over the background. Normal or raised talk stays lower and keeps its
// energy below 1 kHz, in short syllables; singing holds steady notes;
// laughter is short voiced bursts.
//
// Two stages. Plain gates on the odds first, each a smooth ramp with its
// bounds in the data file: a voice (many bands lit, overtones near the
// fundamental, the level wavering from hop to hop), effort (most of the
// foreground in 1 .. 4 kHz, little below 500 Hz) and not a cry (an infant's
// high formants put a cry's foreground into 2 .. 4 kHz; an adult's shout
// falls away above its first formant near 1 kHz). Then the fitted weights
// (a small network over the same evidence) decide among what the gates let
// through. The gates let the centre sit at fitted odds of about 2:1 rather
// than 9:1 without the tones, rings, crowds and cries that came through
// before. Last, held vocal effort over the last second (VoiceMeasures.h:
// EffortDb, from a pitch checked against the bands) adds to the odds; the
// fitted measures lean on the front end's pitch, which on a shout is often
// a harmonic off, and this one does not.
#include <algorithm>
#include <cmath>

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

class Aggression final : public Detector {
public:
    explicit Aggression(const nlohmann::json& block)
        : window_(static_cast<std::uint32_t>(Parameter(block, "windowHops", 50.0f, 30.0f, 100.0f)), true),
          score_(block, kSilent, kCentre, kSlope),
          noBreadth_(Parameter(block, "noBreadth", 0.45f, 0.0f, 1.0f)),
          fullBreadth_(Parameter(block, "fullBreadth", 0.65f, 0.0f, 1.0f)),
          noOvertonesDb_(Parameter(block, "noOvertonesDb", -6.0f, -30.0f, 30.0f)),
          fullOvertonesDb_(Parameter(block, "fullOvertonesDb", -1.0f, -30.0f, 30.0f)),
          topOvertonesDb_(Parameter(block, "topOvertonesDb", 18.0f, -30.0f, 30.0f)),
          tooHighOvertonesDb_(Parameter(block, "tooHighOvertonesDb", 22.0f, -30.0f, 30.0f)),
          noShimmer_(Parameter(block, "noShimmer", 0.02f, 0.0f, 1.0f)),
          fullShimmer_(Parameter(block, "fullShimmer", 0.05f, 0.0f, 1.0f)),
          noMidShare_(Parameter(block, "noMidShare", 0.35f, 0.0f, 1.0f)),
          fullMidShare_(Parameter(block, "fullMidShare", 0.5f, 0.0f, 1.0f)),
          fullBottomShare_(Parameter(block, "fullBottomShare", 0.15f, 0.0f, 1.0f)),
          noBottomShare_(Parameter(block, "noBottomShare", 0.25f, 0.0f, 1.0f)),
          fullPresenceDb_(Parameter(block, "fullPresenceDb", -4.0f, -20.0f, 20.0f)),
          noPresenceDb_(Parameter(block, "noPresenceDb", 0.0f, -20.0f, 20.0f)),
          lowEffortDb_(Parameter(block, "lowEffortDb", 6.0f, -30.0f, 40.0f)),
          highEffortDb_(Parameter(block, "highEffortDb", 14.0f, -30.0f, 40.0f)),
          effortWeight_(Parameter(block, "effortWeight", 2.0f, 0.0f, 10.0f)),
          shortEffortRunS_(Parameter(block, "shortEffortRunS", 0.2f, 0.0f, 2.0f)),
          longEffortRunS_(Parameter(block, "longEffortRunS", 0.4f, 0.0f, 2.0f))
    {
    }

    float Update(const Features& f) noexcept override
    {
        float evidence[kMeasureCount];
        window_.Update(f, evidence);
        const float overtonesDb = evidence[kOvertones] * 30.0f;
        // A voice: its harmonics light many bands between 0.5 and 5 kHz
        // and its overtones stand near the fundamental. A whistle, an
        // alarm, a siren or a horn lights a few bands with a weak or absent
        // series; a tone whose "overtones" stand far above the fundamental
        // is a tone whose pitch was found an octave or more low; and an
        // electronic tone, a ring or a piezo holds its level from hop to hop
        // where a voice wavers.
        const float voice = Ramp(evidence[kBreadth], noBreadth_, fullBreadth_) *
                            Ramp(overtonesDb, noOvertonesDb_, fullOvertonesDb_) *
                            (1.0f - Ramp(overtonesDb, topOvertonesDb_, tooHighOvertonesDb_)) *
                            Ramp(evidence[kShimmer], noShimmer_, fullShimmer_);
        // Effort: most of the foreground in 1 .. 4 kHz, little below
        // 500 Hz, where talk, singing and crowds keep much of theirs.
        const float effort = Ramp(evidence[kMidShare], noMidShare_, fullMidShare_) *
                             (1.0f - Ramp(evidence[kBottomShare], fullBottomShare_, noBottomShare_));
        // Not a cry. The two classes also compete in the decision, but a
        // cry's own detector takes a second to rise and the first moments
        // of a cry must not go to this one meanwhile.
        const float notCry = 1.0f - Ramp(evidence[kPresence] * 20.0f, fullPresenceDb_, noPresenceDb_);
        const float gate = voice * effort * notCry;
        // Effort over the last second, from the first harmonic found anew
        // (the front end's pitch of a shout is often a harmonic off): the
        // odds rise by up to effortWeight as the 1 .. 3 kHz harmonics climb
        // over the first one. The centre sits that much higher, so a voice
        // without the climb needs stronger other evidence than before. Only
        // held voicing earns it: a bark or a yap is bright and loud too, but
        // over in a fifth of a second; and an infant's cry climbs as well,
        // so what looks like a cry earns nothing.
        const float raised = effortWeight_ * Ramp(window_.Effort(), lowEffortDb_, highEffortDb_) *
                             Ramp(evidence[kRunLength], shortEffortRunS_, longEffortRunS_) * notCry;
        return score_.Follow(score_.Weigh(evidence) + std::log(std::max(gate, 1e-4f)) + raised);
    }

private:
    VoiceWindow window_;
    VoiceScore score_;
    const float noBreadth_;
    const float fullBreadth_;
    const float noOvertonesDb_;
    const float fullOvertonesDb_;
    const float topOvertonesDb_;
    const float tooHighOvertonesDb_;
    const float noShimmer_;
    const float fullShimmer_;
    const float noMidShare_;
    const float fullMidShare_;
    const float fullBottomShare_;
    const float noBottomShare_;
    const float fullPresenceDb_;
    const float noPresenceDb_;
    const float lowEffortDb_;
    const float highEffortDb_;
    const float effortWeight_;
    const float shortEffortRunS_;
    const float longEffortRunS_;
};

}  // namespace

Detector* MakeAggression(std::uint32_t, const nlohmann::json& block) { return ZvNew<Aggression>(block); }

}  // namespace zvsdk
