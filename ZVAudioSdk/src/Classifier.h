// The classifier of one handle: the signal front end, the seven per-class
// detectors and nothing of the decision. It turns mono audio into one
// confidence per class.
//
// Threads: a classifier belongs to one handle; the handle's caller never
// overlaps calls on it, so it takes no lock. Different classifiers share
// nothing mutable (FFT plan creation, which the FFT library does not allow
// from two threads at once, is serialised inside Init).
#pragma once

#include <cstdint>

#include <nlohmann/json.hpp>

#include "zv_audio_analytics.h"

namespace zvsdk {

// Levels of the frame just classified, for the output record's diagnostics.
struct FrameLevels {
    float levelDb = -120.0f;       // mono RMS of the frame, dB full scale
    float noiseFloorDb = -120.0f;  // the tracked background, dB full scale
};

class Classifier {
public:
    Classifier();
    ~Classifier();
    Classifier(const Classifier&) = delete;
    Classifier& operator=(const Classifier&) = delete;

    // Called once, by zvAudio_Init, before any Process. `detectors` is the
    // "detectors" object of the data file (already checked for its version).
    // Takes all working memory from libzv_memory. Throws std::runtime_error
    // (a parameter missing or out of range) or std::bad_alloc.
    void Init(std::uint32_t sampleRate, const nlohmann::json& detectors);

    // Called by zvAudio_Process for every 40 ms frame: `count` mono samples
    // in [-1, 1] (sampleRate * 40 / 1000 of them). Writes the confidence of
    // each class, in [0, 1], at the end of the frame into `confidence`
    // (class-code order: index 0 is class 1) and the frame's levels.
    // Allocates nothing and never throws.
    void Process(const float* mono, std::uint32_t count, float confidence[ZV_AUDIO_CLASS_COUNT],
                 FrameLevels& levels) noexcept;

private:
    struct State;
    State* state_ = nullptr;  // in a libzv_memory block
};

}  // namespace zvsdk
