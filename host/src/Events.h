// The host's event side: the detector event factory, its events and their
// argument stores, and the sink where committed events are printed.
//
// One EventSink serves the run; one HostEventFactory serves each input (it is
// the factory handed to that input's CreateDetector, and it knows the input's
// name). A committed event is printed at once on stdout as one line: text
//   2026-03-14T09:26:53.120Z  site.wav  GunShot  DetectorsGroup=AudioDetector
// or, with JSON output, one object per line
//   {"time":"2026-03-14T09:26:53.120Z","timestamp":1741944413120,"input":"site.wav",
//    "event":"GunShot","kind":"momentary","args":{"DetectorsGroup":"AudioDetector"}}
//
// Threads: a factory and its events are used by the thread that feeds its
// detector (the plug-in raises events on its media thread); the sink is
// shared by all of them and its counters are atomic. Tallies of a factory
// are read once its input is done.
//
// Ownership: the factory outlives its detector. An event is owned by the
// host; it frees itself when the raiser ends it with Commit or Cancel (the
// raiser touches it no more afterwards), and the factory frees the events
// still open when it goes. Buffers given to an argument store are the
// host's from then on and are destroyed with the event.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Console.h"
#include "HostEvents.h"

namespace OrqHost {

// One argument as the host keeps it: its printed text and its JSON form
// (a JSON text: true, 3, 0.5, "text" or null).
struct EventArgument {
    std::string key;
    std::string text;
    std::string json;
};

struct CommittedEvent {
    std::string input;
    std::string name;
    std::uint64_t timestamp = 0;  // ms since 1970 UTC; the list value for a target-list event
    std::int32_t kind = 0;        // 1 begin, 2 end, 3 momentary, 0 target list
    std::vector<EventArgument> args;
};

// "momentary", "begin", "end" or "target list".
std::string EventKindName(std::int32_t kind);

class EventSink {
public:
    EventSink(Console& console, bool json) : console(console), json(json) {}

    // Prints `event` as one line. Any thread.
    void Publish(const CommittedEvent& event);
    std::string Format(const CommittedEvent& event) const;

    std::atomic<std::uint64_t> committed{0};
    std::atomic<std::uint64_t> cancelled{0};
    std::atomic<std::uint64_t> refused{0};
    // Lines standard output did not take (a closed pipe, a full disk).
    std::atomic<std::uint64_t> writeFailures{0};

private:
    Console& console;
    const bool json;
};

class HostEvent;

class HostEventFactory : public ORQ8::Analytics::IHostEventFactory {
public:
    // `observer`, when set, sees every committed event after it is printed
    // (the report keeps them), on the committing thread.
    HostEventFactory(EventSink& sink, std::string input,
                     std::function<void(const CommittedEvent&)> observer = nullptr);
    ~HostEventFactory() override;
    HostEventFactory(const HostEventFactory&) = delete;
    HostEventFactory& operator=(const HostEventFactory&) = delete;

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override;

    // The host gives no event (answers null, counted as refused) for a null
    // name or a kind other than 1, 2 and 3.
    ORQ8::Analytics::IHostEvent* CreateEvent(ORQ8::Analytics::IDetector* sender, const char* name,
                                             std::uint64_t timestamp, std::int32_t kind) override;
    ORQ8::Analytics::IHostEvent* CreateTargetListEvent(ORQ8::Analytics::IDetector* sender, const char* name,
                                                       std::uint64_t value) override;

    // This input's tallies.
    const std::map<std::string, std::uint64_t>& CommittedByName() const { return byName; }
    std::uint64_t Cancelled() const { return cancelledHere; }
    std::uint64_t Refused() const { return refusedHere; }

private:
    friend class HostEvent;
    void Ended(HostEvent* event, bool committed);

    EventSink& sink;
    const std::string input;
    std::function<void(const CommittedEvent&)> observer;
    std::set<HostEvent*> open;
    std::map<std::string, std::uint64_t> byName;
    std::uint64_t cancelledHere = 0;
    std::uint64_t refusedHere = 0;
};

}  // namespace OrqHost
