#include "Handle.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Pcm.h"

namespace zvsdk {

bool IsSupportedFormat(std::uint32_t sampleRate, std::uint32_t numChannels, std::int32_t frameLengthMs) noexcept
{
    const bool rate = sampleRate == 8000 || sampleRate == 16000 || sampleRate == 32000 || sampleRate == 48000;
    return rate && numChannels >= 1 && numChannels <= kMaxChannels && frameLengthMs == kFrameLengthMs;
}

namespace {

// Re-trigger interval in whole frames, rounded up: a report is never repeated
// sooner than the data file asks.
std::uint32_t RetriggerFrames(std::uint32_t retriggerMs)
{
    return (retriggerMs + static_cast<std::uint32_t>(kFrameLengthMs) - 1) / static_cast<std::uint32_t>(kFrameLengthMs);
}

}  // namespace

Handle::Handle(std::uint32_t sampleRate, std::uint32_t numChannels, const Model& model)
    : channels_(numChannels),
      samplesPerFrame_(sampleRate / 1000u * static_cast<std::uint32_t>(kFrameLengthMs)),
      mono_(samplesPerFrame_, 0.0f),
      decision_(RetriggerFrames(model.retriggerMs))
{
    classifier_.Init(sampleRate, model.detectors);
}

std::int32_t Handle::SetParams(const ThresholdRecord& thresholds) noexcept
{
    return decision_.SetThresholds(thresholds.thresholds) ? ZV_AUDIO_OK : ZV_AUDIO_E_THRESHOLD;
}

std::int32_t Handle::Process(std::uint32_t frameIndex, const void* data, std::uint32_t size,
                             OutputRecord& output) noexcept
{
    const std::uint32_t width = SampleWidth(size, samplesPerFrame_, channels_);
    if (width == 0) {
        return ZV_AUDIO_E_FRAME_SIZE;
    }
    if (!decision_.HasThresholds()) {
        return ZV_AUDIO_E_NO_PARAMS;
    }
    MixToMono(static_cast<const std::uint8_t*>(data), width, samplesPerFrame_, channels_, mono_.data());

    float confidence[ZV_AUDIO_CLASS_COUNT] = {};
    FrameLevels levels;
    classifier_.Process(mono_.data(), samplesPerFrame_, confidence, levels);
    for (float& c : confidence) {
        // A confidence outside [0, 1] (or NaN) would bend the decision; the
        // classifier promises the range, this keeps the promise cheap to rely on.
        c = std::isfinite(c) ? std::clamp(c, 0.0f, 1.0f) : 0.0f;
    }
    const int classCode = decision_.Decide(confidence);

    ZvAudioOutputDiagnostics record;
    std::memset(&record, 0, sizeof record);
    record.layout = ZV_AUDIO_DIAGNOSTICS_LAYOUT;
    record.resultFlag = 1;
    record.resultKind = classCode != 0 ? 2 : 1;
    record.classCode = classCode;
    std::memcpy(record.confidence, confidence, sizeof confidence);
    record.levelDb = levels.levelDb;
    record.noiseFloorDb = levels.noiseFloorDb;
    record.frameIndex = frameIndex;
    static_assert(sizeof record == sizeof output, "the output record is filled whole");
    std::memcpy(&output, &record, sizeof record);
    return ZV_AUDIO_OK;
}

}  // namespace zvsdk
