// The audio detector in process, as a host drives it: a recording logger,
// the host's event factory fake, the stand-in SDK and fake audio samples.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AudioAnalytics.h"
#include "AudioSampleFake.h"
#include "HostEventFakes.h"
#include "RecordingLogger.h"
#include "StandinSdk.h"

namespace DetectorTesting {

using Bytes = std::vector<std::uint8_t>;
using TestSupport::AudioFormat;
using TestSupport::AudioSampleFake;
using TestSupport::LogRecord;
using ZVAudioAnalytics::AudioDetector;

constexpr std::uint64_t kNow = 1700000000000ULL;  // a present-day sample time (ms since 1970)
constexpr std::uint64_t kHoldOff = 30000;
constexpr const char* kPluginFolder = "/opt/host/plugins";
constexpr const char* kDetectorFile = "Detectors/ZelvaniAudioAnalytics/src/AudioAnalytics";
constexpr const char* kAdjusterFile = "Detectors/ZelvaniAudioAnalytics/src/AudioAnalyticsAdjuster";

constexpr AudioFormat kMono16k{16000, 1, 16};
constexpr AudioFormat kStereo16k{16000, 2, 16};

// Byte `position` of the audio stream a test sends: no short period, so a
// frame taken from the wrong place never matches by chance.
inline std::uint8_t StreamByte(std::size_t position)
{
    return static_cast<std::uint8_t>((position * 2654435761u) >> 13);
}

// What the SDK answers for a frame that detects class `code`.
inline StandinSdk::ProcessAnswer Detects(std::int32_t code) { return {0, 1, 2, code}; }
inline StandinSdk::ProcessAnswer Nothing() { return {0, 0, 0, 0}; }

// One event as the host received it.
struct RaisedEvent {
    std::string name;
    std::uint64_t timestamp = 0;
    std::int32_t kind = 0;
    std::string detectorsGroup;
    bool committed = false;
    const void* sender = nullptr;
    std::size_t arguments = 0;  // argument-store calls made on it
};

// The detector as the host holds it: its main face.
inline ORQ8::Analytics::IDetector* AsDetector(AudioDetector* detector) { return detector; }

inline std::uint32_t FloatBits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline std::vector<std::string> Names(const std::vector<RaisedEvent>& events)
{
    std::vector<std::string> names;
    for (const RaisedEvent& e : events)
        names.push_back(e.name);
    return names;
}

struct DetectorDestroyer {
    void operator()(AudioDetector* detector) const { detector->Destroy(); }
};

class DetectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StandinSdk::Reset();
        detector.reset(new AudioDetector(&logger, &hostFactory, kPluginFolder));
    }

    void TearDown() override
    {
        detector.reset();
        EXPECT_EQ(StandinSdk::LiveEngines(), 0) << "the detector left an SDK engine behind";
        for (const auto& sample : samples) {
            EXPECT_EQ(sample->destroyCount, 1) << "sample at " << sample->timestamp;
            EXPECT_EQ(sample->readsAfterDestroy, 0) << "sample at " << sample->timestamp;
        }
        StandinSdk::Reset();
    }

    ORQ8::Analytics::IMediaReceiver& Receiver()
    {
        auto* receiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(AsDetector(detector.get()));
        EXPECT_NE(receiver, nullptr);
        return *receiver;
    }
    ORQ8::ISyncAdjuster& Settings()
    {
        auto* settings = ORQ8::QueryContract<ORQ8::ISyncAdjuster>(AsDetector(detector.get()));
        EXPECT_NE(settings, nullptr);
        return *settings;
    }

    // A new sample of `size` bytes continuing the stream; the test keeps it
    // until the end, when TearDown checks it was destroyed exactly once.
    AudioSampleFake& MakeSample(std::uint64_t timestamp, std::size_t size, AudioFormat format = kMono16k)
    {
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = StreamByte(streamPosition + i);
        streamPosition += size;
        samples.push_back(std::make_unique<AudioSampleFake>(timestamp, std::move(data), format,
                                                            "audio-" + std::to_string(samples.size())));
        return *samples.back();
    }

    // Hands the sample to the receiver face, as the host does.
    std::int32_t Feed(AudioSampleFake& sample)
    {
        const int before = sample.destroyCount;
        const std::int32_t status = Receiver().Receive(&sample);
        EXPECT_EQ(sample.destroyCount, before + 1) << "Receive must destroy its sample exactly once";
        return status;
    }
    std::int32_t Feed(std::uint64_t timestamp, std::size_t size, AudioFormat format = kMono16k)
    {
        return Feed(MakeSample(timestamp, size, format));
    }

    // The stream bytes [from, from + size).
    static Bytes Stream(std::size_t from, std::size_t size)
    {
        Bytes bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = StreamByte(from + i);
        return bytes;
    }

    // The frames the SDK was given, in order.
    static std::vector<Bytes> FramesSeen()
    {
        std::vector<Bytes> frames;
        for (const StandinSdk::Call& call : StandinSdk::CallsOf(StandinSdk::CallKind::Process))
            frames.push_back(call.frame);
        return frames;
    }

    std::vector<LogRecord> LinesAt(const char* file, int line) const
    {
        std::vector<LogRecord> found;
        for (const LogRecord& r : logger.Records())
            if (r.located && r.file == file && r.line == line)
                found.push_back(r);
        return found;
    }

    // The events the host handed out, in order.
    std::vector<RaisedEvent> Raised() const
    {
        std::vector<RaisedEvent> raised;
        for (const TestSupport::FakeHostEvent* e : hostFactory.Events()) {
            RaisedEvent r;
            r.name = e->name;
            r.timestamp = e->timestamp;
            r.kind = e->kind;
            r.detectorsGroup = e->Text("DetectorsGroup");
            r.committed = e->Committed();
            r.sender = e->sender;
            r.arguments = e->Calls().size();
            raised.push_back(r);
        }
        return raised;
    }

    // Makes the host's event factory throw from every CreateEvent.
    void ThrowOnCreateEvent(bool fail)
    {
        if (fail)
            hostFactory.Prepare([](TestSupport::FakeHostEvent&) { throw std::runtime_error("host refused"); });
        else
            hostFactory.Prepare(nullptr);
    }

    TestSupport::RecordingLogger logger{0};
    TestSupport::FakeHostEventFactory hostFactory;
    std::unique_ptr<AudioDetector, DetectorDestroyer> detector;
    std::deque<std::unique_ptr<AudioSampleFake>> samples;
    std::size_t streamPosition = 0;
};

}  // namespace DetectorTesting
