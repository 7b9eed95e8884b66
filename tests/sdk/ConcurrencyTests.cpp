// Handles are independent: engines on different threads at once give, frame
// for frame, what each gives alone, while other threads make and release
// engines and hammer the registry with dead handles.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "SdkTestSupport.h"

namespace {

using namespace SdkTest;

struct Stream {
    uint32_t rate;
    std::vector<uint8_t> pcm;
    size_t frameBytes;
};

// Confidences and codes of every frame, so any cross-talk between handles shows.
std::vector<float> Trace(const Stream& run)
{
    Engine engine(MakeInit(run.rate, 1, ZV_SDK_SHARE_DIR));
    EXPECT_NE(engine.Handle(), nullptr);
    EXPECT_EQ(engine.SetParams(AllThresholds(0.5f)), ZV_AUDIO_OK);
    std::vector<float> trace;
    ZvAudioOutputDiagnostics out;
    for (size_t at = 0; at + run.frameBytes <= run.pcm.size(); at += run.frameBytes) {
        EXPECT_EQ(engine.Process(run.pcm.data() + at, static_cast<uint32_t>(run.frameBytes), out), ZV_AUDIO_OK);
        trace.push_back(static_cast<float>(out.classCode));
        trace.insert(trace.end(), std::begin(out.confidence), std::end(out.confidence));
        trace.push_back(out.levelDb);
    }
    return trace;
}

TEST(ConcurrentHandles, EachThreadGetsWhatItWouldAlone)
{
    std::vector<Stream> runs;
    for (uint32_t rate : {8000u, 16000u, 32000u, 48000u}) {
        // A gliding tone: the tonal detectors have something to follow.
        std::vector<float> glide(rate * 2);
        double phase = 0.0;
        for (size_t i = 0; i < glide.size(); ++i) {
            const double hz = 600.0 + 900.0 * std::sin(2.0 * M_PI * 0.5 * static_cast<double>(i) / rate);
            phase += 2.0 * M_PI * hz / rate;
            glide[i] = static_cast<float>(0.4 * std::sin(phase));
        }
        runs.push_back({rate, EncodePcm(glide, 2), rate / 25 * 2});
    }
    std::vector<std::vector<float>> alone;
    for (const Stream& run : runs) {
        alone.push_back(Trace(run));
    }

    std::atomic<bool> done{false};
    std::thread churn([&] {
        const InitRecord init = MakeInit(16000, 2, ZV_SDK_SHARE_DIR);
        const ThresholdRecord thresholds = AllThresholds(0.5f);
        while (!done.load()) {
            void* handle = zvAudio_Init(&init);
            EXPECT_NE(handle, nullptr);
            EXPECT_EQ(zvAudio_SetParams(handle, &thresholds), ZV_AUDIO_OK);
            EXPECT_EQ(zvAudio_Release(handle), ZV_AUDIO_OK);
            EXPECT_EQ(zvAudio_SetParams(handle, &thresholds), ZV_AUDIO_E_UNKNOWN_HANDLE);
        }
    });
    std::vector<std::vector<float>> together(runs.size() * 2);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < together.size(); ++i) {
        threads.emplace_back([&, i] { together[i] = Trace(runs[i % runs.size()]); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    done.store(true);
    churn.join();

    for (size_t i = 0; i < together.size(); ++i) {
        EXPECT_EQ(together[i], alone[i % runs.size()]) << runs[i % runs.size()].rate << " Hz, thread " << i;
    }
}

}  // namespace
