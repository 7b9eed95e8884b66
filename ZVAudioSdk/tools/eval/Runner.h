// Drives the library over one file the way the plug-in drives it: one engine
// per file made with the file's rate and channel count, frame length 40 ms
// and the data folder; seven thresholds in class-code order; one
// zvAudio_Process per 40 ms frame of 16-bit little-endian interleaved PCM,
// with frame index 0, 1, 2 ...; zvAudio_Release at the end. Single-threaded.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "Scoring.h"

namespace zv::eval {

// A WAV file as the plug-in would receive it.
struct Audio {
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::vector<std::uint8_t> pcm;  // 16-bit little-endian, interleaved, whole 40 ms frames only
    double durationS = 0.0;         // of the whole frames kept
};

// Reads a WAV (any format libsndfile reads; converted to 16 bits). A last
// partial frame is dropped, as the plug-in keeps it until more audio comes.
// Throws std::runtime_error on a file it cannot read.
Audio ReadAudio(const std::string& path);

using Thresholds = std::array<float, kClassCount>;

struct RunResult {
    std::vector<Detection> detections;
    // Highest per-class confidence over the file, from the output record's
    // diagnostics; all -1 when the library does not fill them.
    std::array<float, kClassCount + 1> peakConfidence{};
    // Confidence of the detected class on each detection's frame (-1 when
    // the diagnostics are absent), parallel to `detections`.
    std::vector<float> detectionConfidence;
    double processCpuS = 0.0;  // thread CPU time spent in zvAudio_Process
};

// Runs one file through a new engine. Throws std::runtime_error when the
// library refuses the file (null engine, or a non-zero status).
RunResult RunLibrary(const Audio& audio, const std::string& dataFolder, const Thresholds& thresholds);

}  // namespace zv::eval
