#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "DetectorEvent.h"
#include "FrameworkTestHost.h"

namespace {

using ORQ8::Framework::CDetectorEvent;
using TestSupport::ArgType;
using TestSupport::FakeHostEvent;
using TestSupport::RecordingLogger;

// Counts the callbacks a handle runs.
struct Callbacks {
    int commits = 0;
    int cancels = 0;
    CDetectorEvent::Callback OnCommit() { return [this] { ++commits; }; }
    CDetectorEvent::Callback OnCancel() { return [this] { ++cancels; }; }
};

// A buffer that counts its Destroy() calls; the test owns it.
class CountedBuffer : public ORQ8::MFF::IMultimediaBuffer {
public:
    void* GetContract(const char*) override { return nullptr; }
    void* DoGetContract(const char*) override { return nullptr; }
    std::uint64_t GetTimestamp() override { return 0; }
    const char* GetBufferName() override { return "counted"; }
    std::uint32_t GetFlags() override { return 0; }
    void Destroy() override { ++destroys; }
    int destroys = 0;
};

class DetectorEventTest : public ::testing::Test {
protected:
    CDetectorEvent Wrap(FakeHostEvent* event)
    {
        return CDetectorEvent(event, &logger, "AudioDetector", callbacks.OnCommit(), callbacks.OnCancel());
    }

    RecordingLogger logger{0};
    FakeHostEvent hostEvent;
    Callbacks callbacks;
};

TEST_F(DetectorEventTest, AHeldEventGetsItsGroupAtOnce)
{
    CDetectorEvent event = Wrap(&hostEvent);
    EXPECT_TRUE(event.IsValid());
    EXPECT_FALSE(!event);
    ASSERT_EQ(hostEvent.Calls().size(), 1u);
    EXPECT_EQ(hostEvent.Calls()[0].type, ArgType::Text);
    EXPECT_EQ(hostEvent.Calls()[0].key, "DetectorsGroup");
    EXPECT_EQ(hostEvent.Calls()[0].textValue, "AudioDetector");
}

TEST_F(DetectorEventTest, EveryTypedSetterReachesItsOwnHostOperation)
{
    auto* rectangles = reinterpret_cast<ORQ8::Analytics::RectangleArray*>(0x1000);
    auto* mask = reinterpret_cast<ORQ8::Analytics::Mask*>(0x2000);
    auto* polylines = reinterpret_cast<ORQ8::Analytics::PolylineArray*>(0x3000);
    CountedBuffer buffer;
    FakeHostEvent stored;  // declared after the buffer: it owns the buffer once given
    {
        CDetectorEvent event = Wrap(&stored);
        event.SetValue("b", true);
        event.SetValue("i", std::int32_t{-42});
        event.SetValue("d", 2.5);
        event.SetValue("t", "text");
        event.SetRectangleArray("r", rectangles);
        event.SetMask("m", mask);
        event.SetPolylineArray("p", polylines);
        ORQ8::MFF::BufferHolder<> holder(&buffer);
        event.SetMultimediaBuffer("buf", holder);
        EXPECT_EQ(holder.get(), nullptr);
        event.SetNumber(123456789012345ull);
        EXPECT_TRUE(event.IsValid());
        EXPECT_TRUE(event.Commit());
    }
    const auto& calls = stored.Calls();
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_EQ(calls[1].type, ArgType::Bool);
    EXPECT_EQ(calls[1].key, "b");
    EXPECT_TRUE(calls[1].boolValue);
    EXPECT_EQ(calls[2].type, ArgType::Int);
    EXPECT_EQ(calls[2].intValue, -42);
    EXPECT_EQ(calls[3].type, ArgType::Double);
    EXPECT_EQ(calls[3].doubleValue, 2.5);
    EXPECT_EQ(calls[4].type, ArgType::Text);
    EXPECT_EQ(calls[4].textValue, "text");
    EXPECT_EQ(calls[5].type, ArgType::RectangleArray);
    EXPECT_EQ(calls[5].pointer, rectangles);
    EXPECT_EQ(calls[6].type, ArgType::Mask);
    EXPECT_EQ(calls[6].pointer, mask);
    EXPECT_EQ(calls[7].type, ArgType::PolylineArray);
    EXPECT_EQ(calls[7].pointer, polylines);
    EXPECT_EQ(calls[8].type, ArgType::MultimediaBuffer);
    EXPECT_EQ(calls[8].key, "buf");
    EXPECT_EQ(calls[8].pointer, &buffer);
    EXPECT_EQ(calls[9].type, ArgType::Number);
    EXPECT_EQ(calls[9].number, 123456789012345ull);
    // The argument store is asked for once and cached.
    EXPECT_EQ(stored.adjusterQueries, 1);
    EXPECT_EQ(stored.commits, 1);
    EXPECT_EQ(stored.cancels, 0);
    EXPECT_EQ(stored.callsAfterEnd, 0);
    EXPECT_TRUE(logger.Records().empty());
}

// One row per setter: how to call it on key "k", and the warning it gives
// when the host refuses.
struct FailingSetter {
    const char* label;
    std::function<void(CDetectorEvent&)> call;
    const char* failingKey;
    const char* warning;
};

TEST_F(DetectorEventTest, EachSetterWarnsWithItsOwnMessageWhenTheHostRefuses)
{
    CountedBuffer buffer;
    const std::vector<FailingSetter> rows{
        {"bool", [](CDetectorEvent& e) { e.SetValue("k", false); }, "k", "CDetectorEvent: Cannot set value k=0"},
        {"bool true", [](CDetectorEvent& e) { e.SetValue("k", true); }, "k", "CDetectorEvent: Cannot set value k=1"},
        {"int", [](CDetectorEvent& e) { e.SetValue("k", std::int32_t{-2147483647 - 1}); }, "k",
         "CDetectorEvent: Cannot set value k=-2147483648"},
        {"double", [](CDetectorEvent& e) { e.SetValue("k", 3.14159265358979); }, "k",
         "CDetectorEvent: Cannot set value k=3.14159"},
        {"double large", [](CDetectorEvent& e) { e.SetValue("k", 1234567890.0); }, "k",
         "CDetectorEvent: Cannot set value k=1.23457e+09"},
        {"text", [](CDetectorEvent& e) { e.SetValue("k", "some text"); }, "k",
         "CDetectorEvent: Cannot set value k=some text"},
        {"rectangles", [](CDetectorEvent& e) { e.SetRectangleArray("k", nullptr); }, "k",
         "CDetectorEvent: Cannot set rectangle array 'k'"},
        {"mask", [](CDetectorEvent& e) { e.SetMask("k", nullptr); }, "k", "CDetectorEvent: Cannot set mask 'k'"},
        {"polylines", [](CDetectorEvent& e) { e.SetPolylineArray("k", nullptr); }, "k",
         "CDetectorEvent: Cannot set polyline array 'k'"},
        {"buffer",
         [&buffer](CDetectorEvent& e) {
             ORQ8::MFF::BufferHolder<> holder(&buffer);
             e.SetMultimediaBuffer("k", holder);
         },
         "k", "CDetectorEvent: Cannot set multimedia buffer 'k'"},
        {"number", [](CDetectorEvent& e) { e.SetNumber(18446744073709551615ull); }, "",
         "CDetectorEvent: Cannot set value 18446744073709551615"},
    };
    for (const FailingSetter& row : rows) {
        SCOPED_TRACE(row.label);
        RecordingLogger rowLogger{2};
        FakeHostEvent event;
        event.FailKey(row.failingKey);
        CDetectorEvent handle(&event, &rowLogger, "AudioDetector", {}, {});
        ASSERT_TRUE(handle.IsValid());
        row.call(handle);
        EXPECT_FALSE(handle.IsValid());
        const auto records = rowLogger.Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, 2u);
        EXPECT_FALSE(records[0].located);
        EXPECT_EQ(records[0].message, row.warning);
    }
    // The host took the buffer even though it refused it.
    EXPECT_EQ(buffer.destroys, 1);
}

TEST_F(DetectorEventTest, OnlyTheFirstFailureReachesTheHostAndTheLog)
{
    hostEvent.FailKey("first");
    CountedBuffer buffer;
    {
        CDetectorEvent event = Wrap(&hostEvent);
        event.SetValue("first", std::int32_t{1});
        event.SetValue("second", std::int32_t{2});
        event.SetValue("third", "x");
        event.SetNumber(3);
        ORQ8::MFF::BufferHolder<> holder(&buffer);
        event.SetMultimediaBuffer("buf", holder);
        // A failed handle leaves the buffer with the caller.
        EXPECT_EQ(holder.get(), &buffer);
        holder.release();
        EXPECT_FALSE(event.IsValid());
        EXPECT_TRUE(!event);
        // The failure turns the commit into a cancel, and the cancel callback
        // tells the bookkeeping that the event ended.
        EXPECT_FALSE(event.Commit());
        EXPECT_EQ(callbacks.commits, 0);
        EXPECT_EQ(callbacks.cancels, 1);
        EXPECT_FALSE(event.Commit());
        event.Cancel();
    }
    EXPECT_EQ(hostEvent.Calls().size(), 2u);  // the group and "first"
    EXPECT_EQ(hostEvent.commits, 0);
    EXPECT_EQ(hostEvent.cancels, 1);
    EXPECT_EQ(hostEvent.callsAfterEnd, 0);
    EXPECT_EQ(callbacks.cancels, 1);
    EXPECT_EQ(buffer.destroys, 0);
    EXPECT_EQ(logger.Messages(), std::vector<std::string>{"CDetectorEvent: Cannot set value first=1"});
}

TEST_F(DetectorEventTest, AFailedGroupInTheConstructorMakesCommitFail)
{
    hostEvent.FailKey("DetectorsGroup");
    CDetectorEvent event = Wrap(&hostEvent);
    EXPECT_FALSE(event.IsValid());
    EXPECT_EQ(logger.Messages(), std::vector<std::string>{"CDetectorEvent: Cannot set value DetectorsGroup=AudioDetector"});
    EXPECT_FALSE(event.Commit());
    EXPECT_EQ(hostEvent.commits, 0);
    EXPECT_EQ(hostEvent.cancels, 1);
    EXPECT_EQ(callbacks.cancels, 1);
}

TEST_F(DetectorEventTest, AMissingArgumentStoreIsWarnedPerSetterAndDoesNotFailTheEvent)
{
    hostEvent.noArgsAdjuster = true;
    CountedBuffer buffer;
    CDetectorEvent event = Wrap(&hostEvent);
    event.SetValue("a", true);
    ORQ8::MFF::BufferHolder<> holder(&buffer);
    event.SetMultimediaBuffer("buf", holder);
    EXPECT_EQ(holder.get(), &buffer);  // never reached the host
    holder.release();
    EXPECT_TRUE(event.IsValid());
    // Constructor, SetValue, SetMultimediaBuffer: each asked again.
    EXPECT_EQ(hostEvent.adjusterQueries, 3);
    EXPECT_EQ(logger.Messages(), std::vector<std::string>(3, "CDetectorEvent: Cannot get event args adjuster"));
    EXPECT_TRUE(logger.Records()[0].level == 2u && !logger.Records()[0].located);
    EXPECT_TRUE(event.Commit());
    EXPECT_EQ(hostEvent.commits, 1);
    EXPECT_EQ(callbacks.commits, 1);
    EXPECT_TRUE(hostEvent.Calls().empty());
}

TEST_F(DetectorEventTest, EachHostEventEndsExactlyOnceWithOneCallback)
{
    {
        CDetectorEvent event = Wrap(&hostEvent);
        EXPECT_TRUE(event.Commit());
        EXPECT_FALSE(event.Commit());
        event.Cancel();
        EXPECT_FALSE(event.IsValid());
    }
    EXPECT_EQ(hostEvent.commits, 1);
    EXPECT_EQ(hostEvent.cancels, 0);
    EXPECT_EQ(callbacks.commits, 1);
    EXPECT_EQ(callbacks.cancels, 0);

    FakeHostEvent dropped;
    Callbacks droppedCallbacks;
    {
        CDetectorEvent event(&dropped, &logger, "AudioDetector", droppedCallbacks.OnCommit(),
                             droppedCallbacks.OnCancel());
    }
    EXPECT_EQ(dropped.commits, 0);
    EXPECT_EQ(dropped.cancels, 1);
    EXPECT_EQ(droppedCallbacks.commits, 0);
    EXPECT_EQ(droppedCallbacks.cancels, 1);

    FakeHostEvent cancelled;
    Callbacks cancelledCallbacks;
    {
        CDetectorEvent event(&cancelled, &logger, "AudioDetector", cancelledCallbacks.OnCommit(),
                             cancelledCallbacks.OnCancel());
        event.Cancel();
        event.Cancel();
        EXPECT_FALSE(event.Commit());
    }
    EXPECT_EQ(cancelled.cancels, 1);
    EXPECT_EQ(cancelled.commits, 0);
    EXPECT_EQ(cancelledCallbacks.cancels, 1);
    EXPECT_EQ(cancelledCallbacks.commits, 0);
    EXPECT_EQ(hostEvent.callsAfterEnd + dropped.callsAfterEnd + cancelled.callsAfterEnd, 0);
}

TEST_F(DetectorEventTest, AnEmptyHandleDoesNothingAtAll)
{
    CountedBuffer buffer;
    {
        CDetectorEvent event(nullptr, &logger, "AudioDetector", callbacks.OnCommit(), callbacks.OnCancel());
        EXPECT_FALSE(event.IsValid());
        EXPECT_TRUE(!event);
        event.SetValue("k", true);
        event.SetValue("k", "v");
        event.SetNumber(1);
        ORQ8::MFF::BufferHolder<> holder(&buffer);
        event.SetMultimediaBuffer("k", holder);
        EXPECT_EQ(holder.get(), &buffer);
        holder.release();
        EXPECT_FALSE(event.Commit());
        event.Cancel();
    }
    EXPECT_EQ(callbacks.commits + callbacks.cancels, 0);
    EXPECT_EQ(buffer.destroys, 0);
    EXPECT_TRUE(logger.Records().empty());
    EXPECT_EQ(logger.levelQueries.load(), 0);
}

TEST_F(DetectorEventTest, WarningsFollowTheLoggerLevelAndANullLogger)
{
    RecordingLogger quiet{3};
    FakeHostEvent refused;
    refused.FailAll();
    CDetectorEvent event(&refused, &quiet, "AudioDetector", {}, {});
    EXPECT_FALSE(event.IsValid());
    EXPECT_TRUE(quiet.Records().empty());

    FakeHostEvent noStore;
    noStore.noArgsAdjuster = true;
    Callbacks silent;
    CDetectorEvent unlogged(&noStore, nullptr, "AudioDetector", silent.OnCommit(), silent.OnCancel());
    unlogged.SetValue("k", 1.0);
    EXPECT_TRUE(unlogged.Commit());
    EXPECT_EQ(silent.commits, 1);
}

TEST_F(DetectorEventTest, ABrokenLoggerNeverThrowsOutOfSettersOrCommit)
{
    FrameworkTest::ThrowingLogger broken;
    FakeHostEvent noStore;
    noStore.noArgsAdjuster = true;
    hostEvent.FailKey("bad");
    EXPECT_NO_THROW({
        CDetectorEvent missing(&noStore, &broken, "AudioDetector", {}, {});
        missing.SetValue("k", true);
        CDetectorEvent event(&hostEvent, &broken, "AudioDetector", callbacks.OnCommit(), callbacks.OnCancel());
        event.SetValue("bad", "value");
        EXPECT_FALSE(event.Commit());
    });
    EXPECT_EQ(broken.attempts, 3);
    EXPECT_EQ(callbacks.cancels, 1);
}

TEST_F(DetectorEventTest, AMoveTakesTheEventAndItsCallbacks)
{
    CDetectorEvent source = Wrap(&hostEvent);
    CDetectorEvent target(std::move(source));
    EXPECT_FALSE(source.IsValid());  // NOLINT(bugprone-use-after-move): a moved-from handle is empty by design
    EXPECT_FALSE(source.Commit());
    source.Cancel();
    EXPECT_EQ(callbacks.commits + callbacks.cancels, 0);
    EXPECT_TRUE(target.IsValid());
    EXPECT_TRUE(target.Commit());
    EXPECT_EQ(callbacks.commits, 1);
    EXPECT_EQ(hostEvent.commits, 1);
    EXPECT_EQ(hostEvent.cancels, 0);
}

TEST_F(DetectorEventTest, MoveAssignmentCancelsTheTargetsOwnEventFirst)
{
    FakeHostEvent other;
    Callbacks otherCallbacks;
    CDetectorEvent target = Wrap(&hostEvent);
    CDetectorEvent source(&other, &logger, "AudioDetector", otherCallbacks.OnCommit(), otherCallbacks.OnCancel());
    target = std::move(source);
    EXPECT_EQ(hostEvent.cancels, 1);
    EXPECT_EQ(callbacks.cancels, 1);
    EXPECT_TRUE(target.Commit());
    EXPECT_EQ(other.commits, 1);
    EXPECT_EQ(otherCallbacks.commits, 1);
    EXPECT_EQ(callbacks.commits, 0);
}

}  // namespace
