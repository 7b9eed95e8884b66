#include "Classifier.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "FrontEnd.h"
#include "Memory.h"
#include "detectors/Detector.h"

namespace zvsdk {

float Parameter(const nlohmann::json& block, const char* key, float fallback, float low, float high)
{
    const auto found = block.find(key);
    if (found == block.end()) {
        return fallback;
    }
    if (!found->is_number()) {
        throw std::runtime_error(std::string("detector parameter is not a number: ") + key);
    }
    const double value = found->get<double>();
    if (!std::isfinite(value) || value < low || value > high) {
        throw std::runtime_error(std::string("detector parameter out of range: ") + key);
    }
    return static_cast<float>(value);
}

const nlohmann::json& DetectorBlock(const nlohmann::json& detectors, const char* className)
{
    static const nlohmann::json empty = nlohmann::json::object();
    if (!detectors.is_object()) {
        return empty;
    }
    const auto found = detectors.find(className);
    if (found == detectors.end()) {
        return empty;
    }
    if (!found->is_object()) {
        throw std::runtime_error(std::string("detector block is not an object: ") + className);
    }
    return *found;
}

const nlohmann::json& OptionalObject(const nlohmann::json& block, const char* key, const char* className)
{
    static const nlohmann::json empty = nlohmann::json::object();
    const auto found = block.find(key);
    if (found == block.end()) {
        return empty;
    }
    if (!found->is_object()) {
        throw std::runtime_error(std::string(className) + ": " + key + " is not an object");
    }
    return *found;
}

namespace {

using Factory = Detector* (*)(std::uint32_t, const nlohmann::json&);

struct ClassEntry {
    const char* name;  // the block's key in the data file
    Factory make;      // null: no detector for the class yet, it stays at 0
};

// Class-code order: index 0 is class 1.
constexpr ClassEntry kClasses[ZV_AUDIO_CLASS_COUNT] = {
    {"GlassBreak", MakeGlassBreak}, {"SmokeAlarm", MakeSmokeAlarm}, {"GunShot", MakeGunShot},
    {"Aggression", MakeAggression}, {"BabyCry", MakeBabyCry}, {"Siren", MakeSiren},
    {"DogBark", MakeDogBark},
};

}  // namespace

struct Classifier::State {
    FrontEnd frontEnd;
    Detector* detectors[ZV_AUDIO_CLASS_COUNT] = {};
    ZvVector<float> pending;  // samples of a hop not yet complete
    std::uint32_t pendingCount = 0;
    float lastConfidence[ZV_AUDIO_CLASS_COUNT] = {};

    ~State()
    {
        for (Detector* detector : detectors) {
            ZvDelete(detector);
        }
    }
};

Classifier::Classifier() = default;

Classifier::~Classifier() { ZvDelete(state_); }

void Classifier::Init(std::uint32_t sampleRate, const nlohmann::json& detectors)
{
    if (state_ != nullptr) {
        throw std::runtime_error("classifier initialised twice");
    }
    if (!detectors.is_object()) {
        throw std::runtime_error("detectors is not an object");
    }
    State* state = ZvNew<State>();
    try {
        state->frontEnd.Init(sampleRate);
        state->pending.assign(state->frontEnd.HopSamples(), 0.0f);
        for (int index = 0; index < ZV_AUDIO_CLASS_COUNT; ++index) {
            if (kClasses[index].make != nullptr) {
                state->detectors[index] =
                    kClasses[index].make(sampleRate, DetectorBlock(detectors, kClasses[index].name));
            }
        }
        if (std::none_of(std::begin(state->detectors), std::end(state->detectors),
                         [](const Detector* d) { return d != nullptr && d->ReadsHighPartials(); })) {
            state->frontEnd.SkipHighPartials();
        }
    } catch (...) {
        ZvDelete(state);
        throw;
    }
    state_ = state;
}

void Classifier::Process(const float* mono, std::uint32_t count, float confidence[ZV_AUDIO_CLASS_COUNT],
                         FrameLevels& levels) noexcept
{
    State& state = *state_;
    const std::uint32_t hop = state.frontEnd.HopSamples();
    // A frame's confidence is the highest any of its hops reached, so a
    // sound shorter than a frame is not lost between hops.
    float best[ZV_AUDIO_CLASS_COUNT];
    bool anyHop = false;
    std::fill(best, best + ZV_AUDIO_CLASS_COUNT, 0.0f);
    // The frame's level from its hops' levels, which the front end has
    // measured anyway (a frame is whole hops as the handle drives it).
    double energy = 0.0;
    std::uint32_t measured = 0;
    float floorDb = levels.noiseFloorDb;
    std::uint32_t used = 0;
    while (used < count) {
        const std::uint32_t take = std::min(hop - state.pendingCount, count - used);
        std::memcpy(state.pending.data() + state.pendingCount, mono + used, take * sizeof(float));
        state.pendingCount += take;
        used += take;
        if (state.pendingCount < hop) {
            break;
        }
        state.pendingCount = 0;
        const Features& features = state.frontEnd.PushHop(state.pending.data());
        floorDb = features.floorLevelDb;
        energy += std::pow(10.0, static_cast<double>(features.levelDb) / 10.0) * hop;
        measured += hop;
        anyHop = true;
        for (int index = 0; index < ZV_AUDIO_CLASS_COUNT; ++index) {
            Detector* detector = state.detectors[index];
            const float value = detector != nullptr ? detector->Update(features) : 0.0f;
            state.lastConfidence[index] = std::clamp(value, 0.0f, 1.0f);
            best[index] = std::max(best[index], state.lastConfidence[index]);
        }
    }
    for (int index = 0; index < ZV_AUDIO_CLASS_COUNT; ++index) {
        confidence[index] = anyHop ? best[index] : state.lastConfidence[index];
    }
    const double meanSquare = measured > 0 ? energy / measured : 0.0;
    levels.levelDb = static_cast<float>(std::max(-120.0, 10.0 * std::log10(std::max(meanSquare, 1e-12))));
    levels.noiseFloorDb = std::max(-120.0f, floorDb);
}

}  // namespace zvsdk
