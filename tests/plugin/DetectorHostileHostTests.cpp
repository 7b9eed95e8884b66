// The detector under a host that misbehaves: a corrupt sample format, a
// logger that throws on a failed frame, a host that calls back into the
// detector while it takes an event, and a clock that jumps ahead, back, or
// to the end of its range.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DetectorHarness.h"

namespace DetectorTesting {
namespace {

using StandinSdk::CallKind;
using ::testing::ElementsAre;

std::size_t Inits() { return StandinSdk::CountOf(CallKind::Init); }
std::size_t Frames() { return StandinSdk::CountOf(CallKind::Process); }

TEST_F(DetectorTest, AnAbsurdBitsPerSampleIsRefusedAndMakesNoEngine)
{
    // 16000000 bits at 48 kHz: a 3.84 GB frame, which would fit 32 bits.
    EXPECT_EQ(Feed(kNow, 1280, {48000, 1, 16000000}), 4);
    const auto refused = LinesAt(kDetectorFile, 93);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].level, 3u);
    EXPECT_EQ(refused[0].message, "Unsupported bits per sample: 16000000");
    EXPECT_EQ(Inits(), 0u);
    // A refusal starts no hold-off: a sound format right after is taken.
    EXPECT_EQ(Feed(kNow + 40, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
}

// Records every line, then throws from each error line, as a logger out of
// memory would.
class ErrorLinesThrow : public TestSupport::RecordingLogger {
public:
    using RecordingLogger::RecordingLogger;
    std::int32_t Log(std::uint32_t level, const char* file, int line, const char* function,
                     const char* message) override
    {
        RecordingLogger::Log(level, file, line, function, message);
        if (level == ORQ8::LogError)
            throw std::runtime_error("logger failed");
        return 0;
    }
};

class DetectorWithThrowingErrorLines : public DetectorTest {
protected:
    void SetUp() override
    {
        DetectorTest::SetUp();
        detector.reset(new AudioDetector(&throwing, &hostFactory, kPluginFolder));
    }
    ErrorLinesThrow throwing{0};
};

TEST_F(DetectorWithThrowingErrorLines, AFailedFrameDropsItsEngineEvenWhenTheErrorLineThrows)
{
    StandinSdk::SetProcessScript([](int engine, std::uint32_t, const std::uint8_t*, std::uint32_t) {
        return engine == 0 ? StandinSdk::ProcessAnswer{-1, 0, 0, 0} : Nothing();
    });
    AudioSampleFake& failing = MakeSample(kNow, 1280);
    EXPECT_THROW(Receiver().Receive(&failing), std::runtime_error);
    EXPECT_EQ(failing.destroyCount, 1);
    EXPECT_EQ(StandinSdk::LiveEngines(), 0);
    // The error line came first, then the engine's release line.
    std::vector<int> lines;
    for (const LogRecord& r : throwing.Records())
        lines.push_back(r.line);
    EXPECT_THAT(lines, ::testing::IsSupersetOf({267, 207}));
    EXPECT_LT(std::find(lines.begin(), lines.end(), 267), std::find(lines.begin(), lines.end(), 207));

    // The failed engine is never used again: the next sample waits for the
    // hold-off, and then a new engine is made.
    EXPECT_EQ(Feed(kNow + 40, 1280), 0);
    EXPECT_EQ(Frames(), 1u);
    EXPECT_EQ(Feed(kNow + kHoldOff, 1280), 0);
    EXPECT_EQ(Inits(), 2u);
    EXPECT_EQ(Frames(), 2u);
}

TEST_F(DetectorTest, AHostThatSwitchesAClassWhileTakingAnEventNeitherDeadlocksNorSplitsTheSample)
{
    Settings().SetValue("enableGunShot", true);
    Settings().SetValue("enableSiren", true);
    // Every sample of two frames hears a gunshot, then a siren.
    StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
        return Detects(index % 2 == 0 ? 3 : 6);
    });
    // The host hands each event to a listener that switches sirens off, on
    // the thread that raised it.
    std::vector<std::int32_t> statuses;
    hostFactory.Prepare([this, &statuses](TestSupport::FakeHostEvent&) {
        statuses.push_back(Settings().SetValue("enableSiren", false));
    });
    EXPECT_EQ(Feed(kNow, 2560), 0);
    EXPECT_THAT(statuses, ElementsAre(0, 0));
    // The switch landed after the sample's events, not among them.
    EXPECT_THAT(Names(Raised()), ElementsAre("GunShot", "Siren"));

    hostFactory.Prepare(nullptr);
    EXPECT_EQ(Feed(kNow + 160, 2560), 0);
    EXPECT_THAT(Names(Raised()), ElementsAre("GunShot", "Siren", "GunShot"));
    for (const RaisedEvent& event : Raised())
        EXPECT_TRUE(event.committed) << event.name;
}

TEST_F(DetectorTest, ASampleStampedFarAheadDoesNotSilenceTheDetectorWhenTheClockStepsBack)
{
    constexpr std::uint64_t kTenYearsAhead = kNow + 10ULL * 365 * 24 * 3600 * 1000;
    EXPECT_EQ(Feed(kTenYearsAhead, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
    EXPECT_EQ(Settings().SetValue("confThresholdGunShot", 0.5), 0);  // the engine must be made again

    // Back in the present the hold-off starts again from the first sample.
    EXPECT_EQ(Feed(kNow, 1280), 0);
    EXPECT_EQ(Feed(kNow + kHoldOff - 1, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
    EXPECT_EQ(Frames(), 1u);
    EXPECT_EQ(Feed(kNow + kHoldOff, 1280), 0);
    EXPECT_EQ(Inits(), 2u);
    EXPECT_EQ(Frames(), 2u);
    EXPECT_EQ(StandinSdk::CallsOf(CallKind::SetParams).back().thresholds.thresholds[2], 0.5f);
}

TEST_F(DetectorTest, TheHoldOffNeitherWrapsNorBlocksAtTheEndOfTime)
{
    constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();
    StandinSdk::SetInitMakesEngine(false);
    EXPECT_EQ(Feed(kLast - kHoldOff, 1280), 4);
    EXPECT_EQ(Feed(kLast - 1, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
    // Exactly one hold-off later, at the last representable time.
    EXPECT_EQ(Feed(kLast, 1280), 4);
    EXPECT_EQ(Inits(), 2u);
    // The hold-off from that attempt reaches past the end of time: nothing
    // more is tried in this stream.
    EXPECT_EQ(Feed(kLast, 1280), 0);
    EXPECT_EQ(Inits(), 2u);

    // Back in the present the hold-off starts again and ends.
    StandinSdk::SetInitMakesEngine(true);
    EXPECT_EQ(Feed(kNow, 1280), 0);
    EXPECT_EQ(Feed(kNow + kHoldOff, 1280), 0);
    EXPECT_EQ(Inits(), 3u);
    EXPECT_EQ(Frames(), 1u);
}

}  // namespace
}  // namespace DetectorTesting
