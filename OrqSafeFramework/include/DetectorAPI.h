// The three entry points every analytics plug-in exports under plain C names.
// The host calls them one at a time: InitializeModule once after loading the
// library, GetModule to reach the module, FinalizeModule before unloading.
#pragma once

#include <cstdint>

#include "Detector.h"
#include "HostServices.h"

#if defined(__GNUC__)
#define ORQ_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define ORQ_PLUGIN_EXPORT
#endif

// Status codes of InitializeModule.
enum : std::int32_t {
    ORQ_MODULE_CREATED = 0,
    ORQ_MODULE_ALREADY_INITIALIZED = 9,
    ORQ_MODULE_INIT_FAILED = 10,
};

extern "C" {

// Creates the plug-in's one module. `host` is borrowed for the call only;
// `modulePath` is the NUL-terminated folder that holds the plug-in file.
// Returns 0 (created), 9 (a module exists already; nothing changed) or 10
// (invalid arguments, no logger, or the module could not be made).
ORQ_PLUGIN_EXPORT std::int32_t InitializeModule(ORQ8::IHostServices* host, const char* modulePath);

// The module, or null before InitializeModule and after FinalizeModule. The
// pointer serves as IContract, IPluginModule and IModule alike; the module
// stays owned by the plug-in.
ORQ_PLUGIN_EXPORT ORQ8::Analytics::IModule* GetModule();

// Destroys the module, if any. The host calls it when it no longer uses the
// module; detectors may outlive it.
ORQ_PLUGIN_EXPORT void FinalizeModule();

}  // extern "C"
