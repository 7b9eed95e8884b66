#include "Runner.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "zv_audio_analytics.h"

namespace zv::eval {

namespace {

constexpr int kFrameMs = 40;

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

RunResult RunLibrary(const Audio& audio, const std::string& dataFolder, const Thresholds& thresholds) {
    InitRecord init{};
    init.sampleRate = audio.sampleRate;
    init.numChannels = audio.channels;
    init.frameLengthMs = kFrameMs;
    init.sdkDataPath = dataFolder.c_str();
    void* engine = zvAudio_Init(&init);
    if (engine == nullptr)
        throw std::runtime_error("zvAudio_Init made no engine for " + std::to_string(audio.sampleRate) + " Hz, " +
                                 std::to_string(audio.channels) + " channel(s), data " + dataFolder);
    // The engine is released on every path out, as the plug-in does.
    struct Releaser {
        void* engine;
        ~Releaser() { zvAudio_Release(engine); }
    } releaser{engine};

    ThresholdRecord params{};
    for (int i = 0; i < kClassCount; ++i) params.thresholds[i] = thresholds[static_cast<std::size_t>(i)];
    if (const std::int32_t status = zvAudio_SetParams(engine, &params); status != 0)
        throw std::runtime_error("zvAudio_SetParams status " + std::to_string(status));

    RunResult result;
    result.peakConfidence.fill(-1.0f);
    const std::size_t frameBytes = static_cast<std::size_t>(audio.sampleRate) * kFrameMs / 1000 * audio.channels * 2;
    const std::size_t frames = frameBytes > 0 ? audio.pcm.size() / frameBytes : 0;
    double cpu = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        FrameRecord frame{};
        frame.data = audio.pcm.data() + i * frameBytes;
        frame.size = static_cast<std::uint32_t>(frameBytes);
        OutputRecord record{};
        const double start = ThreadCpuSeconds();
        const std::int32_t status = zvAudio_Process(engine, static_cast<std::uint32_t>(i), &frame, &record);
        cpu += ThreadCpuSeconds() - start;
        ZvAudioOutputDiagnostics out;
        std::memcpy(&out, &record, sizeof out);
        if (status != 0)
            throw std::runtime_error("zvAudio_Process status " + std::to_string(status) + " at frame " +
                                     std::to_string(i));
        const bool diagnostics = out.layout == ZV_AUDIO_DIAGNOSTICS_LAYOUT;
        if (diagnostics)
            for (int c = 1; c <= kClassCount; ++c)
                result.peakConfidence[static_cast<std::size_t>(c)] =
                    std::max(result.peakConfidence[static_cast<std::size_t>(c)], out.confidence[c - 1]);
        // What the plug-in counts as a detection.
        if (out.resultFlag == 1 && out.resultKind == 2 && out.classCode >= 1 && out.classCode <= kClassCount) {
            result.detections.push_back({static_cast<double>(i + 1) * kFrameMs / 1000.0, out.classCode});
            result.detectionConfidence.push_back(diagnostics ? out.confidence[out.classCode - 1] : -1.0f);
        }
    }
    result.processCpuS = cpu;
    return result;
}

}  // namespace zv::eval
