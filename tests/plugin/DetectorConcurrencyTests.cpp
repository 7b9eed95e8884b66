// Settings arriving on one host thread while another feeds audio: the mutex
// must keep the enabled set, thresholds and re-creation flag consistent, and
// the sanitizer builds watch for races. Several detectors of one module run
// side by side over the one shared SDK.
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DetectorHarness.h"
#include "FakeHostServices.h"
#include "Module.h"

namespace DetectorTesting {
namespace {

TEST_F(DetectorTest, SettingsFromAnotherThreadWhileReceiving)
{
    logger.SetLevel(2);                // no per-setting lines piling up
    StandinSdk::SetRecordCalls(false);
    StandinSdk::SetProcessAnswer(Detects(3));

    std::atomic<bool> done{false};
    std::atomic<int> changes{0};
    std::thread host([this, &done, &changes] {
        ORQ8::ISyncAdjuster* settings = detector.get();
        for (int i = 0; !done.load(); ++i, ++changes) {
            EXPECT_EQ(settings->SetValue("enableGunShot", i % 2 == 0), 0);
            EXPECT_EQ(settings->SetValue("confThresholdGunShot", 0.5 + (i % 10) * 0.01), 0);
        }
    });

    // One-frame samples until both sides have done plenty while the other
    // ran. 40 ms per sample: every 750 samples the pending threshold change
    // re-creates the engine.
    constexpr std::uint64_t kEnough = 5000;
    constexpr std::uint64_t kAtMost = 100000;
    while (changes.load() == 0)
        std::this_thread::yield();
    AudioSampleFake sample(kNow, Stream(0, 1280));
    std::uint64_t received = 0;
    for (; received < kAtMost && (received < kEnough || changes.load() < static_cast<int>(kEnough)); ++received) {
        sample.timestamp = kNow + 40 * received;
        // No ASSERT here: the settings thread must be joined on every path.
        const std::int32_t status = Receiver().Receive(&sample);
        if (status != 0 || sample.destroyCount != static_cast<int>(received + 1)) {
            ADD_FAILURE() << "sample " << received << ": status " << status << ", destroyed "
                          << sample.destroyCount << " times in all";
            break;
        }
    }
    done = true;
    host.join();

    // Whatever the interleaving: at most one event per sample, each the
    // enabled class, committed, stamped with its own sample's time.
    std::set<std::uint64_t> stamps;
    for (const RaisedEvent& e : Raised()) {
        EXPECT_EQ(e.name, "GunShot");
        EXPECT_TRUE(e.committed);
        EXPECT_EQ((e.timestamp - kNow) % 40, 0u);
        EXPECT_TRUE(stamps.insert(e.timestamp).second) << "two events for the sample at " << e.timestamp;
    }
    EXPECT_LE(StandinSdk::LiveEngines(), 1);
    EXPECT_LE(Raised().size(), received);
}

// Every sample of the shared-module run is two frames: the first byte of a
// frame names its detector, the next four its sample number. The first
// frame hears the detector's own class, which stays enabled throughout; the
// second hears a siren, which a settings thread switches on and off.
constexpr int kDetectors = 3;
constexpr std::uint32_t kSamplesEach = 400;
constexpr std::uint32_t kSamplesAtMost = 5000;
constexpr std::int32_t kOwnClass[kDetectors] = {1, 3, 7};  // GlassBreak, GunShot, DogBark
constexpr const char* kOwnName[kDetectors] = {"GlassBreak", "GunShot", "DogBark"};
constexpr std::int32_t kSiren = 6;
// Far apart, so that the hold-off after a threshold change lasts 3 samples.
constexpr std::uint64_t kSampleSpacing = 10000;
constexpr std::uint8_t kExtraDetector = 200;  // made and ended alongside

Bytes TwoFrames(std::uint8_t detectorId, std::uint32_t sampleNumber)
{
    Bytes data(2 * 1280, 0x55);
    for (std::size_t frame = 0; frame < 2; ++frame) {
        data[frame * 1280] = detectorId;
        std::memcpy(&data[frame * 1280 + 1], &sampleNumber, sizeof sampleNumber);
    }
    return data;
}

// What the shared SDK saw, written from every audio thread: which detector
// each engine (by ordinal) served, and which samples each detector had
// analysed (both frames processed).
struct SdkView {
    std::mutex mutex;
    std::map<int, int> ownerOfEngine;
    std::vector<std::set<std::uint32_t>> analysed = std::vector<std::set<std::uint32_t>>(kDetectors);
};

TEST(DetectorConcurrency, DetectorsOfOneModuleShareTheSdkWhileSettingsAndQueriesRunAlongside)
{
    StandinSdk::Reset();
    StandinSdk::SetRecordCalls(false);
    SdkView sdk;
    StandinSdk::SetProcessScript([&sdk](int engine, std::uint32_t index, const std::uint8_t* data, std::uint32_t) {
        const int id = data[0];
        std::uint32_t sampleNumber;
        std::memcpy(&sampleNumber, data + 1, sizeof sampleNumber);
        const std::lock_guard<std::mutex> lock(sdk.mutex);
        sdk.ownerOfEngine.emplace(engine, id);
        if (id >= kDetectors)
            return Nothing();
        // A new engine starts with a sample's first frame, so odd indices are
        // second frames.
        if (index % 2 == 1)
            sdk.analysed[id].insert(sampleNumber);
        return Detects(index % 2 == 0 ? kOwnClass[id] : kSiren);
    });

    TestSupport::RecordingLogger logger{2};
    TestSupport::FakeHostServices services(&logger);
    ZVAudioAnalytics::Module module(&services, kPluginFolder);
    TestSupport::FakeHostEventFactory events;  // one host factory for all detectors
    std::vector<ORQ8::Analytics::IDetector*> detectors;
    for (int d = 0; d < kDetectors; ++d) {
        detectors.push_back(module.CreateDetector(ZVAudioAnalytics::Module::kPluginName, &events));
        ASSERT_NE(detectors.back(), nullptr);
        ASSERT_EQ(ORQ8::QueryContract<ORQ8::ISyncAdjuster>(detectors.back())
                      ->SetValue((std::string("enable") + kOwnName[d]).c_str(), true),
                  0);
    }

    // Every thread starts once all are running, so that they overlap.
    constexpr int kThreads = kDetectors + 4;
    std::atomic<int> started{0};
    const auto startTogether = [&started] {
        ++started;
        while (started.load() < kThreads)
            std::this_thread::yield();
    };
    std::atomic<int> audioRunning{kDetectors};
    std::atomic<int> settingsChanges{0};
    std::vector<std::thread> threads;
    for (int d = 0; d < kDetectors; ++d)
        threads.emplace_back([&, d] {
            startTogether();
            auto* receiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(detectors[d]);
            // On until the settings threads have had their say, within bounds.
            for (std::uint32_t n = 0; n < kSamplesAtMost && (n < kSamplesEach || settingsChanges.load() < 200); ++n) {
                AudioSampleFake sample(kNow + n * kSampleSpacing, TwoFrames(static_cast<std::uint8_t>(d), n));
                EXPECT_EQ(receiver->Receive(&sample), 0);
                EXPECT_EQ(sample.destroyCount, 1);
            }
            --audioRunning;
        });
    // Settings: the siren of every detector on and off, now and then a
    // threshold, from two threads at once.
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&, t] {
            startTogether();
            for (int i = 0; audioRunning.load() > 0; ++i) {
                auto* settings = ORQ8::QueryContract<ORQ8::ISyncAdjuster>(detectors[i % kDetectors]);
                EXPECT_EQ(settings->SetValue("enableSiren", (i + t) % 2 == 0), 0);
                ++settingsChanges;
                if (i % 64 == t) {
                    EXPECT_EQ(settings->SetValue("confThresholdSiren", 0.5 + t * 0.1), 0);
                }
            }
        });
    // Face queries on every detector.
    threads.emplace_back([&] {
        startTogether();
        while (audioRunning.load() > 0)
            for (ORQ8::Analytics::IDetector* detector : detectors) {
                auto* receiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(detector);
                auto* settings = ORQ8::QueryContract<ORQ8::ISyncAdjuster>(detector);
                EXPECT_TRUE(receiver != nullptr && settings != nullptr);
                EXPECT_EQ(settings->GetContract("N4ORQ89Analytics9IDetectorE"), static_cast<void*>(detector));
                EXPECT_EQ(receiver->GetContract("N4ORQ83MFF15IAudioBufferPcmE"), nullptr);
            }
    });
    // Further detectors of the same module, made, fed and ended meanwhile.
    threads.emplace_back([&] {
        startTogether();
        for (int made = 0; made < 500 && audioRunning.load() > 0; ++made) {
            ORQ8::Analytics::IDetector* extra = module.CreateDetector(ZVAudioAnalytics::Module::kPluginName, &events);
            AudioSampleFake sample(kNow, TwoFrames(kExtraDetector, 0));
            EXPECT_EQ(ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(extra)->Receive(&sample), 0);
            extra->Destroy();
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    for (ORQ8::Analytics::IDetector* detector : detectors)
        detector->Destroy();
    EXPECT_EQ(StandinSdk::LiveEngines(), 0);

    // Each detector held one engine at a time, and each engine was released
    // once.
    std::map<void*, int> live;  // engine -> detector
    std::map<int, int> held;    // detector -> engines
    int ordinal = 0;
    for (const StandinSdk::Call& call : StandinSdk::Calls()) {
        if (call.kind == StandinSdk::CallKind::Init && call.handle != nullptr) {
            const int owner = sdk.ownerOfEngine.at(ordinal++);
            EXPECT_TRUE(live.emplace(call.handle, owner).second);
            EXPECT_EQ(++held[owner], 1) << "detector " << owner << " holds two engines";
        } else if (call.kind == StandinSdk::CallKind::Release) {
            const auto engine = live.find(call.handle);
            ASSERT_NE(engine, live.end()) << "release of an engine not held";
            --held[engine->second];
            live.erase(engine);
        }
    }

    // Every analysed sample raised its detector's own class exactly once,
    // and a siren at most once; nothing else was raised.
    std::vector<std::map<std::uint64_t, int>> own(kDetectors), sirens(kDetectors);
    for (const TestSupport::FakeHostEvent* event : events.Events()) {
        EXPECT_TRUE(event->Committed());
        for (int d = 0; d < kDetectors; ++d) {
            if (event->sender != detectors[d])
                continue;
            EXPECT_TRUE(event->name == kOwnName[d] || event->name == "Siren") << event->name;
            ++(event->name == "Siren" ? sirens : own)[d][event->timestamp];
        }
    }
    for (int d = 0; d < kDetectors; ++d) {
        SCOPED_TRACE(kOwnName[d]);
        EXPECT_GE(sdk.analysed[d].size(), kSamplesEach / 4u);
        std::map<std::uint64_t, int> expected;
        for (std::uint32_t n : sdk.analysed[d])
            expected[kNow + n * kSampleSpacing] = 1;
        EXPECT_EQ(own[d], expected);
        for (const auto& [timestamp, count] : sirens[d]) {
            EXPECT_EQ(count, 1);
            EXPECT_EQ(expected.count(timestamp), 1u) << "a siren from a sample not analysed";
        }
    }
    StandinSdk::Reset();
}

}  // namespace
}  // namespace DetectorTesting
