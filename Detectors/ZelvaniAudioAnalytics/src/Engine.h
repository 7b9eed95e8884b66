// ZVEngine: one engine of the vendor SDK, made for one audio format and one
// set of confidence thresholds.
//
// The detector is the only user. It creates and replaces the engine under its
// own mutex and calls Process outside it, from its media thread only; the
// engine has no lock of its own and must not be used from two threads at
// once. Every failure is reported as std::runtime_error whose text is the
// complete message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "HostServices.h"
#include "ZVAudioSdk.h"

namespace ZVAudioAnalytics {

// What the detector gives the engine; read during construction only.
struct EngineSettings {
    std::uint32_t sampleRate = 0;   // Hz
    std::uint32_t numChannels = 0;
    std::int32_t frameLengthMs = 40;
    std::string sdkDataPath;        // <plug-in folder>/ZVAudioSdk/share
};

// What one frame yields: the class the SDK reported and whether it counts.
struct EngineResult {
    std::string eventName;
    bool detected = false;
};

// The class name of an SDK class code: "None" for 0 and for unknown codes.
const char* SoundClassName(std::int32_t classCode) noexcept;

class ZVEngine {
public:
    // Makes and parameterises an SDK engine, or throws std::runtime_error.
    // `logger` is borrowed (may be null) and outlives the engine;
    // `thresholds` is read during construction only.
    ZVEngine(ORQ8::ILogger* logger, const EngineSettings& settings, const ThresholdRecord* thresholds);
    // Releases the SDK engine.
    ~ZVEngine();

    ZVEngine(const ZVEngine&) = delete;
    ZVEngine& operator=(const ZVEngine&) = delete;

    // The detector's way to make an engine.
    static std::unique_ptr<ZVEngine> Create(ORQ8::ILogger* logger, const EngineSettings& settings,
                                            const ThresholdRecord* thresholds);

    // Classifies one frame of `size` bytes (borrowed for the call). Every
    // call uses up one frame index, also a failing one.
    EngineResult Process(const void* data, std::uint32_t size);

    // Releases the SDK engine; never throws. Called by the destructor and by
    // a construction that fails after the SDK made the engine; any further
    // call does nothing.
    void ReleaseEngine() noexcept;

private:
    // Lets tests place the frame counter near its wrap-around; nothing in
    // the plug-in defines or uses it.
    friend class ZVEngineTestAccess;

    ORQ8::ILogger* logger;
    void* engineHandle = nullptr;
    std::uint32_t frameCounter = 0;
};

}  // namespace ZVAudioAnalytics
