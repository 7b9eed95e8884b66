// A host that throws from its argument store, its Commit or its Cancel: every
// host event the framework received still ends exactly once, exactly one of
// the handle's callbacks runs, and the factory's and the raiser's
// bookkeeping settles, so later raises and a raiser's destruction go on.
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "DetectorEvent.h"
#include "DetectorEventFactory.h"
#include "FrameworkTestHost.h"
#include "LengthyDetectorEventRaiser.h"

namespace {

using ORQ8::Framework::CDetectorEvent;
using ORQ8::Framework::CDetectorEventFactory;
using ORQ8::Framework::CLengthyDetectorEventRaiser;
using ORQ8::Framework::RaiserState;
using TestSupport::FakeHostEvent;

struct Callbacks {
    int commits = 0;
    int cancels = 0;
    CDetectorEvent::Callback OnCommit() { return [this] { ++commits; }; }
    CDetectorEvent::Callback OnCancel() { return [this] { ++cancels; }; }
};

class HostExceptionTest : public ::testing::Test {
protected:
    CDetectorEvent Wrap(FakeHostEvent& event)
    {
        return CDetectorEvent(&event, &host.logger, "AudioDetector", callbacks.OnCommit(), callbacks.OnCancel());
    }
    // Every event the host handed out from now on throws as `script` says.
    void HostThrows(void (*script)(FakeHostEvent&)) { host.events.Prepare(script); }

    static void FromGroup(FakeHostEvent& e) { e.adjuster.throwingKeys.insert("DetectorsGroup"); }
    static void FromCommit(FakeHostEvent& e) { e.throwOnCommit = true; }

    FrameworkTest::Host host;
    CDetectorEventFactory factory{&host.sender, &host.events, &host.logger, "AudioDetector"};
    Callbacks callbacks;
};

TEST_F(HostExceptionTest, AThrowingGroupSetCancelsTheEventRunsOnCancelAndRethrows)
{
    FakeHostEvent event;
    FromGroup(event);
    EXPECT_THROW(Wrap(event), std::runtime_error);
    EXPECT_EQ(event.cancels, 1);
    EXPECT_EQ(event.commits, 0);
    EXPECT_EQ(callbacks.cancels, 1);
    EXPECT_EQ(callbacks.commits, 0);
}

TEST_F(HostExceptionTest, AThrowingCommitCountsAsCommittedAndPassesTheException)
{
    FakeHostEvent event;
    FromCommit(event);
    {
        CDetectorEvent handle = Wrap(event);
        EXPECT_THROW(handle.Commit(), std::runtime_error);
        EXPECT_FALSE(handle.Commit()) << "the event has ended";
    }
    EXPECT_EQ(event.commits, 1);
    EXPECT_EQ(event.cancels, 0);
    EXPECT_EQ(callbacks.commits, 1);
    EXPECT_EQ(callbacks.cancels, 0);
}

TEST_F(HostExceptionTest, AThrowingCancelNeverLeavesTheDestructorOrTheMoveAssignment)
{
    FakeHostEvent dropped;
    FakeHostEvent replaced;
    FakeHostEvent kept;
    dropped.throwOnCancel = replaced.throwOnCancel = true;
    {
        CDetectorEvent handle = Wrap(dropped);
    }
    {
        CDetectorEvent handle = Wrap(replaced);
        handle = Wrap(kept);
        EXPECT_TRUE(handle.Commit());
    }
    EXPECT_EQ(dropped.cancels, 1);
    EXPECT_EQ(replaced.cancels, 1);
    EXPECT_EQ(kept.commits, 1);
    EXPECT_EQ(callbacks.cancels, 2);
    EXPECT_EQ(callbacks.commits, 1);
    // Both swallowed exceptions were reported as warnings.
    const auto records = host.logger.Records();
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records) {
        EXPECT_EQ(record.level, 2u);
        EXPECT_EQ(record.message, "CDetectorEvent: Host exception during cancel: host cancel failed");
    }

    // Without a logger the exception is swallowed all the same.
    FakeHostEvent silent;
    silent.throwOnCancel = true;
    {
        CDetectorEvent handle(&silent, nullptr, "AudioDetector", {}, {});
    }
    EXPECT_EQ(silent.cancels, 1);
}

TEST_F(HostExceptionTest, TheFactorysBookkeepingSettlesWhateverTheHostThrows)
{
    // A begin whose group set throws was cancelled: no entry stays behind.
    HostThrows(FromGroup);
    EXPECT_THROW(factory.RaiseLengthyEvent("Loitering", true, 1000), std::runtime_error);
    HostThrows(FromCommit);
    CDetectorEvent begin = factory.RaiseLengthyEvent("Loitering", true, 2000);
    ASSERT_TRUE(begin.IsValid()) << "a later begin of the name is accepted";
    // A begin whose Commit throws was taken by the host: the event is active.
    EXPECT_THROW(begin.Commit(), std::runtime_error);
    host.events.Prepare(nullptr);
    CDetectorEvent end = factory.RaiseLengthyEvent("Loitering", false, 3000);
    ASSERT_TRUE(end.IsValid());
    EXPECT_TRUE(end.Commit());
    EXPECT_TRUE(factory.RaiseLengthyEvent("Loitering", true, 4000).IsValid()) << "the lengthy event has ended";
    for (const FakeHostEvent* event : host.events.Events())
        EXPECT_EQ(event->commits + event->cancels, 1) << event->timestamp;
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(HostExceptionTest, ARaiserIsNeverLeftPendingWhateverTheHostThrows)
{
    auto raiser = std::make_unique<CLengthyDetectorEventRaiser>(factory, "Loitering");
    HostThrows(FromGroup);
    EXPECT_THROW(raiser->RaiseBegin(1000), std::runtime_error);
    EXPECT_EQ(raiser->State(), ORQ8::Framework::RaiserIdle);
    HostThrows(FromCommit);
    {
        CDetectorEvent begin = raiser->RaiseBegin(2000);
        EXPECT_THROW(begin.Commit(), std::runtime_error);
    }
    EXPECT_EQ(raiser->State(), ORQ8::Framework::RaiserBegun);
    // Destruction does not wait: it ends the begun event itself, and the
    // host's exception from that commit stops at a warning.
    raiser.reset();
    const auto events = host.events.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2]->kind, ORQ8::Analytics::EventEnd);
    EXPECT_TRUE(events[2]->Committed());
    for (const FakeHostEvent* event : events)
        EXPECT_EQ(event->commits + event->cancels, 1) << event->timestamp;
    const auto records = host.logger.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, 2u);
    EXPECT_EQ(records[0].message,
              "CLengthyDetectorEventRaiser: Host exception during automatic end: host commit failed");
}

}  // namespace
