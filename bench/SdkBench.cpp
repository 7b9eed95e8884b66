// zv_sdk_bench: what the classification library costs.
//
//  - Speed: a 60 s programme (street traffic with a siren, a smoke alarm,
//    speech and a dog laid over it), mono 16-bit, run through the five calls
//    in 40 ms frames on one thread; audio seconds per CPU second of that
//    thread (CLOCK_THREAD_CPUTIME_ID), best of three passes, at 16 and 48 kHz.
//  - Memory per live engine, two ways: the bytes the engine holds from
//    libzv_memory (every block a handle owns comes from there; counted by
//    answering the library's zvMemoryAlloc/zvMemoryFree in this program),
//    and the growth of the resident set (/proc/self/statm) over 200 live
//    engines, divided by 200, which also counts what the allocator and the
//    FFT library keep around the blocks. Each rate is measured in a child
//    process of its own, so no engine reuses heap another run freed.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include "MemoryHook.h"
#include "SoundSynth.h"
#include "zv_audio_analytics.h"

namespace {

namespace synth = zv::synth;

std::vector<int16_t> Programme(double rate)
{
    synth::Rng rng(7);
    const double seconds = 60.0;
    synth::Buffer mix = synth::background(rng, rate, synth::BackgroundKind::Traffic, seconds);
    const double gain = synth::dbToGain(-35.0) / std::max(1e-9, synth::rms(mix));
    for (float& x : mix) {
        x = static_cast<float>(x * gain);
    }
    synth::addInto(mix, synth::siren(rng, rate, synth::SirenKind::Wail, 8.0), rate, 3.0, synth::dbToGain(-15.0));
    synth::addInto(mix, synth::smokeAlarm(rng, rate, synth::SmokeAlarmKind::Piezo, 3), rate, 15.0,
                   synth::dbToGain(-15.0));
    synth::addInto(mix, synth::formantSpeech(rng, rate, synth::Talker::Woman, 10.0), rate, 30.0,
                   synth::dbToGain(-12.0));
    synth::addInto(mix, synth::dogBark(rng, rate, synth::DogSize::Large, 4), rate, 45.0, synth::dbToGain(-12.0));
    std::vector<int16_t> pcm(mix.size());
    std::transform(mix.begin(), mix.end(), pcm.begin(), [](float x) {
        return static_cast<int16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
    });
    return pcm;
}

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

InitRecord Init(uint32_t rate, const char* share)
{
    InitRecord init{};
    init.sampleRate = rate;
    init.numChannels = 1;
    init.frameLengthMs = 40;
    init.sdkDataPath = share;
    return init;
}

ThresholdRecord Thresholds()
{
    ThresholdRecord t{};
    std::fill(std::begin(t.thresholds), std::end(t.thresholds), 0.5f);
    return t;
}

// Audio seconds per CPU second, best of three passes over the programme.
double Speed(uint32_t rate, const char* share, int& detections)
{
    const std::vector<int16_t> pcm = Programme(rate);
    const uint32_t frameSamples = rate / 25;
    const InitRecord init = Init(rate, share);
    const ThresholdRecord thresholds = Thresholds();
    double best = 0.0;
    for (int pass = 0; pass < 3; ++pass) {
        void* engine = zvAudio_Init(&init);
        if (engine == nullptr || zvAudio_SetParams(engine, &thresholds) != 0) {
            std::fprintf(stderr, "engine not made at %u Hz\n", rate);
            return 0.0;
        }
        detections = 0;
        OutputRecord out;
        const double start = ThreadCpuSeconds();
        uint32_t index = 0;
        for (size_t at = 0; at + frameSamples <= pcm.size(); at += frameSamples) {
            FrameRecord frame{pcm.data() + at, frameSamples * 2u, 0};
            if (zvAudio_Process(engine, index++, &frame, &out) == 0 && out.resultKind == 2) {
                ++detections;
            }
        }
        const double cpu = ThreadCpuSeconds() - start;
        zvAudio_Release(engine);
        best = std::max(best, static_cast<double>(pcm.size()) / rate / cpu);
    }
    return best;
}

long ResidentBytes()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void Memory(uint32_t rate, const char* share)
{
    const InitRecord init = Init(rate, share);
    const ThresholdRecord thresholds = Thresholds();
    // Warm up once, so one-time costs (the FFT library's own tables, the
    // registry) are not charged to the engines measured.
    void* warm = zvAudio_Init(&init);
    zvAudio_Release(warm);

    const SdkTest::MemoryUse before = SdkTest::CurrentMemoryUse();
    void* one = zvAudio_Init(&init);
    zvAudio_SetParams(one, &thresholds);
    const SdkTest::MemoryUse withOne = SdkTest::CurrentMemoryUse();
    zvAudio_Release(one);

    constexpr int kEngines = 200;
    std::vector<void*> engines;
    const long rssBefore = ResidentBytes();
    for (int i = 0; i < kEngines; ++i) {
        engines.push_back(zvAudio_Init(&init));
        zvAudio_SetParams(engines.back(), &thresholds);
    }
    // Touch every engine once, as a running engine would be.
    std::vector<int16_t> silence(rate / 25, 0);
    FrameRecord frame{silence.data(), static_cast<uint32_t>(silence.size() * 2), 0};
    OutputRecord out;
    for (void* engine : engines) {
        zvAudio_Process(engine, 0, &frame, &out);
    }
    const long rssAfter = ResidentBytes();
    for (void* engine : engines) {
        zvAudio_Release(engine);
    }
    std::printf("memory per engine, %5u Hz mono: %7.1f KiB from libzv_memory (%ld blocks); "
                "resident set growth %7.1f KiB per engine over %d engines\n",
                rate, static_cast<double>(withOne.liveBytes - before.liveBytes) / 1024.0,
                withOne.allocations - before.allocations,
                static_cast<double>(rssAfter - rssBefore) / kEngines / 1024.0, kEngines);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* share = argc > 1 ? argv[1] : ZV_SDK_SHARE_DIR;
    std::printf("%s\n", zvAudio_GetVersionInfo());
    for (uint32_t rate : {16000u, 48000u}) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            Memory(rate, share);
            std::fflush(stdout);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
    }
    for (uint32_t rate : {16000u, 48000u}) {
        int detections = 0;
        const double speed = Speed(rate, share, detections);
        std::printf("speed, %5u Hz mono 16-bit: %8.0f x real time on one core (%d detections in 60 s at 0.5)\n",
                    rate, speed, detections);
    }
    return 0;
}
