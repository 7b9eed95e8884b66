// What Receive costs per 40 ms frame of mono 16 kHz 16-bit audio (1280
// bytes), with an SDK that answers at once (the stand-in, recording nothing)
// and nothing detected, for samples of 640, 1280, 3200 and 16000 bytes.
//
// References beside it: a memcpy of the same bytes, and the stand-in's
// zvAudio_Process call alone, which Receive makes once per frame; what
// Receive costs beyond that call is the plug-in's own.
//
// Counters: bytes_per_second, and time_per_frame (seconds, shown with an SI
// prefix: "45n" is 45 ns).
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "AudioAnalytics.h"
#include "AudioSampleFake.h"
#include "HostEventFakes.h"
#include "RecordingLogger.h"
#include "StandinSdk.h"
#include "ZVAudioSdk.h"

namespace {

using TestSupport::AudioSampleFake;
using ZVAudioAnalytics::AudioDetector;

constexpr std::uint64_t kNow = 1700000000000ULL;
constexpr double kFrameBytes = 1280.0;  // 40 ms at 16 kHz, mono, 16 bits

void SetCounters(benchmark::State& state, std::size_t bytesPerIteration)
{
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(bytesPerIteration);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["time_per_frame"] =
        benchmark::Counter(bytes / kFrameBytes, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

struct DetectorDestroyer {
    void operator()(AudioDetector* detector) const { detector->Destroy(); }
};

void BM_Receive(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    StandinSdk::Reset();
    StandinSdk::SetRecordCalls(false);
    // A host that wants warnings only: no line of the steady state is admitted.
    TestSupport::RecordingLogger logger(2);
    TestSupport::FakeHostEventFactory hostFactory;
    std::unique_ptr<AudioDetector, DetectorDestroyer> detector(
        new AudioDetector(&logger, &hostFactory, "/opt/host/plugins"));
    for (const char* key : {"enableGlassBreak", "enableSmokeAlarm", "enableGunShot", "enableAggression",
                            "enableBabyCry", "enableSiren", "enableDogBark"})
        detector->SetValue(key, true);
    auto& receiver = static_cast<ORQ8::Analytics::IMediaReceiver&>(*detector);

    // The sample's Destroy only counts, so one object serves every call.
    AudioSampleFake sample(kNow, TestSupport::CountingBytes(size));
    if (receiver.Receive(&sample) != 0 || StandinSdk::LiveEngines() != 1) {
        state.SkipWithError("the first sample made no engine");
        return;
    }
    for (auto _ : state) {
        sample.timestamp += 40;
        benchmark::DoNotOptimize(receiver.Receive(&sample));
    }
    SetCounters(state, size);
    detector.reset();
    StandinSdk::Reset();
}

void BM_Memcpy(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> source = TestSupport::CountingBytes(size);
    std::vector<std::uint8_t> target(size);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), size);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, size);
}

// One zvAudio_Process call of the stand-in per 1280-byte frame.
void BM_StandinProcessCall(benchmark::State& state)
{
    StandinSdk::Reset();
    StandinSdk::SetRecordCalls(false);
    InitRecord init{16000, 1, 40, 0, "/opt/host/plugins/ZVAudioSdk/share"};
    void* engine = zvAudio_Init(&init);
    const std::vector<std::uint8_t> frame = TestSupport::CountingBytes(1280);
    const FrameRecord record{frame.data(), static_cast<std::uint32_t>(frame.size()), 0};
    OutputRecord output;
    std::uint32_t index = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(zvAudio_Process(engine, index++, &record, &output));
    SetCounters(state, frame.size());
    zvAudio_Release(engine);
    StandinSdk::Reset();
}

}  // namespace

BENCHMARK(BM_Receive)->Arg(640)->Arg(1280)->Arg(3200)->Arg(16000);
BENCHMARK(BM_Memcpy)->Arg(640)->Arg(1280)->Arg(3200)->Arg(16000);
BENCHMARK(BM_StandinProcessCall);

BENCHMARK_MAIN();
