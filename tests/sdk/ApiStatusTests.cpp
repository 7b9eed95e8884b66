// Every refusal of the five calls, through the calls themselves: bad records,
// bad formats, bad data folders, dead or foreign handles, bad frames and bad
// thresholds each get their status (or a null handle), never a crash.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "SdkTestSupport.h"

namespace {

using namespace SdkTest;

class ShippedData : public ::testing::Test {
protected:
    std::string share = ZV_SDK_SHARE_DIR;
};

TEST_F(ShippedData, InitAcceptsEverySupportedRateAndOneToEightChannels)
{
    for (uint32_t rate : {8000u, 16000u, 32000u, 48000u}) {
        for (uint32_t channels : {1u, 2u, 8u}) {
            Engine engine(MakeInit(rate, channels, share));
            EXPECT_NE(engine.Handle(), nullptr) << rate << " Hz, " << channels << " channels";
        }
    }
}

TEST_F(ShippedData, InitRefusesAnUnusableRecord)
{
    EXPECT_EQ(zvAudio_Init(nullptr), nullptr);
    InitRecord noPath = MakeInit(16000, 1, share);
    noPath.sdkDataPath = nullptr;
    EXPECT_EQ(zvAudio_Init(&noPath), nullptr);
    for (uint32_t rate : {0u, 11025u, 22050u, 44100u, 96000u}) {
        EXPECT_EQ(Engine(MakeInit(rate, 1, share)).Handle(), nullptr) << rate;
    }
    for (uint32_t channels : {0u, 9u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Engine(MakeInit(16000, channels, share)).Handle(), nullptr) << channels;
    }
    for (int32_t ms : {0, 10, 20, 39, 41, -40}) {
        EXPECT_EQ(Engine(MakeInit(16000, 1, share, ms)).Handle(), nullptr) << ms;
    }
}

TEST(DataFolderRefusal, MissingFolderOrFileMalformedOrWrongVersion)
{
    EXPECT_EQ(Engine(MakeInit(16000, 1, "/nonexistent/zv/share")).Handle(), nullptr);
    DataFolder empty("empty");
    EXPECT_EQ(Engine(MakeInit(16000, 1, empty.Path())).Handle(), nullptr);

    nlohmann::json model = ShippedModel();
    const std::string good = model.dump();
    nlohmann::json noVersion = model;
    noVersion.erase("version");
    const std::string refused[] = {"", "{", good.substr(0, good.size() / 2), "[1, 2]", noVersion.dump()};
    for (const std::string& text : refused) {
        DataFolder folder("malformed", text);
        EXPECT_EQ(Engine(MakeInit(16000, 1, folder.Path())).Handle(), nullptr) << text.substr(0, 80);
    }

    for (const nlohmann::json& version : {nlohmann::json(0), nlohmann::json(2), nlohmann::json("1"), nlohmann::json(1.5)}) {
        nlohmann::json other = model;
        other["version"] = version;
        DataFolder folder("version", other);
        EXPECT_EQ(Engine(MakeInit(16000, 1, folder.Path())).Handle(), nullptr) << version;
    }

    nlohmann::json noDetectors = model;
    noDetectors.erase("detectors");
    nlohmann::json badRetrigger = model;
    badRetrigger["decision"]["retriggerMs"] = -5;
    for (const nlohmann::json& bad : {noDetectors, badRetrigger}) {
        DataFolder folder("fields", bad);
        EXPECT_EQ(Engine(MakeInit(16000, 1, folder.Path())).Handle(), nullptr) << bad.dump().substr(0, 80);
    }

    DataFolder good_folder("good", model);
    EXPECT_NE(Engine(MakeInit(16000, 1, good_folder.Path())).Handle(), nullptr);
}

TEST(VersionInfo, NamesTheLibraryAndTheDataFileVersion)
{
    const char* text = zvAudio_GetVersionInfo();
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::string(text).find("libzv_audio_analytics"), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("model.json version " + ShippedModel()["version"].dump()), std::string::npos)
        << text;
}

TEST_F(ShippedData, NullStaleAndForeignHandlesAreRefusedWithoutBeingTouched)
{
    ThresholdRecord thresholds = AllThresholds(0.5f);
    std::vector<uint8_t> frame(1280);
    FrameRecord record{frame.data(), 1280, 0};
    OutputRecord output;

    EXPECT_EQ(zvAudio_SetParams(nullptr, &thresholds), ZV_AUDIO_E_NULL_HANDLE);
    EXPECT_EQ(zvAudio_Process(nullptr, 0, &record, &output), ZV_AUDIO_E_NULL_HANDLE);
    EXPECT_EQ(zvAudio_Release(nullptr), ZV_AUDIO_E_NULL_HANDLE);

    // A foreign pointer: if it were dereferenced as a handle, the sanitizer
    // builds would see it.
    int foreign = 0;
    void* handles[] = {&foreign, reinterpret_cast<void*>(uintptr_t{1}), reinterpret_cast<void*>(~uintptr_t{0})};
    for (void* handle : handles) {
        EXPECT_EQ(zvAudio_SetParams(handle, &thresholds), ZV_AUDIO_E_UNKNOWN_HANDLE);
        EXPECT_EQ(zvAudio_Process(handle, 0, &record, &output), ZV_AUDIO_E_UNKNOWN_HANDLE);
        EXPECT_EQ(zvAudio_Release(handle), ZV_AUDIO_E_UNKNOWN_HANDLE);
    }

    const InitRecord init = MakeInit(16000, 1, share);
    void* stale = zvAudio_Init(&init);
    ASSERT_NE(stale, nullptr);
    EXPECT_EQ(zvAudio_Release(stale), ZV_AUDIO_OK);
    // A new engine made after the release is not reached through the old handle.
    Engine next(init);
    ASSERT_NE(next.Handle(), nullptr);
    EXPECT_NE(next.Handle(), stale);
    EXPECT_EQ(zvAudio_SetParams(stale, &thresholds), ZV_AUDIO_E_UNKNOWN_HANDLE);
    EXPECT_EQ(zvAudio_Process(stale, 0, &record, &output), ZV_AUDIO_E_UNKNOWN_HANDLE);
    EXPECT_EQ(zvAudio_Release(stale), ZV_AUDIO_E_UNKNOWN_HANDLE);
}

TEST_F(ShippedData, SetParamsRefusesANullRecordAndThresholdsOutsideZeroToOne)
{
    Engine engine(MakeInit(16000, 1, share));
    ASSERT_NE(engine.Handle(), nullptr);
    EXPECT_EQ(zvAudio_SetParams(engine.Handle(), nullptr), ZV_AUDIO_E_NULL_RECORD);

    const float bad[] = {-0.01f, 1.01f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    for (int index = 0; index < ZV_AUDIO_CLASS_COUNT; ++index) {
        for (float value : bad) {
            ThresholdRecord record = AllThresholds(0.5f);
            record.thresholds[index] = value;
            EXPECT_EQ(engine.SetParams(record), ZV_AUDIO_E_THRESHOLD) << "class " << index + 1 << ": " << value;
        }
    }
    // Refused thresholds leave the engine without parameters...
    std::vector<uint8_t> frame(1280);
    ZvAudioOutputDiagnostics out;
    EXPECT_EQ(engine.Process(frame.data(), 1280, out), ZV_AUDIO_E_NO_PARAMS);
    // ...and the bounds themselves are accepted; SetParams may come again.
    EXPECT_EQ(engine.SetParams(AllThresholds(0.0f)), ZV_AUDIO_OK);
    EXPECT_EQ(engine.SetParams(AllThresholds(1.0f)), ZV_AUDIO_OK);
    EXPECT_EQ(engine.Process(frame.data(), 1280, out), ZV_AUDIO_OK);
}

TEST_F(ShippedData, ProcessRefusesMissingRecordsDataAndFramesOfNoWholeWidth)
{
    Engine engine(MakeInit(16000, 2, share));
    ASSERT_NE(engine.Handle(), nullptr);
    std::vector<uint8_t> bytes(640 * 2 * 5);
    FrameRecord frame{bytes.data(), 640 * 2 * 2, 0};
    OutputRecord output;

    EXPECT_EQ(zvAudio_Process(engine.Handle(), 0, &frame, &output), ZV_AUDIO_E_NO_PARAMS);
    ASSERT_EQ(engine.SetParams(AllThresholds(0.9f)), ZV_AUDIO_OK);
    EXPECT_EQ(zvAudio_Process(engine.Handle(), 0, nullptr, &output), ZV_AUDIO_E_NULL_RECORD);
    EXPECT_EQ(zvAudio_Process(engine.Handle(), 0, &frame, nullptr), ZV_AUDIO_E_NULL_RECORD);
    FrameRecord noData{nullptr, 640 * 2 * 2, 0};
    EXPECT_EQ(zvAudio_Process(engine.Handle(), 0, &noData, &output), ZV_AUDIO_E_NULL_DATA);

    // 640 samples per channel of 1 to 4 bytes fit; nothing else does.
    for (uint32_t size : {0u, 1u, 640u, 1279u, 1281u, 640u * 2 * 5, 640u * 2 * 2 + 2}) {
        frame.size = size;
        EXPECT_EQ(zvAudio_Process(engine.Handle(), 0, &frame, &output), ZV_AUDIO_E_FRAME_SIZE) << size;
    }
    for (uint32_t width = 1; width <= 4; ++width) {
        frame.size = 640 * 2 * width;
        EXPECT_EQ(zvAudio_Process(engine.Handle(), 0, &frame, &output), ZV_AUDIO_OK) << width;
    }
}

}  // namespace
