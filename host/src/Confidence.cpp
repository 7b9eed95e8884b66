#include "Confidence.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "PluginLoader.h"
#include "zv_audio_analytics.h"

namespace OrqHost {

std::unique_ptr<ClassificationLibrary> ClassificationLibrary::Open(const std::string& folder, std::string& whyNot)
{
    const std::string path = folder + "/" + kSdkRelativePath;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* message = dlerror();
        whyNot = message != nullptr ? message : "cannot load " + path;
        return nullptr;
    }
    std::unique_ptr<ClassificationLibrary> library(new ClassificationLibrary);
    library->handle = handle;
    library->dataPath = folder + "/ZVAudioSdk/share";
    auto bind = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
        if (function == nullptr && whyNot.empty())
            whyNot = fmt::format("{} has no {}", path, name);
    };
    whyNot.clear();
    bind(library->init, "zvAudio_Init");
    bind(library->versionInfo, "zvAudio_GetVersionInfo");
    bind(library->setParams, "zvAudio_SetParams");
    bind(library->process, "zvAudio_Process");
    bind(library->release, "zvAudio_Release");
    if (!whyNot.empty())
        return nullptr;
    return library;
}

std::unique_ptr<ClassificationLibrary> ClassificationLibrary::Unloaded(std::string dataPath)
{
    std::unique_ptr<ClassificationLibrary> library(new ClassificationLibrary);
    library->dataPath = std::move(dataPath);
    return library;
}

ClassificationLibrary::~ClassificationLibrary()
{
    if (handle != nullptr)
        dlclose(handle);
}

ConfidenceProbe::ConfidenceProbe(ClassificationLibrary* library_, const PcmFormat& format,
                                 const std::array<float, 7>& thresholds)
    : library(library_)
{
    if (library == nullptr) {
        unavailable = "the classification library is not loaded";
        return;
    }
    frameSize = format.sampleRate * format.numChannels * (format.bitsPerSample / 8) * 40 / 1000;
    InitRecord init{};
    init.sampleRate = format.sampleRate;
    init.numChannels = format.numChannels;
    init.frameLengthMs = 40;
    init.sdkDataPath = library->dataPath.c_str();
    engine = frameSize != 0 ? library->init(&init) : nullptr;
    if (engine == nullptr) {
        unavailable = "the classification library does not take this format";
        return;
    }
    ThresholdRecord record{};
    for (std::size_t i = 0; i < thresholds.size(); ++i)
        record.thresholds[i] = thresholds[i];
    if (library->setParams(engine, &record) != 0)
        unavailable = "the classification library refused the thresholds";
    carry.reserve(frameSize);
}

ConfidenceProbe::~ConfidenceProbe()
{
    if (engine != nullptr)
        library->release(engine);
}

void ConfidenceProbe::Feed(const std::uint8_t* data, std::size_t size)
{
    if (!Available())
        return;
    std::size_t offset = 0;
    if (!carry.empty()) {
        const std::size_t take = std::min<std::size_t>(frameSize - carry.size(), size);
        carry.insert(carry.end(), data, data + take);
        offset = take;
        if (carry.size() < frameSize)
            return;
        ProcessFrame(carry.data());
        carry.clear();
    }
    for (; Available() && size - offset >= frameSize; offset += frameSize)
        ProcessFrame(data + offset);
    if (Available())
        carry.assign(data + offset, data + size);
}

void ConfidenceProbe::ProcessFrame(const std::uint8_t* frame)
{
    FrameRecord record{};
    record.data = frame;
    record.size = frameSize;
    // The record is cleared before every call: a library that does not write
    // the diagnostics leaves a layout of 0 behind, never a stale 1.
    ZvAudioOutputDiagnostics output{};
    const std::int32_t status = library->process(engine, frameIndex++, &record, &output);
    if (status != 0) {
        unavailable = fmt::format("the classification library failed on frame {} (status {})", frameIndex - 1, status);
        return;
    }
    if (output.layout != ZV_AUDIO_DIAGNOSTICS_LAYOUT) {
        unavailable = "the classification library reports no confidences";
        return;
    }
    for (std::size_t i = 0; i < partial.size(); ++i)
        partial[i] = partialCount == 0 ? output.confidence[i] : std::max(partial[i], output.confidence[i]);
    if (++partialCount < framesPerEntry)
        return;
    frames.push_back(partial);
    partialCount = 0;
    if (frames.size() < kMaxEntries)
        return;
    for (std::size_t e = 0; e < frames.size() / 2; ++e)
        for (std::size_t i = 0; i < partial.size(); ++i)
            frames[e][i] = std::max(frames[2 * e][i], frames[2 * e + 1][i]);
    frames.resize(frames.size() / 2);
    framesPerEntry *= 2;
}

}  // namespace OrqHost
