// Aggression: loud, strained human voicing (shouting, yelling, screaming).
//
// What sets it apart is high vocal effort held for a few hundred ms, and the
// detector reads it from the voice measures of the last half second
// (VoiceMeasures.h: EffortEvidence): voiced most of the time, the foreground
// energy pushed from below 1 kHz into 1 .. 4 kHz (tilt, shares), the
// harmonics around 1 .. 3 kHz climbing over the first one (effort, from a
// pitch checked against the bands, since the front end's pitch of a shout is
// often a harmonic off), a raised fundamental, a rough voice (level and pitch
// jitter, a low crest where the voice clips) and loud over the background.
// Normal or raised talk, singing and crowds keep their energy below 1 kHz;
// laughter comes in short bursts; a cry puts its energy higher still, into
// 2 .. 4 kHz, in bouts; a tone, a whistle or a siren lights a few bands.
//
// No single measure parts these, and rules on one measure at a time either
// let look-alikes through or miss rough voices whose pitch is not found. So
// the measures are weighed by a sum of small decision trees (each one
// question and one more on either side) fitted with a logistic loss on
// generated shouts, screams, cries, sirens, barks and everyday sound, which
// makes the sum a log-odds. Trees catch what a weight per measure cannot: a
// tilt too low is talk, one too high is a whistle. Windows with too little
// voicing are not weighed at all: without a held voice there is nothing to
// call a shout, whatever the rest of the measures say.
//
// A shout as loud as a noisy background (white, pink or brown noise, rain,
// traffic) barely lifts the whole level over the floor, so its hops seldom
// pass as voiced and its windows are not weighed. A second window, where a
// hop counts as voiced also when only the 1 .. 4 kHz bands stand out
// (VoicedHop), is weighed by trees of its own ("voiceBands" in the block)
// wherever the first window is not voiced enough; those trees were fitted
// on that window's measures, and their log-odds are taken less a margin so
// that only a clearly shouted stretch gets through this way.
//
// A ring, a horn, a whistle or a rubbed glass can light the same bands with
// the same harmonics, but it holds its pitch: its frequency is set by a
// reed, a diaphragm, an oscillator or the glass, not by a muscle, where a
// shout's period jitters from cycle to cycle however loud it is. So where
// many of the last half second's voiced hops held their pitch (HeldPitch)
// the window is taken for no voice at all. The share is not held on: a band
// playing under a shout holds its notes before the shout begins, and a
// longer memory would silence the shout with it. A second share counts the
// hops whose pitch keeps returning to one value (HeldPitch's recurring
// form): beeps in a pattern, a horn that traffic breaks up; it shuts the
// window the same way, from a lower share, since a voice's pitch seldom
// comes back that close that often. Open up to openRecurringShare (0.3),
// shut from closedRecurringShare (0.45): from 0.2 / 0.35 a scream over
// music was lost.
//
// An electronic ring that warbles between two tones at 15 .. 25 Hz leaps in
// pitch every hop, so neither share sees it; its bands do: the bands under
// one tone rise as those under the other fall, at the trill rate
// (TrillMeter). A voice moves its energy between bands at syllable rate, and
// its jitter spreads the rest over every rate. Where the trill's share of
// that movement was high within the last 0.6 s the window is shut the same
// way, open up to openTrillShare, shut from closedTrillShare; without
// closedTrillShare in the block there is no such gate.
//
// A whistled tune is one partial, as pure in the bands as a pressed scream;
// its pitch's course parts them: the tune steps by whole tones and more
// between held notes that waver with vibrato, a shout glides through one arch
// per word. Where the front end's pitch stepped so within the last second
// (NoteSteps) the window is shut ("noteSteps" in the block; wideband only).
//
// A yell can also be clean: pressed, periodic voicing with no strain noise,
// which the main trees (fitted mostly on rough shouts) read as a tone. A
// third set of trees, fitted on clean yells and screams against the same
// look-alikes, is weighed beside them ("cleanVoice"; see the member).
//
// Over loud noise a yell's own trees rate its windows just under what their
// margin lets through. What parts such a yell from a bark, a meow or a yelp
// is how long it lasts, so inside a voiced stretch (VoicedStretch, over the
// voice-band test, bridging the gaps noise makes) that has lasted 0.4 s and
// rose out of an unvoiced second, the clean trees are read with a smaller
// margin ("voicedStretch" in the block). Out of a voiced background (babble,
// talk, music) every stretch looks long, so there the margin stays; over a
// quiet room ("minFloorDb") every long sound rises out of silence, and a
// yell there needs no help, so there too. A floor that still reads the
// zeros a recording woke from ("maxSilentFloorDb") says nothing of the
// room: the background came on with the voice, so it counts as masking.
//
// The clean trees learnt a clean yell's "no background" from digital
// silence: 40 dB over the floor and every band lit. A yell cut out of a
// recording with a faint hiss under it stands only 25 .. 35 dB over its
// floor with its weak upper bands under it, and they lose it; fitted with
// such yells among their material they lost yells over a background
// instead. So a fourth set of trees ("quietVoice"), fitted on yells and
// look-alikes cut out of silence and over faint floors, is read only where
// the tracked floor is faint (at most quietVoice.maxFloorDb), less a margin
// of its own, and the larger log-odds counts, as for the clean trees. A yell
// that opens the stream loud primes the floor from itself, well above the
// bound, and is mostly out of its reach.
//
// Over a background the clean trees rate most clean yells they miss at 1.5
// .. 2.2, so the margin, not the trees, loses them; the look-alikes the
// margin holds off (a fox, children playing, laughter, a hammer, a cheering
// crowd) reach the trees in broken, jumpy runs. A yell is one run, harmonic,
// its pitch gliding without leaps. Where the window is such a run
// ("cleanVoice.steady": harmonicity at least minHarmonicity, run starts and
// pitch jumps at most their bounds, overtones at least minOvertones, so that
// a whistle's one partial does not count), the clean trees are read with a
// margin of at most steady.margin. Without the key, as before.
//
// A siren's sweep, its two alternating tones, a cry and a goose's honk are
// such runs as well. A held yell stays near one pitch and one level, so the
// relief also asks for a pitch spread and a shimmer under their bounds, and
// for the 2 .. 4 kHz presence of a voice, not a cry's (maxPitchSpread,
// maxShimmer, maxPresence; each absent, no bound). A tone (a beep, a
// synthetic burst cut out of silence) holds its pitch exactly, where a voice
// jitters, so the spread has a floor too (minPitchSpread; absent, none).
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Memory.h"
#include "detectors/DepthTwoTrees.h"
#include "detectors/Detector.h"
#include "detectors/TrillMeter.h"
#include "detectors/VoiceMeasures.h"

namespace zvsdk {
namespace {

// VoiceScore's own network is not used here (the trees weigh); it only
// smooths and calibrates. The trees live in the data file only: without
// them the sum is the bias alone, far below the centre, and the class stays
// silent.
constexpr VoiceWeights kUnused = {{}, {}};
constexpr float kCentre = 1.3f;
constexpr float kSlope = 12.0f;

// The fitted trees over the evidence vector; room for 256.
using EffortTrees = DepthTwoTrees<kEffortMeasureCount, 256>;
// The faint-floor trees: a narrower task, a smaller budget.
using QuietTrees = DepthTwoTrees<kEffortMeasureCount, 128>;

const nlohmann::json& StepBlock(const nlohmann::json& block)
{
    return OptionalObject(block, "noteSteps", "Aggression");
}

const nlohmann::json& QuietBlock(const nlohmann::json& block)
{
    return OptionalObject(block, "quietVoice", "Aggression");
}

const nlohmann::json& StretchBlock(const nlohmann::json& block)
{
    return OptionalObject(block, "voicedStretch", "Aggression");
}

// One harmonic run without pitch leaps ("cleanVoice.steady"), near one pitch
// and one level, with a voice's presence and jitter: not a siren, a honk, a
// cry or a tone. Without the key, never.
class SteadyRun {
public:
    explicit SteadyRun(const nlohmann::json& cleanVoice)
        : enabled_(cleanVoice.contains("steady")),
          minHarmonicity_(Parameter(Block(cleanVoice), "minHarmonicity", 0.8f, 0.0f, 1.0f)),
          maxRunStarts_(Parameter(Block(cleanVoice), "maxRunStarts", 0.1f, 0.0f, 1.0f)),
          maxPitchJumps_(Parameter(Block(cleanVoice), "maxPitchJumps", 0.15f, 0.0f, 1.0f)),
          minOvertones_(Parameter(Block(cleanVoice), "minOvertones", -0.3f, -2.0f, 2.0f)),
          maxPitchSpread_(Parameter(Block(cleanVoice), "maxPitchSpread", 1e9f, 0.0f, 1e9f)),
          minPitchSpread_(Parameter(Block(cleanVoice), "minPitchSpread", 0.0f, 0.0f, 1e9f)),
          maxShimmer_(Parameter(Block(cleanVoice), "maxShimmer", 1e9f, 0.0f, 1e9f)),
          maxPresence_(Parameter(Block(cleanVoice), "maxPresence", 1.0f, -1.0f, 1.0f)),
          margin_(Parameter(Block(cleanVoice), "margin", 0.5f, 0.0f, 20.0f))
    {
    }

    // The clean trees' margin over this window: at most the steady run's.
    float Margin(const float* evidence, float margin) const noexcept
    {
        const bool steady =
            enabled_ && evidence[kHarmonicity] >= minHarmonicity_ && evidence[kRunStarts] <= maxRunStarts_ &&
            evidence[kPitchJumps] <= maxPitchJumps_ && evidence[kOvertones] >= minOvertones_ &&
            evidence[kPitchSpread] <= maxPitchSpread_ && evidence[kPitchSpread] >= minPitchSpread_ &&
            evidence[kShimmer] <= maxShimmer_ && evidence[kPresence] <= maxPresence_;
        return steady ? std::min(margin, margin_) : margin;
    }

private:
    static const nlohmann::json& Block(const nlohmann::json& cleanVoice)
    {
        return OptionalObject(cleanVoice, "steady", "Aggression");
    }

    const bool enabled_;
    const float minHarmonicity_;
    const float maxRunStarts_;
    const float maxPitchJumps_;
    const float minOvertones_;  // a whistle's one partial is no run
    const float maxPitchSpread_;
    const float minPitchSpread_;
    const float maxShimmer_;
    const float maxPresence_;
    const float margin_;
};

class Aggression final : public Detector {
public:
    explicit Aggression(const nlohmann::json& block)
        : evidence_(static_cast<std::uint32_t>(Parameter(block, "windowHops", 50.0f, 30.0f, 100.0f))),
          trees_(block),
          score_(block, kUnused, kCentre, kSlope),
          minVoicedShare_(Parameter(block, "minVoicedShare", 0.25f, 0.0f, 1.0f)),
          noVoiceZ_(Parameter(block, "noVoiceZ", -3.0f, -20.0f, 0.0f)),
          bandEvidence_(static_cast<std::uint32_t>(Parameter(block, "windowHops", 50.0f, 30.0f, 100.0f)), true),
          bandTrees_(OptionalObject(block, "voiceBands", "Aggression")),
          bandsWeighed_(OptionalObject(block, "voiceBands", "Aggression").contains("trees")),
          bandMinVoicedShare_(Parameter(OptionalObject(block, "voiceBands", "Aggression"), "minVoicedShare", 0.45f, 0.0f, 1.0f)),
          bandMargin_(Parameter(OptionalObject(block, "voiceBands", "Aggression"), "margin", 1.0f, 0.0f, 20.0f)),
          cleanTrees_(OptionalObject(block, "cleanVoice", "Aggression")),
          cleanWeighed_(OptionalObject(block, "cleanVoice", "Aggression").contains("trees")),
          cleanMargin_(Parameter(OptionalObject(block, "cleanVoice", "Aggression"), "margin", 1.0f, 0.0f, 20.0f)),
          steady_(OptionalObject(block, "cleanVoice", "Aggression")),
          quietTrees_(QuietBlock(block)),
          quietWeighed_(QuietBlock(block).contains("trees")),
          quietMargin_(Parameter(QuietBlock(block), "margin", 1.0f, 0.0f, 20.0f)),
          quietMaxFloorDb_(Parameter(QuietBlock(block), "maxFloorDb", -55.0f, -120.0f, 0.0f)),
          openHeldShare_(Parameter(block, "openHeldShare", 0.35f, 0.0f, 1.0f)),
          closedHeldShare_(Parameter(block, "closedHeldShare", 0.55f, 0.0f, 1.01f)),
          openRecurringShare_(Parameter(block, "openRecurringShare", 0.3f, 0.0f, 1.0f)),
          closedRecurringShare_(Parameter(block, "closedRecurringShare", 0.45f, 0.0f, 1.01f)),
          trillGated_(block.contains("closedTrillShare")),
          trill_(static_cast<std::uint32_t>(Parameter(block, "trillHoldBlocks", 6.0f, 0.0f, 20.0f)),
                 Parameter(block, "trillMinDb", 2.0f, 0.0f, 20.0f)),
          openTrillShare_(Parameter(block, "openTrillShare", 0.3f, 0.0f, 1.0f)),
          closedTrillShare_(Parameter(block, "closedTrillShare", 1.01f, 0.0f, 1.01f)),
          stretched_(block.contains("voicedStretch")),
          stretch_(static_cast<std::uint32_t>(Parameter(StretchBlock(block), "maxGapHops", 6.0f, 0.0f, 50.0f))),
          minStretch_(static_cast<std::uint32_t>(Parameter(StretchBlock(block), "minHops", 40.0f, 1.0f, 500.0f))),
          maxBeforeShare_(Parameter(StretchBlock(block), "maxBeforeShare", 0.2f, 0.0f, 1.0f)),
          stretchCleanMargin_(Parameter(StretchBlock(block), "cleanMargin", 0.5f, 0.0f, 20.0f)),
          minMaskingFloorDb_(Parameter(StretchBlock(block), "minFloorDb", -200.0f, -200.0f, 0.0f)),
          maxSilentFloorDb_(Parameter(StretchBlock(block), "maxSilentFloorDb", -300.0f, -300.0f, 0.0f)),
          stepGated_(block.contains("noteSteps")),
          steps_(static_cast<std::uint32_t>(Parameter(StepBlock(block), "windowHops", 100.0f, 1.0f, 100.0f)),
                 static_cast<std::uint32_t>(Parameter(StepBlock(block), "minHops", 15.0f, 1.0f, 50.0f)),
                 static_cast<std::uint32_t>(Parameter(StepBlock(block), "maxGapHops", 5.0f, 0.0f, 50.0f)),
                 Parameter(StepBlock(block), "minSemitones", 2.0f, 0.5f, 24.0f),
                 Parameter(StepBlock(block), "maxSemitones", 10.0f, 0.5f, 24.0f)),
          openSteps_(Parameter(StepBlock(block), "open", 0.0f, 0.0f, 20.0f)),
          closedSteps_(Parameter(StepBlock(block), "closed", 1.0f, 0.0f, 20.0f))
    {
        if (stepGated_ && closedSteps_ <= openSteps_) {
            throw std::runtime_error("Aggression: noteSteps.closed must lie above noteSteps.open");
        }
        if (closedHeldShare_ <= openHeldShare_) {
            throw std::runtime_error("Aggression: closedHeldShare must lie above openHeldShare");
        }
        if (closedRecurringShare_ <= openRecurringShare_) {
            throw std::runtime_error("Aggression: closedRecurringShare must lie above openRecurringShare");
        }
        if (trillGated_ && closedTrillShare_ <= openTrillShare_) {
            throw std::runtime_error("Aggression: closedTrillShare must lie above openTrillShare");
        }
    }

    float Update(const Features& f) noexcept override
    {
        float evidence[kEffortMeasureCount];
        evidence_.Update(f, evidence);
        const bool voice = evidence[kVoicedShare] >= minVoicedShare_ && evidence[kHarmonicity] > 0.0f;
        float z = voice ? std::max(trees_.LogOdds(evidence), noVoiceZ_) : noVoiceZ_;
        // Fed every hop, so a stretch is known when it is needed.
        const bool lasting = stretched_ && stretch_.Update(VoicedHop(f, true)) >= minStretch_ &&
                             stretch_.BeforeShare() <= maxBeforeShare_ &&
                             (f.floorLevelDb >= minMaskingFloorDb_ || f.floorLevelDb <= maxSilentFloorDb_);
        if (voice && cleanWeighed_) {
            const float margin = steady_.Margin(evidence, lasting ? stretchCleanMargin_ : cleanMargin_);
            z = std::max(z, cleanTrees_.LogOdds(evidence) - margin);
        }
        if (voice && quietWeighed_ && f.floorLevelDb <= quietMaxFloorDb_) {
            z = std::max(z, quietTrees_.LogOdds(evidence) - quietMargin_);
        }
        if (bandsWeighed_) {
            // Fed every hop, so its window is whole when it is needed.
            float bands[kEffortMeasureCount];
            bandEvidence_.Update(f, bands);
            if (!voice && bands[kVoicedShare] >= bandMinVoicedShare_ && bands[kHarmonicity] > 0.0f) {
                z = std::max(bandTrees_.LogOdds(bands) - bandMargin_, noVoiceZ_);
            }
        }
        // Open up to openHeldShare, shut from closedHeldShare (Ramp rises,
        // so on the negated share); shut, the hop counts as unvoiced.
        const float pitch = evidence_.LastVoicePitch();
        const float heldShare = held_.Update(pitch);
        const float recurringShare = recurring_.Update(pitch);
        float open = std::min(Ramp(-heldShare, -closedHeldShare_, -openHeldShare_),
                              Ramp(-recurringShare, -closedRecurringShare_, -openRecurringShare_));
        if (trillGated_) {
            open = std::min(open, Ramp(-trill_.Update(f), -closedTrillShare_, -openTrillShare_));
        }
        if (stepGated_) {
            open = std::min(open, Ramp(-static_cast<float>(steps_.Update(f.f0Hz)), -closedSteps_, -openSteps_));
        }
        z = std::max(z + std::log(std::max(open, 1e-4f)), noVoiceZ_);
        return score_.Follow(z);
    }

private:
    EffortEvidence evidence_;
    EffortTrees trees_;
    VoiceScore score_;
    const float minVoicedShare_;
    // What the smoothing takes for a hop without a held voice, and the
    // lowest it takes for any hop: low enough that silence between shouts
    // is no evidence for one, high enough that a shout of half a second
    // that follows silence still lifts the mean over the last half second.
    const float noVoiceZ_;
    // The voice-band window and its trees; without "voiceBands" trees in
    // the block it is not fed at all.
    EffortEvidence bandEvidence_;
    EffortTrees bandTrees_;
    const bool bandsWeighed_;
    const float bandMinVoicedShare_;
    const float bandMargin_;
    // Trees fitted on clean, periodic yells alone ("cleanVoice" in the
    // block), weighed on the same window beside the main trees: the main
    // trees, fitted mostly on rough shouts, take a clean voice for a tone.
    // The larger log-odds counts, the clean trees' less a margin, so that
    // what the main trees hear is never lost to them. Without their trees
    // the class behaves as before.
    EffortTrees cleanTrees_;
    const bool cleanWeighed_;
    const float cleanMargin_;
    const SteadyRun steady_;  // the clean trees' smaller margin over a steady run
    // Trees fitted on yells and look-alikes cut out of digital silence and
    // over faint floors ("quietVoice" in the block), read on the same window
    // only where the summed floor is at most maxFloorDb, less their margin.
    // Without their trees the class behaves as before.
    QuietTrees quietTrees_;
    const bool quietWeighed_;
    const float quietMargin_;
    const float quietMaxFloorDb_;
    // The share of held hops among the voiced ones (taken as at least 20)
    // of the last half second, as long as the evidence window, with no hold
    // beyond it. Among the voiced hops, because over traffic or rain the
    // pitch check finds a horn on only half of its hops.
    HeldPitch held_{50, 0, 20};
    const float openHeldShare_;
    const float closedHeldShare_;
    // The share of hops whose pitch lies within a tenth of a semitone of at
    // least 12 of the voiced hops 20 .. 300 ms back, over the same window.
    // Twelve of up to 29: six also took screams whose pitch lingers near
    // one value; fourteen let a band in a room through.
    HeldPitch recurring_{50, 0, 20, 12};
    const float openRecurringShare_;
    const float closedRecurringShare_;
    // How much of the bands' contrast warbles at a ring's trill rate
    // (TrillMeter), held over the burst's tail; shut from closedTrillShare.
    // Only with "closedTrillShare" in the block; without it the meter is
    // not fed.
    const bool trillGated_;
    TrillMeter trill_;
    const float openTrillShare_;
    const float closedTrillShare_;
    // The current voiced stretch; where it has lasted minStretch_ hops and
    // the second before it was voiced on at most maxBeforeShare_ of its
    // hops, the clean trees are read less stretchCleanMargin_ instead of
    // cleanMargin_. Without "voicedStretch" in the block it is not fed.
    const bool stretched_;
    VoicedStretch stretch_;
    const std::uint32_t minStretch_;
    const float maxBeforeShare_;
    const float stretchCleanMargin_;
    // Only where the background is loud enough to mask a voice: its
    // tracked floor, summed over the bands, at least this many dBFS. Over a
    // quiet room every long sound rises out of an unvoiced second, and
    // there the clean trees see a yell plainly and need no help.
    const float minMaskingFloorDb_;
    // Or where the floor still reads the digital silence a recording woke
    // from (at most this many dBFS): the background came on with the voice,
    // and the floor, rising slowly out of the zeros, cannot yet tell how
    // loud it is. Without the key, no such floor counts.
    const float maxSilentFloorDb_;
    // Steps between held notes of the front end's pitch (NoteSteps), which
    // follows a whistle's one partial hop by hop; open up to "open" steps
    // in the window, shut from "closed". Only with "noteSteps" in the block.
    const bool stepGated_;
    NoteSteps steps_;
    const float openSteps_;
    const float closedSteps_;
};

}  // namespace

// The clean-yell and faint-floor trees were fitted on wideband streams only: a stream below
// kNarrowbandRate reads them only from a "narrowband" sub-block of its own
// (at 8000 Hz they took a cry for a yell).
Detector* MakeAggression(std::uint32_t sampleRate, const nlohmann::json& block)
{
    return ZvNew<Aggression>(WidebandOnly(sampleRate, block, {"cleanVoice", "quietVoice", "noteSteps"}));
}

}  // namespace zvsdk
