#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "FrameworkTestHost.h"
#include "LengthyDetectorEventRaiser.h"

namespace {

using ORQ8::Framework::CDetectorEvent;
using ORQ8::Framework::CDetectorEventFactory;
using ORQ8::Framework::CLengthyDetectorEventRaiser;
using ORQ8::Framework::RaiserState;
using TestSupport::FakeHostEvent;

std::uint64_t ChronoNow()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

class LengthyRaiserTest : public ::testing::Test {
protected:
    std::unique_ptr<CLengthyDetectorEventRaiser> Make(const char* name = "Loitering")
    {
        return std::make_unique<CLengthyDetectorEventRaiser>(factory, name);
    }
    // The one error line the raiser should have sent.
    void ExpectOnlyError(int line, const char* function, const std::string& message)
    {
        const auto records = host.logger.Records();
        ASSERT_EQ(records.size(), 1u) << "expected: " << message;
        EXPECT_EQ(records[0].level, 3u);
        EXPECT_TRUE(records[0].located);
        EXPECT_EQ(records[0].file, "OrqFramework/src/EventRaising");
        EXPECT_EQ(records[0].line, line);
        EXPECT_EQ(records[0].function, function);
        EXPECT_EQ(records[0].message, message);
    }

    FrameworkTest::Host host;
    CDetectorEventFactory factory{&host.sender, &host.events, &host.logger, "AudioDetector"};
};

TEST_F(LengthyRaiserTest, BeginAndEndRunThroughEveryStateWithOneIdentifier)
{
    auto raiser = Make();
    const std::string uuid = raiser->Uuid();
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_EQ(raiser->State(), RaiserState::RaiserIdle);
    CDetectorEvent begin = raiser->RaiseBegin(1000);
    EXPECT_EQ(raiser->State(), RaiserState::RaiserBeginPending);
    EXPECT_TRUE(begin.Commit());
    EXPECT_EQ(raiser->State(), RaiserState::RaiserBegun);
    CDetectorEvent end = raiser->RaiseEnd(2000);
    EXPECT_EQ(raiser->State(), RaiserState::RaiserEndPending);
    EXPECT_TRUE(end.Commit());
    EXPECT_EQ(raiser->State(), RaiserState::RaiserEnded);
    raiser.reset();

    ASSERT_EQ(host.events.EventCount(), 2u);  // nothing raised at destruction
    const FakeHostEvent& b = host.events.Event(0);
    const FakeHostEvent& e = host.events.Event(1);
    EXPECT_EQ(b.kind, 1);
    EXPECT_EQ(e.kind, 2);
    EXPECT_EQ(b.timestamp, 1000u);
    EXPECT_EQ(e.timestamp, 2000u);
    EXPECT_EQ(b.name, "Loitering");
    EXPECT_EQ(e.name, "Loitering");
    EXPECT_EQ(b.sender, &host.sender);
    EXPECT_EQ(b.Text("DetectorsGroup"), "AudioDetector");
    EXPECT_EQ(b.Text("EventUuid"), uuid);
    EXPECT_EQ(e.Text("EventUuid"), uuid);
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(LengthyRaiserTest, DestructionEndsABegunEventAtTheCurrentTime)
{
    auto raiser = Make();
    EXPECT_TRUE(raiser->RaiseBegin(5).Commit());
    const std::uint64_t before = ChronoNow();
    raiser.reset();
    const std::uint64_t after = ChronoNow();
    ASSERT_EQ(host.events.EventCount(), 2u);
    const FakeHostEvent& end = host.events.Event(1);
    EXPECT_EQ(end.kind, 2);
    EXPECT_EQ(end.name, "Loitering");
    EXPECT_GE(end.timestamp, before);
    EXPECT_LE(end.timestamp, after);
    EXPECT_EQ(end.Text("EventUuid"), host.events.Event(0).Text("EventUuid"));
    EXPECT_EQ(end.Text("DetectorsGroup"), "AudioDetector");
    EXPECT_EQ(end.commits, 1);
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(LengthyRaiserTest, ACancelledBeginAllowsANewBegin)
{
    auto raiser = Make();
    { CDetectorEvent dropped = raiser->RaiseBegin(1); }
    EXPECT_EQ(raiser->State(), RaiserState::RaiserIdle);
    EXPECT_EQ(host.events.Event(0).cancels, 1);
    CDetectorEvent begin = raiser->RaiseBegin(2);
    EXPECT_TRUE(begin.IsValid());
    EXPECT_TRUE(begin.Commit());
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(LengthyRaiserTest, ACancelledEndIsRaisedAgainAtDestruction)
{
    auto raiser = Make();
    EXPECT_TRUE(raiser->RaiseBegin(1).Commit());
    raiser->RaiseEnd(2).Cancel();
    EXPECT_EQ(raiser->State(), RaiserState::RaiserBegun);
    raiser.reset();
    ASSERT_EQ(host.events.EventCount(), 3u);
    EXPECT_EQ(host.events.Event(1).cancels, 1);
    EXPECT_EQ(host.events.Event(2).kind, 2);
    EXPECT_EQ(host.events.Event(2).commits, 1);
}

TEST_F(LengthyRaiserTest, OutOfOrderRaisesAreLoggedAndNotCarriedOut)
{
    auto raiser = Make();
    CDetectorEvent end = raiser->RaiseEnd(1);
    EXPECT_FALSE(end.IsValid());
    EXPECT_TRUE(host.events.Requests().empty());
    EXPECT_EQ(raiser->State(), RaiserState::RaiserIdle);
    ExpectOnlyError(350, "setState",
                    "CLengthyDetectorEventRaiser: Unexpected state transition from 0 to 3 during raising 'end'");

    host.logger.Clear();
    CDetectorEvent begin = raiser->RaiseBegin(2);
    EXPECT_FALSE(raiser->RaiseBegin(3).IsValid());
    ExpectOnlyError(350, "setState",
                    "CLengthyDetectorEventRaiser: Unexpected state transition from 1 to 1 during raising 'begin'");
    EXPECT_TRUE(begin.Commit());
    EXPECT_TRUE(raiser->RaiseEnd(4).Commit());

    host.logger.Clear();
    EXPECT_FALSE(raiser->RaiseBegin(5).IsValid());
    ExpectOnlyError(350, "setState",
                    "CLengthyDetectorEventRaiser: Unexpected state transition from 4 to 1 during raising 'begin'");
    EXPECT_EQ(host.events.EventCount(), 2u);
}

TEST_F(LengthyRaiserTest, AnEmptyIdentifierSetsNoEventUuidAndTheGivenGroupIsUsed)
{
    {
        CLengthyDetectorEventRaiser raiser(factory, "Crowd", "", "Tracker,Counter");
        EXPECT_TRUE(raiser.RaiseBegin(1).Commit());
    }
    ASSERT_EQ(host.events.EventCount(), 2u);
    for (FakeHostEvent* e : host.events.Events()) {
        EXPECT_EQ(e->Arg("EventUuid"), nullptr);
        EXPECT_EQ(e->Text("DetectorsGroup"), "Tracker,Counter");
    }
}

TEST_F(LengthyRaiserTest, AMoveCarriesTheBegunEventAndLeavesASilentSource)
{
    auto source = Make();
    const std::string uuid = source->Uuid();
    EXPECT_TRUE(source->RaiseBegin(1).Commit());
    auto target = std::make_unique<CLengthyDetectorEventRaiser>(std::move(*source));
    EXPECT_EQ(source->State(), RaiserState::RaiserMovedFrom);
    EXPECT_EQ(target->State(), RaiserState::RaiserBegun);
    source.reset();
    EXPECT_EQ(host.events.EventCount(), 1u);
    EXPECT_TRUE(host.logger.Records().empty());

    EXPECT_FALSE(target->RaiseBegin(2).IsValid());
    host.logger.Clear();
    target.reset();
    ASSERT_EQ(host.events.EventCount(), 2u);
    EXPECT_EQ(host.events.Event(1).kind, 2);
    EXPECT_EQ(host.events.Event(1).name, "Loitering");
    EXPECT_EQ(host.events.Event(1).Text("EventUuid"), uuid);
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(LengthyRaiserTest, MoveAssignmentEndsTheTargetsOwnEventFirst)
{
    FrameworkTest::Host otherHost;
    CDetectorEventFactory otherFactory(&otherHost.sender, &otherHost.events, &otherHost.logger, "FireDetector");
    auto target = std::make_unique<CLengthyDetectorEventRaiser>(factory, "Own");
    auto source = std::make_unique<CLengthyDetectorEventRaiser>(otherFactory, "Taken");
    const std::string ownUuid = target->Uuid();
    const std::string takenUuid = source->Uuid();
    EXPECT_TRUE(target->RaiseBegin(1).Commit());
    EXPECT_TRUE(source->RaiseBegin(2).Commit());

    *target = std::move(*source);

    // The target's own event was ended on its own host, before anything else.
    ASSERT_EQ(host.events.EventCount(), 2u);
    const FakeHostEvent& ownEnd = host.events.Event(1);
    EXPECT_EQ(ownEnd.kind, 2);
    EXPECT_EQ(ownEnd.name, "Own");
    EXPECT_EQ(ownEnd.Text("EventUuid"), ownUuid);
    EXPECT_EQ(ownEnd.commits, 1);
    EXPECT_EQ(target->State(), RaiserState::RaiserBegun);
    EXPECT_EQ(target->Name(), "Taken");
    EXPECT_EQ(source->State(), RaiserState::RaiserMovedFrom);

    source.reset();
    EXPECT_EQ(otherHost.events.EventCount(), 1u);
    target.reset();
    // The taken event ends where it began, with its name and identifier,
    // and the target's own group text.
    ASSERT_EQ(otherHost.events.EventCount(), 2u);
    const FakeHostEvent& takenEnd = otherHost.events.Event(1);
    EXPECT_EQ(takenEnd.kind, 2);
    EXPECT_EQ(takenEnd.name, "Taken");
    EXPECT_EQ(takenEnd.Text("EventUuid"), takenUuid);
    EXPECT_EQ(takenEnd.Text("DetectorsGroup"), "AudioDetector");
    EXPECT_EQ(host.events.EventCount(), 2u);
    EXPECT_TRUE(host.logger.Records().empty());
    EXPECT_TRUE(otherHost.logger.Records().empty());
}

TEST_F(LengthyRaiserTest, MoveAssignmentOntoAnIdleOrEndedRaiserRaisesNothing)
{
    auto ended = Make("Ended");
    EXPECT_TRUE(ended->RaiseBegin(1).Commit());
    EXPECT_TRUE(ended->RaiseEnd(2).Commit());
    auto idle = Make("Idle");
    *ended = std::move(*idle);
    EXPECT_EQ(ended->State(), RaiserState::RaiserIdle);
    EXPECT_EQ(host.events.EventCount(), 2u);
    CLengthyDetectorEventRaiser& self = *ended;
    *ended = std::move(self);
    EXPECT_EQ(ended->State(), RaiserState::RaiserIdle);
    EXPECT_EQ(ended->Name(), "Idle");
    idle.reset();
    ended.reset();
    EXPECT_EQ(host.events.EventCount(), 2u);
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(LengthyRaiserTest, ARaiseWithoutHostEventReturnsToTheEarlierState)
{
    auto raiser = Make();
    host.events.ReturnNullForNext(1);
    EXPECT_FALSE(raiser->RaiseBegin(1).IsValid());
    EXPECT_EQ(raiser->State(), RaiserState::RaiserIdle);
    EXPECT_TRUE(raiser->RaiseBegin(2).Commit());
    host.events.ReturnNullForNext(1);
    EXPECT_FALSE(raiser->RaiseEnd(3).IsValid());
    EXPECT_EQ(raiser->State(), RaiserState::RaiserBegun);
    EXPECT_TRUE(host.logger.Records().empty());
    raiser.reset();  // would wait forever if the end were left pending
    EXPECT_EQ(host.events.EventCount(), 2u);
    EXPECT_EQ(host.events.Event(1).kind, 2);
}

TEST_F(LengthyRaiserTest, AFailedSetterEndsThePendingBeginAtCommit)
{
    auto raiser = Make();
    host.events.Prepare([](FakeHostEvent& e) { e.FailKey("EventUuid"); });
    CDetectorEvent begin = raiser->RaiseBegin(1);
    EXPECT_FALSE(begin.IsValid());
    EXPECT_FALSE(begin.Commit());
    EXPECT_EQ(raiser->State(), RaiserState::RaiserIdle);
    host.events.Prepare({});
    EXPECT_TRUE(raiser->RaiseBegin(2).Commit());
    host.events.Prepare([](FakeHostEvent& e) { e.FailKey("DetectorsGroup"); });
    EXPECT_FALSE(raiser->RaiseEnd(3).Commit());
    EXPECT_EQ(raiser->State(), RaiserState::RaiserBegun);
    raiser.reset();  // the automatic end meets the same refusal, silently
    ASSERT_EQ(host.events.EventCount(), 4u);
    EXPECT_EQ(host.events.Event(3).cancels, 1);
    EXPECT_EQ(host.logger.Records().size(), 3u);  // the three refused setters, as warnings
    for (const auto& record : host.logger.Records())
        EXPECT_EQ(record.level, 2u);
}

TEST_F(LengthyRaiserTest, AnAutomaticEndWithoutHostEventIsSilent)
{
    auto raiser = Make();
    EXPECT_TRUE(raiser->RaiseBegin(1).Commit());
    host.events.ReturnNull(true);
    EXPECT_NO_THROW(raiser.reset());
    EXPECT_EQ(host.events.Requests().size(), 2u);
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(LengthyRaiserTest, ABrokenLoggerNeverThrowsOutOfCallbacksOrDestruction)
{
    FrameworkTest::ThrowingLogger broken;
    CDetectorEventFactory brokenFactory(&host.sender, &host.events, &broken, "AudioDetector");
    EXPECT_NO_THROW({
        CLengthyDetectorEventRaiser raiser(brokenFactory, "X");
        raiser.RaiseEnd(1);  // out of order: error line
        CDetectorEvent begin = raiser.RaiseBegin(2);
        EXPECT_TRUE(begin.Commit());
        host.events.Prepare([](FakeHostEvent& e) { e.FailKey("EventUuid"); });
        // the automatic end at destruction warns about the refused identifier
    });
    EXPECT_EQ(broken.attempts, 2);
    EXPECT_EQ(host.events.EventCount(), 2u);
    EXPECT_EQ(host.events.Event(1).cancels, 1);
}

}  // namespace
