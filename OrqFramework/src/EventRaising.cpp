// The event raising framework: detector groups, identifiers and the clock,
// the event handle, the event factory and the lengthy event raiser.
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <uuid/uuid.h>

#include "DetectorEvent.h"
#include "DetectorEventFactory.h"
#include "EventTime.h"
#include "LengthyDetectorEventRaiser.h"
#include "LogLine.h"

namespace ORQ8 {
namespace Framework {
namespace {

// Where this unit's located log lines say they come from.
constexpr const char* kLogFile = "OrqFramework/src/EventRaising";
constexpr LogSite kRaiserDestructionSite{kLogFile, 303, "~CLengthyDetectorEventRaiser"};
constexpr LogSite kRaiserTransitionSite{kLogFile, 350, "setState"};
constexpr LogSite kBeginRefusedSite{kLogFile, 441, "RaiseLengthyEvent"};
constexpr LogSite kEndRefusedSite{kLogFile, 447, "RaiseLengthyEvent"};
constexpr LogSite kBeginCommitMissingSite{kLogFile, 468, "operator()"};
constexpr LogSite kBeginCommitTwiceSite{kLogFile, 473, "operator()"};
constexpr LogSite kBeginCancelMissingSite{kLogFile, 484, "operator()"};
constexpr LogSite kBeginCancelCommittedSite{kLogFile, 489, "operator()"};
constexpr LogSite kEndCommitMissingSite{kLogFile, 507, "operator()"};
constexpr LogSite kEndCommitTwiceSite{kLogFile, 512, "operator()"};
constexpr LogSite kEndCancelMissingSite{kLogFile, 523, "operator()"};
constexpr LogSite kEndCancelCommittedSite{kLogFile, 528, "operator()"};

// Argument keys the framework writes itself.
constexpr const char* kDetectorsGroupKey = "DetectorsGroup";
constexpr const char* kEventUuidKey = "EventUuid";
constexpr const char* kObjectIdKey = "ObjectId";
constexpr const char* kTargetListKey = "TargetList";
constexpr const char* kHumanBoneTargetListKey = "HumanBoneTargetList";

// Runs one log statement and swallows whatever composing or sending it
// throws: a log line must never break a setter, a callback or a destructor.
template <class Statement>
void Quietly(Statement&& statement) noexcept
{
    try {
        statement();
    } catch (...) {
    }
}

// A located warning with a fixed text.
void Warn(ILogger* logger, const LogSite& site, const char* text) noexcept
{
    Quietly([&] { LogComposed(logger, LogWarning, site, [text] { return std::string(text); }); });
}

// A host call that threw where nothing may leave (a destructor, a noexcept
// move, the cleanup of a constructor that is already failing): the exception
// ends here, and the logger hears of it if it can, as a short-form warning of
// `who`. Called only from a catch handler, whose exception it names.
void WarnHostException(ILogger* logger, const char* who, const char* during) noexcept
{
    Quietly([&] {
        if (!LogAdmits(logger, LogWarning))
            return;
        std::string reason = "unknown exception";
        try {
            throw;
        } catch (const std::exception& error) {
            reason = error.what();
        } catch (...) {
        }
        LogBoostShort(logger, LogWarning, "%1%: Host exception during %2%: %3%", who, during, reason);
    });
}

// Texts the host hands in may be null; messages show them empty.
const char* Printable(const char* text) noexcept { return text != nullptr ? text : ""; }

const std::vector<std::string>& GroupNames()
{
    // Built once, on first use; the language guarantees one thread builds it
    // while others wait, and it is only read afterwards.
    static const std::vector<std::string> names{
        "MotionDetector",      "Tracker",          "FaceDetector",         "SituationDetector",
        "LprDetector",         "VehicleDetector",  "AudioDetector",        "FireDetector",
        "VideoQualityDetector", "Counter",         "SceneChangeDetector",  "TemperatureDetector",
        "GeoPosition",         "Mask",             "AIDetector",           "Segmentation",
        "FeatureExtractor",    "PoseEstimation",   "System",               "FaceEvasionDetector",
        "NoDetector",          "PrivacyDetector",  "StoppedObjectDetector"};
    return names;
}

std::uint64_t ChronoMilliseconds() noexcept
{
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return since.count() > 0 ? static_cast<std::uint64_t>(since.count()) : 0;
}

CDetectorEvent EmptyEvent(const std::string& detectorsGroup)
{
    return CDetectorEvent(nullptr, nullptr, detectorsGroup, {}, {});
}

}  // namespace

// ---------------------------------------------------------------------------
// Detector groups, identifiers, clock

bool IsValidDetectorsGroup(const std::string& groups)
{
    const std::vector<std::string>& names = GroupNames();
    std::vector<std::string> pieces;
    // No token compression: ",," yields an empty piece, which matches no name.
    boost::split(pieces, groups, boost::is_any_of(","), boost::token_compress_off);
    return std::all_of(pieces.begin(), pieces.end(), [&names](const std::string& piece) {
        return std::find(names.begin(), names.end(), piece) != names.end();
    });
}

std::string MakeEventUuid()
{
    uuid_t raw;
    uuid_generate_random(raw);
    boost::uuids::uuid id;
    std::copy(std::begin(raw), std::end(raw), id.begin());
    return boost::uuids::to_string(id);
}

std::uint64_t MillisecondsFromClock(UtcClockReader readUtc) noexcept
{
    try {
        const boost::posix_time::ptime now = readUtc();
        if (!now.is_special()) {
            const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
            if (now < epoch)
                return 0;
            return static_cast<std::uint64_t>((now - epoch).total_milliseconds());
        }
    } catch (...) {
        // The calendar code could not convert the system time (a date out of
        // its range); the plain system clock still can.
    }
    return ChronoMilliseconds();
}

std::uint64_t NowMilliseconds() noexcept
{
    return MillisecondsFromClock(&boost::posix_time::microsec_clock::universal_time);
}

// ---------------------------------------------------------------------------
// CDetectorEvent

CDetectorEvent::CDetectorEvent(Analytics::IHostEvent* event, ILogger* logger_, const std::string& detectorsGroup,
                               Callback onCommit_, Callback onCancel_)
    : hostEvent(event), logger(logger_), onCommit(std::move(onCommit_)), onCancel(std::move(onCancel_))
{
    if (hostEvent == nullptr)
        return;
    try {
        SetValue(kDetectorsGroupKey, detectorsGroup.c_str());
    } catch (...) {
        // No handle will exist to end the event, so it ends here, as a
        // cancel that its bookkeeping hears of; then the host's exception
        // goes on to the caller.
        try {
            CancelHeld();
        } catch (...) {
            WarnHostException(logger, "CDetectorEvent", "cancel");
        }
        throw;
    }
}

CDetectorEvent::CDetectorEvent(CDetectorEvent&& other) noexcept
    : hostEvent(std::exchange(other.hostEvent, nullptr)),
      argsAdjuster(std::exchange(other.argsAdjuster, nullptr)),
      failed(other.failed),
      logger(other.logger),
      onCommit(std::move(other.onCommit)),
      onCancel(std::move(other.onCancel))
{
    other.onCommit.clear();
    other.onCancel.clear();
}

CDetectorEvent& CDetectorEvent::operator=(CDetectorEvent&& other) noexcept
{
    if (this == &other)
        return *this;
    try {
        Cancel();
    } catch (...) {
        WarnHostException(logger, "CDetectorEvent", "cancel");
    }
    hostEvent = std::exchange(other.hostEvent, nullptr);
    argsAdjuster = std::exchange(other.argsAdjuster, nullptr);
    failed = other.failed;
    logger = other.logger;
    onCommit = std::move(other.onCommit);
    onCancel = std::move(other.onCancel);
    other.onCommit.clear();
    other.onCancel.clear();
    return *this;
}

CDetectorEvent::~CDetectorEvent()
{
    try {
        Cancel();
    } catch (...) {
        WarnHostException(logger, "CDetectorEvent", "cancel");
    }
}

bool CDetectorEvent::IsValid() const noexcept { return hostEvent != nullptr && !failed; }

bool CDetectorEvent::operator!() const noexcept { return !IsValid(); }

Analytics::IEventArgsAdjuster* CDetectorEvent::Adjuster()
{
    if (argsAdjuster == nullptr) {
        argsAdjuster = hostEvent->GetArgsAdjuster();
        // Not a failure of the event: it stays committable, and the next
        // setter asks again.
        if (argsAdjuster == nullptr)
            Quietly([&] {
                LogComposedShort(logger, LogWarning,
                                 [] { return std::string("CDetectorEvent: Cannot get event args adjuster"); });
            });
    }
    return argsAdjuster;
}

template <class Call, class Warning>
void CDetectorEvent::Set(Call&& call, Warning&& warning)
{
    if (hostEvent == nullptr || failed)
        return;
    Analytics::IEventArgsAdjuster* adjuster = Adjuster();
    if (adjuster == nullptr)
        return;
    if (call(adjuster) != 0) {
        failed = true;
        Quietly(warning);
    }
}

void CDetectorEvent::SetValue(const char* key, bool value)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetValue(key, value); },
        [&] { LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set value %1%=%2%", Printable(key), value); });
}

void CDetectorEvent::SetValue(const char* key, std::int32_t value)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetValue(key, value); },
        [&] { LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set value %1%=%2%", Printable(key), value); });
}

void CDetectorEvent::SetValue(const char* key, double value)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetValue(key, value); },
        [&] { LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set value %1%=%2%", Printable(key), value); });
}

void CDetectorEvent::SetValue(const char* key, const char* value)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetValue(key, value); },
        [&] {
            LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set value %1%=%2%", Printable(key),
                          Printable(value));
        });
}

void CDetectorEvent::SetRectangleArray(const char* key, Analytics::RectangleArray* rectangles)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetRectangleArray(key, rectangles); },
        [&] { LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set rectangle array '%1%'", Printable(key)); });
}

void CDetectorEvent::SetMask(const char* key, Analytics::Mask* mask)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetMask(key, mask); },
        [&] { LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set mask '%1%'", Printable(key)); });
}

void CDetectorEvent::SetPolylineArray(const char* key, Analytics::PolylineArray* polylines)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetPolylineArray(key, polylines); },
        [&] { LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set polyline array '%1%'", Printable(key)); });
}

void CDetectorEvent::SetMultimediaBuffer(const char* key, MFF::BufferHolder<>& buffer)
{
    // The buffer leaves the holder only at the host call; from there on the
    // host owns it whatever it answers.
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetMultimediaBuffer(key, buffer.release()); },
        [&] {
            LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set multimedia buffer '%1%'", Printable(key));
        });
}

void CDetectorEvent::SetNumber(std::uint64_t number)
{
    Set([&](Analytics::IEventArgsAdjuster* a) { return a->SetNumber(number); },
        [&] { LogBoostShort(logger, LogWarning, "CDetectorEvent: Cannot set value %1%", number); });
}

bool CDetectorEvent::Commit()
{
    if (hostEvent == nullptr)
        return false;
    if (failed) {
        // The event ends here as a cancel, and whoever keeps books of it
        // (factory, raiser) must learn that, or it would wait for an end
        // that never comes.
        CancelHeld();
        return false;
    }
    // Cleared before the host call: the event is ended once, even if the
    // host throws.
    Analytics::IHostEvent* event = std::exchange(hostEvent, nullptr);
    argsAdjuster = nullptr;
    try {
        event->Commit();
    } catch (...) {
        // The host has taken the event, so it counts as committed: the
        // bookkeeping hears of it, then the host's exception goes on.
        if (onCommit)
            onCommit();
        throw;
    }
    if (onCommit)
        onCommit();
    return true;
}

void CDetectorEvent::Cancel()
{
    if (hostEvent != nullptr)
        CancelHeld();
}

void CDetectorEvent::CancelHeld()
{
    Analytics::IHostEvent* event = std::exchange(hostEvent, nullptr);
    argsAdjuster = nullptr;
    try {
        event->Cancel();
    } catch (...) {
        // Ended all the same: the bookkeeping hears of the cancel, then the
        // host's exception goes on.
        if (onCancel)
            onCancel();
        throw;
    }
    if (onCancel)
        onCancel();
}

// ---------------------------------------------------------------------------
// CDetectorEventFactory

CDetectorEventFactory::CDetectorEventFactory(Analytics::IDetector* sender_, Analytics::IHostEventFactory* hostFactory_,
                                             ILogger* logger_, const std::string& detectorsGroup_)
    : hostFactory(hostFactory_), sender(sender_), logger(logger_), detectorsGroup(detectorsGroup_)
{
    if (!IsValidDetectorsGroup(detectorsGroup))
        throw std::logic_error("Incorrect detector group");
}

CDetectorEvent CDetectorEventFactory::RaiseMomentaryEvent(const char* name, std::uint64_t timestamp)
{
    Analytics::IHostEvent* event = hostFactory->CreateEvent(sender, name, timestamp, Analytics::EventMomentary);
    return CDetectorEvent(event, logger, detectorsGroup, {}, {});
}

CDetectorEvent CDetectorEventFactory::RaiseLengthyEvent(const char* name, bool begin, std::uint64_t timestamp)
{
    const std::string key(name);
    auto entry = activeEvents.find(key);
    CDetectorEvent::Callback onCommit;
    CDetectorEvent::Callback onCancel;
    bool committedBefore = false;  // an end's entry as it was, for a rollback
    std::int32_t kind;

    // The callbacks look the entry up again: it may have changed between the
    // raise and the end of the event.
    if (begin) {
        if (entry != activeEvents.end()) {
            Warn(logger, kBeginRefusedSite, "CDetectorEventFactory: there is already active event");
            return EmptyEvent(detectorsGroup);
        }
        entry = activeEvents.emplace(key, ActiveEvent{false, uuidGenerator()}).first;
        kind = Analytics::EventBegin;
        onCommit = [this, key] {
            auto found = activeEvents.find(key);
            if (found == activeEvents.end()) {
                Warn(logger, kBeginCommitMissingSite,
                     "CDetectorEventFactory: there is no active event after successful begin commit");
                return;
            }
            if (found->second.committed)
                Warn(logger, kBeginCommitTwiceSite, "CDetectorEventFactory: active event begin has been commited twice");
            found->second.committed = true;
        };
        onCancel = [this, key] {
            auto found = activeEvents.find(key);
            if (found == activeEvents.end()) {
                Warn(logger, kBeginCancelMissingSite, "CDetectorEventFactory: there is no active event after begin cancel");
                return;
            }
            if (found->second.committed)
                Warn(logger, kBeginCancelCommittedSite,
                     "CDetectorEventFactory: canceled begin of already commited event");
            activeEvents.erase(found);
        };
    } else {
        if (entry == activeEvents.end()) {
            Warn(logger, kEndRefusedSite, "CDetectorEventFactory: there is no active event");
            return EmptyEvent(detectorsGroup);
        }
        // The end may be raised before its begin has been committed.
        committedBefore = entry->second.committed;
        entry->second.committed = false;
        kind = Analytics::EventEnd;
        onCommit = [this, key] {
            auto found = activeEvents.find(key);
            if (found == activeEvents.end()) {
                Warn(logger, kEndCommitMissingSite, "CDetectorEventFactory: there is no active event after end commit");
                return;
            }
            if (found->second.committed)
                Warn(logger, kEndCommitTwiceSite, "CDetectorEventFactory: active event end has been commited twice");
            activeEvents.erase(found);
        };
        onCancel = [this, key] {
            auto found = activeEvents.find(key);
            if (found == activeEvents.end()) {
                Warn(logger, kEndCancelMissingSite, "CDetectorEventFactory: there is no active event after end cancel");
                return;
            }
            if (found->second.committed)
                Warn(logger, kEndCancelCommittedSite, "CDetectorEventFactory: canceled end of already commited event");
            // Active again: its end can be raised anew.
            found->second.committed = true;
        };
    }
    const std::string uuid = entry->second.uuid;

    // When the host gives no event, nothing is pending at the host, so
    // nothing may stay pending here: a begin leaves no entry behind, an end
    // leaves its event as it was.
    auto rollBack = [&] {
        auto found = activeEvents.find(key);
        if (found == activeEvents.end())
            return;
        if (begin)
            activeEvents.erase(found);
        else
            found->second.committed = committedBefore;
    };
    Analytics::IHostEvent* hostEvent = nullptr;
    try {
        hostEvent = hostFactory->CreateEvent(sender, name, timestamp, kind);
    } catch (...) {
        rollBack();
        throw;
    }
    if (hostEvent == nullptr)
        rollBack();

    CDetectorEvent event(hostEvent, logger, detectorsGroup, std::move(onCommit), std::move(onCancel));
    if (event.IsValid())
        event.SetValue(kEventUuidKey, uuid.c_str());
    return event;
}

bool CDetectorEventFactory::RaiseTargetListEvent(MFF::BufferHolder<Analytics::ITargetList> list)
{
    // A null list has nothing to report; nothing is raised.
    if (!list)
        return false;
    list->Reset();
    while (list->MoveNext()) {
        IContract* target = list->Current();
        if (target == nullptr)
            break;
        auto* adjuster = QueryContract<Analytics::ITargetAdjuster>(target);
        if (adjuster == nullptr)
            break;
        // The host's identifiers may carry a flag in the top bit; the
        // argument is the identifier without it. The status is not used.
        const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(adjuster->GetId()) & 0x7FFFFFFFu);
        static_cast<Analytics::IValueAdjuster*>(adjuster)->SetValue(kObjectIdKey, id);
    }
    return RaiseListEvent(kTargetListKey, std::move(list));
}

bool CDetectorEventFactory::RaiseHumanBoneTargetListEvent(MFF::BufferHolder<Analytics::ITargetList> list)
{
    if (!list)
        return false;
    return RaiseListEvent(kHumanBoneTargetListKey, std::move(list));
}

bool CDetectorEventFactory::RaiseListEvent(const char* key, MFF::BufferHolder<Analytics::ITargetList> list)
{
    const std::uint64_t value = list->GetListValue();
    CDetectorEvent event(hostFactory->CreateTargetListEvent(sender, key, value), logger, detectorsGroup, {}, {});
    MFF::BufferHolder<> buffer(std::move(list));
    event.SetMultimediaBuffer(key, buffer);
    // A list the handle did not take (empty or failed handle) is still ours.
    buffer.reset();
    return event.Commit();
}

// ---------------------------------------------------------------------------
// CLengthyDetectorEventRaiser

CLengthyDetectorEventRaiser::CLengthyDetectorEventRaiser(CDetectorEventFactory& factory_, const char* name_)
    : CLengthyDetectorEventRaiser(factory_, name_, MakeEventUuid(), factory_.DetectorsGroup())
{
}

CLengthyDetectorEventRaiser::CLengthyDetectorEventRaiser(CDetectorEventFactory& factory_, const char* name_,
                                                         std::string uuid_, std::string detectorsGroup_)
    : factory(&factory_),
      name(name_),
      uuid(std::move(uuid_)),
      state(RaiserIdle),
      detectorsGroup(std::move(detectorsGroup_))
{
}

CLengthyDetectorEventRaiser::CLengthyDetectorEventRaiser(CLengthyDetectorEventRaiser&& other)
    : factory(other.factory), state(RaiserMovedFrom), detectorsGroup(other.detectorsGroup)
{
    // The group text is copied before anything is taken, so a failed copy
    // leaves `other` untouched.
    const std::int32_t taken = other.exchangeWhenSettled(RaiserMovedFrom);
    name = std::move(other.name);
    uuid = std::move(other.uuid);
    state.store(taken);
}

CLengthyDetectorEventRaiser& CLengthyDetectorEventRaiser::operator=(CLengthyDetectorEventRaiser&& other)
{
    if (this == &other)
        return *this;
    // This raiser's own event ends first, as at destruction; otherwise the
    // host would never see it close.
    const std::int32_t own = exchangeWhenSettled(RaiserMovedFrom);
    if (own == RaiserBegun)
        raiseAutomaticEnd();
    const std::int32_t taken = other.exchangeWhenSettled(RaiserMovedFrom);
    factory = other.factory;
    name = std::move(other.name);
    uuid = std::move(other.uuid);
    state.store(taken);
    return *this;
}

CLengthyDetectorEventRaiser::~CLengthyDetectorEventRaiser()
{
    const std::int32_t found = exchangeWhenSettled(RaiserDestroyed);
    switch (found) {
    case RaiserIdle:
    case RaiserEnded:
    case RaiserMovedFrom:
        break;
    case RaiserBegun:
        raiseAutomaticEnd();
        break;
    default:
        Quietly([&] {
            LogBoost(factory->Logger(), LogError, kRaiserDestructionSite,
                     "CLengthyDetectorEventRaiser: Unexpected state during destruction: %1%", found);
        });
        break;
    }
}

CDetectorEvent CLengthyDetectorEventRaiser::RaiseBegin(std::uint64_t timestamp) { return raise(timestamp, true); }

CDetectorEvent CLengthyDetectorEventRaiser::RaiseEnd(std::uint64_t timestamp) { return raise(timestamp, false); }

CDetectorEvent CLengthyDetectorEventRaiser::raise(std::uint64_t timestamp, bool begin)
{
    const std::int32_t from = begin ? RaiserIdle : RaiserBegun;
    const std::int32_t pending = begin ? RaiserBeginPending : RaiserEndPending;
    CDetectorEvent::Callback onCommit;
    CDetectorEvent::Callback onCancel;
    if (begin) {
        onCommit = [this] { setState(RaiserBeginPending, RaiserBegun, "'begin' commit"); };
        onCancel = [this] { setState(RaiserBeginPending, RaiserIdle, "'begin' cancel"); };
    } else {
        onCommit = [this] { setState(RaiserEndPending, RaiserEnded, "'end' commit"); };
        onCancel = [this] { setState(RaiserEndPending, RaiserBegun, "'end' cancel"); };
    }
    if (!setState(from, pending, begin ? "raising 'begin'" : "raising 'end'"))
        return EmptyEvent(detectorsGroup);

    // Without a host event nothing is pending at the host, so the raiser goes
    // back to where it was: its destruction and moves must not wait for an
    // end that cannot come.
    auto rollBack = [&] {
        std::int32_t expected = pending;
        state.compare_exchange_strong(expected, from);
    };
    Analytics::IHostEvent* hostEvent = nullptr;
    try {
        hostEvent = factory->HostFactory()->CreateEvent(factory->Sender(), name.c_str(), timestamp,
                                                        begin ? Analytics::EventBegin : Analytics::EventEnd);
    } catch (...) {
        rollBack();
        throw;
    }
    if (hostEvent == nullptr) {
        rollBack();
        return CDetectorEvent(nullptr, factory->Logger(), detectorsGroup, {}, {});
    }
    return wrap(hostEvent, std::move(onCommit), std::move(onCancel));
}

CDetectorEvent CLengthyDetectorEventRaiser::wrap(Analytics::IHostEvent* hostEvent, CDetectorEvent::Callback onCommit,
                                                 CDetectorEvent::Callback onCancel)
{
    CDetectorEvent event(hostEvent, factory->Logger(), detectorsGroup, std::move(onCommit), std::move(onCancel));
    if (!uuid.empty() && event.IsValid())
        event.SetValue(kEventUuidKey, uuid.c_str());
    return event;
}

void CLengthyDetectorEventRaiser::raiseAutomaticEnd() noexcept
{
    // Runs in the destructor: a refused end is silent, and an exception
    // (from the host) goes no further than a warning.
    try {
        Analytics::IHostEvent* hostEvent = factory->HostFactory()->CreateEvent(
            factory->Sender(), name.c_str(), NowMilliseconds(), Analytics::EventEnd);
        wrap(hostEvent, {}, {}).Commit();
    } catch (...) {
        WarnHostException(factory->Logger(), "CLengthyDetectorEventRaiser", "automatic end");
    }
}

bool CLengthyDetectorEventRaiser::setState(std::int32_t expected, std::int32_t next, const char* during) noexcept
{
    std::int32_t found = expected;
    if (state.compare_exchange_strong(found, next))
        return true;  // `this` may be gone from here on (a waiting destructor)
    Quietly([&] {
        LogBoost(factory->Logger(), LogError, kRaiserTransitionSite,
                 "CLengthyDetectorEventRaiser: Unexpected state transition from %1% to %2% during %3%", found, next,
                 during);
    });
    return false;
}

std::int32_t CLengthyDetectorEventRaiser::exchangeWhenSettled(std::int32_t next) noexcept
{
    std::int32_t found = state.load();
    for (;;) {
        if (found == RaiserBeginPending || found == RaiserEndPending) {
            // A begin or end is pending on another thread; it ends soon, so
            // yielding beats blocking on a condition here.
            std::this_thread::yield();
            found = state.load();
            continue;
        }
        if (state.compare_exchange_weak(found, next))
            return found;
    }
}

}  // namespace Framework
}  // namespace ORQ8
