#include "Module.h"

#include <memory>
#include <utility>

#include "AudioAnalytics.h"
#include "LogLine.h"

namespace ZVAudioAnalytics {
namespace {

// Where this unit's log lines say they come from.
constexpr const char* kLogFile = "Detectors/ZelvaniAudioAnalytics/src/Module";
constexpr ORQ8::LogSite kNotSupportedSite{kLogFile, 26, "CreateDetector"};

ORQ8::ILogger* HostLogger(ORQ8::IHostServices* host)
{
    if (host == nullptr)
        return nullptr;
    return static_cast<ORQ8::ILogger*>(host->GetService(ORQ8::ContractKey<ORQ8::ILogger>()));
}

}  // namespace

Module::Module(ORQ8::IHostServices* host, std::string modulePath)
    : BaseModule(HostLogger(host), std::move(modulePath))
{
}

Module::~Module() = default;

ORQ8::Analytics::IDetector* Module::CreateDetector(const char* name,
                                                   ORQ8::Analytics::IHostEventFactory* eventFactory)
{
    // A null name is outside the host's contract; it is refused like any
    // unknown name and shown as an empty one.
    const std::string requested = name != nullptr ? name : "";
    if (requested != kPluginName) {
        ORQ8::LogFmt(Logger(), ORQ8::LogError, kNotSupportedSite, "Detector '{}' is not supported", requested);
        return nullptr;
    }
    std::string pluginFolder = ModulePath();
    auto detector = std::make_unique<AudioDetector>(Logger(), eventFactory, std::move(pluginFolder));
    return detector.release();
}

}  // namespace ZVAudioAnalytics
