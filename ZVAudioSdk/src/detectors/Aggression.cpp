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
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Memory.h"
#include "detectors/Detector.h"
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

// A sum of depth-two trees over the evidence vector.
class EffortTrees {
public:
    static constexpr int kMaxTrees = 256;

    // Reads "trees" (arrays of ten numbers: measure, threshold of the root;
    // measure, threshold, low value, high value of its low side; the same of
    // its high side) and "bias". Throws std::runtime_error on a malformed
    // tree.
    explicit EffortTrees(const nlohmann::json& block) : bias_(Parameter(block, "bias", -10.0f, -100.0f, 100.0f))
    {
        const auto found = block.find("trees");
        if (found == block.end()) {
            return;
        }
        if (!found->is_array() || found->size() > static_cast<std::size_t>(kMaxTrees)) {
            throw std::runtime_error("Aggression trees: not an array of at most 256 trees");
        }
        for (const auto& tree : *found) {
            if (!tree.is_array() || tree.size() != 10) {
                throw std::runtime_error("Aggression trees: a tree is not ten numbers");
            }
            float v[10];
            for (std::size_t i = 0; i < 10; ++i) {
                if (!tree[i].is_number() || !std::isfinite(tree[i].get<double>())) {
                    throw std::runtime_error("Aggression trees: not a finite number");
                }
                v[i] = tree[i].get<float>();
            }
            for (const int i : {0, 2, 6}) {
                if (v[i] < 0.0f || v[i] >= static_cast<float>(kEffortMeasureCount) || v[i] != std::floor(v[i])) {
                    throw std::runtime_error("Aggression trees: no such measure");
                }
            }
            Tree& t = trees_[count_++];
            t.root = static_cast<std::uint8_t>(v[0]);
            t.rootAt = v[1];
            t.side[0] = Side{static_cast<std::uint8_t>(v[2]), v[3], {v[4], v[5]}};
            t.side[1] = Side{static_cast<std::uint8_t>(v[6]), v[7], {v[8], v[9]}};
        }
    }

    float LogOdds(const float (&evidence)[kEffortMeasureCount]) const noexcept
    {
        float z = bias_;
        for (int i = 0; i < count_; ++i) {
            const Tree& t = trees_[i];
            const Side& side = t.side[evidence[t.root] <= t.rootAt ? 0 : 1];
            z += side.value[evidence[side.measure] <= side.at ? 0 : 1];
        }
        return z;
    }

private:
    struct Side {
        std::uint8_t measure = 0;
        float at = 0.0f;
        float value[2] = {};
    };
    struct Tree {
        std::uint8_t root = 0;
        float rootAt = 0.0f;
        Side side[2];
    };

    const float bias_;
    Tree trees_[kMaxTrees];
    int count_ = 0;
};

class Aggression final : public Detector {
public:
    explicit Aggression(const nlohmann::json& block)
        : evidence_(static_cast<std::uint32_t>(Parameter(block, "windowHops", 50.0f, 30.0f, 100.0f))),
          trees_(block),
          score_(block, kUnused, kCentre, kSlope),
          minVoicedShare_(Parameter(block, "minVoicedShare", 0.25f, 0.0f, 1.0f)),
          noVoiceZ_(Parameter(block, "noVoiceZ", -3.0f, -20.0f, 0.0f))
    {
    }

    float Update(const Features& f) noexcept override
    {
        float evidence[kEffortMeasureCount];
        evidence_.Update(f, evidence);
        const bool voice = evidence[kVoicedShare] >= minVoicedShare_ && evidence[kHarmonicity] > 0.0f;
        return score_.Follow(voice ? std::max(trees_.LogOdds(evidence), noVoiceZ_) : noVoiceZ_);
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
};

}  // namespace

Detector* MakeAggression(std::uint32_t, const nlohmann::json& block) { return ZvNew<Aggression>(block); }

}  // namespace zvsdk
