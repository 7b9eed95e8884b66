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
#include "Memory.h"
#include "detectors/ImpulseEvents.h"

namespace zvsdk {
namespace {

class GunShot final : public ImpulseDetector {
public:
    explicit GunShot(const nlohmann::json& block) : ImpulseDetector(block, "GunShot") {}
};

}  // namespace

Detector* MakeGunShot(std::uint32_t, const nlohmann::json& block) { return ZvNew<GunShot>(block); }

}  // namespace zvsdk
