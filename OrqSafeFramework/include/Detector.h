// The faces of a detector, and the module that creates detectors.
#pragma once

#include <cstdint>

#include "Contract.h"
#include "MultimediaBuffer.h"

namespace ORQ8 {

// Named settings of a running detector. The host calls these at any time, on
// any of its threads, also while the detector is receiving media. Every name
// is a NUL-terminated text borrowed for the call. Results: 0 success, 5 for a
// setting the object does not have.
//
// The host fixes the value types of the second and fourth overloads; here
// they are `int` and `const char*`.
class ISyncAdjuster : public IContract {
public:
    virtual std::int32_t SetValue(const char* name, bool value) = 0;
    virtual std::int32_t SetValue(const char* name, int value) = 0;
    virtual std::int32_t SetValue(const char* name, double value) = 0;
    virtual std::int32_t SetValue(const char* name, const char* value) = 0;
};

namespace Analytics {

// A detector. The host owns it from the moment the module creates it and
// ends it with Destroy(). It adds nothing to IDestroyable.
class IDetector : public IDestroyable {};

// The media face of a detector.
class IMediaReceiver : public IContract {
public:
    // Called by the host on its media thread, never twice at once for one
    // receiver. Ownership of `sample` passes to the receiver with the call;
    // the receiver destroys it before returning, on every path. Returns 0
    // when the sample was accepted, 4 when it could not be handled.
    virtual std::int32_t Receive(MFF::IMultimediaBuffer* sample) = 0;
};

class IHostEventFactory;

}  // namespace Analytics

namespace PLUGIN {

// What the host knows of any plug-in module. Adds no operation.
class IPluginModule : public IContract {};

}  // namespace PLUGIN

namespace Analytics {

// An analytics module: the factory of the plug-in's detectors.
class IModule : public PLUGIN::IPluginModule {
public:
    // Called by the host on any thread, any number of times between module
    // initialisation and finalisation. `name` is the detector type asked for
    // (borrowed); `eventFactory` is the host's, borrowed and outliving the
    // detector. Returns a new detector, owned by the host from now on, or
    // null when the name is not served.
    virtual IDetector* CreateDetector(const char* name, IHostEventFactory* eventFactory) = 0;
};

}  // namespace Analytics
}  // namespace ORQ8
