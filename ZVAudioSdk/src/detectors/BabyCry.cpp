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
//
// A fourth gate against mechanical squeals and a band's notes together:
// how smoothly the pitch runs (SmoothPitch). A squeaking hinge is
// stick-slip friction: its period is set by the sliding speed and the
// parts' stiffness, so it glides the way the door swings, without any
// cycle-to-cycle irregularity; a played note holds still, and a band's
// melody and chords step between such notes. An infant's larynx is
// immature, its pitch jitters and wavers from one 30 ms to the next even
// where the melody's arc is flat, so only now and then do three of its
// hops lie on a straight line. The gate shuts as the share of such hops
// in the last half-second grows.
//
// The same cue once more over the whole second the evidence covers, against
// an adult's scream: one held vowel, a single long exhalation whose pitch
// arcs smoothly (an adult larynx jitters far less than an infant's). While
// the vowel lasts the half-second gate holds it down, but as soon as the
// voice stops the evidence shows a voiced stretch followed by a pause, which
// is what a cry's bout looks like; the second-long share still remembers how
// smoothly that stretch ran. Without its bounds in the data file this gate
// stays open.
//
// A sixth gate against a drum kit: what the pitch check reads as a voice in
// a kit is mostly a ride's or a crash's ringing partial at 1.2-2.5 kHz,
// taken down to a "fundamental" in the cry's range by the check's
// subharmonics, for seconds on end. A cry's period sits on its fundamental
// or a low harmonic on most voiced hops (on a tenth of them in the median
// above 1.2 kHz, where its formants lend a high harmonic the period); and
// where it does lock high, a clear cry's harmonics up to 4 kHz may still
// stand out of the floor as a comb (the bands are narrow enough there to
// part a cry's harmonics), which a cymbal's inharmonic partials do not do.
// The gate shuts as the share of voiced hops with a high period and no comb
// over the last second grows. Without its bounds in the data file, and
// below wideband rates, it stays open.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <stdexcept>

#include "Memory.h"
#include "detectors/Detector.h"
#include "detectors/VoiceMeasures.h"
#include "detectors/WindowCount.h"

namespace zvsdk {
namespace {

// The share, over the last window of hops, of voiced hops whose checked pitch
// lies on a straight line with the hops 30 and 60 ms before it (within
// kBendSemitones of the second difference), among the hops where all three
// are voiced and within a semitone of each other (an octave slip of the
// pitch check is folded away first, a step to another note leaves the hop
// out). Hops are 30 ms apart so that the front end's overlapping frames do
// not lend a voice their smoothness. A share over at least kMinLines hops,
// so that a few lucky hops of a noisy cry cannot make it large.
//
// Cost: a few additions and one log a voiced hop; no allocation.
class SmoothPitch {
public:
    // Over the last `windowHops` hops (1 .. WindowCount::kMaxHops).
    explicit SmoothPitch(std::uint32_t windowHops) noexcept : counted_(windowHops), straight_(windowHops)
    {
        std::fill(std::begin(pitches_), std::end(pitches_), kUnvoiced);
    }

    // Takes this hop's checked pitch (0 when not voiced); returns the share.
    float Update(float pitchHz) noexcept
    {
        const float now = pitchHz > 0.0f ? 12.0f * std::log2(pitchHz) : kUnvoiced;
        const float before = pitches_[(next_ + kPitches - kStep) % kPitches];
        const float earlier = pitches_[(next_ + kPitches - 2 * kStep) % kPitches];
        pitches_[next_] = now;
        next_ = (next_ + 1) % kPitches;

        bool line = false;  // three pitched points, none an octave's jump from the next
        bool straight = false;
        if (now != kUnvoiced && before != kUnvoiced && earlier != kUnvoiced) {
            const float rise = FoldOctaves(now - before);
            const float lastRise = FoldOctaves(before - earlier);
            if (std::fabs(rise) < 1.0f && std::fabs(lastRise) < 1.0f) {
                line = true;
                straight = std::fabs(rise - lastRise) < kBendSemitones;
            }
        }
        const int counted = counted_.Update(line);
        const int straightCount = straight_.Update(straight);
        return static_cast<float>(straightCount) / static_cast<float>(std::max(counted, kMinLines));
    }

private:
    static float FoldOctaves(float semitones) noexcept { return semitones - 12.0f * std::round(semitones / 12.0f); }

    static constexpr float kUnvoiced = -1000.0f;
    // An eighth of a semitone: above the front end's wobble on a steady or
    // evenly gliding tone, below most of a voice's hop-to-hop wavering.
    static constexpr float kBendSemitones = 0.12f;
    static constexpr std::uint32_t kStep = 3;  // 30 ms
    static constexpr std::uint32_t kPitches = 2 * kStep + 1;
    static constexpr int kMinLines = 10;
    float pitches_[kPitches];
    std::uint32_t next_ = 0;
    WindowCount counted_;
    WindowCount straight_;
};

// The share, over the last second, of voiced hops whose front-end period lies
// on a high partial (above kHighPartialHz) while the checked pitch's
// harmonics up to kCombTopHz stand out of their floor over the points
// half-way between them by less than kCombDb on average: a ringing partial
// without a voice's comb. A share over at least kMinVoiced hops: a cry as
// loud as its background is voiced on a dozen hops a second, its comb barely
// over the floor, and a share of so few would shut on it; a kit's cymbals
// keep the check voiced most of the second.
//
// Cost: a comparison a hop; a dozen band look-ups on voiced hops with a
// high period only; 100 bytes of ring.
class HollowPitch {
public:
    float Update(const Features& f, float pitchHz) noexcept
    {
        const bool voiced = pitchHz > 0.0f;
        const bool hollow = voiced && f.f0Hz > kHighPartialHz && CombDb(f, pitchHz) < kCombDb;
        const int voicedCount = voiced_.Update(voiced);
        const int hollowCount = hollow_.Update(hollow);
        return static_cast<float>(hollowCount) / static_cast<float>(std::max(voicedCount, kMinVoiced));
    }

private:
    // Mean of (harmonic's band - in-between band) over the floor, dB, over
    // the harmonics whose band differs from the in-between one.
    static float CombDb(const Features& f, float pitchHz) noexcept
    {
        const HarmonicComb comb = MeasureComb(f, pitchHz, kCombTopHz);
        return comb.parted > 0 ? comb.litDb / static_cast<float>(comb.parted) : 0.0f;
    }

    static constexpr float kHighPartialHz = 1200.0f;  // above a cry's fundamental, even in a pitch break
    static constexpr float kCombTopHz = 4000.0f;
    static constexpr float kCombDb = 4.0f;
    static constexpr int kMinVoiced = 30;
    WindowCount voiced_{WindowCount::kMaxHops};  // the last second
    WindowCount hollow_{WindowCount::kMaxHops};
};

// The fitted network lives in the data file only (217 numbers are no
// default worth repeating here); without it the class stays silent.
constexpr VoiceWeights kSilent = {{}, {0, 0, 0, 0, 0, 0, 0, 0, -10.0f}};
constexpr float kCentre = 0.0f;
constexpr float kSlope = 1.0f;

class BabyCry final : public Detector {
public:
    BabyCry(std::uint32_t sampleRate, const nlohmann::json& block)
        : score_(block, kSilent, kCentre, kSlope),
          noPresenceDb_(Parameter(block, "noPresenceDb", -10.0f, -20.0f, 20.0f)),
          fullPresenceDb_(Parameter(block, "fullPresenceDb", -3.0f, -20.0f, 20.0f)),
          openTiltDb_(Parameter(block, "openTiltDb", 18.0f, -30.0f, 30.0f)),
          closedTiltDb_(Parameter(block, "closedTiltDb", 24.0f, -30.0f, 31.0f)),
          openHeldShare_(Parameter(block, "openHeldShare", 0.35f, 0.0f, 1.0f)),
          closedHeldShare_(Parameter(block, "closedHeldShare", 0.55f, 0.0f, 1.01f)),
          openSmoothShare_(Parameter(block, "openSmoothShare", 0.5f, 0.0f, 1.0f)),
          closedSmoothShare_(Parameter(block, "closedSmoothShare", 0.7f, 0.0f, 1.01f)),
          openSecondSmoothShare_(Parameter(block, "openSecondSmoothShare", 1.0f, 0.0f, 1.0f)),
          closedSecondSmoothShare_(Parameter(block, "closedSecondSmoothShare", 1.01f, 0.0f, 1.01f)),
          openHollowShare_(Parameter(block, "openHollowShare", 1.0f, 0.0f, 1.0f)),
          closedHollowShare_(Parameter(block, "closedHollowShare", 1.01f, 0.0f, 1.01f)),
          // A narrowband stream's bands end at 4 kHz; not measured there.
          readsHollow_(sampleRate >= kNarrowbandRate && openHollowShare_ < 1.0f)
    {
        if (closedTiltDb_ <= openTiltDb_) {
            throw std::runtime_error("BabyCry: closedTiltDb must lie above openTiltDb");
        }
        if (closedHeldShare_ <= openHeldShare_) {
            throw std::runtime_error("BabyCry: closedHeldShare must lie above openHeldShare");
        }
        if (closedSmoothShare_ <= openSmoothShare_) {
            throw std::runtime_error("BabyCry: closedSmoothShare must lie above openSmoothShare");
        }
        if (closedSecondSmoothShare_ <= openSecondSmoothShare_) {
            throw std::runtime_error("BabyCry: closedSecondSmoothShare must lie above openSecondSmoothShare");
        }
        if (closedHollowShare_ <= openHollowShare_) {
            throw std::runtime_error("BabyCry: closedHollowShare must lie above openHollowShare");
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
        // And open up to openSmoothShare, closed from closedSmoothShare.
        const float smoothShare = smooth_.Update(evidence_.LastVoicePitch());
        const float unsteady = Ramp(-smoothShare, -closedSmoothShare_, -openSmoothShare_);
        // The same over the whole second the evidence covers, so that a held
        // vowel's smoothness still counts once the voice has stopped.
        const float secondShare = smoothSecond_.Update(evidence_.LastVoicePitch());
        const float unsteadySecond = Ramp(-secondShare, -closedSecondSmoothShare_, -openSecondSmoothShare_);
        // And open up to openHollowShare, closed from closedHollowShare.
        const float voicedKit =
            readsHollow_ ? Ramp(-hollow_.Update(f, evidence_.LastVoicePitch()), -closedHollowShare_, -openHollowShare_)
                         : 1.0f;
        return score_.Follow(score_.Weigh(voice) +
                             std::log(std::max(presence * tilt * notes * unsteady * unsteadySecond * voicedKit, 1e-4f)));
    }

private:
    // The voice measures of the last second and the tilt over the same
    // hops (EffortEvidence also checks the pitch on voiced hops, which the
    // tilt does not need; the cost is a few dozen band look-ups a hop).
    EffortEvidence evidence_{100};
    HeldPitch held_;
    SmoothPitch smooth_{50};          // half a second: a hinge's squeal, a band's notes
    SmoothPitch smoothSecond_{100};   // the evidence's second: a held vowel and the pause after it
    HollowPitch hollow_;              // a cymbal's partial taken for a voice
    VoiceScore score_;
    const float noPresenceDb_;
    const float fullPresenceDb_;
    const float openTiltDb_;
    const float closedTiltDb_;
    const float openHeldShare_;
    const float closedHeldShare_;
    const float openSmoothShare_;
    const float closedSmoothShare_;
    const float openSecondSmoothShare_;
    const float closedSecondSmoothShare_;
    const float openHollowShare_;
    const float closedHollowShare_;
    const bool readsHollow_;
};

}  // namespace

Detector* MakeBabyCry(std::uint32_t sampleRate, const nlohmann::json& block)
{
    return ZvNew<BabyCry>(sampleRate, block);
}

}  // namespace zvsdk
