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

#include "AudioFile.h"
#include "Classes.h"
#include "Scoring.h"

namespace zv::eval {

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
