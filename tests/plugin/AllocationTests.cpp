// Heap use of Receive once the engine exists. This executable replaces the
// global operator new and delete with counting versions (CountingAllocator),
// so every allocation of the detector's code (linked in here) is seen.
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "AudioAnalytics.h"
#include "AudioSampleFake.h"
#include "CountingAllocator.h"
#include "HostEventFakes.h"
#include "RecordingLogger.h"
#include "StandinSdk.h"

namespace {

using TestSupport::AllocationCounter;
using TestSupport::AudioSampleFake;
using TestSupport::CountingBytes;
using ZVAudioAnalytics::AudioDetector;

constexpr std::uint64_t kNow = 1700000000000ULL;

struct DetectorDestroyer {
    void operator()(AudioDetector* detector) const { detector->Destroy(); }
};

class ReceiveAllocations : public ::testing::Test {
protected:
    void SetUp() override
    {
        StandinSdk::Reset();
        StandinSdk::SetRecordCalls(false);  // the stand-in answers at once and keeps nothing
        detector.reset(new AudioDetector(&logger, &hostFactory, "/opt/host/plugins"));
        for (const char* key : {"enableGlassBreak", "enableSmokeAlarm", "enableGunShot", "enableAggression",
                                "enableBabyCry", "enableSiren", "enableDogBark"})
            ASSERT_EQ(detector->SetValue(key, true), 0);
        // The first sample makes the engine.
        AudioSampleFake first(kNow, CountingBytes(1280));
        ASSERT_EQ(Receive(first), 0);
        ASSERT_EQ(StandinSdk::LiveEngines(), 1);
    }
    void TearDown() override
    {
        detector.reset();
        StandinSdk::Reset();
    }

    std::int32_t Receive(AudioSampleFake& sample)
    {
        return static_cast<ORQ8::Analytics::IMediaReceiver&>(*detector).Receive(&sample);
    }

    // Samples of `size` bytes, made before anything is counted.
    std::vector<std::unique_ptr<AudioSampleFake>> Samples(std::size_t count, std::uint32_t size)
    {
        std::vector<std::unique_ptr<AudioSampleFake>> out;
        for (std::size_t i = 0; i < count; ++i)
            out.push_back(std::make_unique<AudioSampleFake>(nextTimestamp += 40, CountingBytes(size)));
        return out;
    }

    TestSupport::RecordingLogger logger{0};
    TestSupport::FakeHostEventFactory hostFactory;
    std::unique_ptr<AudioDetector, DetectorDestroyer> detector;
    std::uint64_t nextTimestamp = kNow;
};

TEST_F(ReceiveAllocations, ASampleWithoutDetectionAllocatesNothing)
{
    // Whole frames in place, frames spanning samples, partial frames waiting
    // in the carry buffer, and an empty sample; at trace level, so even the
    // admitted-line checks run.
    for (std::uint32_t size : {640u, 1280u, 3200u, 16000u, 1000u, 0u}) {
        auto samples = Samples(4, size);
        std::vector<std::int32_t> statuses(samples.size(), -1);
        long counted = 0;
        {
            AllocationCounter counter;
            for (std::size_t i = 0; i < samples.size(); ++i)
                statuses[i] = Receive(*samples[i]);
            counted = counter.Count();
        }
        EXPECT_EQ(counted, 0) << "samples of " << size << " bytes";
        for (std::size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(statuses[i], 0);
            EXPECT_EQ(samples[i]->destroyCount, 1);
        }
    }
    EXPECT_EQ(hostFactory.EventCount(), 0u);
}

// The counter sees the detector's own allocations: a detection, which
// collects the class name and raises an event, is counted.
TEST_F(ReceiveAllocations, TheCounterSeesTheDetectorsAllocations)
{
    auto samples = Samples(1, 1280);
    StandinSdk::SetProcessAnswer({0, 1, 2, 3});
    long counted = 0;
    {
        AllocationCounter counter;
        EXPECT_EQ(Receive(*samples[0]), 0);
        counted = counter.Count();
    }
    EXPECT_GT(counted, 0);
    EXPECT_EQ(hostFactory.EventCount(), 1u);
}

}  // namespace
