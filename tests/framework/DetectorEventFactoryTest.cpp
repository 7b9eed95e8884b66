#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DetectorEventFactory.h"
#include "FrameworkTestHost.h"

namespace {

using ORQ8::Framework::CDetectorEvent;
using ORQ8::Framework::CDetectorEventFactory;
using TestSupport::FakeHostEvent;
using TestSupport::FakeTarget;
using TestSupport::FakeTargetList;

class DetectorEventFactoryTest : public ::testing::Test {
protected:
    // A located factory warning as it should reach the logger.
    void ExpectOnlyWarning(int line, const char* function, const char* message)
    {
        const auto records = host.logger.Records();
        ASSERT_EQ(records.size(), 1u) << "expected: " << message;
        EXPECT_EQ(records[0].level, 2u);
        EXPECT_TRUE(records[0].located);
        EXPECT_EQ(records[0].file, "OrqFramework/src/EventRaising");
        EXPECT_EQ(records[0].line, line);
        EXPECT_EQ(records[0].function, function);
        EXPECT_EQ(records[0].message, message);
    }

    TestSupport::FakeTargetList list;  // declared first: outlives the fake host, which may own it
    FrameworkTest::Host host;
    CDetectorEventFactory factory{&host.sender, &host.events, &host.logger, "AudioDetector"};
};

TEST(DetectorEventFactoryConstruction, RefusesAnUnknownGroup)
{
    FrameworkTest::Host host;
    for (const char* group : {"", "Unknown", "AudioDetector ", "AudioDetector,", "audiodetector"}) {
        try {
            CDetectorEventFactory factory(&host.sender, &host.events, &host.logger, group);
            ADD_FAILURE() << "accepted '" << group << "'";
        } catch (const std::logic_error& error) {
            EXPECT_STREQ(error.what(), "Incorrect detector group");
        }
    }
    EXPECT_NO_THROW(CDetectorEventFactory(&host.sender, &host.events, &host.logger, "AudioDetector,FireDetector"));
}

TEST_F(DetectorEventFactoryTest, AMomentaryEventCarriesItsGroupAndNoIdentifier)
{
    CDetectorEvent event = factory.RaiseMomentaryEvent("GunShot", 1700000000123ull);
    ASSERT_EQ(host.events.EventCount(), 1u);
    FakeHostEvent& created = host.events.Event(0);
    EXPECT_EQ(created.sender, &host.sender);
    EXPECT_EQ(created.name, "GunShot");
    EXPECT_EQ(created.timestamp, 1700000000123ull);
    EXPECT_EQ(created.kind, 3);
    EXPECT_EQ(created.Text("DetectorsGroup"), "AudioDetector");
    EXPECT_EQ(created.Arg("EventUuid"), nullptr);
    EXPECT_TRUE(event.Commit());
    EXPECT_EQ(created.commits, 1);
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, AMomentaryEventWithoutHostEventFailsQuietly)
{
    host.events.ReturnNull(true);
    CDetectorEvent event = factory.RaiseMomentaryEvent("GunShot", 5);
    EXPECT_FALSE(event.IsValid());
    EXPECT_FALSE(event.Commit());
    EXPECT_EQ(host.events.Requests().size(), 1u);
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, ALengthyEventBeginsAndEndsWithOneIdentifier)
{
    CDetectorEvent begin = factory.RaiseLengthyEvent("Intrusion", true, 100);
    ASSERT_TRUE(begin.IsValid());
    EXPECT_TRUE(begin.Commit());
    CDetectorEvent end = factory.RaiseLengthyEvent("Intrusion", false, 200);
    ASSERT_TRUE(end.IsValid());
    EXPECT_TRUE(end.Commit());

    ASSERT_EQ(host.events.EventCount(), 2u);
    const FakeHostEvent& b = host.events.Event(0);
    const FakeHostEvent& e = host.events.Event(1);
    EXPECT_EQ(b.kind, 1);
    EXPECT_EQ(b.timestamp, 100u);
    EXPECT_EQ(e.kind, 2);
    EXPECT_EQ(e.timestamp, 200u);
    EXPECT_EQ(b.name, "Intrusion");
    EXPECT_EQ(e.name, "Intrusion");
    EXPECT_EQ(b.Text("DetectorsGroup"), "AudioDetector");
    EXPECT_EQ(b.Text("EventUuid").size(), 36u);
    EXPECT_EQ(b.Text("EventUuid"), e.Text("EventUuid"));
    EXPECT_TRUE(host.logger.Records().empty());

    // The entry is gone: a new lengthy event of that name is a new one.
    CDetectorEvent again = factory.RaiseLengthyEvent("Intrusion", true, 300);
    ASSERT_TRUE(again.IsValid());
    EXPECT_NE(host.events.Event(2).Text("EventUuid"), b.Text("EventUuid"));
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, ASecondBeginIsRefusedWithoutHostCall)
{
    CDetectorEvent first = factory.RaiseLengthyEvent("Intrusion", true, 1);
    CDetectorEvent second = factory.RaiseLengthyEvent("Intrusion", true, 2);
    EXPECT_FALSE(second.IsValid());
    EXPECT_FALSE(second.Commit());
    EXPECT_EQ(host.events.Requests().size(), 1u);
    ExpectOnlyWarning(441, "RaiseLengthyEvent", "CDetectorEventFactory: there is already active event");
    // Refused also once the begin is committed.
    EXPECT_TRUE(first.Commit());
    host.logger.Clear();
    EXPECT_FALSE(factory.RaiseLengthyEvent("Intrusion", true, 3).IsValid());
    ExpectOnlyWarning(441, "RaiseLengthyEvent", "CDetectorEventFactory: there is already active event");
}

TEST_F(DetectorEventFactoryTest, AnEndWithoutBeginIsRefused)
{
    CDetectorEvent end = factory.RaiseLengthyEvent("Intrusion", false, 1);
    EXPECT_FALSE(end.IsValid());
    EXPECT_TRUE(host.events.Requests().empty());
    ExpectOnlyWarning(447, "RaiseLengthyEvent", "CDetectorEventFactory: there is no active event");
}

TEST_F(DetectorEventFactoryTest, ACancelledEndLeavesTheEventActiveWithItsIdentifier)
{
    EXPECT_TRUE(factory.RaiseLengthyEvent("Intrusion", true, 1).Commit());
    factory.RaiseLengthyEvent("Intrusion", false, 2).Cancel();
    EXPECT_FALSE(factory.RaiseLengthyEvent("Intrusion", true, 3).IsValid());  // still active
    host.logger.Clear();
    CDetectorEvent end = factory.RaiseLengthyEvent("Intrusion", false, 4);
    ASSERT_TRUE(end.IsValid());
    EXPECT_TRUE(end.Commit());
    EXPECT_EQ(host.events.Event(2).Text("EventUuid"), host.events.Event(0).Text("EventUuid"));
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, ADroppedBeginErasesTheEntry)
{
    { CDetectorEvent begin = factory.RaiseLengthyEvent("Intrusion", true, 1); }
    EXPECT_EQ(host.events.Event(0).cancels, 1);
    EXPECT_FALSE(factory.RaiseLengthyEvent("Intrusion", false, 2).IsValid());
    host.logger.Clear();
    CDetectorEvent begin = factory.RaiseLengthyEvent("Intrusion", true, 3);
    ASSERT_TRUE(begin.IsValid());
    EXPECT_NE(host.events.Event(1).Text("EventUuid"), host.events.Event(0).Text("EventUuid"));
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, NamesAreIndependentLengthyEvents)
{
    EXPECT_TRUE(factory.RaiseLengthyEvent("A", true, 1).Commit());
    EXPECT_TRUE(factory.RaiseLengthyEvent("B", true, 1).Commit());
    EXPECT_TRUE(factory.RaiseLengthyEvent("A", false, 2).Commit());
    EXPECT_FALSE(factory.RaiseLengthyEvent("A", false, 3).IsValid());
    host.logger.Clear();
    EXPECT_TRUE(factory.RaiseLengthyEvent("B", false, 3).Commit());
    EXPECT_NE(host.events.Event(0).Text("EventUuid"), host.events.Event(1).Text("EventUuid"));
    EXPECT_EQ(host.events.Event(1).Text("EventUuid"), host.events.Event(3).Text("EventUuid"));
    EXPECT_TRUE(host.logger.Records().empty());
}

// Every callback diagnostic, each reached through a begin and an end that
// end out of the usual order.
struct CallbackScript {
    const char* label;
    // Ends the begin handle `b` and the end handle `e` in some order.
    void (*run)(CDetectorEvent& b, CDetectorEvent& e);
    int line;
    const char* message;
    bool activeAfterwards;  // the name is still active at the end
};

TEST_F(DetectorEventFactoryTest, EveryCallbackDiagnosticIsLoggedAtItsSite)
{
    const std::vector<CallbackScript> scripts{
        {"begin commit after end commit", [](CDetectorEvent& b, CDetectorEvent& e) { e.Commit(); b.Commit(); }, 468,
         "CDetectorEventFactory: there is no active event after successful begin commit", false},
        {"begin commit after end cancel", [](CDetectorEvent& b, CDetectorEvent& e) { e.Cancel(); b.Commit(); }, 473,
         "CDetectorEventFactory: active event begin has been commited twice", true},
        {"begin cancel after end commit", [](CDetectorEvent& b, CDetectorEvent& e) { e.Commit(); b.Cancel(); }, 484,
         "CDetectorEventFactory: there is no active event after begin cancel", false},
        {"begin cancel after end cancel", [](CDetectorEvent& b, CDetectorEvent& e) { e.Cancel(); b.Cancel(); }, 489,
         "CDetectorEventFactory: canceled begin of already commited event", false},
        {"end commit after begin cancel", [](CDetectorEvent& b, CDetectorEvent& e) { b.Cancel(); e.Commit(); }, 507,
         "CDetectorEventFactory: there is no active event after end commit", false},
        {"end commit after begin commit", [](CDetectorEvent& b, CDetectorEvent& e) { b.Commit(); e.Commit(); }, 512,
         "CDetectorEventFactory: active event end has been commited twice", false},
        {"end cancel after begin cancel", [](CDetectorEvent& b, CDetectorEvent& e) { b.Cancel(); e.Cancel(); }, 523,
         "CDetectorEventFactory: there is no active event after end cancel", false},
        {"end cancel after begin commit", [](CDetectorEvent& b, CDetectorEvent& e) { b.Commit(); e.Cancel(); }, 528,
         "CDetectorEventFactory: canceled end of already commited event", true},
    };
    for (const CallbackScript& script : scripts) {
        SCOPED_TRACE(script.label);
        FrameworkTest::Host own;
        CDetectorEventFactory events(&own.sender, &own.events, &own.logger, "AudioDetector");
        CDetectorEvent begin = events.RaiseLengthyEvent("X", true, 1);
        CDetectorEvent end = events.RaiseLengthyEvent("X", false, 2);  // before the begin is committed
        ASSERT_TRUE(begin.IsValid() && end.IsValid());
        script.run(begin, end);
        const auto records = own.logger.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, 2u);
        EXPECT_EQ(records[0].file, "OrqFramework/src/EventRaising");
        EXPECT_EQ(records[0].line, script.line);
        EXPECT_EQ(records[0].function, "operator()");
        EXPECT_EQ(records[0].message, script.message);
        // Whether the name is active shows in whether a new begin is taken.
        own.logger.Clear();
        EXPECT_EQ(events.RaiseLengthyEvent("X", true, 3).IsValid(), !script.activeAfterwards);
    }
}

TEST_F(DetectorEventFactoryTest, ABrokenLoggerNeverThrowsOutOfTheCallbacks)
{
    FrameworkTest::ThrowingLogger broken;
    CDetectorEventFactory events(&host.sender, &host.events, &broken, "AudioDetector");
    EXPECT_NO_THROW({
        CDetectorEvent begin = events.RaiseLengthyEvent("X", true, 1);
        CDetectorEvent end = events.RaiseLengthyEvent("X", false, 2);
        end.Commit();
        begin.Commit();  // entry missing: warns
        events.RaiseLengthyEvent("Y", false, 3);  // refused: warns
    });
    EXPECT_EQ(broken.attempts, 2);
}

TEST_F(DetectorEventFactoryTest, ABeginWithoutHostEventLeavesNoEntry)
{
    host.events.ReturnNullForNext(1);
    CDetectorEvent lost = factory.RaiseLengthyEvent("X", true, 1);
    EXPECT_FALSE(lost.IsValid());
    EXPECT_FALSE(lost.Commit());
    // No entry was left behind: an end is refused, a new begin is taken.
    EXPECT_FALSE(factory.RaiseLengthyEvent("X", false, 2).IsValid());
    host.logger.Clear();
    CDetectorEvent begin = factory.RaiseLengthyEvent("X", true, 3);
    EXPECT_TRUE(begin.IsValid());
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, AnEndWithoutHostEventLeavesTheEventAsItWas)
{
    EXPECT_TRUE(factory.RaiseLengthyEvent("X", true, 1).Commit());
    host.events.ReturnNullForNext(1);
    EXPECT_FALSE(factory.RaiseLengthyEvent("X", false, 2).IsValid());
    // Still active: a begin is refused, its end can be raised again.
    EXPECT_FALSE(factory.RaiseLengthyEvent("X", true, 3).IsValid());
    host.logger.Clear();
    CDetectorEvent end = factory.RaiseLengthyEvent("X", false, 4);
    ASSERT_TRUE(end.IsValid());
    EXPECT_TRUE(end.Commit());
    EXPECT_TRUE(host.logger.Records().empty());

    // With the begin still pending, the lost end leaves it pending: its
    // commit is an ordinary first commit.
    CDetectorEvent begin = factory.RaiseLengthyEvent("Y", true, 5);
    host.events.ReturnNullForNext(1);
    EXPECT_FALSE(factory.RaiseLengthyEvent("Y", false, 6).IsValid());
    EXPECT_TRUE(begin.Commit());
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, AFailedSetterOnABeginErasesTheEntryAtCommit)
{
    host.events.Prepare([](FakeHostEvent& e) { e.FailKey("EventUuid"); });
    CDetectorEvent begin = factory.RaiseLengthyEvent("X", true, 1);
    EXPECT_FALSE(begin.IsValid());
    EXPECT_FALSE(begin.Commit());
    EXPECT_EQ(host.events.Event(0).cancels, 1);
    host.events.Prepare({});
    host.logger.Clear();
    // The cancel reached the bookkeeping: the name is free again.
    EXPECT_TRUE(factory.RaiseLengthyEvent("X", true, 2).IsValid());
    EXPECT_TRUE(host.logger.Records().empty());
}

TEST_F(DetectorEventFactoryTest, AFailedGroupMeansNoIdentifierIsSet)
{
    host.events.Prepare([](FakeHostEvent& e) { e.FailKey("DetectorsGroup"); });
    CDetectorEvent begin = factory.RaiseLengthyEvent("X", true, 1);
    EXPECT_EQ(host.events.Event(0).Calls().size(), 1u);
    EXPECT_FALSE(begin.Commit());
}

class TargetListEventTest : public DetectorEventFactoryTest {
protected:
    ORQ8::MFF::BufferHolder<ORQ8::Analytics::ITargetList> Hold()
    {
        return ORQ8::MFF::BufferHolder<ORQ8::Analytics::ITargetList>(&list);
    }
};

TEST_F(TargetListEventTest, TargetsGetMaskedIdsUpToTheFirstNullTarget)
{
    FakeTarget flagged(static_cast<std::int32_t>(0x80000005u));
    FakeTarget plain(17);
    FakeTarget allBits(-1);
    FakeTarget afterNull(3);
    list.targets = {&flagged, &plain, &allBits, nullptr, &afterNull};
    list.listValue = 0xABCDEF0123ull;

    EXPECT_TRUE(factory.RaiseTargetListEvent(Hold()));

    EXPECT_EQ(list.resets, 1);
    using Values = std::vector<std::pair<std::string, std::int32_t>>;
    EXPECT_EQ(flagged.adjuster.intValues, (Values{{"ObjectId", 5}}));
    EXPECT_EQ(plain.adjuster.intValues, (Values{{"ObjectId", 17}}));
    EXPECT_EQ(allBits.adjuster.intValues, (Values{{"ObjectId", 0x7FFFFFFF}}));
    EXPECT_TRUE(afterNull.adjuster.intValues.empty());

    ASSERT_EQ(host.events.EventCount(), 1u);
    const FakeHostEvent& event = host.events.Event(0);
    EXPECT_TRUE(event.targetList);
    EXPECT_EQ(event.sender, &host.sender);
    EXPECT_EQ(event.name, "TargetList");
    EXPECT_EQ(event.listValue, 0xABCDEF0123ull);
    EXPECT_EQ(event.Text("DetectorsGroup"), "AudioDetector");
    ASSERT_NE(event.Arg("TargetList"), nullptr);
    EXPECT_EQ(event.Arg("TargetList")->pointer, static_cast<ORQ8::MFF::IMultimediaBuffer*>(&list));
    EXPECT_EQ(event.commits, 1);
    EXPECT_EQ(list.destroys, 0);  // the host holds it now
}

TEST_F(TargetListEventTest, TargetsStopAtOneWithoutAdjuster)
{
    FakeTarget first(1);
    FakeTarget bare(2, false);
    FakeTarget after(3);
    list.targets = {&first, &bare, &after};
    EXPECT_TRUE(factory.RaiseTargetListEvent(Hold()));
    EXPECT_EQ(first.adjuster.intValues.size(), 1u);
    EXPECT_TRUE(bare.adjuster.intValues.empty());
    EXPECT_TRUE(after.adjuster.intValues.empty());
}

TEST_F(TargetListEventTest, ARefusedObjectIdDoesNotStopTheEvent)
{
    FakeTarget first(1);
    first.adjuster.status = 9;
    FakeTarget second(2);
    list.targets = {&first, &second};
    EXPECT_TRUE(factory.RaiseTargetListEvent(Hold()));
    EXPECT_EQ(second.adjuster.intValues.size(), 1u);
}

TEST_F(TargetListEventTest, TheListEndsExactlyOnceOnEveryPath)
{
    struct Path {
        const char* label;
        void (*script)(TestSupport::FakeHostEventFactory&);
        bool committed;
        int destroyedByFramework;
    };
    const std::vector<Path> paths{
        {"taken and committed", [](TestSupport::FakeHostEventFactory&) {}, true, 0},
        {"no host event", [](TestSupport::FakeHostEventFactory& f) { f.ReturnNull(true); }, false, 1},
        {"group refused", [](TestSupport::FakeHostEventFactory& f) {
             f.Prepare([](FakeHostEvent& e) { e.FailKey("DetectorsGroup"); }); }, false, 1},
        {"list refused", [](TestSupport::FakeHostEventFactory& f) {
             f.Prepare([](FakeHostEvent& e) { e.FailKey("TargetList"); }); }, false, 0},
        {"no argument store", [](TestSupport::FakeHostEventFactory& f) {
             f.Prepare([](FakeHostEvent& e) { e.noArgsAdjuster = true; }); }, true, 1},
    };
    for (const Path& path : paths) {
        SCOPED_TRACE(path.label);
        FakeTargetList own;
        {
            auto hostEvents = std::make_unique<TestSupport::FakeHostEventFactory>();
            path.script(*hostEvents);
            CDetectorEventFactory events(&host.sender, hostEvents.get(), nullptr, "AudioDetector");
            EXPECT_EQ(events.RaiseTargetListEvent(ORQ8::MFF::BufferHolder<ORQ8::Analytics::ITargetList>(&own)),
                      path.committed);
            EXPECT_EQ(own.destroys, path.destroyedByFramework);
            for (FakeHostEvent* e : hostEvents->Events())
                EXPECT_EQ(e->commits + e->cancels, 1);
        }
        // Whatever the host took, it ends with the host.
        EXPECT_EQ(own.destroys, 1);
    }
}

TEST_F(TargetListEventTest, AHumanBoneListLeavesItsTargetsAlone)
{
    FakeTarget target(4);
    list.targets = {&target};
    list.listValue = 77;
    EXPECT_TRUE(factory.RaiseHumanBoneTargetListEvent(Hold()));
    EXPECT_EQ(list.resets, 0);
    EXPECT_EQ(list.moveNexts, 0);
    EXPECT_TRUE(target.adjuster.intValues.empty());
    const FakeHostEvent& event = host.events.Event(0);
    EXPECT_EQ(event.name, "HumanBoneTargetList");
    EXPECT_EQ(event.listValue, 77u);
    ASSERT_NE(event.Arg("HumanBoneTargetList"), nullptr);
    EXPECT_EQ(event.Arg("TargetList"), nullptr);
    EXPECT_EQ(event.commits, 1);
}

TEST_F(TargetListEventTest, ANullListRaisesNothing)
{
    EXPECT_FALSE(factory.RaiseTargetListEvent({}));
    EXPECT_FALSE(factory.RaiseHumanBoneTargetListEvent({}));
    EXPECT_TRUE(host.events.Requests().empty());
}

}  // namespace
