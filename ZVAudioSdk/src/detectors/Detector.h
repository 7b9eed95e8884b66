// What every class detector is: a short history of the front end's hops
// turned into one confidence in [0, 1]. One file per class under
// detectors/; the Classifier makes them at Init and feeds them every hop.
//
// Threads: a detector belongs to one Classifier and is called only from its
// handle's calls, which never overlap. Construction (at zvAudio_Init) may
// throw; Update never throws and allocates nothing: a detector's history is
// a fixed-size member.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "Features.h"

namespace zvsdk {

class Detector {
public:
    virtual ~Detector() = default;
    // Takes this hop's features (from the handle's own front end, hops in
    // order) and returns the confidence that the class is sounding now.
    virtual float Update(const Features& features) noexcept = 0;
    // Whether Update reads Features::highPartialsKept. Asked once, after
    // construction; when no detector of a stream reads it, the front end
    // does not measure it (it costs a pass over the highs' bins every hop).
    virtual bool ReadsHighPartials() const noexcept { return false; }
};

// Reads one numeric parameter of a detector's block in the data file: the
// default when absent, std::runtime_error when present but not a number in
// [low, high]. The data file holds the tuned values; the defaults are the
// same, so a block may stay short.
float Parameter(const nlohmann::json& block, const char* key, float fallback, float low, float high);

// The block of one class in the "detectors" object (an empty object when
// absent); std::runtime_error when it is present but not an object.
const nlohmann::json& DetectorBlock(const nlohmann::json& detectors, const char* className);

// A block's optional sub-object `key` (a veto, an onset rule, a second
// window): an empty object when absent, std::runtime_error naming
// `className` when present but not an object (a damaged data file).
const nlohmann::json& OptionalObject(const nlohmann::json& block, const char* key, const char* className);

// Each makes its class's detector in a libzv_memory block (give back with
// ZvDelete). `block` is that class's object from the data file.
Detector* MakeGlassBreak(std::uint32_t sampleRate, const nlohmann::json& block);
Detector* MakeSmokeAlarm(std::uint32_t sampleRate, const nlohmann::json& block);
Detector* MakeGunShot(std::uint32_t sampleRate, const nlohmann::json& block);
Detector* MakeAggression(std::uint32_t sampleRate, const nlohmann::json& block);
Detector* MakeBabyCry(std::uint32_t sampleRate, const nlohmann::json& block);
Detector* MakeSiren(std::uint32_t sampleRate, const nlohmann::json& block);
Detector* MakeDogBark(std::uint32_t sampleRate, const nlohmann::json& block);

// The class block a detector reads for a stream of `sampleRate`. A stream
// sampled below kNarrowbandRate has nothing above its Nyquist (4 kHz for the
// 8000 Hz streams many cameras send): a shot's rise above 5 kHz, most of
// glass's shards and the highs' share of a clap are not there, so the
// descriptors of the same sound differ and the class's trees and gate bounds
// fitted on wideband material do not hold. Such a stream reads the block's
// "narrowband" sub-block, its keys laid over the block's own (trees, bias,
// scale, shift and gate bounds measured within the band it has); a block
// without one, and every wider stream, read the block as it is. Called once
// per detector at Init, on the caller's thread; the copy is the detector's
// constructor argument only.
inline constexpr std::uint32_t kNarrowbandRate = 12000;

inline nlohmann::json BandBlock(std::uint32_t sampleRate, const nlohmann::json& block)
{
    const auto narrow = block.find("narrowband");
    if (sampleRate >= kNarrowbandRate || narrow == block.end()) {
        return block;
    }
    if (!narrow->is_object()) {
        throw std::runtime_error("detector block: narrowband is not an object");
    }
    nlohmann::json chosen = block;
    chosen.erase("narrowband");
    for (auto it = narrow->begin(); it != narrow->end(); ++it) {
        chosen[it.key()] = it.value();
    }
    return chosen;
}

// BandBlock without the sub-objects `keys` (a veto, an onset rule, a train
// rule) when a stream below kNarrowbandRate would read the wideband ones:
// those were fitted on wideband streams, whose highs are more than the 3-4
// kHz bands a narrowband stream has, so such a stream reads each only from
// its own "narrowband" sub-block.
inline nlohmann::json WidebandOnly(std::uint32_t sampleRate, const nlohmann::json& block,
                                   std::initializer_list<const char*> keys)
{
    nlohmann::json chosen = BandBlock(sampleRate, block);
    const auto narrow = block.find("narrowband");
    for (const char* key : keys) {
        if (sampleRate < kNarrowbandRate && (narrow == block.end() || !narrow->contains(key))) {
            chosen.erase(key);
        }
    }
    return chosen;
}

// Smoothstep from 0 at `low` to 1 at `high`: how detectors turn a measure
// into evidence without a hard edge.
inline float Ramp(float value, float low, float high) noexcept
{
    if (value <= low) {
        return 0.0f;
    }
    if (value >= high) {
        return 1.0f;
    }
    const float t = (value - low) / (high - low);
    return t * t * (3.0f - 2.0f * t);
}

}  // namespace zvsdk
