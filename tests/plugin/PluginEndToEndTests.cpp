// The built plug-in as the host meets it: copied into a folder laid out as
// the host installs it (the SDK in its ZVAudioSdk/ subfolder), loaded with
// dlopen and driven only through the three exported functions and the
// interfaces.
//
// This executable links neither the plug-in's code nor the stand-in SDK, so
// the SDK the plug-in uses is the copy the loader found through the
// plug-in's run path. The test scripts that copy through the control table
// it exports (StandinSdk::Controls).
#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AudioSampleFake.h"
#include "DetectorAPI.h"
#include "HostEventFakes.h"
#include "HostServices.h"
#include "RecordingLogger.h"
#include "StandinSdk.h"

#ifndef ZV_PLUGIN_FILE
#error "ZV_PLUGIN_FILE must name the built plug-in"
#endif
#ifndef ZV_STANDIN_SDK_FILE
#error "ZV_STANDIN_SDK_FILE must name the built stand-in SDK"
#endif

namespace {

namespace fs = std::filesystem;
using StandinSdk::CallKind;
using TestSupport::AudioSampleFake;
using TestSupport::FakeHostEventFactory;
using TestSupport::LogRecord;
using TestSupport::RecordingLogger;
using ::testing::ElementsAre;

constexpr const char* kSdkName = "libzv_audio_analytics.so";
constexpr std::uint64_t kNow = 1700000000000ULL;

using InitializeModuleFn = std::int32_t (*)(ORQ8::IHostServices*, const char*);
using GetModuleFn = ORQ8::Analytics::IModule* (*)();
using FinalizeModuleFn = void (*)();

// The host's service directory: it offers its logger and nothing else.
class HostServices : public ORQ8::IHostServices {
public:
    explicit HostServices(ORQ8::ILogger* logger_) : logger(logger_) {}
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    void* GetService(const char* key) override
    {
        if (key != nullptr && std::strcmp(key, "N4ORQ87ILoggerE") == 0)
            return static_cast<ORQ8::ILogger*>(logger);
        return nullptr;
    }
    ORQ8::ILogger* logger;
};

// Where the loader actually took a loaded library from.
std::string LoadedPath(void* handle)
{
    link_map* map = nullptr;
    if (handle == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
        return "";
    return map->l_name;
}

std::string DlError()
{
    const char* error = dlerror();
    return error != nullptr ? error : "";
}

template <class Fn>
Fn Symbol(void* handle, const char* name)
{
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

class PluginEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(dlopen(kSdkName, RTLD_NOW | RTLD_NOLOAD), nullptr)
            << "the test process must not have an SDK of its own loaded";

        std::string pattern = (fs::temp_directory_path() / "zv-plugin-host-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        fs::create_directories(folder / "ZVAudioSdk" / "share");
        fs::copy_file(ZV_PLUGIN_FILE, folder / "AudioAnalytics_Zelvani.so");
        fs::copy_file(ZV_STANDIN_SDK_FILE, folder / "ZVAudioSdk" / kSdkName);
        ASSERT_NO_FATAL_FAILURE(Load());
    }

    void TearDown() override
    {
        Unload();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void Load()
    {
        plugin = dlopen((folder / "AudioAnalytics_Zelvani.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(plugin, nullptr) << DlError();
        sdk = dlopen(kSdkName, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(sdk, nullptr) << "loading the plug-in did not load its SDK";
        initializeModule = Symbol<InitializeModuleFn>(plugin, "InitializeModule");
        getModule = Symbol<GetModuleFn>(plugin, "GetModule");
        finalizeModule = Symbol<FinalizeModuleFn>(plugin, "FinalizeModule");
        ASSERT_TRUE(initializeModule && getModule && finalizeModule) << DlError();
        const auto controlsOf = Symbol<StandinSdk::ControlsAccessor>(sdk, StandinSdk::kControlsSymbol);
        ASSERT_NE(controlsOf, nullptr) << DlError();
        controls = controlsOf();
        controls->reset();
    }

    // Closes the plug-in (and the reference this test took on its SDK).
    // Returns whether the plug-in really left the process.
    bool Unload()
    {
        if (sdk != nullptr)
            dlclose(sdk);
        sdk = nullptr;
        controls = nullptr;
        if (plugin == nullptr)
            return false;
        dlclose(plugin);
        plugin = nullptr;
        return dlopen((folder / "AudioAnalytics_Zelvani.so").c_str(), RTLD_NOW | RTLD_NOLOAD) == nullptr;
    }

    std::vector<std::string> Messages(std::uint32_t level) const
    {
        std::vector<std::string> out;
        for (const LogRecord& r : logger.Records())
            if (r.level == level)
                out.push_back(r.message);
        return out;
    }

    fs::path folder;
    void* plugin = nullptr;
    void* sdk = nullptr;
    const StandinSdk::Controls* controls = nullptr;
    InitializeModuleFn initializeModule = nullptr;
    GetModuleFn getModule = nullptr;
    FinalizeModuleFn finalizeModule = nullptr;
    RecordingLogger logger{0};
    HostServices host{&logger};
    FakeHostEventFactory hostFactory;
};

TEST_F(PluginEndToEnd, LoadsTheSdkFromItsOwnFolder)
{
    std::error_code error;
    EXPECT_TRUE(fs::equivalent(LoadedPath(sdk), folder / "ZVAudioSdk" / kSdkName, error))
        << "loaded from " << LoadedPath(sdk);
}

TEST_F(PluginEndToEnd, AHostSessionFromInitialisationToFinalisation)
{
    // Initialisation, twice.
    ASSERT_EQ(initializeModule(&host, folder.c_str()), 0);
    EXPECT_EQ(initializeModule(&host, "/elsewhere"), 9);
    ORQ8::Analytics::IModule* module = getModule();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->GetContract("N4ORQ89IContractE"), static_cast<void*>(module));
    EXPECT_EQ(module->GetContract("N4ORQ86PLUGIN13IPluginModuleE"), static_cast<void*>(module));
    EXPECT_EQ(module->GetContract("N4ORQ89Analytics7IModuleE"), static_cast<void*>(module));
    EXPECT_EQ(module->GetContract("N4ORQ89Analytics9IDetectorE"), nullptr);
    const auto info = Messages(1);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_THAT(info[0], ::testing::StartsWith("Module's file version: "));
    EXPECT_THAT(Messages(0), ElementsAre("module was created", "module already was initialized"));

    // Detectors by name.
    logger.Clear();
    EXPECT_EQ(module->CreateDetector("AudioDetector", &hostFactory), nullptr);
    EXPECT_EQ(module->CreateDetector(nullptr, &hostFactory), nullptr);
    EXPECT_THAT(Messages(3), ElementsAre("Detector 'AudioDetector' is not supported", "Detector '' is not supported"));
    ORQ8::Analytics::IDetector* detector = module->CreateDetector("AudioAnalytics_Zelvani", &hostFactory);
    ORQ8::Analytics::IDetector* other = module->CreateDetector("AudioAnalytics_Zelvani", &hostFactory);
    ASSERT_NE(detector, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(detector, other);

    // Every face by key.
    for (const char* key : {"N4ORQ89IContractE", "N4ORQ812IDestroyableE", "N4ORQ89Analytics9IDetectorE"})
        EXPECT_EQ(detector->GetContract(key), static_cast<void*>(detector)) << key;
    auto* receiver = static_cast<ORQ8::Analytics::IMediaReceiver*>(
        detector->GetContract("N4ORQ89Analytics14IMediaReceiverE"));
    auto* adjuster = static_cast<ORQ8::ISyncAdjuster*>(detector->GetContract("N4ORQ813ISyncAdjusterE"));
    ASSERT_NE(receiver, nullptr);
    ASSERT_NE(adjuster, nullptr);
    EXPECT_EQ(receiver->GetContract("N4ORQ813ISyncAdjusterE"), static_cast<void*>(adjuster));
    EXPECT_EQ(adjuster->GetContract("N4ORQ89Analytics9IDetectorE"), static_cast<void*>(detector));
    EXPECT_EQ(detector->GetContract("N4ORQ89Analytics7IModuleE"), nullptr);
    EXPECT_EQ(detector->GetContract(nullptr), nullptr);

    // Settings, then audio. Frames 0 and 1 hear a gunshot and a siren, frame
    // 2 a dog that nobody asked for.
    EXPECT_EQ(adjuster->SetValue("enableGunShot", true), 0);
    EXPECT_EQ(adjuster->SetValue("enableSiren", true), 0);
    EXPECT_EQ(adjuster->SetValue("confThresholdGunShot", 0.75), 0);
    EXPECT_EQ(adjuster->SetValue("enableGunshot", true), 5);
    controls->setProcessScript([](int, std::uint32_t frameIndex, const std::uint8_t*, std::uint32_t) {
        const std::int32_t classes[] = {3, 6, 7};
        return frameIndex < 3 ? StandinSdk::ProcessAnswer{0, 1, 2, classes[frameIndex]} : StandinSdk::ProcessAnswer{};
    });

    AudioSampleFake first(kNow, TestSupport::CountingBytes(2560));
    AudioSampleFake second(kNow + 80, TestSupport::CountingBytes(2560, 7));
    EXPECT_EQ(receiver->Receive(&first), 0);
    EXPECT_EQ(receiver->Receive(&second), 0);
    EXPECT_EQ(first.destroyCount, 1);
    EXPECT_EQ(second.destroyCount, 1);

    // What reached the SDK copy in the plug-in's folder.
    const auto inits = controls->callsOf(CallKind::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].sdkDataPath, (folder / "ZVAudioSdk" / "share").string());
    EXPECT_EQ(inits[0].sampleRate, 16000u);
    EXPECT_EQ(inits[0].numChannels, 1u);
    EXPECT_EQ(inits[0].frameLengthMs, 40);
    const auto params = controls->callsOf(CallKind::SetParams);
    ASSERT_EQ(params.size(), 1u);
    EXPECT_FLOAT_EQ(params[0].thresholds.thresholds[2], 0.75f);
    const auto frames = controls->callsOf(CallKind::Process);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].frame, std::vector<std::uint8_t>(first.data.begin(), first.data.begin() + 1280));
    EXPECT_EQ(frames[3].frame, std::vector<std::uint8_t>(second.data.begin() + 1280, second.data.end()));

    // What reached the host: the first sample's two enabled classes.
    const auto events = hostFactory.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]->name, "GunShot");
    EXPECT_EQ(events[1]->name, "Siren");
    for (const auto* event : events) {
        EXPECT_EQ(event->timestamp, kNow);
        EXPECT_EQ(event->kind, 3);
        EXPECT_EQ(event->sender, detector);
        EXPECT_EQ(event->Text("DetectorsGroup"), "AudioDetector");
        EXPECT_EQ(event->commits, 1);
        EXPECT_EQ(event->cancels, 0);
    }

    // The end: detectors first, then the module, twice.
    detector->Destroy();
    other->Destroy();
    EXPECT_EQ(controls->liveEngines(), 0);
    EXPECT_EQ(controls->countOf(CallKind::Release), 1u);
    finalizeModule();
    EXPECT_EQ(getModule(), nullptr);
    finalizeModule();
    EXPECT_EQ(getModule(), nullptr);
}

// A module the host never finalised is destroyed when the library goes; the
// sanitizer build's leak check sees a module that was not. A reload starts
// with an empty holder.
TEST_F(PluginEndToEnd, UnloadingEndsAModuleStillHeldAndAReloadStartsAfresh)
{
    ASSERT_EQ(initializeModule(&host, folder.c_str()), 0);
    ORQ8::Analytics::IDetector* detector = getModule()->CreateDetector("AudioAnalytics_Zelvani", &hostFactory);
    ASSERT_NE(detector, nullptr);
    detector->Destroy();

    ASSERT_TRUE(Unload()) << "the plug-in stayed loaded after dlclose";
    ASSERT_NO_FATAL_FAILURE(Load());
    EXPECT_EQ(getModule(), nullptr);
    EXPECT_EQ(initializeModule(&host, folder.c_str()), 0);
    finalizeModule();
}

}  // namespace
