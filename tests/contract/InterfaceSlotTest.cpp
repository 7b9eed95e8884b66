// The host calls plug-in objects, and the plug-in calls host objects, by
// virtual-table slot, not by name. These tests call each interface the way
// the other side's binary does, through the slot the contract fixes, and
// check that the intended operation answers.
//
// Itanium C++ ABI on x86-64: the object's first word points at its table of
// operations; the IContract prefix takes slots 0 to 3 (GetContract,
// DoGetContract, then the complete and the deleting destructor), so an
// interface's own operations start at slot 4.
#include <cstdint>
#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Contract.h"
#include "Detector.h"
#include "HostEvents.h"
#include "HostServices.h"
#include "MultimediaBuffer.h"

namespace {

using namespace ORQ8;
using ::testing::_;
using ::testing::Return;
using ::testing::StrEq;
using ::testing::TypedEq;

// Typed text matcher, to pick one overload of an overloaded operation.
::testing::Matcher<const char*> Text(const char* text) { return StrEq(text); }

constexpr std::size_t kFirstOwnSlot = 4;

// Calls operation `slot` of the table `face` points at, as foreign code
// would: `face` is passed as the hidden object argument.
template <class R, class Face, class... Args>
R CallSlot(Face* face, std::size_t slot, Args... args)
{
    using Operation = R (*)(Face*, Args...);
    void* const* table = nullptr;
    std::memcpy(&table, static_cast<void*>(face), sizeof table);
    Operation operation = nullptr;
    std::memcpy(&operation, &table[slot], sizeof operation);
    return operation(face, args...);
}

class MockContract : public IContract {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
};

TEST(InterfaceSlots, ContractQueryOperationsLeadTheTable)
{
    MockContract object;
    int marker = 0;
    EXPECT_CALL(object, GetContract(StrEq("a"))).WillOnce(Return(&marker));
    EXPECT_CALL(object, DoGetContract(StrEq("b"))).WillOnce(Return(nullptr));
    EXPECT_EQ(CallSlot<void*>(static_cast<IContract*>(&object), 0, "a"), &marker);
    EXPECT_EQ(CallSlot<void*>(static_cast<IContract*>(&object), 1, "b"), nullptr);
}

class MockHostServices : public IHostServices {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(void*, GetService, (const char*), (override));
};

TEST(InterfaceSlots, HostServicesLookupIsTheFirstOwnOperation)
{
    MockHostServices host;
    int service = 0;
    EXPECT_CALL(host, GetService(StrEq("N4ORQ87ILoggerE"))).WillOnce(Return(&service));
    EXPECT_EQ(CallSlot<void*>(static_cast<IHostServices*>(&host), kFirstOwnSlot, "N4ORQ87ILoggerE"), &service);
}

class MockLogger : public ILogger {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(std::uint32_t, GetLogLevel, (), (override));
    MOCK_METHOD(std::int32_t, Log, (std::uint32_t, const char*), (override));
    MOCK_METHOD(std::int32_t, Log, (std::uint32_t, const char*, int, const char*, const char*), (override));
};

TEST(InterfaceSlots, LoggerLevelThenShortThenLocatedLog)
{
    MockLogger logger;
    ILogger* face = &logger;
    EXPECT_CALL(logger, GetLogLevel()).WillOnce(Return(2u));
    EXPECT_CALL(logger, Log(3u, StrEq("short"))).WillOnce(Return(11));
    EXPECT_CALL(logger, Log(1u, StrEq("file"), 148, StrEq("fn"), StrEq("located"))).WillOnce(Return(12));
    EXPECT_EQ(CallSlot<std::uint32_t>(face, 4), 2u);
    EXPECT_EQ(CallSlot<std::int32_t>(face, 5, 3u, "short"), 11);
    EXPECT_EQ(CallSlot<std::int32_t>(face, 6, 1u, "file", 148, "fn", "located"), 12);
}

class MockDetector : public Analytics::IDetector {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(void, Destroy, (), (override));
};

TEST(InterfaceSlots, DestroyFollowsTheContractOperations)
{
    MockDetector detector;
    EXPECT_CALL(detector, Destroy()).Times(1);
    CallSlot<void>(static_cast<IDestroyable*>(&detector), kFirstOwnSlot);
}

class MockMediaReceiver : public Analytics::IMediaReceiver {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(std::int32_t, Receive, (MFF::IMultimediaBuffer*), (override));
};

TEST(InterfaceSlots, ReceiveIsTheReceiversOnlyOperation)
{
    MockMediaReceiver receiver;
    EXPECT_CALL(receiver, Receive(nullptr)).WillOnce(Return(4));
    EXPECT_EQ(CallSlot<std::int32_t>(static_cast<Analytics::IMediaReceiver*>(&receiver), kFirstOwnSlot,
                                     static_cast<MFF::IMultimediaBuffer*>(nullptr)),
              4);
}

class MockSyncAdjuster : public ISyncAdjuster {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, bool), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, int), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, double), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, const char*), (override));
};

TEST(InterfaceSlots, SettingsOverloadsInBoolIntDoubleTextOrder)
{
    MockSyncAdjuster adjuster;
    ISyncAdjuster* face = &adjuster;
    EXPECT_CALL(adjuster, SetValue(Text("enableSiren"), TypedEq<bool>(true))).WillOnce(Return(0));
    EXPECT_CALL(adjuster, SetValue(Text("n"), TypedEq<int>(7))).WillOnce(Return(5));
    EXPECT_CALL(adjuster, SetValue(Text("confThresholdSiren"), TypedEq<double>(0.5))).WillOnce(Return(1));
    EXPECT_CALL(adjuster, SetValue(Text("t"), Text("text"))).WillOnce(Return(2));
    EXPECT_EQ(CallSlot<std::int32_t>(face, 4, "enableSiren", true), 0);
    EXPECT_EQ(CallSlot<std::int32_t>(face, 5, "n", 7), 5);
    EXPECT_EQ(CallSlot<std::int32_t>(face, 6, "confThresholdSiren", 0.5), 1);
    EXPECT_EQ(CallSlot<std::int32_t>(face, 7, "t", "text"), 2);
}

class MockModule : public Analytics::IModule {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(Analytics::IDetector*, CreateDetector, (const char*, Analytics::IHostEventFactory*), (override));
};

TEST(InterfaceSlots, CreateDetectorIsTheOneOperationTheModuleInterfacesAdd)
{
    MockModule module;
    MockDetector detector;
    EXPECT_CALL(module, CreateDetector(StrEq("AudioAnalytics_Zelvani"), nullptr)).WillOnce(Return(&detector));
    // The host holds the module as its plug-in module face.
    EXPECT_EQ(CallSlot<Analytics::IDetector*>(static_cast<PLUGIN::IPluginModule*>(&module), kFirstOwnSlot,
                                              "AudioAnalytics_Zelvani",
                                              static_cast<Analytics::IHostEventFactory*>(nullptr)),
              &detector);
}

class MockAudioBuffer : public MFF::IAudioBufferPcm {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(std::uint64_t, GetTimestamp, (), (override));
    MOCK_METHOD(const char*, GetBufferName, (), (override));
    MOCK_METHOD(std::uint32_t, GetFlags, (), (override));
    MOCK_METHOD(void, Destroy, (), (override));
    MOCK_METHOD(const std::uint8_t*, GetData, (), (override));
    MOCK_METHOD(std::uint32_t, GetDataSize, (), (override));
    MOCK_METHOD(std::uint32_t, GetNumChannels, (), (override));
    MOCK_METHOD(std::uint32_t, GetSampleRate, (), (override));
    MOCK_METHOD(std::uint32_t, GetBitsPerSample, (), (override));
};

TEST(InterfaceSlots, AudioBufferStampNameTwoUnusedThenPcmFacts)
{
    MockAudioBuffer sample;
    const std::uint8_t bytes[2] = {1, 2};
    MFF::IAudioBufferPcm* pcm = &sample;
    MFF::IMultimediaBuffer* buffer = &sample;
    EXPECT_CALL(sample, GetTimestamp()).WillOnce(Return(1700000000000u));
    EXPECT_CALL(sample, GetBufferName()).WillOnce(Return("mic"));
    EXPECT_CALL(sample, Destroy()).Times(1);
    EXPECT_CALL(sample, GetData()).WillOnce(Return(bytes));
    EXPECT_CALL(sample, GetDataSize()).WillOnce(Return(640u));
    EXPECT_CALL(sample, GetNumChannels()).WillOnce(Return(1u));
    EXPECT_CALL(sample, GetSampleRate()).WillOnce(Return(16000u));
    EXPECT_CALL(sample, GetBitsPerSample()).WillOnce(Return(16u));
    EXPECT_EQ(CallSlot<std::uint64_t>(pcm, 4), 1700000000000u);
    EXPECT_STREQ(CallSlot<const char*>(pcm, 5), "mic");
    EXPECT_EQ(CallSlot<const std::uint8_t*>(pcm, 8), bytes);
    EXPECT_EQ(CallSlot<std::uint32_t>(pcm, 9), 640u);
    EXPECT_EQ(CallSlot<std::uint32_t>(pcm, 10), 1u);
    EXPECT_EQ(CallSlot<std::uint32_t>(pcm, 11), 16000u);
    EXPECT_EQ(CallSlot<std::uint32_t>(pcm, 12), 16u);
    // Destroy is the fourth buffer operation, reached on the sample as handed over.
    CallSlot<void>(buffer, 7);
}

class MockHostEvent : public Analytics::IHostEvent {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(const char*, GetName, (), (override));
    MOCK_METHOD(std::int32_t, Commit, (), (override));
    MOCK_METHOD(std::int32_t, Cancel, (), (override));
    MOCK_METHOD(Analytics::IEventArgsAdjuster*, GetArgsAdjuster, (), (override));
};

class MockArgs : public Analytics::IEventArgsAdjuster {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(std::int64_t, SetValue, (const char*, bool), (override));
    MOCK_METHOD(std::int64_t, SetValue, (const char*, std::int32_t), (override));
    MOCK_METHOD(std::int64_t, SetValue, (const char*, double), (override));
    MOCK_METHOD(std::int64_t, SetValue, (const char*, const char*), (override));
    MOCK_METHOD(std::int64_t, SetRectangleArray, (const char*, Analytics::RectangleArray*), (override));
    MOCK_METHOD(std::int64_t, SetMask, (const char*, Analytics::Mask*), (override));
    MOCK_METHOD(std::int64_t, SetPolylineArray, (const char*, Analytics::PolylineArray*), (override));
    MOCK_METHOD(std::int64_t, SetMultimediaBuffer, (const char*, MFF::IMultimediaBuffer*), (override));
    MOCK_METHOD(std::int64_t, SetNumber, (std::uint64_t), (override));
};

TEST(InterfaceSlots, HostEventSkipsOneThenCommitCancelArguments)
{
    MockHostEvent event;
    MockArgs args;
    Analytics::IHostEvent* face = &event;
    EXPECT_CALL(event, Commit()).WillOnce(Return(21));
    EXPECT_CALL(event, Cancel()).WillOnce(Return(22));
    EXPECT_CALL(event, GetArgsAdjuster()).WillOnce(Return(&args));
    EXPECT_EQ(CallSlot<std::int32_t>(face, 5), 21);
    EXPECT_EQ(CallSlot<std::int32_t>(face, 6), 22);
    EXPECT_EQ(CallSlot<Analytics::IEventArgsAdjuster*>(face, 7), &args);
}

TEST(InterfaceSlots, EventArgumentStoreHasItsNineOperationsInOrder)
{
    MockArgs args;
    Analytics::IEventArgsAdjuster* face = &args;
    auto* rectangles = reinterpret_cast<Analytics::RectangleArray*>(&args);
    auto* mask = reinterpret_cast<Analytics::Mask*>(&args);
    auto* polylines = reinterpret_cast<Analytics::PolylineArray*>(&args);
    MFF::IMultimediaBuffer* buffer = nullptr;
    EXPECT_CALL(args, SetValue(Text("k1"), TypedEq<bool>(true))).WillOnce(Return(1));
    EXPECT_CALL(args, SetValue(Text("k2"), TypedEq<std::int32_t>(-5))).WillOnce(Return(2));
    EXPECT_CALL(args, SetValue(Text("k3"), TypedEq<double>(2.5))).WillOnce(Return(3));
    EXPECT_CALL(args, SetValue(Text("k4"), Text("v"))).WillOnce(Return(4));
    EXPECT_CALL(args, SetRectangleArray(StrEq("k5"), rectangles)).WillOnce(Return(5));
    EXPECT_CALL(args, SetMask(StrEq("k6"), mask)).WillOnce(Return(6));
    EXPECT_CALL(args, SetPolylineArray(StrEq("k7"), polylines)).WillOnce(Return(7));
    EXPECT_CALL(args, SetMultimediaBuffer(StrEq("k8"), buffer)).WillOnce(Return(8));
    EXPECT_CALL(args, SetNumber(0x1122334455667788u)).WillOnce(Return(9));
    EXPECT_EQ(CallSlot<std::int64_t>(face, 4, "k1", true), 1);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 5, "k2", std::int32_t{-5}), 2);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 6, "k3", 2.5), 3);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 7, "k4", "v"), 4);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 8, "k5", rectangles), 5);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 9, "k6", mask), 6);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 10, "k7", polylines), 7);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 11, "k8", buffer), 8);
    EXPECT_EQ(CallSlot<std::int64_t>(face, 12, std::uint64_t{0x1122334455667788u}), 9);
}

class MockEventFactory : public Analytics::IHostEventFactory {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(Analytics::IHostEvent*, CreateEvent,
                (Analytics::IDetector*, const char*, std::uint64_t, std::int32_t), (override));
    MOCK_METHOD(Analytics::IHostEvent*, CreateTargetListEvent, (Analytics::IDetector*, const char*, std::uint64_t),
                (override));
};

TEST(InterfaceSlots, EventFactoryCreatesEventsThenTargetListEvents)
{
    MockEventFactory factory;
    MockHostEvent first;
    MockHostEvent second;
    Analytics::IHostEventFactory* face = &factory;
    Analytics::IDetector* sender = nullptr;
    EXPECT_CALL(factory, CreateEvent(sender, StrEq("GunShot"), 42u, 3)).WillOnce(Return(&first));
    EXPECT_CALL(factory, CreateTargetListEvent(sender, StrEq("Targets"), 7u)).WillOnce(Return(&second));
    EXPECT_EQ(CallSlot<Analytics::IHostEvent*>(face, 4, sender, "GunShot", std::uint64_t{42}, std::int32_t{3}),
              &first);
    EXPECT_EQ(CallSlot<Analytics::IHostEvent*>(face, 5, sender, "Targets", std::uint64_t{7}), &second);
}

class MockTargetList : public Analytics::ITargetList {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(std::uint64_t, GetTimestamp, (), (override));
    MOCK_METHOD(const char*, GetBufferName, (), (override));
    MOCK_METHOD(std::uint32_t, GetFlags, (), (override));
    MOCK_METHOD(void, Destroy, (), (override));
    MOCK_METHOD(bool, MoveNext, (), (override));
    MOCK_METHOD(IContract*, Current, (), (override));
    MOCK_METHOD(void, Reset, (), (override));
};

TEST(InterfaceSlots, TargetListValueFirstDestroyFourthThenIteration)
{
    MockTargetList list;
    MockContract target;
    Analytics::ITargetList* face = &list;
    EXPECT_CALL(list, GetTimestamp()).Times(2).WillRepeatedly(Return(99u));
    EXPECT_CALL(list, Destroy()).Times(1);
    EXPECT_CALL(list, MoveNext()).WillOnce(Return(true));
    EXPECT_CALL(list, Current()).WillOnce(Return(&target));
    EXPECT_CALL(list, Reset()).Times(1);
    EXPECT_EQ(CallSlot<std::uint64_t>(face, kFirstOwnSlot), 99u);
    EXPECT_EQ(face->GetListValue(), 99u);
    EXPECT_TRUE(CallSlot<bool>(face, kFirstOwnSlot + 4));
    EXPECT_EQ(CallSlot<IContract*>(face, kFirstOwnSlot + 5), &target);
    CallSlot<void>(face, kFirstOwnSlot + 6);
    CallSlot<void>(face, kFirstOwnSlot + 3);
}

class MockTargetAdjuster : public Analytics::ITargetAdjuster {
public:
    MOCK_METHOD(void*, GetContract, (const char*), (override));
    MOCK_METHOD(void*, DoGetContract, (const char*), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, bool), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, std::int32_t), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, double), (override));
    MOCK_METHOD(std::int32_t, SetValue, (const char*, const char*), (override));
    MOCK_METHOD(std::int32_t, GetClassId, (), (override));
    MOCK_METHOD(double, GetConfidence, (), (override));
    MOCK_METHOD(std::uint64_t, GetTimestamp, (), (override));
    MOCK_METHOD(std::uint32_t, GetTrackAge, (), (override));
    MOCK_METHOD(std::int32_t, GetId, (), (override));
};

TEST(InterfaceSlots, TargetIdIsTheFifthOwnOperationAndIntSetterTheSecondOfTheSecondBase)
{
    MockTargetAdjuster target;
    Analytics::ITargetAdjuster* face = &target;
    Analytics::IValueAdjuster* values = face;
    EXPECT_CALL(target, GetId()).WillOnce(Return(1234));
    EXPECT_CALL(target, SetValue(Text("Id"), TypedEq<std::int32_t>(77))).WillOnce(Return(0));
    EXPECT_EQ(CallSlot<std::int32_t>(face, kFirstOwnSlot + 4), 1234);
    EXPECT_EQ(CallSlot<std::int32_t>(values, kFirstOwnSlot + 1, "Id", std::int32_t{77}), 0);
    // The value face is the object's second base, not at the object's address.
    EXPECT_NE(static_cast<void*>(values), static_cast<void*>(face));
}

}  // namespace
