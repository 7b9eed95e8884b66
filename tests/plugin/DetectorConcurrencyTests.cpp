// Settings arriving on one host thread while another feeds audio: the mutex
// must keep the enabled set, thresholds and re-creation flag consistent, and
// the sanitizer builds watch for races.
#include <atomic>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "DetectorHarness.h"

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

}  // namespace
}  // namespace DetectorTesting
