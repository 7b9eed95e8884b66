// Engines of different detectors run on different threads at once; each
// keeps its own frame count and shares nothing with the others.
#include <cstdint>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Engine.h"
#include "RecordingLogger.h"
#include "StandinSdk.h"

namespace {

TEST(EngineConcurrency, EnginesOnSeparateThreadsKeepTheirOwnFrameIndices)
{
    StandinSdk::Reset();
    TestSupport::RecordingLogger logger(0);  // shared, as the host's is
    constexpr int kEngines = 4;
    constexpr std::uint32_t kFrames = 500;

    // All engines live until every thread is done, so their handles stay
    // distinct and identify them in the call record.
    ZVAudioAnalytics::EngineSettings settings;
    settings.sampleRate = 8000;
    settings.numChannels = 1;
    settings.sdkDataPath = "/plugins/ZVAudioSdk/share";
    ThresholdRecord thresholds{};
    std::vector<std::unique_ptr<ZVAudioAnalytics::ZVEngine>> engines;
    for (int t = 0; t < kEngines; ++t)
        engines.push_back(ZVAudioAnalytics::ZVEngine::Create(&logger, settings, &thresholds));

    std::vector<std::thread> threads;
    for (auto& engine : engines) {
        threads.emplace_back([&engine] {
            const std::uint8_t frame[640] = {};
            for (std::uint32_t i = 0; i < kFrames; ++i)
                engine->Process(frame, sizeof frame);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    engines.clear();

    std::map<void*, std::vector<std::uint32_t>> indicesByEngine;
    for (const auto& call : StandinSdk::CallsOf(StandinSdk::CallKind::Process))
        indicesByEngine[call.handle].push_back(call.frameIndex);
    ASSERT_EQ(indicesByEngine.size(), static_cast<std::size_t>(kEngines));
    for (const auto& entry : indicesByEngine) {
        ASSERT_EQ(entry.second.size(), kFrames);
        for (std::uint32_t i = 0; i < kFrames; ++i)
            ASSERT_EQ(entry.second[i], i);
    }
    EXPECT_EQ(StandinSdk::CountOf(StandinSdk::CallKind::Release), static_cast<std::size_t>(kEngines));
    EXPECT_EQ(StandinSdk::LiveEngines(), 0);
}

}  // namespace
