// Recording fakes of the host's event side for tests: the detector event
// factory, the events it hands out and their argument stores, a sender, and
// target lists with their targets.
//
// Every created event is kept (owned by the fake factory, as the host owns
// its events) with its sender, name, timestamp and kind, every argument set
// on it in call order, and its Commit/Cancel calls. Failures are scripted:
// the factory can hand out null events, and `prepare` adjusts each new event
// before the caller sees it (failing or throwing setters, no argument store,
// a Commit or Cancel that throws after it has been counted). Buffers
// given to an argument store belong to the fake host from then on and are
// destroyed with the fake factory.
//
// The factory's list of events is guarded by a mutex, so events may be
// created from several threads; one event is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Detector.h"
#include "HostEvents.h"
#include "MultimediaBuffer.h"

namespace TestSupport {

// Which argument-store operation a recorded argument came through.
enum class ArgType { Bool, Int, Double, Text, RectangleArray, Mask, PolylineArray, MultimediaBuffer, Number };

// One call on a fake argument store.
struct RecordedArg {
    ArgType type = ArgType::Bool;
    std::string key;  // empty for Number
    bool boolValue = false;
    std::int32_t intValue = 0;
    double doubleValue = 0.0;
    std::string textValue;
    const void* pointer = nullptr;  // rectangle array, mask, polyline array or buffer
    std::uint64_t number = 0;
    std::int64_t status = 0;  // what the fake answered
};

class FakeHostEvent;

class FakeEventArgsAdjuster : public ORQ8::Analytics::IEventArgsAdjuster {
public:
    explicit FakeEventArgsAdjuster(FakeHostEvent& owner_) : owner(owner_) {}

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }

    std::int64_t SetValue(const char* key, bool value) override
    {
        RecordedArg a = Arg(ArgType::Bool, key);
        a.boolValue = value;
        return Record(std::move(a));
    }
    std::int64_t SetValue(const char* key, std::int32_t value) override
    {
        RecordedArg a = Arg(ArgType::Int, key);
        a.intValue = value;
        return Record(std::move(a));
    }
    std::int64_t SetValue(const char* key, double value) override
    {
        RecordedArg a = Arg(ArgType::Double, key);
        a.doubleValue = value;
        return Record(std::move(a));
    }
    std::int64_t SetValue(const char* key, const char* value) override
    {
        RecordedArg a = Arg(ArgType::Text, key);
        a.textValue = value != nullptr ? value : "<null>";
        return Record(std::move(a));
    }
    std::int64_t SetRectangleArray(const char* key, ORQ8::Analytics::RectangleArray* rectangles) override
    {
        RecordedArg a = Arg(ArgType::RectangleArray, key);
        a.pointer = rectangles;
        return Record(std::move(a));
    }
    std::int64_t SetMask(const char* key, ORQ8::Analytics::Mask* mask) override
    {
        RecordedArg a = Arg(ArgType::Mask, key);
        a.pointer = mask;
        return Record(std::move(a));
    }
    std::int64_t SetPolylineArray(const char* key, ORQ8::Analytics::PolylineArray* polylines) override
    {
        RecordedArg a = Arg(ArgType::PolylineArray, key);
        a.pointer = polylines;
        return Record(std::move(a));
    }
    // The host owns the buffer from the call on, whatever it answers.
    std::int64_t SetMultimediaBuffer(const char* key, ORQ8::MFF::IMultimediaBuffer* buffer) override
    {
        ownedBuffers.emplace_back(buffer);
        RecordedArg a = Arg(ArgType::MultimediaBuffer, key);
        a.pointer = buffer;
        return Record(std::move(a));
    }
    std::int64_t SetNumber(std::uint64_t number) override
    {
        RecordedArg a = Arg(ArgType::Number, nullptr);
        a.number = number;
        return Record(std::move(a));
    }

    // Scripting: calls with a key in `failingKeys` (or every call, with
    // `failAll`) answer `failStatus`; calls with a key in `throwingKeys` are
    // recorded and then throw std::runtime_error. SetNumber's key is "".
    std::set<std::string> failingKeys;
    std::set<std::string> throwingKeys;
    bool failAll = false;
    std::int64_t failStatus = 7;

    // Every call, in order, failed ones included.
    std::vector<RecordedArg> calls;
    std::vector<ORQ8::MFF::BufferHolder<>> ownedBuffers;

private:
    static RecordedArg Arg(ArgType type, const char* key)
    {
        RecordedArg a;
        a.type = type;
        a.key = key != nullptr ? key : "";
        return a;
    }
    inline std::int64_t Record(RecordedArg a);

    FakeHostEvent& owner;
};

class FakeHostEvent : public ORQ8::Analytics::IHostEvent {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }

    const char* GetName() override { return name.c_str(); }
    std::int32_t Commit() override
    {
        NoteEndedUse();
        ++commits;
        if (throwOnCommit)
            throw std::runtime_error("host commit failed");
        return 0;
    }
    std::int32_t Cancel() override
    {
        NoteEndedUse();
        ++cancels;
        if (throwOnCancel)
            throw std::runtime_error("host cancel failed");
        return 0;
    }
    ORQ8::Analytics::IEventArgsAdjuster* GetArgsAdjuster() override
    {
        NoteEndedUse();
        ++adjusterQueries;
        return noArgsAdjuster ? nullptr : &adjuster;
    }

    // The request that made the event. `kind` is 0 for a target-list event,
    // which carries `listValue` instead of a timestamp.
    ORQ8::Analytics::IDetector* sender = nullptr;
    std::string name;
    std::uint64_t timestamp = 0;
    std::int32_t kind = 0;
    bool targetList = false;
    std::uint64_t listValue = 0;

    // Scripting: the event has no argument store; Commit or Cancel throws
    // std::runtime_error (the call is counted first).
    bool noArgsAdjuster = false;
    bool throwOnCommit = false;
    bool throwOnCancel = false;

    int commits = 0;
    int cancels = 0;
    int adjusterQueries = 0;
    // Calls that reached the event or its store after Commit or Cancel.
    int callsAfterEnd = 0;
    FakeEventArgsAdjuster adjuster{*this};

    bool Ended() const { return commits + cancels > 0; }
    bool Committed() const { return commits > 0; }

    // Scripting shortcuts for the argument store.
    void FailKey(const std::string& key) { adjuster.failingKeys.insert(key); }
    void FailAll() { adjuster.failAll = true; }

    // The last successful argument stored under `key`, or null.
    const RecordedArg* Arg(const std::string& key) const
    {
        for (auto it = adjuster.calls.rbegin(); it != adjuster.calls.rend(); ++it)
            if (it->key == key && it->status == 0)
                return &*it;
        return nullptr;
    }
    // The text stored under `key`, or "<unset>".
    std::string Text(const std::string& key) const
    {
        const RecordedArg* a = Arg(key);
        return a != nullptr && a->type == ArgType::Text ? a->textValue : "<unset>";
    }
    const std::vector<RecordedArg>& Calls() const { return adjuster.calls; }

    void NoteEndedUse()
    {
        if (Ended())
            ++callsAfterEnd;
    }
};

inline std::int64_t FakeEventArgsAdjuster::Record(RecordedArg a)
{
    owner.NoteEndedUse();
    a.status = (failAll || failingKeys.count(a.key) != 0) ? failStatus : 0;
    const bool throws = throwingKeys.count(a.key) != 0;
    calls.push_back(std::move(a));
    if (throws)
        throw std::runtime_error("host argument store failed");
    return calls.back().status;
}

// One CreateEvent or CreateTargetListEvent call, also those answered null.
struct EventRequest {
    ORQ8::Analytics::IDetector* sender = nullptr;
    std::string name;
    std::uint64_t timestampOrValue = 0;
    std::int32_t kind = 0;  // 0 for target-list requests
    bool answeredNull = false;
};

class FakeHostEventFactory : public ORQ8::Analytics::IHostEventFactory {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }

    ORQ8::Analytics::IHostEvent* CreateEvent(ORQ8::Analytics::IDetector* sender, const char* name,
                                             std::uint64_t timestamp, std::int32_t kind) override
    {
        return Make(sender, name, timestamp, kind, false);
    }
    ORQ8::Analytics::IHostEvent* CreateTargetListEvent(ORQ8::Analytics::IDetector* sender, const char* name,
                                                       std::uint64_t value) override
    {
        return Make(sender, name, value, 0, true);
    }

    // Scripting: answer null to every request, or to the next `count` ones.
    void ReturnNull(bool always) { std::lock_guard<std::mutex> lock(mutex); nullAlways = always; }
    void ReturnNullForNext(int count) { std::lock_guard<std::mutex> lock(mutex); nullCountdown = count; }
    // Run on every new event before it is handed out.
    void Prepare(std::function<void(FakeHostEvent&)> prepare_)
    {
        std::lock_guard<std::mutex> lock(mutex);
        prepare = std::move(prepare_);
    }

    // The events handed out, in creation order (owned by the fake).
    std::vector<FakeHostEvent*> Events() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<FakeHostEvent*> out;
        for (const auto& e : events)
            out.push_back(e.get());
        return out;
    }
    std::size_t EventCount() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    }
    FakeHostEvent& Event(std::size_t index) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return *events.at(index);
    }
    std::vector<EventRequest> Requests() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return requests;
    }

private:
    ORQ8::Analytics::IHostEvent* Make(ORQ8::Analytics::IDetector* sender, const char* name,
                                      std::uint64_t timestampOrValue, std::int32_t kind, bool targetList)
    {
        std::lock_guard<std::mutex> lock(mutex);
        EventRequest request;
        request.sender = sender;
        request.name = name != nullptr ? name : "<null>";
        request.timestampOrValue = timestampOrValue;
        request.kind = kind;
        request.answeredNull = nullAlways || nullCountdown > 0;
        requests.push_back(request);
        if (request.answeredNull) {
            if (nullCountdown > 0)
                --nullCountdown;
            return nullptr;
        }
        auto event = std::make_unique<FakeHostEvent>();
        event->sender = sender;
        event->name = request.name;
        event->targetList = targetList;
        (targetList ? event->listValue : event->timestamp) = timestampOrValue;
        event->kind = kind;
        if (prepare)
            prepare(*event);
        events.push_back(std::move(event));
        return events.back().get();
    }

    mutable std::mutex mutex;
    bool nullAlways = false;
    int nullCountdown = 0;
    std::function<void(FakeHostEvent&)> prepare;
    std::vector<EventRequest> requests;
    std::vector<std::unique_ptr<FakeHostEvent>> events;
};

// A sender for events: a detector that answers no key.
class FakeSender : public ORQ8::Analytics::IDetector {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    void Destroy() override { ++destroys; }
    int destroys = 0;
};

// The adjustable face of a fake target: reports `id`, records int settings.
class FakeTargetAdjuster : public ORQ8::Analytics::ITargetAdjuster {
public:
    void* GetContract(const char*) override { return nullptr; }
    void* DoGetContract(const char*) override { return nullptr; }
    std::int32_t SetValue(const char*, bool) override { return 0; }
    std::int32_t SetValue(const char* key, std::int32_t value) override
    {
        intValues.emplace_back(key != nullptr ? key : "<null>", value);
        return status;
    }
    std::int32_t SetValue(const char*, double) override { return 0; }
    std::int32_t SetValue(const char*, const char*) override { return 0; }
    std::int32_t GetClassId() override { return 0; }
    double GetConfidence() override { return 0.0; }
    std::uint64_t GetTimestamp() override { return 0; }
    std::uint32_t GetTrackAge() override { return 0; }
    std::int32_t GetId() override { return id; }

    std::int32_t id = 0;
    std::int32_t status = 0;  // what the int SetValue answers
    std::vector<std::pair<std::string, std::int32_t>> intValues;
};

// A target: answers the ITargetAdjuster key with its adjuster, unless built
// without one.
class FakeTarget : public ORQ8::IContract {
public:
    explicit FakeTarget(std::int32_t id, bool hasAdjuster_ = true) : hasAdjuster(hasAdjuster_) { adjuster.id = id; }
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (hasAdjuster && key != nullptr &&
            std::string(key) == ORQ8::ContractKey<ORQ8::Analytics::ITargetAdjuster>())
            return static_cast<ORQ8::Analytics::ITargetAdjuster*>(&adjuster);
        return nullptr;
    }
    bool hasAdjuster;
    FakeTargetAdjuster adjuster;
};

// A target list over borrowed targets (a null entry is a null target). Its
// Destroy() only counts, so a test can check that the list ended exactly
// once whoever ended it; the test owns the object.
class FakeTargetList : public ORQ8::Analytics::ITargetList {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    std::uint64_t GetTimestamp() override { return listValue; }
    const char* GetBufferName() override { return "FakeTargetList"; }
    std::uint32_t GetFlags() override { return 0; }
    void Destroy() override { ++destroys; }
    bool MoveNext() override
    {
        ++moveNexts;
        if (position + 1 >= static_cast<long>(targets.size())) {
            position = static_cast<long>(targets.size());
            return false;
        }
        ++position;
        return true;
    }
    ORQ8::IContract* Current() override
    {
        return position >= 0 && position < static_cast<long>(targets.size()) ? targets[position] : nullptr;
    }
    void Reset() override
    {
        ++resets;
        position = -1;
    }

    std::vector<ORQ8::IContract*> targets;
    std::uint64_t listValue = 0;
    int destroys = 0;
    int resets = 0;
    int moveNexts = 0;

private:
    long position = -1;
};

}  // namespace TestSupport
