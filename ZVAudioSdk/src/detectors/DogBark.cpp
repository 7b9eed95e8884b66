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
// has no pitch; a near clap in applause rings for a hop or two at its palms'
// resonance; a fox's call holds its level longer, with its strongest line
// high (a small voice's formant) and climbing into the call.
#include "Memory.h"
#include "detectors/ImpulseEvents.h"

namespace zvsdk {
namespace {

class DogBark final : public ImpulseDetector {
public:
    explicit DogBark(const nlohmann::json& block)
        : ImpulseDetector(block, "DogBark", false, /*onsetContext=*/block.contains("applause")),
          minHarmonicity_(Parameter(block, "minHarmonicity", 0.4f, 0.0f, 1.0f)),
          clapsOn_(block.contains("applause")),
          clapMinOnsets_(Parameter(Claps(block), "minRecentOnsets", 15.0f, 0.0f, 300.0f)),
          clapMaxVoiced_(Parameter(Claps(block), "maxVoiced", 0.3f, 0.0f, 1.0f)),
          clapMaxProminenceDb_(Parameter(Claps(block), "maxProminenceDb", 9.0f, 0.0f, 60.0f)),
          crowd_(block, "DogBark"),
          foxOn_(block.contains("fox")),
          foxMinHops_(Parameter(Fox(block), "minCallHops", 14.0f, 0.0f, 60.0f)),
          foxMaxHops_(Parameter(Fox(block), "maxCallHops", 40.0f, 0.0f, 60.0f)),
          foxMinRise_(Parameter(Fox(block), "minLineRise", 0.02f, 0.0f, 2.0f)),
          foxMinRiseHops_(Parameter(Fox(block), "minLineRiseHops", 2.0f, 0.0f, 60.0f)),
          foxMinLineHz_(Parameter(Fox(block), "minLineHz", 1200.0f, 0.0f, 8000.0f)),
          foxMaxLineHz_(Parameter(Fox(block), "maxLineHz", 3500.0f, 0.0f, 8000.0f)),
          foxMinProminenceDb_(Parameter(Fox(block), "minProminenceDb", 9.0f, 0.0f, 60.0f)),
          foxMinOverRefDb_(Parameter(Fox(block), "minPeakOverRefDb", 18.0f, 0.0f, 60.0f)),
          foxHeldOn_(Fox(block).contains("heldMaxDrop12Db")),
          foxHeldMaxDrop12Db_(Parameter(Fox(block), "heldMaxDrop12Db", 9.5f, -20.0f, 40.0f)),
          foxHeldMinOverRefDb_(Parameter(Fox(block), "heldMinPeakOverRefDb", 12.0f, 0.0f, 60.0f)),
          foxHeldMinProminenceDb_(Parameter(Fox(block), "heldMinProminenceDb", 8.3f, 0.0f, 60.0f))
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
        return ImpulseDetector::Admits(d) && d[kVoiced] > 0.0f && d[kHarmonicity] >= minHarmonicity_ &&
               !Clap(d) && !FoxCall(d);
    }

private:
    static const nlohmann::json& Claps(const nlohmann::json& block)
    {
        return OptionalObject(block, "applause", "DogBark");
    }

    // The block's "applause": a clap amid many. A near clap rings at its
    // palms' resonance, which the pitch tracker takes for a voice for a few
    // hops from the impact on (maxVoiced of the first 150 ms); that one
    // broad resonance stands lower over its neighbouring bins than the
    // narrow lines of a voice's harmonics (maxProminenceDb); and applause is
    // a stream of such impulses (minRecentOnsets in the 3 s before). A bark's
    // voicing lasts while its level holds, or its harmonics stand out, or it
    // comes out of a quieter scene. With "minPeerShare", also a clap that
    // is no louder than most of many onsets before it, and with
    // "minAlikeShare" one that sounds like most of them (CrowdGate): a dog's
    // volley rarely holds 11 barks in 3 s, and its first barks are heard
    // before the volley builds. No "applause": off.
    bool Clap(const float d[kDescriptorCount]) const noexcept
    {
        if (!clapsOn_) {
            return false;
        }
        const bool ringing = d[kRecentOnsets] >= clapMinOnsets_ && d[kVoiced] <= clapMaxVoiced_ &&
                             d[kProminence] <= clapMaxProminenceDb_;
        return ringing || crowd_.RulesOut(d);
    }

    static const nlohmann::json& Fox(const nlohmann::json& block)
    {
        return OptionalObject(block, "fox", "DogBark");
    }

    // The block's "fox": a loud, tonal call that holds within 10 dB of its
    // top for 140-400 ms (a bark's body dies sooner, or its background
    // holds the level for the whole observation), whose strongest line sits
    // at a small voice's formant (a large dog's lies lower, or its harsh
    // noise lifts it higher) and climbs after the start, with narrow
    // harmonics standing well out. A bark this long and loud is a large
    // dog's; a call this high and long is not. No "fox": off.
    //
    // The call's length is read on the whole level, which a background
    // nearer the call holds too; there the call must show on its new energy
    // (over the background): still within heldMaxDrop12Db of its peak
    // 120 ms on, where a bark's burst is spent by then. Such a call may
    // stand heldMinPeakOverRefDb over the background and its line a little
    // lower. Without "heldMaxDrop12Db" only the loud call is told.
    bool FoxCall(const float d[kDescriptorCount]) const noexcept
    {
        if (!foxOn_ || d[kCallHops] < foxMinHops_ || d[kCallHops] > foxMaxHops_ || d[kLineRise] < foxMinRise_ ||
            d[kLineRiseHops] < foxMinRiseHops_ || d[kLineHz] < foxMinLineHz_ || d[kLineHz] > foxMaxLineHz_) {
            return false;
        }
        const bool loud = d[kProminence] >= foxMinProminenceDb_ && d[kPeakOverRef] >= foxMinOverRefDb_;
        const bool held = foxHeldOn_ && d[kDrop12] <= foxHeldMaxDrop12Db_ &&
                          d[kProminence] >= foxHeldMinProminenceDb_ && d[kPeakOverRef] >= foxHeldMinOverRefDb_;
        return loud || held;
    }

    const float minHarmonicity_;
    const bool clapsOn_;
    const float clapMinOnsets_;
    const float clapMaxVoiced_;
    const float clapMaxProminenceDb_;
    const CrowdGate crowd_;
    const bool foxOn_;
    const float foxMinHops_;
    const float foxMaxHops_;
    const float foxMinRise_;
    const float foxMinRiseHops_;
    const float foxMinLineHz_;
    const float foxMaxLineHz_;
    const float foxMinProminenceDb_;
    const float foxMinOverRefDb_;
    const bool foxHeldOn_;
    const float foxHeldMaxDrop12Db_;
    const float foxHeldMinOverRefDb_;
    const float foxHeldMinProminenceDb_;
};

}  // namespace

Detector* MakeDogBark(std::uint32_t sampleRate, const nlohmann::json& block)
{
    return ZvNew<DogBark>(WidebandOnly(sampleRate, block, {"voiceOnset", "applause", "fox", "soundingSustain"}));
}

}  // namespace zvsdk
