#include "Engine.h"

#include <stdexcept>

#include "LogLine.h"

namespace ZVAudioAnalytics {
namespace {

// Where this unit's log lines say they come from.
constexpr const char* kLogFile = "Detectors/ZelvaniAudioAnalytics/src/Engine";
constexpr ORQ8::LogSite kInitStatusSite{kLogFile, 148, "ZVEngine"};
constexpr ORQ8::LogSite kSetParamsSite{kLogFile, 169, "ZVEngine"};
constexpr ORQ8::LogSite kReleasedSite{kLogFile, 207, "ReleaseEngine"};
constexpr ORQ8::LogSite kReleaseStatusSite{kLogFile, 211, "ReleaseEngine"};
constexpr ORQ8::LogSite kReleaseExceptionSite{kLogFile, 216, "ReleaseEngine"};

// SDK statuses are signed; messages show them as unsigned decimals.
std::uint32_t AsUnsigned(std::int32_t status) { return static_cast<std::uint32_t>(status); }

constexpr const char* kClassNames[] = {"None",       "GlassBreak", "SmokeAlarm", "GunShot",
                                       "Aggression", "BabyCry",    "Siren",      "DogBark"};

}  // namespace

const char* SoundClassName(std::int32_t classCode) noexcept
{
    const auto code = static_cast<std::uint32_t>(classCode);
    return code < std::size(kClassNames) ? kClassNames[code] : kClassNames[0];
}

ZVEngine::ZVEngine(ORQ8::ILogger* logger_, const EngineSettings& settings, const ThresholdRecord* thresholds)
    : logger(logger_)
{
    InitRecord init{};
    init.sampleRate = settings.sampleRate;
    init.numChannels = settings.numChannels;
    init.frameLengthMs = settings.frameLengthMs;
    init.sdkDataPath = settings.sdkDataPath.c_str();
    engineHandle = zvAudio_Init(&init);
    if (engineHandle == nullptr)
        throw std::runtime_error("zvAudio: engine has not been created");

    // The SDK engine is ours from here on, and no destructor runs when a
    // constructor throws: whatever leaves by exception (a failed log line
    // included) releases the engine first. ReleaseEngine runs at most once.
    try {
        // The version text is fetched only for the line that shows it.
        ORQ8::LogComposed(logger, ORQ8::LogInfo, kInitStatusSite,
                          [] { return fmt::format("zvAudio: engine init status: {}", zvAudio_GetVersionInfo()); });

        const std::int32_t status = zvAudio_SetParams(engineHandle, thresholds);
        if (status != 0) {
            ReleaseEngine();
            throw std::runtime_error(
                fmt::format("zvAudio: invalid settings params, status {}", AsUnsigned(status)));
        }
        ORQ8::LogFmt(logger, ORQ8::LogInfo, kSetParamsSite, "zvAudio: set params succesful");
    } catch (...) {
        ReleaseEngine();
        throw;
    }
}

ZVEngine::~ZVEngine() { ReleaseEngine(); }

std::unique_ptr<ZVEngine> ZVEngine::Create(ORQ8::ILogger* logger, const EngineSettings& settings,
                                           const ThresholdRecord* thresholds)
{
    return std::make_unique<ZVEngine>(logger, settings, thresholds);
}

EngineResult ZVEngine::Process(const void* data, std::uint32_t size)
{
    const std::uint32_t index = frameCounter++;
    const FrameRecord frame{data, size, 0};
    OutputRecord output;  // filled by the SDK on success; left uninitialised on purpose
    const std::int32_t status = zvAudio_Process(engineHandle, index, &frame, &output);
    if (status != 0)
        throw std::runtime_error(fmt::format("zvAudio: Process error, status: {}", AsUnsigned(status)));

    EngineResult result;
    result.eventName = SoundClassName(output.classCode);
    result.detected = output.resultFlag == 1 && output.resultKind == 2 && output.classCode != 0;
    return result;
}

void ZVEngine::ReleaseEngine() noexcept
{
    if (engineHandle == nullptr)
        return;
    // The handle is dead after zvAudio_Release whatever its status. Clearing
    // it makes a second ReleaseEngine (an explicit call before destruction,
    // or the constructor's failure paths) a no-op instead of a second
    // release of the same SDK engine.
    void* const handle = engineHandle;
    engineHandle = nullptr;
    try {
        const std::int32_t status = zvAudio_Release(handle);
        if (status == 0)
            ORQ8::LogFmt(logger, ORQ8::LogTrace, kReleasedSite, "released engine successfully");
        else
            ORQ8::LogFmt(logger, ORQ8::LogError, kReleaseStatusSite, "error releasing engine, status {}",
                         AsUnsigned(status));
    } catch (...) {
        try {
            ORQ8::LogFmt(logger, ORQ8::LogError, kReleaseExceptionSite,
                         "error releasing engine: Unknown exception");
        } catch (...) {
            // Nothing may leave a release, not even a failed log line.
        }
    }
}

}  // namespace ZVAudioAnalytics
