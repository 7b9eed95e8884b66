// What zvAudio_Process writes: the output record's fields and diagnostics,
// the PCM width read from the byte count, the thresholds reaching the
// decision, the re-trigger interval, and the memory a frame does not take.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "../plugin/CountingAllocator.h"
#include "MemoryHook.h"
#include "SdkTestSupport.h"

namespace {

using namespace SdkTest;

constexpr uint32_t kRate = 16000;
constexpr uint32_t kSamples = kRate / 25;  // one 40 ms frame per channel

// Thresholds that detect nothing but `classCode` (threshold 0: every
// confidence reaches it) and classes listed in `also`.
ThresholdRecord OnlyClass(int classCode, std::initializer_list<int> also = {})
{
    ThresholdRecord record = AllThresholds(1.0f);
    record.thresholds[classCode - 1] = 0.0f;
    for (int other : also) {
        record.thresholds[other - 1] = 0.0f;
    }
    return record;
}

TEST(OutputRecord, AnalysedFrameWithoutDetection)
{
    Engine engine(MakeInit(kRate, 1, ZV_SDK_SHARE_DIR));
    ASSERT_EQ(engine.SetParams(AllThresholds(1.0f)), ZV_AUDIO_OK);
    const std::vector<uint8_t> silence(kSamples * 2, 0);

    ZvAudioOutputDiagnostics out;
    std::memset(&out, 0xCD, sizeof out);
    FrameRecord frame{silence.data(), static_cast<uint32_t>(silence.size()), 0};
    ASSERT_EQ(zvAudio_Process(engine.Handle(), 12345, &frame, reinterpret_cast<OutputRecord*>(&out)), ZV_AUDIO_OK);

    EXPECT_EQ(out.layout, ZV_AUDIO_DIAGNOSTICS_LAYOUT);
    EXPECT_EQ(out.resultFlag, 1);
    EXPECT_EQ(out.resultKind, 1);
    EXPECT_EQ(out.classCode, 0);
    EXPECT_EQ(out.frameIndex, 12345u);
    for (float c : out.confidence) {
        EXPECT_TRUE(c >= 0.0f && c < 1.0f) << c;
    }
    EXPECT_LE(out.levelDb, -100.0f);
    EXPECT_TRUE(std::all_of(std::begin(out.reserved), std::end(out.reserved), [](uint8_t b) { return b == 0; }));
}

TEST(OutputRecord, DetectedFrameNamesTheClass)
{
    Engine engine(MakeInit(kRate, 1, ZV_SDK_SHARE_DIR));
    ASSERT_EQ(engine.SetParams(OnlyClass(6)), ZV_AUDIO_OK);
    const std::vector<uint8_t> silence(kSamples * 2, 0);
    ZvAudioOutputDiagnostics out;
    ASSERT_EQ(engine.Process(silence.data(), static_cast<uint32_t>(silence.size()), out), ZV_AUDIO_OK);
    EXPECT_EQ(out.resultFlag, 1);
    EXPECT_EQ(out.resultKind, 2);
    EXPECT_EQ(out.classCode, 6);
}

// The same tone, written in each width, reads as the same level; stereo is
// mixed down by averaging (in phase it keeps its level, in antiphase it
// cancels).
TEST(PcmWidth, SameToneInEveryWidthGivesTheSameLevel)
{
    const std::vector<float> tone = Tone(kRate, 0.04, 1000.0, 0.5);
    const float expectedDb = static_cast<float>(20.0 * std::log10(0.5 / std::sqrt(2.0)));
    for (uint32_t channels : {1u, 2u}) {
        Engine engine(MakeInit(kRate, channels, ZV_SDK_SHARE_DIR));
        ASSERT_EQ(engine.SetParams(AllThresholds(1.0f)), ZV_AUDIO_OK);
        for (unsigned width = 1; width <= 4; ++width) {
            const std::vector<uint8_t> pcm = EncodePcm(tone, width, channels);
            ZvAudioOutputDiagnostics out;
            ASSERT_EQ(engine.Process(pcm.data(), static_cast<uint32_t>(pcm.size()), out), ZV_AUDIO_OK);
            EXPECT_NEAR(out.levelDb, expectedDb, 0.3) << width << " bytes, " << channels << " channels";
        }
    }

    Engine stereo(MakeInit(kRate, 2, ZV_SDK_SHARE_DIR));
    ASSERT_EQ(stereo.SetParams(AllThresholds(1.0f)), ZV_AUDIO_OK);
    std::vector<float> antiphase;
    for (float x : tone) {
        antiphase.push_back(x);
        antiphase.push_back(-x);
    }
    // Encoded as one channel of twice the samples, which interleaves L and -L.
    const std::vector<uint8_t> pcm = EncodePcm(antiphase, 2, 1);
    ZvAudioOutputDiagnostics out;
    ASSERT_EQ(stereo.Process(pcm.data(), static_cast<uint32_t>(pcm.size()), out), ZV_AUDIO_OK);
    EXPECT_LT(out.levelDb, -80.0f);
}

TEST(PcmWidth, EightBitIsUnsignedAndWiderIsSigned)
{
    Engine engine(MakeInit(kRate, 1, ZV_SDK_SHARE_DIR));
    ASSERT_EQ(engine.SetParams(AllThresholds(1.0f)), ZV_AUDIO_OK);
    ZvAudioOutputDiagnostics out;
    // 8-bit silence is 0x80; a 16-bit 0x8080 would be a loud negative offset.
    const std::vector<uint8_t> midScale(kSamples, 0x80);
    ASSERT_EQ(engine.Process(midScale.data(), kSamples, out), ZV_AUDIO_OK);
    EXPECT_LE(out.levelDb, -100.0f);
    const std::vector<uint8_t> loud16(kSamples * 2, 0x80);
    ASSERT_EQ(engine.Process(loud16.data(), kSamples * 2, out), ZV_AUDIO_OK);
    EXPECT_NEAR(out.levelDb, 20.0 * std::log10(32640.0 / 32768.0), 0.1);
}

// Thresholds in class-code order reach the decision: only the class held to
// 0 is detected; at 1 nothing the classifier hears on silence is.
TEST(DecisionThroughTheCalls, EachThresholdSelectsItsOwnClass)
{
    const std::vector<uint8_t> silence(kSamples * 2, 0);
    for (int classCode = 1; classCode <= ZV_AUDIO_CLASS_COUNT; ++classCode) {
        Engine engine(MakeInit(kRate, 1, ZV_SDK_SHARE_DIR));
        ASSERT_EQ(engine.SetParams(OnlyClass(classCode)), ZV_AUDIO_OK);
        EXPECT_EQ(engine.Run(silence, silence.size()), std::vector<int>{classCode});
    }
    Engine none(MakeInit(kRate, 1, ZV_SDK_SHARE_DIR));
    ASSERT_EQ(none.SetParams(AllThresholds(1.0f)), ZV_AUDIO_OK);
    std::vector<uint8_t> second(kSamples * 2 * 25, 0);
    const std::vector<int> codes = none.Run(second, kSamples * 2);
    EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [](int c) { return c == 0; }));

    // A second SetParams replaces the thresholds.
    ASSERT_EQ(none.SetParams(OnlyClass(3)), ZV_AUDIO_OK);
    EXPECT_EQ(none.Run(silence, silence.size()), std::vector<int>{3});
}

// Frames (of 40 ms) at which `code` was reported.
std::vector<int> FramesOf(const std::vector<int>& codes, int code)
{
    std::vector<int> frames;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] == code) {
            frames.push_back(static_cast<int>(i));
        }
    }
    return frames;
}

TEST(DecisionThroughTheCalls, AClassThatStaysDetectedIsReportedOncePerRetriggerInterval)
{
    const std::vector<uint8_t> tenSeconds(kSamples * 2 * 250, 0);

    Engine shipped(MakeInit(kRate, 1, ZV_SDK_SHARE_DIR));
    ASSERT_EQ(shipped.SetParams(OnlyClass(2)), ZV_AUDIO_OK);
    const int interval = ShippedModel()["decision"]["retriggerMs"].get<int>() / 40;
    std::vector<int> expected;
    for (int frame = 0; frame < 250; frame += interval) {
        expected.push_back(frame);
    }
    EXPECT_EQ(FramesOf(shipped.Run(tenSeconds, kSamples * 2), 2), expected);

    // 200 ms in the data file: every fifth frame.
    DataFolder fast("retrigger", ModelWithRetrigger(200));
    Engine engine(MakeInit(kRate, 1, fast.Path()));
    ASSERT_EQ(engine.SetParams(OnlyClass(2)), ZV_AUDIO_OK);
    const std::vector<uint8_t> second(kSamples * 2 * 25, 0);
    EXPECT_EQ(FramesOf(engine.Run(second, kSamples * 2), 2), (std::vector<int>{0, 5, 10, 15, 20}));
}

TEST(DecisionThroughTheCalls, TwoDetectedClassesShareTheFramesOneAtATime)
{
    DataFolder fast("share", ModelWithRetrigger(200));
    Engine engine(MakeInit(kRate, 1, fast.Path()));
    ASSERT_EQ(engine.SetParams(OnlyClass(1, {7})), ZV_AUDIO_OK);
    const std::vector<uint8_t> second(kSamples * 2 * 25, 0);
    const std::vector<int> codes = engine.Run(second, kSamples * 2);
    // Whichever wins frame 0, the other is still due and takes frame 1; both
    // then repeat every five frames.
    ASSERT_GE(codes.size(), 2u);
    EXPECT_NE(codes[0], codes[1]);
    EXPECT_EQ(FramesOf(codes, codes[0]), (std::vector<int>{0, 5, 10, 15, 20}));
    EXPECT_EQ(FramesOf(codes, codes[1]), (std::vector<int>{1, 6, 11, 16, 21}));
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0), 15);
}

TEST(Memory, ProcessTakesNothingAndReleaseGivesEverythingBack)
{
    const MemoryUse before = CurrentMemoryUse();
    {
        Engine engine(MakeInit(48000, 2, ZV_SDK_SHARE_DIR));
        ASSERT_NE(engine.Handle(), nullptr);
        ASSERT_EQ(engine.SetParams(AllThresholds(0.5f)), ZV_AUDIO_OK);
        const MemoryUse afterInit = CurrentMemoryUse();
        EXPECT_GT(afterInit.allocations, before.allocations);

        const std::vector<uint8_t> pcm = EncodePcm(Tone(48000, 2.0, 3100.0, 0.3), 2, 2);
        ZvAudioOutputDiagnostics out;
        int analysed = 0;
        TestSupport::AllocationCounter heap;
        for (size_t at = 0; at + 1920 * 4 <= pcm.size(); at += 1920 * 4) {
            analysed += engine.Process(pcm.data() + at, 1920 * 4, out) == ZV_AUDIO_OK ? 1 : 0;
        }
        EXPECT_EQ(heap.Count(), 0);
        EXPECT_EQ(analysed, 50);
        EXPECT_EQ(CurrentMemoryUse().allocations, afterInit.allocations);
    }
    const MemoryUse after = CurrentMemoryUse();
    EXPECT_EQ(after.allocations - before.allocations, after.frees - before.frees);
    EXPECT_EQ(after.liveBytes, before.liveBytes);
}

}  // namespace
