// Events a detector raises to the host: the host's event factory, its event
// objects, their argument stores, and the target lists some events carry.
#pragma once

#include <cstdint>

#include "Contract.h"
#include "Detector.h"
#include "MultimediaBuffer.h"

namespace ORQ8 {
namespace Analytics {

// Opaque host geometry objects; argument stores take them as they are.
class RectangleArray;
class Mask;
class PolylineArray;

// The kinds of event the host can be asked for.
enum EventKind : std::int32_t {
    EventBegin = 1,      // begin of a lengthy event
    EventEnd = 2,        // end of a lengthy event
    EventMomentary = 3,  // an event without duration
};

// The named-argument store of one host event. Called by the thread that
// raises the event, before it is committed or cancelled. Keys are
// NUL-terminated texts borrowed for the call. Every operation returns 0 on
// success, anything else on failure.
class IEventArgsAdjuster : public IContract {
public:
    virtual std::int64_t SetValue(const char* key, bool value) = 0;
    virtual std::int64_t SetValue(const char* key, std::int32_t value) = 0;
    virtual std::int64_t SetValue(const char* key, double value) = 0;
    virtual std::int64_t SetValue(const char* key, const char* value) = 0;
    virtual std::int64_t SetRectangleArray(const char* key, RectangleArray* rectangles) = 0;
    virtual std::int64_t SetMask(const char* key, Mask* mask) = 0;
    virtual std::int64_t SetPolylineArray(const char* key, PolylineArray* polylines) = 0;
    // Ownership of `buffer` passes to the host with the call, whatever the
    // result.
    virtual std::int64_t SetMultimediaBuffer(const char* key, MFF::IMultimediaBuffer* buffer) = 0;
    // One key-less number whose meaning the host fixes.
    virtual std::int64_t SetNumber(std::uint64_t number) = 0;
};

// One event handed out by the host's event factory. The host owns it; the
// raiser ends it with exactly one of Commit() and Cancel() and touches it no
// more afterwards. It is never deleted by the plug-in.
class IHostEvent : public IContract {
public:
    // The host's first event operation is not used by plug-ins; here it
    // returns the event's name (owned by the event).
    virtual const char* GetName() = 0;
    // Publishes the event. The result is the host's status and is not used.
    virtual std::int32_t Commit() = 0;
    // Drops the event unpublished. The result is not used.
    virtual std::int32_t Cancel() = 0;
    // The event's argument store, owned by the event, or null.
    virtual IEventArgsAdjuster* GetArgsAdjuster() = 0;
};

// A list of targets. It is also a multimedia buffer, so an event can carry it
// as an argument. Whoever holds it owns it and ends it with Destroy().
class ITargetList : public MFF::IMultimediaBuffer {
public:
    // Advances to the next target; false when there is none.
    virtual bool MoveNext() = 0;
    // The target at the current position (owned by the list), or null.
    virtual IContract* Current() = 0;
    // Goes back before the first target.
    virtual void Reset() = 0;
    // The value the list reports of itself, handed to CreateTargetListEvent.
    // The list reports it through the first buffer operation.
    std::uint64_t GetListValue() { return GetTimestamp(); }
};

// Sets named values on an object. A target carries it as the second base of
// its ITargetAdjuster.
class IValueAdjuster : public IContract {
public:
    virtual std::int32_t SetValue(const char* key, bool value) = 0;
    virtual std::int32_t SetValue(const char* key, std::int32_t value) = 0;
    virtual std::int32_t SetValue(const char* key, double value) = 0;
    virtual std::int32_t SetValue(const char* key, const char* value) = 0;
};

// The adjustable face of a target (key "N4ORQ89Analytics15ITargetAdjusterE").
// Only GetId, the fifth operation, and the int SetValue of the second base
// are used by the framework; the first four are the host's.
//
// The host lays the face out with IContract as its first base and the value
// adjuster (itself an IContract) as its second, so the direct IContract base
// is ambiguous by design; the compiler's note about that is silenced here.
// Reach the object's IContract through its target, never through this face.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winaccessible-base"
class ITargetAdjuster : public IContract, public IValueAdjuster {
public:
    virtual std::int32_t GetClassId() = 0;
    virtual double GetConfidence() = 0;
    virtual std::uint64_t GetTimestamp() = 0;
    virtual std::uint32_t GetTrackAge() = 0;
    // The target's identifier.
    virtual std::int32_t GetId() = 0;
};
#pragma GCC diagnostic pop

// The host's detector event factory, handed to CreateDetector. The host owns
// it and keeps it alive longer than every detector it was handed to. Called
// on the detector's media thread.
class IHostEventFactory : public IContract {
public:
    // A new event of `kind` named `name` (borrowed), stamped `timestamp`
    // (milliseconds since 1970-01-01 00:00:00 UTC), sent by `sender`; null
    // when the host gives no event.
    virtual IHostEvent* CreateEvent(IDetector* sender, const char* name,
                                    std::uint64_t timestamp, std::int32_t kind) = 0;
    // A new target-list event named `name`; `value` is the list's own value.
    virtual IHostEvent* CreateTargetListEvent(IDetector* sender, const char* name,
                                              std::uint64_t value) = 0;
};

}  // namespace Analytics
}  // namespace ORQ8
