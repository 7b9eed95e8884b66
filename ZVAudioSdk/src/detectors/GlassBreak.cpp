// GlassBreak: a sharp impact followed at once by dense, irregular shards
// above 3 kHz that go on for a few hundred milliseconds and thin out.
//
// The measures are ImpulseEvents' descriptors of each onset's first 0.6 s;
// the class's trees in the data file weigh them: the share of new energy in
// the highs, how long the highs last and how often they jump up again (the
// shards), the breadth of the impact, ringing and voicing. A struck or rubbed
// glass, a chime or a till rings on one clean tone; a cymbal's wash is high
// and long but smooth; keys and cutlery clink without an impact; a gunshot's
// highs die with the blast.
//
// Its onsets are fainter than the other impulsive classes' (from 2 dB of
// band flux, the waveform's jump allowed a hop before it; see the block in
// the data file): a pane breaking at 0 dB over white noise or rain lifts the
// bands by less than 3 dB on average, and its impact's jump falls a hop
// before the window sees the shards. Every syllable of speech then opens an
// observation too; the trees were taught those.
//
// A crash cymbal in a drum kit passes all of that: one hit, bright, noisy
// and long, re-struck by the hi-hat. The class block's "veto" trees, fitted
// on the observations the trees above read as glass, rule those out: few
// further onsets in the observation, highs that fade together band by band
// (little spread of their hop-to-hop change) and keep the impact's spectral
// shape, a kick's low rise under the hit. Shards light different bands
// hop after hop and open onsets of their own. A crash that opens a phrase
// lands on the kit's beat, below its kicks and snares: the block's "beat"
// (BeatGrid) rules out an observation on a beat that has played for 2 s or
// more and that stands 2 dB or more below the beat's hits. A crash that
// opens a kit, before any beat, is told by its shimmer (the block's
// "shimmer"): its fine peaks in 3..8 kHz (the partials of one big plate)
// still stand where they stood 100 ms before, hop after hop, while a pane's
// highs are short shards ringing on new tones each time over noise whose
// peaks move too. Only where the observation holds few further onsets: a
// pane's shards open onsets of their own. A jingle of keys is told by what
// it lacks (the block's "jingle"): an onset that brings next to nothing below
// 3 kHz (no impact: a pane's click and thud reach down into the middle)
// whose highs change unevenly band by band (each clink rings on a line or
// two of its own, where dense shards over the crash's noise lift the bands
// together) is a clink, not a break. Shards later in a break read the same,
// but by then the impact has been heard. A clap amid applause is bright and
// sharp too, but its spectrum has the shape of most of the many claps
// before it, while a pane's impact is unlike the onsets of its background
// (a street's, a room's); the block's "applause" (CrowdGate) rules that
// out, and only then is the onsets' context kept.
#include "Memory.h"
#include "detectors/ImpulseEvents.h"

namespace zvsdk {
namespace {

class GlassBreak final : public ImpulseDetector {
public:
    explicit GlassBreak(const nlohmann::json& block)
        : ImpulseDetector(block, "GlassBreak", true, /*onsetContext=*/block.contains("applause")),
          minHighShare_(Parameter(block, "minHighShare", 0.3f, 0.0f, 1.0f)),
          minHighSustain_(Parameter(block, "minHighSustain", 0.35f, 0.0f, 1.0f)),
          maxProminenceDb_(Parameter(block, "maxProminenceDb", 24.0f, 0.0f, 100.0f)),
          maxHarmonicity_(Parameter(block, "maxHarmonicity", 0.85f, 0.0f, 1.0f)),
          minBroad_(Parameter(block, "minBroad", 0.2f, 0.0f, 1.0f)),
          minRiseDb_(Parameter(block, "minRiseDb", 3.0f, 0.0f, 50.0f)),
          veto_(block, "GlassBreak"),
          crowd_(block, "GlassBreak"),
          shimmer_(block.contains("shimmer")),
          minPartialsKept_(
              Parameter(OptionalObject(block, "shimmer", "GlassBreak"), "minPartialsKept", 0.5f, 0.0f, 1.0f)),
          maxShimmerOnsets_(
              Parameter(OptionalObject(block, "shimmer", "GlassBreak"), "maxInnerOnsets", 3.0f, 0.0f, 60.0f)),
          jingle_(block.contains("jingle")),
          maxJingleMidShare_(
              Parameter(OptionalObject(block, "jingle", "GlassBreak"), "maxMidShare", 0.03f, 0.0f, 1.0f)),
          minJingleReshape_(
              Parameter(OptionalObject(block, "jingle", "GlassBreak"), "minReshapeDb", 2.6f, 0.0f, 60.0f))
    {
    }

protected:
    // Breaking glass puts its new energy into the highs; an onset that
    // brings mostly lows or middle is something else, however it goes on.
    // Unlike the other impulsive classes it need not fall within the
    // observation: dense shards can keep the level up for a second or two.
    // Beyond that: the shards keep the highs up for a good part of the
    // observation (a clink or a jingle of keys dies within a few hops); they
    // are noise-like, not one clean ringing tone (prominence, harmonicity:
    // a struck glass, a chime, a spoon on a cup); and the break starts with an
    // impact that lifts a fair share of the bands (keys shaken in a pocket
    // do not). The bounds leave a margin to every break of the tune split.
    bool Admits(const float d[kDescriptorCount]) const noexcept override
    {
        return d[kHighShare] >= minHighShare_ && d[kHighSustain] >= minHighSustain_ &&
               d[kProminence] <= maxProminenceDb_ && d[kHarmonicity] <= maxHarmonicity_ && d[kBroad] >= minBroad_ &&
               d[kRise] >= minRiseDb_ && !veto_.RulesOut(d) && !Shimmers(d) && !Jingles(d) && !crowd_.RulesOut(d);
    }

public:
    bool ReadsHighPartials() const noexcept override { return shimmer_; }

private:
    bool Shimmers(const float d[kDescriptorCount]) const noexcept
    {
        return shimmer_ && d[kPartialsKept] >= minPartialsKept_ && d[kInnerOnsets] <= maxShimmerOnsets_;
    }

    bool Jingles(const float d[kDescriptorCount]) const noexcept
    {
        return jingle_ && d[kMidShare] <= maxJingleMidShare_ && d[kReshape] >= minJingleReshape_;
    }

    const float minHighShare_;
    const float minHighSustain_;
    const float maxProminenceDb_;
    const float maxHarmonicity_;
    const float minBroad_;
    const float minRiseDb_;
    const ObservationVeto veto_;
    const CrowdGate crowd_;  // the block's "applause": a clap like most of the many onsets before it
    const bool shimmer_;  // the block has "shimmer" (an 8 kHz stream never does)
    const float minPartialsKept_;
    const float maxShimmerOnsets_;
    const bool jingle_;  // the block has "jingle" (an 8 kHz stream never does)
    const float maxJingleMidShare_;
    const float minJingleReshape_;
};

}  // namespace

Detector* MakeGlassBreak(std::uint32_t sampleRate, const nlohmann::json& block)
{
    return ZvNew<GlassBreak>(WidebandOnly(sampleRate, block, {"veto", "beat", "shimmer", "jingle", "applause"}));
}

}  // namespace zvsdk
