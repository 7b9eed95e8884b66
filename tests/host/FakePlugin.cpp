// A plug-in file that fails the way the test asks, for the host's error
// paths that the real plug-in never takes. The failure is read from the
// environment variable ORQ_FAKE_PLUGIN when the module is initialised:
//   "init9"       InitializeModule answers 9
//   "init10"      InitializeModule answers 10
//   "nomodule"    InitializeModule answers 0, GetModule gives null
//   "nodetector"  the module gives no detector
//   "crash"       InitializeModule aborts the process
//   "exit3"       InitializeModule ends the process with status 3
#include <cstdlib>
#include <cstring>
#include <string>

#include "DetectorAPI.h"

namespace {

class RefusingModule : public ORQ8::Analytics::IModule {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    ORQ8::Analytics::IDetector* CreateDetector(const char*, ORQ8::Analytics::IHostEventFactory*) override
    {
        return nullptr;
    }
};

RefusingModule module;
bool initialised = false;
std::string mode;

}  // namespace

extern "C" {

ORQ_PLUGIN_EXPORT std::int32_t InitializeModule(ORQ8::IHostServices*, const char*)
{
    const char* requested = std::getenv("ORQ_FAKE_PLUGIN");
    mode = requested != nullptr ? requested : "";
    if (mode == "crash")
        std::abort();
    if (mode == "exit3")
        std::_Exit(3);
    if (mode == "init9")
        return ORQ_MODULE_ALREADY_INITIALIZED;
    if (mode == "init10")
        return ORQ_MODULE_INIT_FAILED;
    initialised = true;
    return ORQ_MODULE_CREATED;
}

ORQ_PLUGIN_EXPORT ORQ8::Analytics::IModule* GetModule()
{
    return initialised && mode != "nomodule" ? &module : nullptr;
}

ORQ_PLUGIN_EXPORT void FinalizeModule() { initialised = false; }

}  // extern "C"
