// GunShot: an instant broadband onset far above what came before, with the
// energy spread from a low boom to far above 4 kHz, noise rather than a ring
// or a voice, and a fast fall; a burst is a series of such onsets, each
// observed from its own start.
//
// The measures are ImpulseEvents' descriptors of each onset's first 0.6 s;
// the class's trees in the data file weigh them. They are fitted only on
// the descriptors a shot can show (rise, breadth, shares of low, middle and
// high energy, the first fall, ringing, flatness, voicing, the 1 ms jump,
// whether the highs die or go on crackling), not on the timing of onsets
// around it, so a shot is a shot in a quiet street or between others.
// Look-alikes and what tells them apart here: a clap or a knock is a band,
// not the whole spectrum; a door, a drop, thunder or far fireworks bring no
// highs; a hammer rings; breaking glass keeps crackling above 3 kHz; a voice
// has a pitch.
//
// A kick and a snare struck together in a drum kit, or a hand drum's slap,
// passes all of that: broad, sudden, noisy, short. What tells them apart is
// their surroundings: a shot is the loudest thing of the last seconds, a
// drum hit one of many alike. The class block's "veto" trees, fitted on the
// observations the trees above read as a shot, ask only that (kOverRecent,
// measured for this class alone): an onset some 3 dB or more below an onset
// of the 3 s before is ruled out. The later shots of a burst go with it;
// the burst is reported from its first. A veto on the shot's own acoustics
// (its falls) was tried and ruled out recorded shots, whose tails fall
// slowly in a room, so it reads none of them.
//
// A kit's hit may still stand over every hit before it (a phrase's first,
// an accent over the groove, a fill off the grid). What it has that a shot
// lacks is a body that rings: a snare's head, a tom or a kick's overtones
// are modes between 100 and 700 Hz whose level dies along a straight line,
// where a muzzle blast's low end is noise that flickers as it dies. The
// block's "ring" rules out an onset whose low body strays at most
// "maxRingDb" from that line (kRingDb). A shot echoing in a room stays noise.
// A balloon's pop or a door's thud rings a mode too, but for a short time, struck
// by a pulse of noise that stands off the line in the peak's hop: the
// block's "maxTailRingDb" reads the line from the hop after (kRingTailDb).
// In a room the echo lies over that short ring, but the skin's mode stays one
// narrow line under it: "minModePurityDb" rules out an onset whose strongest
// bin of 180-700 Hz stands that far over the bins around it (kModePurityDb).
//
// A door's latch, its click as the handle is pressed or the bolt snaps
// back, passes all of the above (sudden, broad, far above 5 kHz, short) and
// opens a door's sound as a shot opens a burst. Its click rings a piece of
// metal: a narrow peak stands far out of the spectrum while it sounds, and
// there is no low boom under it. A muzzle blast's crack is noise over a boom.
// The block's "latch" rules out an onset whose strongest narrow peak stands
// "minProminenceDb" or more out (kProminence) with at most "maxLowShare" of
// its new energy below 500 Hz.
//
// A kit's hit that is the loudest of its 3 s (the first of a phrase, a slap
// after softer strokes) passes the veto; the block's "beat" (BeatGrid, read
// by every impulsive detector) rules it out when it lands on a beat that has
// played for 2 s or more and stands at most 3 dB above that beat's hits. A
// shot rarely lands on a beat, and over music it stands far above the notes.
//
// Automatic fire passes neither the fall nor the veto: its rounds come
// before the level falls and stand no higher than the round before. The
// block's "train" (ShotTrain) hears it as a train of equal rounds instead,
// alongside the observations. A single heavy shot (a shotgun), whose low,
// long blast the trees do not read as a shot, is heard by the block's
// "blast" (ShotBlast). The detector reports the highest of the three.
#include "Memory.h"
#include "detectors/ImpulseEvents.h"
#include "detectors/ShotBlast.h"
#include "detectors/ShotTrain.h"

namespace zvsdk {
namespace {

class GunShot final : public ImpulseDetector {
public:
    explicit GunShot(const nlohmann::json& block)
        : ImpulseDetector(block, "GunShot", false, /*onsetContext=*/true),
          minBroad_(Parameter(block, "minBroad", 0.4f, 0.0f, 1.0f)),
          minRiseDb_(Parameter(block, "minRiseDb", 4.0f, 0.0f, 50.0f)),
          minTopRiseDb_(Parameter(block, "minTopRiseDb", 2.0f, 0.0f, 50.0f)),
          maxRingDb_(Parameter(OptionalObject(block, "ring", "GunShot"), "maxRingDb", -1.0f, -1.0f, 30.0f)),
          maxTailRingDb_(Parameter(OptionalObject(block, "ring", "GunShot"), "maxTailRingDb", -1.0f, -1.0f, 30.0f)),
          minModePurityDb_(Parameter(OptionalObject(block, "ring", "GunShot"), "minModePurityDb", -1.0f, -1.0f, 60.0f)),
          latchMinProminenceDb_(
              Parameter(OptionalObject(block, "latch", "GunShot"), "minProminenceDb", -1.0f, -1.0f, 60.0f)),
          latchMaxLowShare_(Parameter(OptionalObject(block, "latch", "GunShot"), "maxLowShare", 0.0f, 0.0f, 1.0f)),
          veto_(block, "GunShot"),
          train_(OptionalObject(block, "train", "GunShot")),
          blast_(OptionalObject(block, "blast", "GunShot"))
    {
    }

    float Update(const Features& f) noexcept override
    {
        const float observed = ImpulseDetector::Update(f);
        const float train = train_.Update(f);
        return std::max({observed, train, blast_.Update(f, std::max(observed, train))});
    }

protected:
    // A muzzle blast lifts the whole spectrum at once, up to its top: an
    // onset that lifts fewer than minBroad of the bands (a syllable, a single
    // knock), hardly rises over what came before, or leaves the bands above
    // 5 kHz where they were (an engine starting, a thud; a low-passed
    // recording still shows the blast there) is no shot whatever else it
    // shares. The bounds sit below every shot of the tune split, 0 dB
    // included. The top is read as a rise in dB rather than as a share of
    // the energy, since a close shot's boom can carry most of its energy.
    bool Admits(const float d[kDescriptorCount]) const noexcept override
    {
        return ImpulseDetector::Admits(d) && d[kBroad] >= minBroad_ && d[kRise] >= minRiseDb_ &&
               d[kTopRise] >= minTopRiseDb_ && d[kRingDb] > maxRingDb_ &&
               d[kRingTailDb] > maxTailRingDb_ && !(minModePurityDb_ >= 0.0f && d[kModePurityDb] >= minModePurityDb_) &&
               !Latch(d) && !veto_.RulesOut(d);
    }

private:
    bool Latch(const float d[kDescriptorCount]) const noexcept
    {
        return latchMinProminenceDb_ >= 0.0f && d[kProminence] >= latchMinProminenceDb_ &&
               d[kLowShare] <= latchMaxLowShare_;
    }

    const float minBroad_;
    const float minRiseDb_;
    const float minTopRiseDb_;
    const float maxRingDb_;      // -1 without "ring": nothing rules out
    const float maxTailRingDb_;  // -1 without it
    const float minModePurityDb_;  // -1 without it
    const float latchMinProminenceDb_;  // -1 without "latch": nothing rules out
    const float latchMaxLowShare_;
    const ObservationVeto veto_;
    ShotTrain train_;
    ShotBlast blast_;
};

}  // namespace

Detector* MakeGunShot(std::uint32_t sampleRate, const nlohmann::json& block)
{
    return ZvNew<GunShot>(WidebandOnly(sampleRate, block, {"veto", "train", "blast", "beat", "ring", "latch"}));
}

}  // namespace zvsdk
