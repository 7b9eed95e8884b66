// Long host streams through one detector while the SDK, the logger and the
// host's event factory fail at seeded random moments. A reference of the
// detector's rules (hold-off, framing, one engine at a time, events per
// sample) predicts every sample; the run checks each prediction and that
// every engine is released exactly once and every sample destroyed once.
//
// The frames' own bytes decide what the SDK answers for them, so what the
// detector must report follows from the audio alone: a frame whose first
// byte is 1 to 7 modulo 16 detects that class, and one whose second byte is
// below the run's failure level fails.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DetectorHarness.h"

namespace DetectorTesting {
namespace {

using StandinSdk::CallKind;
using TestSupport::FakeHostEvent;

constexpr std::uint32_t kFrameSize = 1280;  // 40 ms, mono 16 kHz 16-bit
constexpr std::uint64_t kBytesPerMs = 32;
constexpr const char* kClassNames[] = {"None",    "GlassBreak", "SmokeAlarm", "GunShot",
                                       "Aggression", "BabyCry", "Siren",      "DogBark"};

// What goes wrong in a run, as chances per creation attempt, per frame (in
// 256ths) or per sample.
struct Faults {
    const char* name;
    double initNull = 0;         // zvAudio_Init gives no engine
    double paramsFail = 0;       // zvAudio_SetParams fails
    double releaseFail = 0;      // zvAudio_Release reports a failure
    int processFailIn256 = 0;    // zvAudio_Process fails for a frame
    double loggerThrows = 0;     // every line of the sample throws
    double errorLinesThrow = 0;  // only the sample's error lines throw
    double loggerRefuses = 0;    // Log answers a failure
    double hostRefuses = 0;      // CreateEvent answers null
    double hostThrows = 0;       // CreateEvent throws
    double commitThrows = 0;     // the host event's Commit throws
};

void PrintTo(const Faults& faults, std::ostream* out) { *out << faults.name; }

enum class LoggerMode { Fine, Refuses, Throws, ErrorLinesThrow };
enum class HostMode { Fine, Refuses, Throws, CommitThrows };

// A host logger that takes every line and fails as the current sample says.
class FaultyLogger : public ORQ8::ILogger {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    std::uint32_t GetLogLevel() override { return 0; }
    std::int32_t Log(std::uint32_t level, const char*) override { return Take(level); }
    std::int32_t Log(std::uint32_t level, const char*, int, const char*, const char*) override { return Take(level); }

    LoggerMode mode = LoggerMode::Fine;

private:
    std::int32_t Take(std::uint32_t level)
    {
        if (mode == LoggerMode::Throws || (mode == LoggerMode::ErrorLinesThrow && level == ORQ8::LogError))
            throw std::runtime_error("logger failed");
        return mode == LoggerMode::Refuses ? -1 : 0;
    }
};

// The host's event factory: records each request, then answers as the
// current sample says. Events live until the sample has been checked.
class FaultyHost : public ORQ8::Analytics::IHostEventFactory {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    ORQ8::Analytics::IHostEvent* CreateEvent(ORQ8::Analytics::IDetector*, const char* name, std::uint64_t timestamp,
                                             std::int32_t kind) override
    {
        requests.emplace_back(name, timestamp, kind);
        if (mode == HostMode::Refuses)
            return nullptr;
        if (mode == HostMode::Throws)
            throw std::runtime_error("host refused");
        events.push_back(std::make_unique<FakeHostEvent>());
        events.back()->throwOnCommit = mode == HostMode::CommitThrows;
        return events.back().get();
    }
    ORQ8::Analytics::IHostEvent* CreateTargetListEvent(ORQ8::Analytics::IDetector*, const char*,
                                                       std::uint64_t) override
    {
        ADD_FAILURE() << "the audio detector raises no target lists";
        return nullptr;
    }

    HostMode mode = HostMode::Fine;
    std::vector<std::tuple<std::string, std::uint64_t, std::int32_t>> requests;
    std::vector<std::unique_ptr<FakeHostEvent>> events;
};

// (engine ordinal, frame index, first byte, second byte) of a frame.
using FrameSeen = std::tuple<int, std::uint32_t, int, int>;

// What one sample must do.
struct Prediction {
    bool throws = false;
    bool failed = false;  // status 4 rather than 0
    std::size_t inits = 0;
    std::vector<FrameSeen> frames;
    std::vector<std::tuple<std::string, std::uint64_t, std::int32_t>> requests;
    bool faultBit = false;  // an injected fault changed the outcome
};

// The faults in force for one sample.
struct SampleFaults {
    bool initNull = false;
    bool paramsFail = false;
    LoggerMode logger = LoggerMode::Fine;
    HostMode host = HostMode::Fine;
};

// The detector's rules for a mono 16 kHz 16-bit stream.
class Reference {
public:
    explicit Reference(int failIn256) : failIn256(failIn256) {}

    Prediction Sample(std::uint64_t timestamp, const Bytes& data, const SampleFaults& faults)
    {
        Prediction p;
        // A failure is status 4 after an error line, or that line's exception.
        const bool errorLinesThrow =
            faults.logger == LoggerMode::Throws || faults.logger == LoggerMode::ErrorLinesThrow;
        const auto fail = [&p, errorLinesThrow] {
            p.faultBit = true;
            (errorLinesThrow ? p.throws : p.failed) = true;
        };
        if (!engine || pending) {
            if (timestamp < lastAttempt) {
                lastAttempt = timestamp;
                return p;
            }
            if (timestamp - lastAttempt < kHoldOff)
                return p;
            lastAttempt = timestamp;
            carry.clear();
            if (faults.logger == LoggerMode::Throws) {  // the "Try init engine" line
                p.throws = p.faultBit = true;
                return p;
            }
            engine = false;  // the old engine goes first
            p.inits = 1;
            if (!faults.initNull)
                ordinal = enginesMade++;
            if (faults.initNull || faults.paramsFail) {
                fail();
                return p;
            }
            engine = true;
            pending = false;
            frameIndex = 0;
        }

        Bytes stream = carry;
        stream.insert(stream.end(), data.begin(), data.end());
        std::set<std::string> detected;
        std::size_t at = 0;
        for (; stream.size() - at >= kFrameSize; at += kFrameSize) {
            const int first = stream[at];
            const int second = stream[at + 1];
            p.frames.emplace_back(ordinal, frameIndex++, first, second);
            if (second < failIn256) {
                engine = false;
                fail();
                return p;
            }
            const int code = first % 16;
            if (code >= 1 && code <= 7)
                detected.insert(kClassNames[code]);
        }
        carry.assign(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.end());
        for (const std::string& name : detected)  // ascending names
            if (enabled.count(name) != 0)
                p.requests.emplace_back(name, timestamp, 3);
        if (!p.requests.empty() && (faults.logger == LoggerMode::Throws || faults.host == HostMode::Throws ||
                                    faults.host == HostMode::CommitThrows))
            p.throws = p.faultBit = true;
        p.faultBit = p.faultBit || (!p.requests.empty() && faults.host == HostMode::Refuses);
        return p;
    }

    bool engine = false;   // an SDK engine is held
    bool pending = false;  // a threshold change waits for a new engine
    std::set<std::string> enabled;

private:
    int failIn256;
    std::uint64_t lastAttempt = 0;
    Bytes carry;
    int enginesMade = 0;
    int ordinal = -1;
    std::uint32_t frameIndex = 0;
};

class FaultInjection : public ::testing::TestWithParam<Faults> {
protected:
    void SetUp() override
    {
        StandinSdk::Reset();
        StandinSdk::SetRecordCalls(false);
        StandinSdk::SetProcessScript([this, failIn256 = GetParam().processFailIn256](
                                         int engine, std::uint32_t index, const std::uint8_t* data,
                                         std::uint32_t size) {
            seen.emplace_back(engine, index, size > 0 ? data[0] : -1, size > 1 ? data[1] : -1);
            if (size != kFrameSize || data[1] < failIn256)
                return StandinSdk::ProcessAnswer{-1, 0, 0, 0};
            const int code = data[0] % 16;
            return code >= 1 && code <= 7 ? Detects(code) : Nothing();
        });
        detector.reset(new AudioDetector(&logger, &host, kPluginFolder));
    }
    void TearDown() override
    {
        // A run stopped half-way still ends its detector before the SDK forgets.
        logger.mode = LoggerMode::Fine;
        detector.reset();
        StandinSdk::Reset();
    }

    // Every Init that made an engine is matched by exactly one Release of
    // it, and the detector never holds two engines.
    static void ExpectEachEngineReleasedOnce()
    {
        std::set<void*> live;
        for (const StandinSdk::Call& call : StandinSdk::Calls()) {
            if (call.kind == CallKind::Init && call.handle != nullptr) {
                EXPECT_TRUE(live.empty()) << "a second engine while one is held";
                live.insert(call.handle);
            } else if (call.kind == CallKind::Release) {
                EXPECT_EQ(live.erase(call.handle), 1u) << "release of an engine not held";
            }
        }
        EXPECT_TRUE(live.empty());
    }

    FaultyLogger logger;
    FaultyHost host;
    std::unique_ptr<AudioDetector, DetectorDestroyer> detector;
    std::vector<FrameSeen> seen;
};

TEST_P(FaultInjection, EverySampleDoesWhatTheRulesSayAndTheDetectorRecovers)
{
    const Faults& faults = GetParam();
    constexpr int kSamples = 6000;
    std::mt19937 rng(20240611);
    const auto chance = [&rng](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    Reference reference(faults.processFailIn256);
    ORQ8::ISyncAdjuster& settings = *detector;
    ORQ8::Analytics::IMediaReceiver& receiver = *detector;

    std::uint64_t timestamp = kNow;
    std::size_t faultsBit = 0;
    std::size_t creations = 0;
    std::size_t events = 0;
    for (int n = 0; n < kSamples && !HasFailure(); ++n) {
        // The host's settings, between samples.
        if (chance(0.03)) {
            const int code = std::uniform_int_distribution<int>(1, 7)(rng);
            const bool on = chance(0.7);
            ASSERT_EQ(settings.SetValue((std::string("enable") + kClassNames[code]).c_str(), on), 0);
            on ? (void)reference.enabled.insert(kClassNames[code]) : (void)reference.enabled.erase(kClassNames[code]);
        }
        if (chance(0.01)) {
            ASSERT_EQ(settings.SetValue("confThresholdSiren", chance(0.5) ? 0.5 : 0.8), 0);
            reference.pending = true;
        }

        SampleFaults f;
        f.initNull = chance(faults.initNull);
        f.paramsFail = chance(faults.paramsFail);
        f.logger = chance(faults.loggerThrows)      ? LoggerMode::Throws
                   : chance(faults.errorLinesThrow) ? LoggerMode::ErrorLinesThrow
                   : chance(faults.loggerRefuses)   ? LoggerMode::Refuses
                                                    : LoggerMode::Fine;
        f.host = chance(faults.hostRefuses)    ? HostMode::Refuses
                 : chance(faults.hostThrows)   ? HostMode::Throws
                 : chance(faults.commitThrows) ? HostMode::CommitThrows
                                               : HostMode::Fine;
        StandinSdk::SetInitMakesEngine(!f.initNull);
        StandinSdk::SetParamsStatus(f.paramsFail ? 3 : 0);
        StandinSdk::SetReleaseStatus(chance(faults.releaseFail) ? 2 : 0);
        logger.mode = f.logger;
        host.mode = f.host;

        Bytes data(std::uniform_int_distribution<std::size_t>(0, 4000)(rng));
        for (std::size_t i = 0; i < data.size(); i += 4) {
            const std::uint32_t word = rng();
            std::memcpy(data.data() + i, &word, std::min<std::size_t>(4, data.size() - i));
        }
        // The clock mostly follows the audio, sometimes jumps ahead, and now
        // and then steps back.
        timestamp += data.size() / kBytesPerMs;
        if (chance(0.04))
            timestamp += std::uniform_int_distribution<std::uint64_t>(0, 2 * kHoldOff)(rng);
        if (chance(0.002))
            timestamp -= std::uniform_int_distribution<std::uint64_t>(0, 2 * kHoldOff)(rng);

        const Prediction expected = reference.Sample(timestamp, data, f);
        AudioSampleFake sample(timestamp, data);
        const std::size_t initsBefore = StandinSdk::CountOf(CallKind::Init);
        seen.clear();
        host.requests.clear();
        host.events.clear();
        bool threw = false;
        std::int32_t status = -1;
        try {
            status = receiver.Receive(&sample);
        } catch (const std::runtime_error&) {
            threw = true;
        }

        SCOPED_TRACE("sample " + std::to_string(n) + " at " + std::to_string(timestamp));
        EXPECT_EQ(sample.destroyCount, 1);
        EXPECT_EQ(sample.readsAfterDestroy, 0);
        ASSERT_EQ(threw, expected.throws);
        if (!threw) {
            ASSERT_EQ(status, expected.failed ? 4 : 0);
        }
        ASSERT_EQ(StandinSdk::CountOf(CallKind::Init) - initsBefore, expected.inits);
        ASSERT_EQ(seen, expected.frames);
        ASSERT_EQ(host.requests, expected.requests);
        for (const auto& event : host.events) {
            EXPECT_EQ(event->commits, 1);
            EXPECT_EQ(event->cancels, 0);
            EXPECT_EQ(event->Text("DetectorsGroup"), "AudioDetector");
        }
        ASSERT_EQ(StandinSdk::LiveEngines(), reference.engine ? 1 : 0);

        logger.mode = LoggerMode::Fine;
        host.mode = HostMode::Fine;
        faultsBit += expected.faultBit;
        creations += expected.inits == 1 && reference.engine;
        events += host.events.size();
    }
    detector.reset();
    ExpectEachEngineReleasedOnce();
    // The run was long and hostile enough to mean something.
    EXPECT_GE(faultsBit, 20u);
    EXPECT_GE(creations, 20u);
    EXPECT_GE(events, 200u);
    EXPECT_GE(timestamp - kNow, 60ULL * 60 * 1000) << "at least an hour of stream time";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultInjection,
    ::testing::Values(Faults{"InitReturnsNull", 0.5},
                      Faults{"SetParamsFails", 0, 0.5},
                      Faults{"ProcessFailsAndReleaseFails", 0, 0, 0.5, 2},
                      Faults{"LoggerThrowsOrRefuses", 0, 0, 0, 1, 0.02, 0.05, 0.1},
                      Faults{"EventFactoryThrowsOrRefuses", 0, 0, 0, 0, 0, 0, 0, 0.05, 0.05, 0.05},
                      Faults{"Everything", 0.2, 0.2, 0.3, 1, 0.01, 0.02, 0.05, 0.03, 0.03, 0.03}),
    [](const ::testing::TestParamInfo<Faults>& info) { return std::string(info.param.name); });

// The host refusing one event by throwing does not cost the sample its other
// events; the exception still reaches the host once they are raised.
TEST_F(DetectorTest, AnEventTheHostThrowsOnDoesNotCostTheOthers)
{
    Settings().SetValue("enableGunShot", true);
    Settings().SetValue("enableSiren", true);
    StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
        return Detects(index == 0 ? 3 : 6);
    });
    hostFactory.Prepare([](FakeHostEvent& event) {
        if (event.name == "GunShot")
            throw std::runtime_error("host refused");
    });
    AudioSampleFake& sample = MakeSample(kNow, 2 * kFrameSize);
    EXPECT_THROW(Receiver().Receive(&sample), std::runtime_error);
    ASSERT_EQ(hostFactory.Requests().size(), 2u);
    EXPECT_THAT(Names(Raised()), ::testing::ElementsAre("Siren"));
    EXPECT_TRUE(Raised()[0].committed);
}

}  // namespace
}  // namespace DetectorTesting
