// CDetectorEventFactory: how a detector raises events to the host.
//
// It binds the host's event factory, the detector as sender, the logger and
// the detector's group text, and keeps the bookkeeping of lengthy events that
// have begun and not ended. It takes no lock: all calls on one factory, and
// the commit, cancel and destruction of its handles, come from one thread at
// a time (the detector's media thread). It is neither copied nor moved, and
// it outlives every handle and raiser made from it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Detector.h"
#include "DetectorEvent.h"
#include "EventTime.h"
#include "HostEvents.h"
#include "HostServices.h"
#include "MultimediaBuffer.h"

namespace ORQ8 {
namespace Framework {

class CDetectorEventFactory {
public:
    // All pointers are borrowed; `hostFactory` and `sender` outlive the
    // factory, `logger` may be null. Throws std::logic_error
    // "Incorrect detector group" when `detectorsGroup` is not valid.
    CDetectorEventFactory(Analytics::IDetector* sender, Analytics::IHostEventFactory* hostFactory,
                          ILogger* logger, const std::string& detectorsGroup);
    CDetectorEventFactory(const CDetectorEventFactory&) = delete;
    CDetectorEventFactory& operator=(const CDetectorEventFactory&) = delete;

    // An event without duration, stamped `timestamp` (ms since 1970 UTC).
    // `name` is borrowed.
    CDetectorEvent RaiseMomentaryEvent(const char* name, std::uint64_t timestamp);
    // The begin (`begin` true) or end of the lengthy event `name`; both carry
    // the same "EventUuid". Refused (an empty handle, after a warning) for a
    // begin of a name that is active and an end of one that is not. The
    // handle's commit or cancel updates the bookkeeping; a request the host
    // answers without an event leaves the bookkeeping as it was.
    CDetectorEvent RaiseLengthyEvent(const char* name, bool begin, std::uint64_t timestamp);
    // Raise, fill and commit a "TargetList" event: every target up to the
    // first null one, or one without an adjuster, gets its "ObjectId"; the
    // list goes to the event as its "TargetList" argument. The list is
    // always taken: when the event does not take it, it is destroyed here.
    // Returns the commit's result (false, with no event, for a null list).
    bool RaiseTargetListEvent(MFF::BufferHolder<Analytics::ITargetList> list);
    // The same for a "HumanBoneTargetList" event; the targets are not
    // touched.
    bool RaiseHumanBoneTargetListEvent(MFF::BufferHolder<Analytics::ITargetList> list);

    Analytics::IHostEventFactory* HostFactory() const noexcept { return hostFactory; }
    Analytics::IDetector* Sender() const noexcept { return sender; }
    ILogger* Logger() const noexcept { return logger; }
    const std::string& DetectorsGroup() const noexcept { return detectorsGroup; }

private:
    struct ActiveEvent {
        bool committed = false;  // false while a begin or end is pending
        std::string uuid;        // shared by the begin and the end
    };

    // Creates the target-list event named `key`, hands it the list under
    // the same key, commits it.
    bool RaiseListEvent(const char* key, MFF::BufferHolder<Analytics::ITargetList> list);

    Analytics::IHostEventFactory* hostFactory;
    Analytics::IDetector* sender;
    ILogger* logger;
    EventUuidGenerator uuidGenerator;
    std::map<std::string, ActiveEvent> activeEvents;
    std::string detectorsGroup;
};

}  // namespace Framework
}  // namespace ORQ8
