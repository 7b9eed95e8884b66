// DogBark: a short (50 to 300 ms) explosive voiced burst with a fast
// attack, usually one of a series.
//
// The measures are ImpulseEvents' descriptors of each onset's first 0.6 s;
// the class's trees in the data file weigh them: the attack, how long it
// sounds, its voicing, pitch and the pitch's fall, the harsh noise riding on
// it (flatness, middle and high shares), and the onsets around it (a bark
// seldom comes alone; speech brings onsets every syllable, without the
// bark's silence between). A cough starts with a long noise burst before the
// voice; a sea lion's call lasts longer; a goose is nasal and steady; a knock
// has no pitch.
#include "Memory.h"
#include "detectors/ImpulseEvents.h"

namespace zvsdk {
namespace {

class DogBark final : public ImpulseDetector {
public:
    explicit DogBark(const nlohmann::json& block)
        : ImpulseDetector(block, "DogBark"), minHarmonicity_(Parameter(block, "minHarmonicity", 0.4f, 0.0f, 1.0f))
    {
    }

protected:
    // A bark is voiced: without a single hop of clear pitch in its first
    // 150 ms it is a knock, a clap or a thud, whatever else it shares; and
    // its body is pitched on average while it sounds (minHarmonicity), where
    // a cough, a clap or a footstep is a noise burst with at most a hop of
    // pitch. The bound sits below the tune split's barks, small dogs' noisy
    // ones included.
    bool Admits(const float d[kDescriptorCount]) const noexcept override
    {
        return ImpulseDetector::Admits(d) && d[kVoiced] > 0.0f && d[kHarmonicity] >= minHarmonicity_;
    }

private:
    const float minHarmonicity_;
};

}  // namespace

Detector* MakeDogBark(std::uint32_t sampleRate, const nlohmann::json& block)
{
    return ZvNew<DogBark>(WidebandOnly(sampleRate, block, {"voiceOnset"}));
}

}  // namespace zvsdk
