// Fuzzes the event framework: event handles, the event factory and lengthy
// event raisers, driven by arbitrary call sequences against fake host
// objects, and checked against a model of their transition rules.
//
// Input: a sequence of calls: momentary and lengthy raises through the
// factory and begins and ends through up to three raisers (new, moved,
// move-assigned, destroyed), into up to six handle slots (a raise into a
// held slot move-assigns over it); setters, Commit, Cancel, destruction,
// move construction and move assignment of handles; target-list events.
// Before each request the input picks how the host treats the event: as
// asked, refusing a setter (one key or all), without an argument store,
// throwing from a setter, Commit or Cancel, no event, or CreateEvent
// throwing.
//
// The model keeps the factory's table of lengthy events and each raiser's
// state, and from them predicts every host request, each handle's validity,
// whether a call throws, what Commit returns, and the factory's and
// raisers' warning and error lines. Checks after every call: the
// predictions hold, each raiser's State() is the modelled one, and no host
// event was ended twice or touched after its end. So every begin and end
// ends in exactly one host commit or cancel and exactly one callback (a
// missing or doubled callback shows as a wrong state, request or line). At
// the end, with handles and raisers gone: every host event was ended
// exactly once, and every target list was destroyed exactly once.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DetectorEvent.h"
#include "DetectorEventFactory.h"
#include "FuzzInput.h"
#include "HostEventFakes.h"
#include "LengthyDetectorEventRaiser.h"
#include "RecordingLogger.h"

namespace {

using ORQ8::Framework::CDetectorEvent;
using ORQ8::Framework::CDetectorEventFactory;
using ORQ8::Framework::CLengthyDetectorEventRaiser;

constexpr const char* kLogFile = "OrqFramework/src/EventRaising";
constexpr const char* kUserKey = "k";

// How the host treats the next event it is asked for.
enum Shape : std::uint32_t {
    AsAsked,
    FailGroup,      // the "DetectorsGroup" argument is refused
    FailUuid,       // the "EventUuid" argument is refused
    FailAll,        // every argument is refused
    NoStore,        // no argument store
    ThrowCommit,    // Commit throws (after counting)
    ThrowCancel,    // Cancel throws (after counting)
    ThrowGroup,     // setting "DetectorsGroup" throws
    ThrowUuid,      // setting "EventUuid" throws
    FailUser,       // the user key is refused
    ThrowUser,      // setting the user key throws
    NoEvent,        // CreateEvent answers null
    CreateThrows,   // CreateEvent throws
    kShapes
};

// What the callbacks of a handle report to.
enum class Owner { None, FactoryBegin, FactoryEnd, RaiserBegin, RaiserEnd };

struct HandleModel {
    bool held = false;
    bool failed = false;
    Shape shape = AsAsked;
    std::size_t event = 0;  // index among the host's events
    Owner owner = Owner::None;
    std::string name;       // factory-owned: the lengthy event's name
    int raiser = -1;        // raiser-owned: the raiser's slot
};

struct Entry {
    bool committed = false;
    std::string uuid;
};

struct RaiserModel {
    std::int32_t state = 0;
    std::string name;
    bool hasUuid = true;
};

// A pending raise's result, as the model predicts it.
struct Predicted {
    bool throws = false;
    HandleModel handle;
};

// Target lists and their targets, kept until the host fake that may own
// the lists has gone.
struct TargetObjects {
    std::deque<TestSupport::FakeTarget> targets;
    std::deque<TestSupport::FakeTargetList> lists;
};

class Run {
public:
    Run(Fuzz::Input& in, TargetObjects& objects) : in(in), targets(objects.targets), lists(objects.lists)
    {
        hostFactory.Prepare([this](TestSupport::FakeHostEvent& e) { ShapeEvent(e); });
        static const char* const kGroups[] = {"AudioDetector", "Tracker,FaceDetector", "System"};
        factory.emplace(&sender, &hostFactory, &logger, kGroups[in.Below(3)]);
    }

    ~Run()
    {
        // Handles first (their callbacks refer to the raisers), then the
        // raisers, which may end a begun event themselves.
        for (int h = 0; h < kHandles; ++h)
            DestroyHandle(h);
        for (int r = 0; r < kRaisers; ++r)
            DestroyRaiser(r);
        Check();
        for (const TestSupport::FakeHostEvent* e : hostFactory.Events())
            FUZZ_CHECK(e->commits + e->cancels == 1);
        factory.reset();
    }

    void Step()
    {
        switch (in.Below(16)) {
        case 0:
        case 1:
            RaiseLengthy();
            break;
        case 2:
            RaiseMomentary();
            break;
        case 3:
        case 4:
            RaiserRaise();
            break;
        case 5:
            RaiserLifecycle();
            break;
        case 6:
        case 7:
            Setter();
            break;
        case 8:
        case 9:
            Commit();
            break;
        case 10:
            Cancel();
            break;
        case 11:
            DestroyHandle(static_cast<int>(in.Below(kHandles)));
            break;
        case 12:
            MoveHandle();
            break;
        case 13:
            TargetList();
            break;
        default:
            RaiseLengthy();
            break;
        }
        Check();
    }

private:
    static constexpr int kHandles = 6;
    static constexpr int kRaisers = 3;

    // ---- the host side -------------------------------------------------

    void NextShape()
    {
        shape = static_cast<Shape>(in.Below(8) < 5 ? AsAsked : in.Below(kShapes));
        hostFactory.ReturnNullForNext(shape == NoEvent ? 1 : 0);
    }

    void ShapeEvent(TestSupport::FakeHostEvent& e)
    {
        switch (shape) {
        case FailGroup: e.FailKey("DetectorsGroup"); break;
        case FailUuid: e.FailKey("EventUuid"); break;
        case FailAll: e.FailAll(); break;
        case NoStore: e.noArgsAdjuster = true; break;
        case ThrowCommit: e.throwOnCommit = true; break;
        case ThrowCancel: e.throwOnCancel = true; break;
        case ThrowGroup: e.adjuster.throwingKeys.insert("DetectorsGroup"); break;
        case ThrowUuid: e.adjuster.throwingKeys.insert("EventUuid"); break;
        case FailUser: e.FailKey(kUserKey); break;
        case ThrowUser: e.adjuster.throwingKeys.insert(kUserKey); break;
        case CreateThrows: throw std::runtime_error("host refused to create the event");
        default: break;
        }
    }

    // ---- the model's rules ---------------------------------------------

    void Warn(int line) { ++expectedLines[line]; }

    // setState(expected, next): the raiser's compare-and-swap.
    bool SetState(int r, std::int32_t expected, std::int32_t next)
    {
        if (raisers[r].state != expected) {
            Warn(350);
            return false;
        }
        raisers[r].state = next;
        return true;
    }

    // A callback of a handle owned as `h` ran: commit or cancel.
    void Callback(const HandleModel& h, bool commit)
    {
        switch (h.owner) {
        case Owner::None:
            break;
        case Owner::FactoryBegin:
        case Owner::FactoryEnd: {
            const bool begin = h.owner == Owner::FactoryBegin;
            auto found = entries.find(h.name);
            if (found == entries.end()) {
                Warn(begin ? (commit ? 468 : 484) : (commit ? 507 : 523));
                break;
            }
            if (found->second.committed)
                Warn(begin ? (commit ? 473 : 489) : (commit ? 512 : 528));
            if (begin == commit)
                found->second.committed = true;  // begin committed, or end cancelled
            else
                entries.erase(found);
            break;
        }
        case Owner::RaiserBegin:
            SetState(h.raiser, 1, commit ? 2 : 0);
            break;
        case Owner::RaiserEnd:
            SetState(h.raiser, 3, commit ? 4 : 2);
            break;
        }
    }

    // The host event of `h` is ended; the matching callback runs. Returns
    // whether that host call throws.
    bool EndHeld(HandleModel& h, bool commit)
    {
        h.held = false;
        Callback(h, commit);
        return commit ? h.shape == ThrowCommit : h.shape == ThrowCancel;
    }

    // A setter with key `key` on a held handle: whether it throws; marks
    // the handle failed when refused.
    bool Set(HandleModel& h, const std::string& key)
    {
        if (!h.held || h.failed || h.shape == NoStore)
            return false;
        const bool refused = h.shape == FailAll || (h.shape == FailGroup && key == "DetectorsGroup") ||
                             (h.shape == FailUuid && key == "EventUuid") || (h.shape == FailUser && key == kUserKey);
        const bool throws = (h.shape == ThrowGroup && key == "DetectorsGroup") ||
                            (h.shape == ThrowUuid && key == "EventUuid") || (h.shape == ThrowUser && key == kUserKey);
        if (throws)
            return true;
        if (refused)
            h.failed = true;
        return false;
    }

    // A host event answered to a raise and wrapped with `h`'s callbacks;
    // `uuid` says whether the raise then sets "EventUuid". `rollBack`
    // undoes the raise's bookkeeping when the host gives no event.
    template <class RollBack>
    Predicted Wrap(HandleModel h, bool uuid, RollBack&& rollBack)
    {
        Predicted p;
        if (shape == NoEvent || shape == CreateThrows) {
            rollBack();
            p.throws = shape == CreateThrows;
            return p;  // an empty handle without callbacks
        }
        h.held = true;
        h.shape = shape;
        h.event = eventCount++;
        if (Set(h, "DetectorsGroup")) {
            EndHeld(h, false);  // the constructor cancels; the set's exception goes on
            p.throws = true;
            return p;
        }
        if (uuid && !h.failed && Set(h, "EventUuid")) {
            EndHeld(h, false);  // the handle being built goes, cancelling
            p.throws = true;
            return p;
        }
        p.handle = h;
        return p;
    }

    // ---- actions ---------------------------------------------------------

    // Runs `raise` into handle slot `slot` (move-assigning over a held
    // one) and checks the outcome against `predicted`.
    template <class Raise>
    bool Place(int slot, const Predicted& predicted, std::size_t requestsBefore, std::size_t expectedRequests,
               Raise&& raise)
    {
        bool threw = false;
        try {
            CDetectorEvent event = raise();
            if (handles[slot]) {
                *handles[slot] = std::move(event);  // cancels the old one first
                if (models[slot].held)
                    EndHeld(models[slot], false);  // its exception is swallowed
            } else {
                handles[slot].emplace(std::move(event));
            }
            models[slot] = predicted.handle;
        } catch (const std::exception&) {
            threw = true;
        }
        FUZZ_CHECK(threw == predicted.throws);
        FUZZ_CHECK(hostFactory.Requests().size() - requestsBefore == expectedRequests);
        hostFactory.ReturnNullForNext(0);
        return !threw;
    }

    std::string Name()
    {
        static const char* const kNames[] = {"Siren", "GunShot", "Intrusion"};
        return in.Below(8) == 0 ? in.Text(8) : kNames[in.Below(3)];
    }

    void RaiseLengthy()
    {
        const int slot = static_cast<int>(in.Below(kHandles));
        const std::string name = Name();
        const bool begin = in.Below(3) != 0;
        const std::uint64_t timestamp = in.U64();
        NextShape();
        const std::size_t requests = hostFactory.Requests().size();

        Predicted p;
        std::size_t expectedRequests = 1;
        auto found = entries.find(name);
        if (begin && found != entries.end()) {
            Warn(441);
            expectedRequests = 0;
        } else if (!begin && found == entries.end()) {
            Warn(447);
            expectedRequests = 0;
        } else {
            HandleModel h;
            h.owner = begin ? Owner::FactoryBegin : Owner::FactoryEnd;
            h.name = name;
            bool committedBefore = false;
            if (begin) {
                entries[name] = Entry{};
            } else {
                committedBefore = found->second.committed;
                found->second.committed = false;
            }
            p = Wrap(h, true, [&] {
                auto again = entries.find(name);
                if (again == entries.end())
                    return;
                if (begin)
                    entries.erase(again);
                else
                    again->second.committed = committedBefore;
            });
        }
        const bool placed = Place(slot, p, requests, expectedRequests,
                                  [&] { return factory->RaiseLengthyEvent(name.c_str(), begin, timestamp); });
        auto entry = entries.find(name);
        if (placed && models[slot].held && entry != entries.end()) {
            // Begin and end of one lengthy event carry one identifier.
            const std::string uuid = hostFactory.Event(models[slot].event).Text("EventUuid");
            if (uuid != "<unset>") {
                FUZZ_CHECK(uuid.size() == 36);
                if (begin)
                    entry->second.uuid = uuid;
                else
                    FUZZ_CHECK(entry->second.uuid.empty() || entry->second.uuid == uuid);
            }
        }
    }

    void RaiseMomentary()
    {
        const int slot = static_cast<int>(in.Below(kHandles));
        const std::string name = Name();
        NextShape();
        const std::size_t requests = hostFactory.Requests().size();
        const Predicted p = Wrap(HandleModel{}, false, [] {});
        Place(slot, p, requests, 1, [&] { return factory->RaiseMomentaryEvent(name.c_str(), 1700000000000ULL); });
    }

    void RaiserRaise()
    {
        const int r = static_cast<int>(in.Below(kRaisers));
        if (!raisers_[r])
            return;
        const int slot = static_cast<int>(in.Below(kHandles));
        // A handle of this raiser still held in the slot is cancelled by
        // the assignment: fine, the raiser is not moved or destroyed.
        const bool begin = in.Bool();
        NextShape();
        const std::size_t requests = hostFactory.Requests().size();
        Predicted p;
        std::size_t expectedRequests = 0;
        const std::int32_t from = begin ? 0 : 2;
        const std::int32_t pending = begin ? 1 : 3;
        if (SetState(r, from, pending)) {
            expectedRequests = 1;
            HandleModel h;
            h.owner = begin ? Owner::RaiserBegin : Owner::RaiserEnd;
            h.raiser = r;
            p = Wrap(h, raisers[r].hasUuid, [&] { raisers[r].state = from; });
        }
        Place(slot, p, requests, expectedRequests,
              [&] { return begin ? raisers_[r]->RaiseBegin(in.U32()) : raisers_[r]->RaiseEnd(in.U32()); });
    }

    // Ends every held handle of raiser `r` by cancelling it, so the raiser
    // may be moved or destroyed.
    void ReleaseHandlesOf(int r)
    {
        for (int h = 0; h < kHandles; ++h)
            if (models[h].raiser == r)
                DestroyHandle(h);
        // Nothing is pending at the host for this raiser any more, so it
        // must not be pending itself (its destruction would wait forever).
        if (raisers_[r])
            FUZZ_CHECK(raisers_[r]->State() != 1 && raisers_[r]->State() != 3);
    }

    void DestroyRaiser(int r)
    {
        if (!raisers_[r])
            return;
        ReleaseHandlesOf(r);
        const bool ends = raisers[r].state == 2;
        const bool uuid = raisers[r].hasUuid;
        NextShape();
        const std::size_t requests = hostFactory.Requests().size();
        if (ends)
            ExpectAutomaticEnd(uuid);
        const std::string name = raisers[r].name;
        raisers_[r].reset();
        FUZZ_CHECK(hostFactory.Requests().size() - requests == (ends ? 1u : 0u));
        if (ends) {
            FUZZ_CHECK(hostFactory.Requests().back().kind == ORQ8::Analytics::EventEnd);
            FUZZ_CHECK(hostFactory.Requests().back().name == name);
        }
        hostFactory.ReturnNullForNext(0);
    }

    // The end a destroyed or overwritten raiser raises itself: committed at
    // once (cancelled when an argument was refused), callbacks none,
    // exceptions swallowed.
    void ExpectAutomaticEnd(bool uuid)
    {
        HandleModel h;
        const Predicted p = Wrap(h, uuid, [] {});
        if (!p.throws && p.handle.held) {
            HandleModel end = p.handle;
            EndHeld(end, !end.failed);
        }
    }

    void RaiserLifecycle()
    {
        const int r = static_cast<int>(in.Below(kRaisers));
        const int other = static_cast<int>(in.Below(kRaisers));
        switch (in.Below(4)) {
        case 0: {
            if (raisers_[r])
                DestroyRaiser(r);
            RaiserModel m;
            m.name = Name();
            if (in.Bool()) {
                raisers_[r].emplace(*factory, m.name.c_str());
            } else {
                m.hasUuid = in.Bool();
                raisers_[r].emplace(*factory, m.name.c_str(), m.hasUuid ? "0b1f2c3d-0000-4000-8000-00000000abcd" : "",
                                    in.Text(16));
            }
            raisers[r] = m;
            break;
        }
        case 1:
            DestroyRaiser(r);
            break;
        case 2:
            // Move construction into an empty slot.
            if (!raisers_[other] || raisers_[r] || r == other)
                break;
            ReleaseHandlesOf(other);
            raisers_[r].emplace(std::move(*raisers_[other]));
            raisers[r] = raisers[other];
            raisers[other].state = 6;
            break;
        default: {
            if (!raisers_[r] || !raisers_[other])
                break;
            if (r == other) {
                *raisers_[r] = std::move(*raisers_[r]);  // names itself: nothing happens
                break;
            }
            ReleaseHandlesOf(r);
            ReleaseHandlesOf(other);
            NextShape();
            const std::size_t requests = hostFactory.Requests().size();
            const bool ends = raisers[r].state == 2;
            if (ends)
                ExpectAutomaticEnd(raisers[r].hasUuid);
            *raisers_[r] = std::move(*raisers_[other]);
            FUZZ_CHECK(hostFactory.Requests().size() - requests == (ends ? 1u : 0u));
            hostFactory.ReturnNullForNext(0);
            // The target keeps its own group text, takes the rest.
            raisers[r].state = raisers[other].state;
            raisers[r].name = raisers[other].name;
            raisers[r].hasUuid = raisers[other].hasUuid;
            raisers[other].state = 6;
            break;
        }
        }
    }

    void Setter()
    {
        const int slot = static_cast<int>(in.Below(kHandles));
        if (!handles[slot])
            return;
        const std::string key = in.Below(4) == 0 ? "other" : kUserKey;
        const bool throws = Set(models[slot], key);
        bool threw = false;
        try {
            CDetectorEvent& e = *handles[slot];
            switch (in.Below(7)) {
            case 0: e.SetValue(key.c_str(), in.Bool()); break;
            case 1: e.SetValue(key.c_str(), static_cast<std::int32_t>(in.U32())); break;
            case 2: e.SetValue(key.c_str(), static_cast<double>(in.U32()) / 7.0); break;
            case 3: e.SetValue(key.c_str(), "text"); break;
            case 4: e.SetRectangleArray(key.c_str(), nullptr); break;
            case 5: e.SetMask(key.c_str(), nullptr); break;
            default: e.SetPolylineArray(key.c_str(), nullptr); break;
            }
        } catch (const std::exception&) {
            threw = true;
        }
        FUZZ_CHECK(threw == throws);
    }

    void Commit()
    {
        const int slot = static_cast<int>(in.Below(kHandles));
        if (!handles[slot])
            return;
        HandleModel& m = models[slot];
        bool expected = false;
        bool throws = false;
        if (m.held) {
            expected = !m.failed;
            throws = EndHeld(m, !m.failed);
        }
        bool threw = false;
        bool result = false;
        try {
            result = handles[slot]->Commit();
        } catch (const std::exception&) {
            threw = true;
        }
        FUZZ_CHECK(threw == throws);
        FUZZ_CHECK(threw || result == expected);
    }

    void Cancel()
    {
        const int slot = static_cast<int>(in.Below(kHandles));
        if (!handles[slot])
            return;
        const bool throws = models[slot].held && EndHeld(models[slot], false);
        bool threw = false;
        try {
            handles[slot]->Cancel();
        } catch (const std::exception&) {
            threw = true;
        }
        FUZZ_CHECK(threw == throws);
    }

    void DestroyHandle(int slot)
    {
        if (!handles[slot])
            return;
        if (models[slot].held)
            EndHeld(models[slot], false);  // swallowed
        handles[slot].reset();
        models[slot] = HandleModel{};
    }

    void MoveHandle()
    {
        const int a = static_cast<int>(in.Below(kHandles));
        const int b = static_cast<int>(in.Below(kHandles));
        if (!handles[b])
            return;
        if (a == b) {
            CDetectorEvent* self = &*handles[b];
            *handles[a] = std::move(*self);  // names itself: nothing happens
            return;
        }
        if (handles[a]) {
            if (models[a].held)
                EndHeld(models[a], false);
            *handles[a] = std::move(*handles[b]);
        } else {
            handles[a].emplace(std::move(*handles[b]));
        }
        models[a] = models[b];
        models[b] = HandleModel{};
    }

    void TargetList()
    {
        const bool human = in.Bool();
        lists.emplace_back();
        TestSupport::FakeTargetList& list = lists.back();
        list.listValue = in.U64();
        const std::uint32_t count = in.Below(5);
        std::vector<std::int32_t> ids;
        bool stopped = false;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t kind = in.Below(8);
            if (kind == 0) {
                list.targets.push_back(nullptr);
                stopped = true;
                continue;
            }
            targets.emplace_back(static_cast<std::int32_t>(in.U32()), kind != 1);
            list.targets.push_back(&targets.back());
            stopped = stopped || kind == 1;
            if (!stopped)
                ids.push_back(targets.back().adjuster.id);
        }
        NextShape();
        const std::size_t requests = hostFactory.Requests().size();
        Predicted p = Wrap(HandleModel{}, false, [] {});
        bool expected = false;
        bool throws = p.throws;
        if (p.handle.held) {
            Set(p.handle, human ? "HumanBoneTargetList" : "TargetList");
            expected = !p.handle.failed;
            throws = EndHeld(p.handle, !p.handle.failed);
        }
        bool threw = false;
        bool result = false;
        try {
            ORQ8::MFF::BufferHolder<ORQ8::Analytics::ITargetList> holder(&list);
            result = human ? factory->RaiseHumanBoneTargetListEvent(std::move(holder))
                           : factory->RaiseTargetListEvent(std::move(holder));
        } catch (const std::exception&) {
            threw = true;
        }
        FUZZ_CHECK(threw == throws);
        FUZZ_CHECK(threw || result == expected);
        FUZZ_CHECK(hostFactory.Requests().size() - requests == 1);
        hostFactory.ReturnNullForNext(0);
        if (!human) {
            for (std::size_t i = 0, n = 0; i < list.targets.size() && n < ids.size(); ++i) {
                auto* target = static_cast<TestSupport::FakeTarget*>(list.targets[i]);
                if (target == nullptr || !target->hasAdjuster)
                    break;
                FUZZ_CHECK(target->adjuster.intValues.size() == 1);
                FUZZ_CHECK(target->adjuster.intValues[0].first == "ObjectId");
                FUZZ_CHECK(target->adjuster.intValues[0].second ==
                           static_cast<std::int32_t>(static_cast<std::uint32_t>(ids[n++]) & 0x7FFFFFFFu));
            }
        }
    }

    // ---- checks ----------------------------------------------------------

    void Check()
    {
        FUZZ_CHECK(hostFactory.EventCount() == eventCount);
        for (const TestSupport::FakeHostEvent* e : hostFactory.Events()) {
            FUZZ_CHECK(e->commits + e->cancels <= 1);
            FUZZ_CHECK(e->callsAfterEnd == 0);
        }
        for (int h = 0; h < kHandles; ++h) {
            if (!handles[h])
                continue;
            const HandleModel& m = models[h];
            FUZZ_CHECK(handles[h]->IsValid() == (m.held && !m.failed));
            if (m.held)
                FUZZ_CHECK(!hostFactory.Event(m.event).Ended());
        }
        for (int r = 0; r < kRaisers; ++r)
            if (raisers_[r])
                FUZZ_CHECK(raisers_[r]->State() == raisers[r].state);
        const std::vector<TestSupport::LogRecord> records = logger.Records();
        for (; logSeen < records.size(); ++logSeen) {
            const TestSupport::LogRecord& record = records[logSeen];
            if (record.located && record.file == kLogFile)
                ++seenLines[record.line];
        }
        FUZZ_CHECK(seenLines == expectedLines);
    }

    Fuzz::Input& in;
    std::deque<TestSupport::FakeTarget>& targets;
    std::deque<TestSupport::FakeTargetList>& lists;
    TestSupport::RecordingLogger logger{0};
    TestSupport::FakeHostEventFactory hostFactory;
    TestSupport::FakeSender sender;
    std::optional<CDetectorEventFactory> factory;
    std::optional<CLengthyDetectorEventRaiser> raisers_[kRaisers];
    std::optional<CDetectorEvent> handles[kHandles];

    HandleModel models[kHandles];
    RaiserModel raisers[kRaisers];
    std::map<std::string, Entry> entries;
    std::map<int, int> expectedLines;
    std::map<int, int> seenLines;
    std::size_t logSeen = 0;
    std::size_t eventCount = 0;
    Shape shape = AsAsked;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input in(data, size);
    TargetObjects objects;
    {
        Run run(in, objects);
        for (int steps = 0; steps < 96 && !in.Empty(); ++steps)
            run.Step();
    }
    // Every list was destroyed exactly once, by the factory or by the host.
    for (const TestSupport::FakeTargetList& list : objects.lists)
        FUZZ_CHECK(list.destroys == 1);
    return 0;
}
