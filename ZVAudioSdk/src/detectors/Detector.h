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
