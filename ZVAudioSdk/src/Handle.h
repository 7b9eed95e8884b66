// One engine of the library: made for one format by zvAudio_Init, given its
// thresholds by zvAudio_SetParams, fed 40 ms frames by zvAudio_Process.
//
// Threads: a handle is used by one caller at a time (calls on one handle
// never overlap) and shares nothing mutable with other handles.
// Memory: the handle itself, its mono buffer and the classifier's state are
// libzv_memory blocks taken in the constructor; Process allocates nothing.
#pragma once

#include <cstdint>

#include "Classifier.h"
#include "Decision.h"
#include "Memory.h"
#include "Model.h"
#include "zv_audio_analytics.h"

namespace zvsdk {

// The frame length the library works with, in milliseconds.
constexpr std::int32_t kFrameLengthMs = 40;
constexpr std::uint32_t kMaxChannels = 8;

// Whether zvAudio_Init accepts this format (the data path aside).
bool IsSupportedFormat(std::uint32_t sampleRate, std::uint32_t numChannels, std::int32_t frameLengthMs) noexcept;

class Handle {
public:
    // Made by zvAudio_Init for a format IsSupportedFormat accepts. Throws
    // std::runtime_error (a classifier parameter out of range) or
    // std::bad_alloc.
    Handle(std::uint32_t sampleRate, std::uint32_t numChannels, const Model& model);
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // zvAudio_SetParams after the argument checks: a ZvAudioStatus.
    std::int32_t SetParams(const ThresholdRecord& thresholds) noexcept;

    // zvAudio_Process after the null checks: a ZvAudioStatus; on
    // ZV_AUDIO_OK the whole output record is written.
    std::int32_t Process(std::uint32_t frameIndex, const void* data, std::uint32_t size,
                         OutputRecord& output) noexcept;

private:
    std::uint32_t channels_;
    std::uint32_t samplesPerFrame_;  // per channel
    ZvVector<float> mono_;
    Classifier classifier_;
    Decision decision_;
};

}  // namespace zvsdk
