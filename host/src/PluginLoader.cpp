#include "PluginLoader.h"

#include <dlfcn.h>

#include <cstring>

#include "ExitStatus.h"

namespace OrqHost {
namespace {

std::string LoaderMessage()
{
    const char* message = dlerror();
    return message != nullptr ? message : "unknown loader error";
}

}  // namespace

void* HostServices::DoGetContract(const char* key)
{
    if (key != nullptr && (std::strcmp(key, ORQ8::ContractKey<ORQ8::IHostServices>()) == 0 ||
                           std::strcmp(key, ORQ8::ContractKey<ORQ8::IContract>()) == 0))
        return static_cast<ORQ8::IHostServices*>(this);
    return nullptr;
}

void* HostServices::GetService(const char* key)
{
    if (key != nullptr && std::strcmp(key, ORQ8::ContractKey<ORQ8::ILogger>()) == 0)
        return &logger;
    return nullptr;
}

PluginLoader::PluginLoader(const std::string& folder_, ORQ8::IHostServices& services) : folder(folder_)
{
    const std::string file = folder + "/" + kPluginName + ".so";
    library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const std::string pluginMessage = LoaderMessage();
        // The plug-in links the classification library from its own folder;
        // when that is what failed, say so rather than blame the plug-in.
        const std::string sdk = folder + "/" + kSdkRelativePath;
        if (pluginMessage.find("libzv_audio_analytics") != std::string::npos) {
            void* probe = dlopen(sdk.c_str(), RTLD_NOW | RTLD_LOCAL);
            const std::string sdkMessage = probe == nullptr ? LoaderMessage() : pluginMessage;
            if (probe != nullptr)
                dlclose(probe);
            throw HostError(ExitSdkNotLoadable, "cannot load the classification library: " + sdkMessage);
        }
        throw HostError(ExitPluginNotLoadable, "cannot load the plug-in: " + pluginMessage);
    }
    using InitializeFn = std::int32_t (*)(ORQ8::IHostServices*, const char*);
    using GetModuleFn = ORQ8::Analytics::IModule* (*)();
    auto initialize = reinterpret_cast<InitializeFn>(dlsym(library, "InitializeModule"));
    auto getModule = reinterpret_cast<GetModuleFn>(dlsym(library, "GetModule"));
    finalize = reinterpret_cast<void (*)()>(dlsym(library, "FinalizeModule"));
    if (initialize == nullptr || getModule == nullptr || finalize == nullptr) {
        dlclose(library);
        throw HostError(ExitPluginNotLoadable,
                        "cannot load the plug-in: " + file + " lacks InitializeModule, GetModule or FinalizeModule");
    }
    const std::int32_t status = initialize(&services, folder.c_str());
    if (status == ORQ_MODULE_ALREADY_INITIALIZED) {
        // Another host in this process owns the module: leave it alone.
        dlclose(library);
        throw HostError(ExitModuleExists, "the plug-in's module was already initialised (InitializeModule status 9)");
    }
    if (status != ORQ_MODULE_CREATED) {
        dlclose(library);
        throw HostError(ExitModuleFailed,
                        "the plug-in could not initialise its module (InitializeModule status " +
                            std::to_string(status) + ")");
    }
    module = getModule();
    if (module == nullptr) {
        finalize();
        dlclose(library);
        throw HostError(ExitModuleFailed, "the plug-in gave no module (GetModule returned null)");
    }
}

PluginLoader::~PluginLoader()
{
    finalize();
    dlclose(library);
}

ORQ8::Analytics::IDetector* PluginLoader::CreateDetector(ORQ8::Analytics::IHostEventFactory& factory)
{
    ORQ8::Analytics::IDetector* detector = module->CreateDetector(kPluginName, &factory);
    if (detector == nullptr)
        throw HostError(ExitDetectorRefused,
                        std::string("the plug-in refused to create a detector named ") + kPluginName);
    return detector;
}

}  // namespace OrqHost
