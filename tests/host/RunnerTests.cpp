// Whole runs in process: the real plug-in loaded from a folder laid out as
// installed, over the stand-in SDK, which the test loads first from that
// folder and scripts to hear a gunshot in every frame.
#include <dlfcn.h>

#include <map>
#include <regex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Console.h"
#include "HostTestSupport.h"
#include "Runner.h"
#include "StandinSdk.h"

namespace {

using namespace OrqHost;
using ::testing::HasSubstr;

constexpr std::uint64_t kStart = 1700000000000ULL;  // 2023-11-14T22:13:20.000Z

class HostRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.path / "plugins";
        HostTest::MakePluginFolder(folder, ZV_PLUGIN_FILE, ZV_STANDIN_SDK_FILE);
        sdk = dlopen((folder / "ZVAudioSdk" / "libzv_audio_analytics.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(sdk, nullptr) << dlerror();
        const auto controlsOf =
            reinterpret_cast<StandinSdk::ControlsAccessor>(dlsym(sdk, StandinSdk::kControlsSymbol));
        ASSERT_NE(controlsOf, nullptr);
        controls = controlsOf();
        controls->reset();
        controls->setProcessAnswer({0, 1, 2, 3});  // class 3: GunShot, every frame
        out = std::tmpfile();
        err = std::tmpfile();
    }
    void TearDown() override
    {
        std::fclose(out);
        std::fclose(err);
        if (sdk != nullptr)
            dlclose(sdk);
    }

    std::string Input(const std::string& name, int rate = 16000, double seconds = 1.0)
    {
        const auto path = dir.path / name;
        EXPECT_TRUE(HostTest::WriteTone(path, rate, 1, seconds));
        return path.string();
    }

    Options Basic(std::vector<std::string> inputs)
    {
        std::vector<std::string> args = {"--enable", "all", "--no-progress", "--log-level", "2", "--start",
                                         "2023-11-14T22:13:20Z"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        return ParseArguments(args);
    }

    static std::string Read(std::FILE* file)
    {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }

    HostTest::TempDir dir;
    HostTest::fs::path folder;
    void* sdk = nullptr;
    const StandinSdk::Controls* controls = nullptr;
    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
};

TEST_F(HostRun, SeveralInputsInParallelEachWithItsOwnDetectorAndWholeLines)
{
    const std::vector<std::string> inputs = {Input("a.wav"), Input("b.wav"), Input("c.wav")};
    Options options = Basic(inputs);
    options.jobs = 3;
    Console console(out, err);
    Runner runner(options, folder.string(), console);
    ASSERT_EQ(runner.Run(), 0) << Read(err);

    // One event per 100 ms buffer and input, stamped from the start.
    std::map<std::string, std::vector<std::string>> times;
    const std::regex line(R"((\S+)  (\S+)  GunShot  DetectorsGroup=AudioDetector)");
    for (const std::string& text : HostTest::Lines(Read(out))) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        times[m[2]].push_back(m[1]);
    }
    ASSERT_EQ(times.size(), 3u);
    for (const std::string& input : inputs) {
        ASSERT_EQ(times[input].size(), 10u) << input;
        EXPECT_EQ(times[input].front(), "2023-11-14T22:13:20.000Z");
        EXPECT_EQ(times[input].back(), "2023-11-14T22:13:20.900Z");
    }
    EXPECT_EQ(controls->countOf(StandinSdk::CallKind::Init), 3u);
    EXPECT_EQ(controls->liveEngines(), 0) << "every detector was destroyed";
    for (const InputResult& result : runner.Results()) {
        EXPECT_EQ(result.frames, 16000u);
        EXPECT_EQ(result.samples, 10u);
        EXPECT_EQ(result.events.at("GunShot"), 10u);
    }
    const std::string summary = Read(err);
    EXPECT_THAT(summary, HasSubstr("Summary"));
    EXPECT_THAT(summary, HasSubstr("real-time factor"));
    EXPECT_THAT(summary, ::testing::ContainsRegex("all +3\\.0 s +0 +0 +30"));
}

TEST_F(HostRun, ARefusedFormatFailsItsInputOnlyAndNamesTheCheck)
{
    Options options = Basic({Input("cd.wav", 44100), Input("ok.wav")});
    options.jobs = 1;
    options.json = true;
    Console console(out, err);
    Runner runner(options, folder.string(), console);
    EXPECT_EQ(runner.Run(), ExitFormatRefused);

    const std::string log = Read(err);
    EXPECT_THAT(log, HasSubstr("orq8-host: " + options.inputs[0] +
                               ": the plug-in refused its audio (44100 Hz, 1 channel(s), 16 bit): "
                               "Unsupported sample rate: 44100\n"));
    EXPECT_THAT(log, HasSubstr("Samples refused: " + options.inputs[0] + ": 1 x Unsupported sample rate: 44100"));
    const auto lines = HostTest::Lines(Read(out));
    ASSERT_EQ(lines.size(), 10u);
    for (const std::string& text : lines) {
        const auto event = nlohmann::json::parse(text);
        EXPECT_EQ(event["input"], options.inputs[1]);
        EXPECT_EQ(event["event"], "GunShot");
        EXPECT_EQ(event["kind"], "momentary");
    }
}

TEST_F(HostRun, ARefusedSettingStopsTheRunNamingTheKnownKeys)
{
    Options options = Basic({Input("a.wav")});
    options.settings = ParseArguments({"--threshold", "Gunshot=0.5", "x"}).settings;
    Console console(out, err);
    Runner runner(options, folder.string(), console);
    EXPECT_EQ(runner.Run(), ExitSettingRefused);
    const std::string log = Read(err);
    EXPECT_THAT(log, HasSubstr("orq8-host: the detector refused the setting 'confThresholdGunshot' (status 5); "
                               "known keys: enableGlassBreak,"));
    EXPECT_THAT(log, HasSubstr("confThresholdDogBark (numbers)"));
    EXPECT_EQ(Read(out), "");
}

}  // namespace
