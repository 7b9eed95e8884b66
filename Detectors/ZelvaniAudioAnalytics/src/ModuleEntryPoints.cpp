// The plug-in's three exported entry points (declared in
// OrqSafeFramework/include/DetectorAPI.h).
//
// They are defined here, beside the module they create, rather than in the
// shared header: the header is compiled by every plug-in and must not know
// which module class a plug-in makes, and a plug-in has exactly one
// definition of them. Their log lines still name the header's entry-point
// file, the place the host platform documents them.
//
// The host calls the three functions one at a time (never concurrently), so
// the holder below takes no lock.
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "DetectorAPI.h"
#include "LogLine.h"
#include "Module.h"

namespace {

// Where this unit's log lines say they come from.
constexpr const char* kLogFile = "OrqSafeFramework/include/DetectorAPI";
constexpr ORQ8::LogSite kCreatedSite{kLogFile, 37, "InitializeModule"};
constexpr ORQ8::LogSite kAlreadyInitializedSite{kLogFile, 40, "InitializeModule"};
constexpr ORQ8::LogSite kInitErrorSite{kLogFile, 46, "InitializeModule"};

// The one module of the process, empty at load. Its destructor runs when the
// library is unloaded and destroys a module that FinalizeModule never took.
std::unique_ptr<ZVAudioAnalytics::Module> heldModule;

ORQ8::ILogger* HostLogger(ORQ8::IHostServices* host)
{
    return static_cast<ORQ8::ILogger*>(host->GetService(ORQ8::ContractKey<ORQ8::ILogger>()));
}

}  // namespace

extern "C" {

ORQ_PLUGIN_EXPORT std::int32_t InitializeModule(ORQ8::IHostServices* host, const char* modulePath)
{
    // Without a logger there is nobody to report to: refuse silently. What
    // the host throws here is the host's and passes back to it.
    if (host == nullptr || modulePath == nullptr || HostLogger(host) == nullptr)
        return ORQ_MODULE_INIT_FAILED;
    ORQ8::ILogger* const logger = HostLogger(host);

    try {
        if (heldModule) {
            ORQ8::LogFmt(logger, ORQ8::LogTrace, kAlreadyInitializedSite, "module already was initialized");
            return ORQ_MODULE_ALREADY_INITIALIZED;
        }
        // A module that fails half-way is freed by its owner before the
        // holder is touched.
        auto module = std::make_unique<ZVAudioAnalytics::Module>(host, std::string(modulePath));
        heldModule = std::move(module);
        ORQ8::LogFmt(logger, ORQ8::LogTrace, kCreatedSite, "module was created");
        return ORQ_MODULE_CREATED;
    } catch (const std::exception& error) {
        try {
            ORQ8::LogFmt(logger, ORQ8::LogError, kInitErrorSite, "Error during module initialization: {}",
                         error.what());
        } catch (const std::exception&) {
            // The failure could not even be reported (out of memory, or the
            // logger threw); the status still tells the host.
        }
        return ORQ_MODULE_INIT_FAILED;
    }
}

ORQ_PLUGIN_EXPORT ORQ8::Analytics::IModule* GetModule()
{
    return heldModule.get();
}

ORQ_PLUGIN_EXPORT void FinalizeModule()
{
    // The holder is empty before the module's destructor runs.
    const std::unique_ptr<ZVAudioAnalytics::Module> module = std::move(heldModule);
}

}  // extern "C"
