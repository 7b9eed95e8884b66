// CDetectorEvent: the move-only handle of one host event.
//
// The event factory or a lengthy event raiser wraps a host event in it; the
// detector fills the event's named arguments through the setters and ends it
// with Commit() or Cancel(). A handle dropped unfinished cancels its event.
// A handle is used by one thread at a time and takes no lock; its callbacks
// run on the thread that commits, cancels or destroys it.
#pragma once

#include <cstdint>
#include <string>

#include <boost/function.hpp>

#include "HostEvents.h"
#include "HostServices.h"
#include "MultimediaBuffer.h"

namespace ORQ8 {
namespace Framework {

class CDetectorEvent {
public:
    // Run on the thread that commits, cancels or destroys the handle. They
    // must not throw: destruction and move assignment run them.
    using Callback = boost::function<void()>;

    // Takes over `event` (may be null: the handle is then empty) and the two
    // callbacks. A held event gets its "DetectorsGroup" argument at once.
    // `logger` is borrowed and may be null. If the host throws while that
    // argument is set, the event is cancelled (onCancel runs) and the
    // exception passes on.
    CDetectorEvent(Analytics::IHostEvent* event, ILogger* logger, const std::string& detectorsGroup,
                   Callback onCommit, Callback onCancel);
    CDetectorEvent(CDetectorEvent&& other) noexcept;
    // Cancels the event this handle holds, then takes over `other`'s. A host
    // exception from that cancel is swallowed (and logged).
    CDetectorEvent& operator=(CDetectorEvent&& other) noexcept;
    CDetectorEvent(const CDetectorEvent&) = delete;
    CDetectorEvent& operator=(const CDetectorEvent&) = delete;
    // Cancels a held event (running onCancel); then the callbacks are
    // released. A host exception from the cancel is swallowed (and logged).
    ~CDetectorEvent();

    // True when a host event is held and no setter has failed.
    bool IsValid() const noexcept;
    // True when there is no host event, or a setter has failed.
    bool operator!() const noexcept;

    // Setters go to the event's argument store. The first failing one marks
    // the handle failed; later setters do nothing. Keys are borrowed.
    void SetValue(const char* key, bool value);
    void SetValue(const char* key, std::int32_t value);
    void SetValue(const char* key, double value);
    void SetValue(const char* key, const char* value);
    void SetRectangleArray(const char* key, Analytics::RectangleArray* rectangles);
    void SetMask(const char* key, Analytics::Mask* mask);
    void SetPolylineArray(const char* key, Analytics::PolylineArray* polylines);
    // Takes the buffer out of `buffer` only when it reaches the host; an empty
    // or failed handle leaves it with the caller.
    void SetMultimediaBuffer(const char* key, MFF::BufferHolder<>& buffer);
    void SetNumber(std::uint64_t number);

    // Publishes the event and runs onCommit; true when it was published. A
    // failed handle cancels its event instead, runs onCancel (whoever waits
    // for the event's end learns of it) and returns false. If the host's
    // Commit or Cancel throws, the event still counts as ended that way: the
    // callback runs, then the exception passes on.
    bool Commit();
    // Drops the event and runs onCancel; nothing when no event is held. A
    // throwing host Cancel still runs onCancel before its exception passes.
    void Cancel();

private:
    // Ends the held event through the host's Cancel and runs onCancel, also
    // when the host throws (the exception then passes on).
    void CancelHeld();
    // The cached argument store, asked of the host when not yet known; null
    // (after the warning) when the host has none.
    Analytics::IEventArgsAdjuster* Adjuster();
    // The common steps of every setter: `call` makes the host call with the
    // adjuster, `describe` composes the failure message.
    template <class Call, class Describe>
    void Set(Call&& call, Describe&& describe);

    Analytics::IHostEvent* hostEvent;
    Analytics::IEventArgsAdjuster* argsAdjuster = nullptr;
    bool failed = false;
    ILogger* logger;
    Callback onCommit;
    Callback onCancel;
};

}  // namespace Framework
}  // namespace ORQ8
