// Per-class confidence read straight from the classification library, for
// the report.
//
// The host drives the library beside the plug-in: it loads
// <folder>/ZVAudioSdk/libzv_audio_analytics.so with dlopen (the host does not
// link it), makes an engine of its own per input, feeds it the same PCM the
// detector gets in 40 ms frames, and reads each frame's seven confidences
// from the diagnostic bytes of the output record. A library whose record
// does not carry the documented diagnostics layout (offset 0) yields no
// curves; the report says so instead of drawing garbage.
//
// Threads: the library object is shared by all inputs (its functions may be
// called for different engines at once); a probe is used by one thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AudioBuffer.h"

namespace OrqHost {

class ClassificationLibrary {
public:
    // Loads the library of the plug-in folder `folder`. Returns null and
    // sets `whyNot` when it cannot be loaded or lacks one of its five calls.
    static std::unique_ptr<ClassificationLibrary> Open(const std::string& folder, std::string& whyNot);
    // A library whose calls the caller has at hand (linked, or its own);
    // nothing is loaded or unloaded. The five pointers are set by the caller.
    static std::unique_ptr<ClassificationLibrary> Unloaded(std::string dataPath);
    ~ClassificationLibrary();

    void* (*init)(const void* initRecord) = nullptr;
    const char* (*versionInfo)() = nullptr;
    std::int32_t (*setParams)(void* engine, const void* thresholds) = nullptr;
    std::int32_t (*process)(void* engine, std::uint32_t frameIndex, const void* frame, void* output) = nullptr;
    std::int32_t (*release)(void* engine) = nullptr;
    std::string dataPath;  // <folder>/ZVAudioSdk/share

private:
    ClassificationLibrary() = default;
    void* handle = nullptr;
};

using ClassConfidences = std::array<float, 7>;

class ConfidenceProbe {
public:
    // `thresholds` in class-code order. When the library is null or refuses
    // the format, the probe stays unavailable and Feed does nothing.
    ConfidenceProbe(ClassificationLibrary* library, const PcmFormat& format, const std::array<float, 7>& thresholds);
    ~ConfidenceProbe();
    ConfidenceProbe(const ConfidenceProbe&) = delete;
    ConfidenceProbe& operator=(const ConfidenceProbe&) = delete;

    // Appends PCM bytes in the probe's format; every whole 40 ms frame is
    // classified.
    void Feed(const std::uint8_t* data, std::size_t size);

    bool Available() const { return engine != nullptr && unavailable.empty(); }
    // Why there are no curves ("" while available).
    const std::string& Unavailable() const { return unavailable; }
    // The curves: entry i is the maximum over frames [i * FramesPerEntry(),
    // (i + 1) * FramesPerEntry()) of 40 ms each from the input's start. Long
    // inputs are folded (pairs merged, the span doubled) so that at most
    // kMaxEntries are kept, which is more than a page can show.
    const std::vector<ClassConfidences>& Frames() const { return frames; }
    std::uint32_t FramesPerEntry() const { return framesPerEntry; }
    static constexpr std::size_t kMaxEntries = 8192;

private:
    void ProcessFrame(const std::uint8_t* frame);

    ClassificationLibrary* library;
    void* engine = nullptr;
    std::uint32_t frameSize = 0;
    std::uint32_t frameIndex = 0;
    std::vector<std::uint8_t> carry;
    std::vector<ClassConfidences> frames;
    std::uint32_t framesPerEntry = 1;
    ClassConfidences partial{};
    std::uint32_t partialCount = 0;
    std::string unavailable;
};

}  // namespace OrqHost
