// The detector's settings: one confidence threshold and one on/off switch per
// sound class, addressed by text keys through the ISyncAdjuster face.
#include <iterator>
#include <string>

#include "AudioAnalytics.h"
#include "LogLine.h"

namespace ZVAudioAnalytics {
namespace {

// Where this unit's log lines say they come from.
constexpr const char* kLogFile = "Detectors/ZelvaniAudioAnalytics/src/AudioAnalyticsAdjuster";
constexpr ORQ8::LogSite kEventEnabledSite{kLogFile, 73, "SetValueEnableEvent"};
constexpr ORQ8::LogSite kEventDisabledSite{kLogFile, 82, "SetValueEnableEvent"};
constexpr ORQ8::LogSite kThresholdSetSite{kLogFile, 127, "SetValueThreshold"};

// The keys of each sound class, in class-code order: the row's index is the
// class's place in ThresholdRecord, and the class name (event type and member
// of the enabled set) is the engine's name for code index + 1.
struct ClassKeys {
    const char* thresholdKey;
    const char* enableKey;
};

constexpr ClassKeys kClassKeys[] = {
    {"confThresholdGlassBreak", "enableGlassBreak"},
    {"confThresholdSmokeAlarm", "enableSmokeAlarm"},
    {"confThresholdGunShot", "enableGunShot"},
    {"confThresholdAggression", "enableAggression"},
    {"confThresholdBabyCry", "enableBabyCry"},
    {"confThresholdSiren", "enableSiren"},
    {"confThresholdDogBark", "enableDogBark"},
};
static_assert(std::size(kClassKeys) == ZV_AUDIO_CLASS_COUNT, "one row per sound class");

}  // namespace

std::int32_t AudioDetector::SetValue(const char* name, bool value)
{
    // A null name names no setting.
    if (name == nullptr)
        return kStatusUnknownSetting;
    const std::string key(name);
    const std::lock_guard<std::mutex> lock(mutex);
    return SetValueEnableEvent(key, value) ? kStatusOk : kStatusUnknownSetting;
}

std::int32_t AudioDetector::SetValue(const char* /*name*/, int /*value*/) { return kStatusUnknownSetting; }

std::int32_t AudioDetector::SetValue(const char* name, double value)
{
    if (name == nullptr)
        return kStatusUnknownSetting;
    const std::string key(name);
    const std::lock_guard<std::mutex> lock(mutex);
    // The SDK takes 32-bit thresholds; the conversion rounds to nearest.
    return SetValueThreshold(key, static_cast<float>(value)) ? kStatusOk : kStatusUnknownSetting;
}

std::int32_t AudioDetector::SetValue(const char* /*name*/, const char* /*value*/) { return kStatusUnknownSetting; }

bool AudioDetector::SetValueThreshold(const std::string& key, float value)
{
    for (std::size_t code = 0; code < std::size(kClassKeys); ++code) {
        if (key != kClassKeys[code].thresholdKey)
            continue;
        // No range check: whatever the host gives goes to the SDK unchanged.
        thresholds.thresholds[code] = value;
        // Thresholds reach the SDK only through a new engine; marked before
        // the log line so a failing logger cannot leave the change unapplied.
        reinitRequired = true;
        // The float itself is formatted, so 0.1 shows as 0.1.
        ORQ8::LogFmt(logger, ORQ8::LogInfo, kThresholdSetSite, "Set params {} value: {}", key, value);
        return true;
    }
    return false;
}

bool AudioDetector::SetValueEnableEvent(const std::string& key, bool enable)
{
    for (std::size_t code = 0; code < std::size(kClassKeys); ++code) {
        if (key != kClassKeys[code].enableKey)
            continue;
        const char* const className = SoundClassName(static_cast<std::int32_t>(code + 1));
        if (enable) {
            enabledEvents.insert(className);
            ORQ8::LogFmt(logger, ORQ8::LogInfo, kEventEnabledSite, "Event type '{}' enabled", className);
        } else {
            enabledEvents.erase(className);
            ORQ8::LogFmt(logger, ORQ8::LogInfo, kEventDisabledSite, "Event type '{}' disabled", className);
        }
        return true;
    }
    return false;
}

}  // namespace ZVAudioAnalytics
