// ZVAudioAnalytics::Module: the plug-in's module, the factory of its audio
// detectors.
//
// InitializeModule makes the one module and FinalizeModule (or library
// unload) destroys it. The host calls CreateDetector from any of its threads,
// any number of times in between; the module keeps no state that changes
// after construction and no list of the detectors it made.
#pragma once

#include <string>

#include "BaseModule.h"
#include "Detector.h"
#include "HostEvents.h"
#include "HostServices.h"

namespace ZVAudioAnalytics {

class Module final : public BaseModule {
public:
    // The one detector name the module serves: the plug-in's own name.
    static constexpr const char* kPluginName = "AudioAnalytics_Zelvani";

    // Called by InitializeModule. Asks `host` (borrowed for this call only)
    // for its logger, which the module then keeps; a host without one leaves
    // the module without logging. `modulePath` is the folder of the plug-in
    // file. Throws what the host and the version line throw.
    Module(ORQ8::IHostServices* host, std::string modulePath);
    ~Module() override;

    // A new audio detector, owned by the host from now on, for the name
    // "AudioAnalytics_Zelvani"; null, with a refusal line, for any other name.
    // `eventFactory` is borrowed and handed to the detector. An exception of
    // the detector's construction passes on to the caller.
    ORQ8::Analytics::IDetector* CreateDetector(const char* name,
                                               ORQ8::Analytics::IHostEventFactory* eventFactory) override;
};

}  // namespace ZVAudioAnalytics
