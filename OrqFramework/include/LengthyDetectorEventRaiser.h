// CLengthyDetectorEventRaiser: raises one lengthy event, a begin and later an
// end, both with the same name and "EventUuid".
//
// The raiser creates its host events through its factory's host factory,
// sender and logger, but keeps its own order check: an atomic state instead
// of the factory's table of active events. A begun event that was never
// ended is ended by the raiser's destruction, stamped with the current time.
//
// Threads: raises happen on one thread at a time. The handles a raise returns
// may be committed or cancelled on another thread while a third moves or
// destroys the raiser: moves and destruction wait until a pending begin or
// end has been committed or cancelled. The handles' callbacks refer to the
// raiser, so the thread that still holds a pending handle must not move or
// destroy the raiser (it would wait for itself), and no handle may outlive
// the raiser.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "DetectorEvent.h"
#include "DetectorEventFactory.h"

namespace ORQ8 {
namespace Framework {

// Where a raiser stands. Log lines show these values as decimals.
enum RaiserState : std::int32_t {
    RaiserIdle = 0,         // nothing raised, or the begin was cancelled
    RaiserBeginPending = 1, // a begin is raised, not yet committed or cancelled
    RaiserBegun = 2,        // the begin was committed
    RaiserEndPending = 3,   // an end is raised, not yet committed or cancelled
    RaiserEnded = 4,        // the end was committed
    RaiserDestroyed = 5,
    RaiserMovedFrom = 6,
};

class CLengthyDetectorEventRaiser {
public:
    // `factory` is borrowed and must outlive the raiser; `name` is copied.
    // A new identifier is made for the event, and the factory's group text is
    // copied.
    CLengthyDetectorEventRaiser(CDetectorEventFactory& factory, const char* name);
    // With the identifier and the group text given. An empty `uuid` sets no
    // "EventUuid" on the events. The group text is used as given.
    CLengthyDetectorEventRaiser(CDetectorEventFactory& factory, const char* name, std::string uuid,
                                std::string detectorsGroup);

    // Takes the name, the identifier and the state of `other` (waiting while
    // a begin or end of `other` is pending) and copies its group text;
    // `other` is left moved-from and is destroyed silently.
    CLengthyDetectorEventRaiser(CLengthyDetectorEventRaiser&& other);
    // First finishes this raiser's own event as destruction would (waiting
    // while its begin or end is pending, raising the end when it has begun and
    // not ended), then takes the factory, name, identifier and state of
    // `other` as move construction does. This raiser keeps its own group
    // text.
    CLengthyDetectorEventRaiser& operator=(CLengthyDetectorEventRaiser&& other);
    CLengthyDetectorEventRaiser(const CLengthyDetectorEventRaiser&) = delete;
    CLengthyDetectorEventRaiser& operator=(const CLengthyDetectorEventRaiser&) = delete;

    // Waits while a begin or end is pending; raises and commits the end, at
    // the current time, when the event has begun and not ended.
    ~CLengthyDetectorEventRaiser();

    // The begin event (kind 1), expected in state 0. Out of order, the error
    // is logged and an empty handle returned. Committing the handle moves the
    // raiser to 2, cancelling it back to 0.
    CDetectorEvent RaiseBegin(std::uint64_t timestamp);
    // The end event (kind 2), expected in state 2. Committing the handle
    // moves the raiser to 4, cancelling it back to 2.
    CDetectorEvent RaiseEnd(std::uint64_t timestamp);

    RaiserState State() const noexcept { return static_cast<RaiserState>(state.load()); }
    const std::string& Name() const noexcept { return name; }
    const std::string& Uuid() const noexcept { return uuid; }

private:
    // The one way a raise or a callback moves the state: a compare-and-swap
    // from `expected` to `next`; false (after the error line) when the state
    // was another.
    bool setState(std::int32_t expected, std::int32_t next, const char* during) noexcept;
    // Waits while a begin or end is pending, then swaps in `next`; returns
    // the state found.
    std::int32_t exchangeWhenSettled(std::int32_t next) noexcept;
    // Wraps a host event of this raiser and sets its "EventUuid".
    CDetectorEvent wrap(Analytics::IHostEvent* hostEvent, CDetectorEvent::Callback onCommit,
                        CDetectorEvent::Callback onCancel);
    // Raises and commits the end of a begun event, errors silenced.
    void raiseAutomaticEnd() noexcept;
    // The shared steps of RaiseBegin and RaiseEnd.
    CDetectorEvent raise(std::uint64_t timestamp, bool begin);

    CDetectorEventFactory* factory;
    std::string name;
    std::string uuid;
    std::atomic<std::int32_t> state;
    std::string detectorsGroup;
};

}  // namespace Framework
}  // namespace ORQ8
