// The audio detector's stream intake, engine creation and hold-off, framing
// and event reporting, driven through its faces as the host drives it.
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DetectorHarness.h"

namespace DetectorTesting {
namespace {

using StandinSdk::CallKind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string TryInitLine(std::uint32_t rate, std::uint32_t channels, std::uint32_t bits, std::uint32_t inputSize,
                        const std::string& bufferName, std::uint32_t frameSize)
{
    return "Try init engine: sampleRate: " + std::to_string(rate) + ", numChannels: " + std::to_string(channels) +
           ", bitsPerSample: " + std::to_string(bits) + ", inputBufferSize: " + std::to_string(inputSize) +
           ", bufferName '" + bufferName + "', outputBufferSize: " + std::to_string(frameSize);
}

std::size_t Inits() { return StandinSdk::CountOf(CallKind::Init); }
std::size_t Frames() { return StandinSdk::CountOf(CallKind::Process); }

// Waits for `call` on another thread: a detector that left its mutex locked
// would never let it finish.
template <class Call>
auto OnOtherThread(Call call)
{
    auto result = std::async(std::launch::async, call);
    EXPECT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "mutex left locked";
    return result.get();
}

// ------------------------------------------------- faces and lifetime ---

TEST_F(DetectorTest, AnswersEachFaceByItsKeyAndNothingElse)
{
    ORQ8::Analytics::IDetector* main = AsDetector(detector.get());
    for (const char* key : {"N4ORQ89IContractE", "N4ORQ812IDestroyableE", "N4ORQ89Analytics9IDetectorE"}) {
        EXPECT_EQ(main->GetContract(key), static_cast<void*>(main)) << key;
        EXPECT_EQ(main->DoGetContract(key), static_cast<void*>(main)) << key;
    }
    ORQ8::ISyncAdjuster* settings = detector.get();
    ORQ8::Analytics::IMediaReceiver* receiver = detector.get();
    EXPECT_EQ(main->GetContract("N4ORQ89Analytics14IMediaReceiverE"), static_cast<void*>(receiver));
    EXPECT_EQ(main->GetContract("N4ORQ813ISyncAdjusterE"), static_cast<void*>(settings));
    // Every face leads back to the same object.
    EXPECT_EQ(settings->GetContract("N4ORQ89Analytics9IDetectorE"), static_cast<void*>(main));
    EXPECT_EQ(receiver->GetContract("N4ORQ813ISyncAdjusterE"), static_cast<void*>(settings));

    for (const char* key : {static_cast<const char*>(nullptr), "", "N4ORQ83MFF15IAudioBufferPcmE",
                            "N4ORQ89Analytics7IModuleE", "n4orq89icontracte"})
        EXPECT_EQ(main->GetContract(key), nullptr) << (key ? key : "null");

    // Construction logs nothing and makes no engine.
    EXPECT_THAT(logger.Records(), IsEmpty());
    EXPECT_THAT(StandinSdk::Calls(), IsEmpty());
}

TEST_F(DetectorTest, FirstSampleCreatesTheEngineAndIsAnalysedAndTheStreamKeepsIt)
{
    ASSERT_EQ(Feed(kNow, 2560), 0);

    const auto tryInit = LinesAt(kDetectorFile, 168);
    ASSERT_EQ(tryInit.size(), 1u);
    EXPECT_EQ(tryInit[0].level, 1u);
    EXPECT_EQ(tryInit[0].function, "Receive");
    EXPECT_EQ(tryInit[0].message, TryInitLine(16000, 1, 16, 2560, "audio-0", 1280));

    const auto inits = StandinSdk::CallsOf(CallKind::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].sampleRate, 16000u);
    EXPECT_EQ(inits[0].numChannels, 1u);
    EXPECT_EQ(inits[0].frameLengthMs, 40);
    EXPECT_EQ(inits[0].sdkDataPath, std::string(kPluginFolder) + "/ZVAudioSdk/share");
    const auto params = StandinSdk::CallsOf(CallKind::SetParams);
    ASSERT_EQ(params.size(), 1u);
    for (float threshold : params[0].thresholds.thresholds)
        EXPECT_EQ(FloatBits(threshold), 0x3F7D70A4u);
    EXPECT_THAT(FramesSeen(), ElementsAre(Stream(0, 1280), Stream(1280, 1280)));

    for (int i = 1; i < 20; ++i)
        ASSERT_EQ(Feed(kNow + 80u * i, 2560), 0);
    EXPECT_EQ(Inits(), 1u);
    EXPECT_EQ(Frames(), 40u);
    EXPECT_EQ(LinesAt(kDetectorFile, 168).size(), 1u);

    detector.reset();
    EXPECT_EQ(StandinSdk::LiveEngines(), 0);
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Release), 1u);
}

struct RateCase {
    std::uint32_t rate;
    std::uint32_t frameSize;
};

class DetectorFrameSizeTest : public DetectorTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(DetectorFrameSizeTest, FrameIsFortyMillisecondsOfBytes)
{
    const RateCase c = GetParam();
    ASSERT_EQ(Feed(kNow, c.frameSize * 2 + 1, {c.rate, 1, 16}), 0);
    const auto tryInit = LinesAt(kDetectorFile, 168);
    ASSERT_EQ(tryInit.size(), 1u);
    EXPECT_EQ(tryInit[0].message, TryInitLine(c.rate, 1, 16, c.frameSize * 2 + 1, "audio-0", c.frameSize));
    EXPECT_THAT(FramesSeen(), ElementsAre(Stream(0, c.frameSize), Stream(c.frameSize, c.frameSize)));
    EXPECT_EQ(StandinSdk::CallsOf(CallKind::Init)[0].sampleRate, c.rate);
}

INSTANTIATE_TEST_SUITE_P(SupportedRates, DetectorFrameSizeTest,
                         ::testing::Values(RateCase{8000, 640}, RateCase{16000, 1280}, RateCase{32000, 2560},
                                           RateCase{48000, 3840}),
                         [](const ::testing::TestParamInfo<RateCase>& info) {
                             return std::to_string(info.param.rate) + "Hz";
                         });

TEST_F(DetectorTest, BufferWithoutNameIsLoggedWithAnEmptyName)
{
    AudioSampleFake& sample = MakeSample(kNow, 100);
    sample.nullName = true;
    ASSERT_EQ(Feed(sample), 0);
    const auto tryInit = LinesAt(kDetectorFile, 168);
    ASSERT_EQ(tryInit.size(), 1u);
    EXPECT_EQ(tryInit[0].message, TryInitLine(16000, 1, 16, 100, "", 1280));
}

// ------------------------------------------------ hold-off and creation ---

TEST_F(DetectorTest, HoldOffStartsAtTimeZero)
{
    EXPECT_EQ(Feed(29999, 1280), 0);
    EXPECT_EQ(Inits(), 0u);
    EXPECT_THAT(LinesAt(kDetectorFile, 168), IsEmpty());
    EXPECT_EQ(Feed(30000, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
    EXPECT_EQ(Frames(), 1u);
}

TEST_F(DetectorTest, FailedCreationIsRetriedNoSoonerThanThirtySecondsLater)
{
    StandinSdk::SetInitMakesEngine(false);
    EXPECT_EQ(Feed(kNow, 1280), 4);
    const auto failed = LinesAt(kDetectorFile, 211);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].level, 3u);
    EXPECT_EQ(failed[0].function, "InitEngine");
    EXPECT_EQ(failed[0].message, "zvAudio: engine has not been created");

    StandinSdk::SetInitMakesEngine(true);
    EXPECT_EQ(Feed(kNow + 1, 1280), 0);
    EXPECT_EQ(Feed(kNow + kHoldOff - 1, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
    EXPECT_EQ(Frames(), 0u);

    // Exactly 30000 ms after the attempt already passes, and the dropped
    // samples left nothing behind.
    EXPECT_EQ(Feed(kNow + kHoldOff, 1280), 0);
    EXPECT_EQ(Inits(), 2u);
    EXPECT_THAT(FramesSeen(), ElementsAre(Stream(3 * 1280, 1280)));
}

TEST_F(DetectorTest, RateChangeRecreatesTheEngineAfterTheHoldOffOldOneFirst)
{
    ASSERT_EQ(Feed(kNow, 1280), 0);
    EXPECT_EQ(Feed(kNow + 20000, 640, {8000, 1, 16}), 0);
    EXPECT_EQ(Frames(), 1u);

    const std::size_t lastStart = streamPosition;
    EXPECT_EQ(Feed(kNow + kHoldOff, 640, {8000, 1, 16}), 0);
    std::vector<StandinSdk::Call> calls;
    for (const StandinSdk::Call& call : StandinSdk::Calls())
        if (call.kind != CallKind::GetVersionInfo)
            calls.push_back(call);
    // Init, SetParams, Process at 16 kHz; the old engine is released before
    // the 8 kHz one is made: one SDK engine at a time.
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[3].kind, CallKind::Release);
    EXPECT_EQ(calls[3].handle, calls[0].handle);
    EXPECT_EQ(calls[4].kind, CallKind::Init);
    EXPECT_EQ(calls[4].sampleRate, 8000u);
    EXPECT_EQ(calls[6].frame, Stream(lastStart, 640));
}

TEST_F(DetectorTest, ChangeOfBitsPerSampleAloneRecreatesTheEngine)
{
    ASSERT_EQ(Feed(kNow, 1280), 0);
    EXPECT_EQ(Feed(kNow + kHoldOff, 1920, {16000, 1, 24}), 0);
    EXPECT_EQ(Inits(), 2u);
    const auto tryInit = LinesAt(kDetectorFile, 168);
    ASSERT_EQ(tryInit.size(), 2u);
    EXPECT_EQ(tryInit[1].message, TryInitLine(16000, 1, 24, 1920, "audio-1", 1920));
    const auto frames = StandinSdk::CallsOf(CallKind::Process);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].frameSize, 1920u);
    EXPECT_EQ(frames[1].frameIndex, 0u) << "a new engine counts frames from 0";
}

// ------------------------------------------------------ format checks ---

TEST_F(DetectorTest, StereoIsRefusedEveryTimeWithoutStartingTheHoldOff)
{
    EXPECT_EQ(Feed(kNow, 2560, kStereo16k), 4);
    EXPECT_EQ(Feed(kNow + 40, 2560, kStereo16k), 4);
    const auto refused = LinesAt(kDetectorFile, 69);
    ASSERT_EQ(refused.size(), 2u);
    for (const LogRecord& r : refused) {
        EXPECT_EQ(r.level, 3u);
        EXPECT_EQ(r.function, "CheckCorrectAudioStreamParams");
        EXPECT_EQ(r.message, "Unsupported number of channels: 2");
    }
    EXPECT_EQ(Inits(), 0u);
    // A mono stream right after gets its engine at once.
    EXPECT_EQ(Feed(kNow + 80, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
}

TEST_F(DetectorTest, ChannelCountIsCheckedBeforeSampleRate)
{
    EXPECT_EQ(Feed(kNow, 100, {44100, 2, 16}), 4);
    EXPECT_EQ(LinesAt(kDetectorFile, 69).size(), 1u);
    EXPECT_THAT(LinesAt(kDetectorFile, 81), IsEmpty());

    EXPECT_EQ(Feed(kNow + 40, 100, {44100, 1, 16}), 4);
    const auto rate = LinesAt(kDetectorFile, 81);
    ASSERT_EQ(rate.size(), 1u);
    EXPECT_EQ(rate[0].level, 3u);
    EXPECT_EQ(rate[0].function, "CheckCorrectAudioStreamParams");
    EXPECT_EQ(rate[0].message, "Unsupported sample rate: 44100");
    EXPECT_EQ(Inits(), 0u);
}

TEST_F(DetectorTest, BitsPerSampleOutsideEightToThirtyTwoAreRefusedAfterTheOtherChecks)
{
    EXPECT_EQ(Feed(kNow, 100, {16000, 2, 4}), 4);  // only the channel count is reported
    EXPECT_THAT(LinesAt(kDetectorFile, 93), IsEmpty());
    // Under 8 bits the frame is 0 bytes; above 32 the format is corrupt.
    EXPECT_EQ(Feed(kNow + 1, 100, {16000, 1, 4}), 4);
    EXPECT_EQ(Feed(kNow + 2, 100, {16000, 1, 4}), 4);
    EXPECT_EQ(Feed(kNow + 3, 100, {8000, 1, 0xFFFFFFFFu}), 4);
    EXPECT_EQ(Feed(kNow + 4, 100, {8000, 1, 40}), 4);
    const auto refused = LinesAt(kDetectorFile, 93);
    ASSERT_EQ(refused.size(), 4u);
    EXPECT_EQ(refused[0].level, 3u);
    EXPECT_EQ(refused[0].function, "CheckCorrectAudioStreamParams");
    EXPECT_EQ(refused[1].message, "Unsupported bits per sample: 4");
    EXPECT_EQ(refused[2].message, "Unsupported bits per sample: 4294967295");
    EXPECT_EQ(refused[3].message, "Unsupported bits per sample: 40");
    EXPECT_EQ(Inits(), 0u);

    // No hold-off was started; 32 bits at 48 kHz, the largest frame, are
    // taken.
    EXPECT_EQ(Feed(kNow + 5, 10, {48000, 1, 32}), 0);
    EXPECT_EQ(Inits(), 1u);
    EXPECT_EQ(LinesAt(kDetectorFile, 168).at(0).message, TryInitLine(48000, 1, 32, 10, "audio-5", 7680));
}

TEST_F(DetectorTest, FormatFlipWithinTheHoldOffDropsSamplesUntilItEnds)
{
    ASSERT_EQ(Feed(kNow, 1280), 0);
    EXPECT_EQ(Feed(kNow + 1000, 2560, kStereo16k), 0);
    EXPECT_EQ(Feed(kNow + 1040, 1280), 0);  // mono again: another format change
    EXPECT_EQ(Feed(kNow + kHoldOff - 1, 2560, kStereo16k), 0);
    EXPECT_THAT(LinesAt(kDetectorFile, 69), IsEmpty());
    EXPECT_EQ(Frames(), 1u);
    EXPECT_EQ(Inits(), 1u);

    EXPECT_EQ(Feed(kNow + kHoldOff, 2560, kStereo16k), 4);
    EXPECT_EQ(LinesAt(kDetectorFile, 69).size(), 1u);
}

TEST_F(DetectorTest, OneStereoSampleAfterTheHoldOffMakesTheNextMonoSampleRecreateTheEngine)
{
    ASSERT_EQ(Feed(kNow, 640), 0);  // 640 bytes wait for the next sample
    EXPECT_EQ(Feed(kNow + kHoldOff, 2560, kStereo16k), 4);
    const std::size_t monoStart = streamPosition;
    EXPECT_EQ(Feed(kNow + kHoldOff + 40, 1280), 0);
    EXPECT_EQ(Inits(), 2u);
    // The carried bytes went with the old engine.
    EXPECT_THAT(FramesSeen(), ElementsAre(Stream(monoStart, 1280)));
}

// ------------------------------------------------------------ framing ---

TEST_F(DetectorTest, HalfFrameSamplesAreJoinedAndTheEventCarriesTheSecondTimeStamp)
{
    Settings().SetValue("enableGunShot", true);
    StandinSdk::SetProcessAnswer(Detects(3));
    EXPECT_EQ(Feed(kNow, 640), 0);
    EXPECT_EQ(Feed(kNow + 20, 0), 0);
    EXPECT_EQ(Frames(), 0u);
    EXPECT_THAT(Raised(), IsEmpty());

    EXPECT_EQ(Feed(kNow + 40, 640), 0);
    EXPECT_THAT(FramesSeen(), ElementsAre(Stream(0, 1280)));
    const auto events = Raised();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].timestamp, kNow + 40);
}

TEST_F(DetectorTest, FramesLieBackToBackAcrossSamples)
{
    EXPECT_EQ(Feed(kNow, 3200), 0);
    EXPECT_THAT(FramesSeen(), ElementsAre(Stream(0, 1280), Stream(1280, 1280)));
    EXPECT_EQ(Feed(kNow + 100, 3200), 0);
    EXPECT_EQ(Feed(kNow + 200, 1), 0);
    EXPECT_EQ(Feed(kNow + 300, 2559), 0);
    // 3200 + 3200 + 1 + 2559 = 8960 bytes: exactly seven frames.
    const auto frames = FramesSeen();
    ASSERT_EQ(frames.size(), 7u);
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i], Stream(i * 1280, 1280)) << "frame " << i;
}

// ------------------------------------------------------------- events ---

TEST_F(DetectorTest, EachDetectedClassIsRaisedOncePerSampleInNameOrder)
{
    Settings().SetValue("enableGunShot", true);
    Settings().SetValue("enableSiren", true);
    // Frames: Siren, GunShot, nothing, GunShot.
    StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
        const std::int32_t codes[] = {6, 3, 0, 3};
        return codes[index % 4] != 0 ? Detects(codes[index % 4]) : Nothing();
    });
    ASSERT_EQ(Feed(kNow, 4 * 1280), 0);

    const auto events = Raised();
    EXPECT_THAT(Names(events), ElementsAre("GunShot", "Siren"));
    for (const RaisedEvent& e : events) {
        EXPECT_EQ(e.timestamp, kNow);
        EXPECT_EQ(e.kind, 3);
        EXPECT_EQ(e.detectorsGroup, "AudioDetector");
        EXPECT_EQ(e.arguments, 1u) << "the group is the only argument";
        EXPECT_TRUE(e.committed);
        EXPECT_EQ(e.sender, static_cast<const void*>(AsDetector(detector.get())));
    }
    const auto lines = LinesAt(kDetectorFile, 292);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, 0u);
    EXPECT_EQ(lines[0].function, "ReportEvents");
    EXPECT_EQ(lines[0].message, "Detector raised momentary event, type: 'GunShot'");
    EXPECT_EQ(lines[1].message, "Detector raised momentary event, type: 'Siren'");

    // Each later sample that detects raises again, with its own time stamp.
    ASSERT_EQ(Feed(kNow + 160, 4 * 1280), 0);
    ASSERT_EQ(Raised().size(), 4u);
    EXPECT_EQ(Raised()[2].timestamp, kNow + 160);
}

TEST_F(DetectorTest, OnlyEnabledClassesAreRaised)
{
    // Frames: GunShot, Siren, and class 9, which the engine names "None".
    StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
        const std::int32_t codes[] = {3, 6, 9};
        return Detects(codes[index % 3]);
    });
    ASSERT_EQ(Feed(kNow, 3 * 1280), 0);
    EXPECT_THAT(Raised(), IsEmpty()) << "a new detector raises nothing";
    EXPECT_THAT(LinesAt(kDetectorFile, 292), IsEmpty());

    Settings().SetValue("enableSiren", true);
    ASSERT_EQ(Feed(kNow + 120, 3 * 1280), 0);
    EXPECT_THAT(Names(Raised()), ElementsAre("Siren"));
    EXPECT_EQ(LinesAt(kDetectorFile, 292).size(), 1u);
}

TEST_F(DetectorTest, EventsAreRaisedWithoutTheTraceLineAtLevelOne)
{
    logger.SetLevel(1);
    Settings().SetValue("enableGunShot", true);
    StandinSdk::SetProcessAnswer(Detects(3));
    ASSERT_EQ(Feed(kNow, 1280), 0);
    EXPECT_EQ(Raised().size(), 1u);
    EXPECT_THAT(LinesAt(kDetectorFile, 292), IsEmpty());
}

TEST_F(DetectorTest, EventTheHostRefusesDoesNotStopTheOthers)
{
    Settings().SetValue("enableGunShot", true);
    Settings().SetValue("enableSiren", true);
    StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
        return Detects(index == 0 ? 3 : 6);
    });
    hostFactory.ReturnNullForNext(1);
    ASSERT_EQ(Feed(kNow, 2 * 1280), 0);
    const auto requests = hostFactory.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].name, "GunShot");
    EXPECT_TRUE(requests[0].answeredNull);
    EXPECT_THAT(Names(Raised()), ElementsAre("Siren"));
    // The line follows every commit attempt, whatever its result.
    EXPECT_EQ(LinesAt(kDetectorFile, 292).size(), 2u);
}

TEST_F(DetectorTest, FailingFrameDropsTheSampleDetectionsAndTheEngine)
{
    Settings().SetValue("enableDogBark", true);
    // The first engine hears a dog in its first frame and fails its second.
    StandinSdk::SetProcessScript([](int engine, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
        return engine == 0 && index == 1 ? StandinSdk::ProcessAnswer{-1, 0, 0, 0} : Detects(7);
    });
    EXPECT_EQ(Feed(kNow, 3 * 1280), 4);
    EXPECT_THAT(Raised(), IsEmpty());
    EXPECT_EQ(Frames(), 2u) << "the frames after the failure are not processed";
    EXPECT_EQ(StandinSdk::LiveEngines(), 0);
    const auto failed = LinesAt(kDetectorFile, 267);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].level, 3u);
    EXPECT_EQ(failed[0].function, "ProcessFrame");
    EXPECT_EQ(failed[0].message, "zvAudio: Process error, status: 4294967295");

    // Without an engine the next samples wait for the hold-off.
    EXPECT_EQ(Feed(kNow + 120, 1280), 0);
    EXPECT_EQ(Inits(), 1u);
    const std::size_t start = streamPosition;
    EXPECT_EQ(Feed(kNow + kHoldOff, 1280), 0);
    EXPECT_EQ(Inits(), 2u);
    EXPECT_EQ(FramesSeen().back(), Stream(start, 1280));
    EXPECT_THAT(Names(Raised()), ElementsAre("DogBark"));
}

// ---------------------------------------------- ownership and failures ---

TEST_F(DetectorTest, NullSampleAndSampleWithoutPcmFaceAreRefused)
{
    EXPECT_EQ(Receiver().Receive(nullptr), 4);
    AudioSampleFake& sample = MakeSample(kNow, 1280);
    sample.answersPcm = false;
    EXPECT_EQ(Feed(sample), 4);  // and destroyed, which Feed checks
    EXPECT_THAT(StandinSdk::Calls(), IsEmpty());
}

TEST_F(DetectorTest, ThrowingHostFactoryLeavesTheSampleDestroyedAndTheDetectorUsable)
{
    Settings().SetValue("enableGunShot", true);
    StandinSdk::SetProcessAnswer(Detects(3));
    ThrowOnCreateEvent(true);
    AudioSampleFake& sample = MakeSample(kNow, 1280);
    EXPECT_THROW(Receiver().Receive(&sample), std::runtime_error);
    EXPECT_EQ(sample.destroyCount, 1);
    EXPECT_EQ(OnOtherThread([this] { return Settings().SetValue("enableSiren", true); }), 0);

    ThrowOnCreateEvent(false);
    EXPECT_EQ(Feed(kNow + 40, 1280), 0);
    EXPECT_THAT(Names(Raised()), ElementsAre("GunShot"));
}

// A logger whose every located line throws, as one out of memory would.
class ThrowingLogger : public TestSupport::RecordingLogger {
public:
    using RecordingLogger::RecordingLogger;
    std::int32_t Log(std::uint32_t, const char*, int, const char*, const char*) override
    {
        throw std::runtime_error("logger failed");
    }
};

TEST_F(DetectorTest, ExceptionUnderTheLockStillDestroysTheSampleAndUnlocks)
{
    ThrowingLogger throwing(1);
    std::unique_ptr<AudioDetector, DetectorDestroyer> other(new AudioDetector(&throwing, &hostFactory, kPluginFolder));
    AudioSampleFake& sample = MakeSample(kNow, 1280);
    // The "Try init engine" line throws while the mutex is held.
    EXPECT_THROW(other->Receive(&sample), std::runtime_error);
    EXPECT_EQ(sample.destroyCount, 1);
    EXPECT_EQ(OnOtherThread([&other] { return other->SetValue("nosuchkey", true); }), 5);
}

}  // namespace
}  // namespace DetectorTesting
