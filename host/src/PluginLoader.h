// Loads a plug-in folder as the platform does and holds its module.
//
// Load order: dlopen("<folder>/AudioAnalytics_Zelvani.so"), the three entry
// points by name, InitializeModule(host services, folder), GetModule. The
// loader's destructor calls FinalizeModule and closes the library; every
// detector made from the module must be destroyed before that.
//
// Threads: construction and destruction on one thread; CreateDetector may be
// called from any thread (the module allows concurrent calls).
#pragma once

#include <string>

#include "DetectorAPI.h"

namespace OrqHost {

constexpr const char* kPluginName = "AudioAnalytics_Zelvani";
constexpr const char* kSdkRelativePath = "ZVAudioSdk/libzv_audio_analytics.so";

// The host's service directory: the logger, and nothing else.
class HostServices : public ORQ8::IHostServices {
public:
    explicit HostServices(ORQ8::ILogger& logger) : logger(logger) {}
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override;
    void* GetService(const char* key) override;

private:
    ORQ8::ILogger& logger;
};

class PluginLoader {
public:
    // Throws HostError: ExitPluginNotLoadable or ExitSdkNotLoadable (with the
    // loader's message), ExitModuleExists (status 9), ExitModuleFailed
    // (status 10, or no module).
    PluginLoader(const std::string& folder, ORQ8::IHostServices& services);
    ~PluginLoader();
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    // A new detector for `factory`; throws HostError(ExitDetectorRefused)
    // when the module gives none. The caller owns it (Destroy()).
    ORQ8::Analytics::IDetector* CreateDetector(ORQ8::Analytics::IHostEventFactory& factory);

    const std::string& Folder() const { return folder; }

private:
    std::string folder;
    void* library = nullptr;
    void (*finalize)() = nullptr;
    ORQ8::Analytics::IModule* module = nullptr;
};

}  // namespace OrqHost
