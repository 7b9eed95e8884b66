// The installed plug-in folder as a host meets it: `cmake --install` into a
// fresh prefix, the plug-in loaded from there with dlopen (which brings in
// the classification library from ZVAudioSdk/ and libzv_memory beside the
// plug-in), and generated sounds fed through a detector: a siren and a smoke
// alarm become their events, speech becomes none.
//
// This executable links neither the plug-in's code nor any SDK.
#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AudioSampleFake.h"
#include "DetectorAPI.h"
#include "HostEventFakes.h"
#include "HostServices.h"
#include "RecordingLogger.h"
#include "SoundSynth.h"

#ifndef ZV_BUILD_DIR
#error "ZV_BUILD_DIR must name the build tree to install"
#endif

namespace {

namespace fs = std::filesystem;
namespace synth = zv::synth;

constexpr std::uint64_t kNow = 1700000000000ULL;
constexpr const char* kClasses[] = {"GlassBreak", "SmokeAlarm", "GunShot", "Aggression",
                                    "BabyCry",    "Siren",      "DogBark"};

// The host's service directory: its logger (which takes errors only) and
// nothing else.
class HostServices : public ORQ8::IHostServices {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    void* GetService(const char* key) override
    {
        if (key != nullptr && std::strcmp(key, "N4ORQ87ILoggerE") == 0) {
            return static_cast<ORQ8::ILogger*>(&logger);
        }
        return nullptr;
    }
    TestSupport::RecordingLogger logger{3};
};

std::string LoadedPath(void* handle)
{
    link_map* map = nullptr;
    if (handle == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        return "";
    }
    return map->l_name;
}

class InstalledPlugin : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string pattern = (fs::temp_directory_path() / "zv-installed-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        prefix = pattern;
        const std::string command = std::string("'") + ZV_CMAKE_COMMAND + "' --install '" + ZV_BUILD_DIR +
                                    "' --prefix '" + prefix.string() + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        folder = prefix / "plugins";
        plugin = dlopen((folder / "AudioAnalytics_Zelvani.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(plugin, nullptr) << dlerror();
        const auto initialize =
            reinterpret_cast<std::int32_t (*)(ORQ8::IHostServices*, const char*)>(dlsym(plugin, "InitializeModule"));
        const auto getModule = reinterpret_cast<ORQ8::Analytics::IModule* (*)()>(dlsym(plugin, "GetModule"));
        ASSERT_TRUE(initialize != nullptr && getModule != nullptr);
        ASSERT_EQ(initialize(&host, folder.c_str()), 0);
        module = getModule();
        ASSERT_NE(module, nullptr);
    }

    // The plug-in stays loaded: the FFT library it brings in keeps its
    // planner's memory for the life of the process, which unloading it would
    // strand (and the leak check would rightly report).
    static void TearDownTestSuite()
    {
        if (plugin != nullptr) {
            if (const auto finalize = reinterpret_cast<void (*)()>(dlsym(plugin, "FinalizeModule"))) {
                finalize();
            }
        }
        std::error_code ignored;
        fs::remove_all(prefix, ignored);
    }

    // Runs `audio` (mono, 16 kHz) through a new detector with every class
    // enabled at threshold 0.5, in one-second samples, and counts the events
    // by name.
    static std::map<std::string, int> Events(const synth::Buffer& audio)
    {
        TestSupport::FakeHostEventFactory events;
        ORQ8::Analytics::IDetector* detector = module->CreateDetector("AudioAnalytics_Zelvani", &events);
        EXPECT_NE(detector, nullptr);
        if (detector == nullptr) {
            return {};
        }
        auto* receiver =
            static_cast<ORQ8::Analytics::IMediaReceiver*>(detector->GetContract("N4ORQ89Analytics14IMediaReceiverE"));
        auto* adjuster = static_cast<ORQ8::ISyncAdjuster*>(detector->GetContract("N4ORQ813ISyncAdjusterE"));
        for (const char* name : kClasses) {
            EXPECT_EQ(adjuster->SetValue((std::string("enable") + name).c_str(), true), 0);
            EXPECT_EQ(adjuster->SetValue((std::string("confThreshold") + name).c_str(), 0.5), 0);
        }
        std::vector<std::uint8_t> pcm;
        for (float x : audio) {
            const auto v = static_cast<std::int16_t>(std::lround(std::fmax(-1.0f, std::fmin(x, 1.0f)) * 32767.0f));
            pcm.push_back(static_cast<std::uint8_t>(v & 0xFF));
            pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
        constexpr std::size_t kSecond = 32000;
        for (std::size_t at = 0; at < pcm.size(); at += kSecond) {
            const std::size_t end = std::min(pcm.size(), at + kSecond);
            TestSupport::AudioSampleFake sample(kNow + at / 32,
                                                std::vector<std::uint8_t>(pcm.begin() + at, pcm.begin() + end));
            EXPECT_EQ(receiver->Receive(&sample), 0) << "at " << at / 32 << " ms";
        }
        std::map<std::string, int> counts;
        for (const auto* event : events.Events()) {
            ++counts[event->name];
        }
        detector->Destroy();
        return counts;
    }

    // `event` at -20 dBFS active level over faint pink noise.
    static synth::Buffer OverQuietRoom(const synth::Buffer& event, double seconds)
    {
        synth::Rng rng(11);
        synth::Buffer room = synth::background(rng, 16000, synth::BackgroundKind::Pink, seconds);
        const double gain = synth::dbToGain(-50.0) / std::fmax(1e-9, synth::rms(room));
        for (float& x : room) {
            x = static_cast<float>(x * gain);
        }
        return synth::mixAtSnr(event, room, 16000, 0.5, 30.0);
    }

    static inline fs::path prefix;
    static inline fs::path folder;
    static inline void* plugin = nullptr;
    static inline HostServices host;
    static inline ORQ8::Analytics::IModule* module = nullptr;
};

TEST_F(InstalledPlugin, LoadsTheLibraryAndTheMemoryLibraryFromThePluginFolder)
{
    void* sdk = dlopen("libzv_audio_analytics.so", RTLD_NOW | RTLD_NOLOAD);
    void* memory = dlopen("libzv_memory.so", RTLD_NOW | RTLD_NOLOAD);
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(LoadedPath(sdk), folder / "ZVAudioSdk" / "libzv_audio_analytics.so", error));
    EXPECT_TRUE(fs::equivalent(LoadedPath(memory), folder / "libzv_memory.so", error));
    EXPECT_TRUE(fs::is_regular_file(folder / "ZVAudioSdk" / "share" / "model.json"));
    dlclose(sdk);
    dlclose(memory);
}

TEST_F(InstalledPlugin, AGeneratedSirenBecomesSirenEvents)
{
    synth::Rng rng(3);
    const auto counts = Events(OverQuietRoom(synth::siren(rng, 16000, synth::SirenKind::Wail, 6.0), 8.0));
    EXPECT_GE(counts.count("Siren") ? counts.at("Siren") : 0, 3);
    EXPECT_EQ(counts.size(), 1u) << "other events than Siren";
}

TEST_F(InstalledPlugin, AGeneratedSmokeAlarmBecomesSmokeAlarmEvents)
{
    synth::Rng rng(4);
    const auto counts = Events(OverQuietRoom(synth::smokeAlarm(rng, 16000, synth::SmokeAlarmKind::Piezo, 3), 14.0));
    EXPECT_GE(counts.count("SmokeAlarm") ? counts.at("SmokeAlarm") : 0, 1);
    EXPECT_EQ(counts.size(), 1u) << "other events than SmokeAlarm";
}

TEST_F(InstalledPlugin, SpeechBecomesNoEvent)
{
    synth::Rng rng(5);
    const synth::Buffer speech = synth::formantSpeech(rng, 16000, synth::Talker::Man, 10.0);
    EXPECT_THAT(Events(OverQuietRoom(speech, 11.0)), ::testing::IsEmpty());
}

}  // namespace
