// The module object: its version line, its faces and its detector factory.
#include <memory>
#include <regex>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AudioSampleFake.h"
#include "FakeHostServices.h"
#include "HostEventFakes.h"
#include "Module.h"
#include "RecordingLogger.h"
#include "StandinSdk.h"

namespace {

using TestSupport::AudioSampleFake;
using TestSupport::FakeHostEventFactory;
using TestSupport::FakeHostServices;
using TestSupport::LogRecord;
using TestSupport::RecordingLogger;
using ZVAudioAnalytics::Module;
using ::testing::IsEmpty;

constexpr std::uint64_t kNow = 1700000000000ULL;

// The version line's form: the build tag ends with the build number, the
// UTC build time and the 12-hex-digit source revision.
const std::regex kVersionLine(
    "Module's file version: [0-9A-Za-z.]+(-[0-9A-Za-z.]+)*-171-"
    "[0-9]{4}(0[1-9]|1[0-2])(0[1-9]|[12][0-9]|3[01])T([01][0-9]|2[0-3])[0-5][0-9][0-5][0-9]-[0-9a-f]{12}"
    "; product version: 3\\.13\\.1\\.171; company name: ORQ");

struct DetectorDestroyer {
    void operator()(ORQ8::Analytics::IDetector* detector) const { detector->Destroy(); }
};
using DetectorHolder = std::unique_ptr<ORQ8::Analytics::IDetector, DetectorDestroyer>;

std::unique_ptr<Module> MakeModule(RecordingLogger* logger, const std::string& path = "/opt/host/plugins")
{
    FakeHostServices host(logger);
    return std::make_unique<Module>(&host, path);
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override { StandinSdk::Reset(); }
    void TearDown() override { StandinSdk::Reset(); }

    RecordingLogger logger{0};
    FakeHostEventFactory hostFactory;
};

TEST_F(ModuleTest, WritesTheVersionLineAtLevelsZeroAndOne)
{
    for (std::uint32_t level : {0u, 1u}) {
        RecordingLogger levelLogger(level);
        MakeModule(&levelLogger);
        const auto records = levelLogger.Records();
        ASSERT_EQ(records.size(), 1u) << "level " << level;
        const LogRecord& r = records[0];
        EXPECT_TRUE(r.located);
        EXPECT_EQ(r.level, 1u);
        EXPECT_EQ(r.file, "OrqFramework/include/BaseModule");
        EXPECT_EQ(r.line, 29);
        EXPECT_EQ(r.function, "BaseModule");
        EXPECT_TRUE(std::regex_match(r.message, kVersionLine)) << r.message;
    }
}

TEST_F(ModuleTest, IsBuiltSilentlyAboveLevelOneAndWithoutLogger)
{
    for (std::uint32_t level : {2u, 3u, 4u}) {
        RecordingLogger levelLogger(level);
        MakeModule(&levelLogger);
        EXPECT_THAT(levelLogger.Records(), IsEmpty()) << "level " << level;
    }
    auto module = MakeModule(nullptr);
    EXPECT_EQ(module->Logger(), nullptr);
    // Without a logger a refusal has nobody to tell, and nothing breaks.
    EXPECT_EQ(module->CreateDetector("AudioDetector", &hostFactory), nullptr);
}

TEST_F(ModuleTest, KeepsTheLoggerTheHostGaveAndItsOwnPathCopy)
{
    std::string path = "/opt/host/plugins";
    FakeHostServices host(&logger);
    Module module(&host, path);
    path.assign("changed");
    EXPECT_EQ(module.Logger(), &logger);
    EXPECT_EQ(module.ModulePath(), "/opt/host/plugins");
    EXPECT_EQ(host.serviceQueries, 1);
}

TEST_F(ModuleTest, AnswersTheModuleKeysOnly)
{
    auto module = MakeModule(&logger);
    ORQ8::Analytics::IModule* asModule = module.get();
    EXPECT_EQ(module->GetContract("N4ORQ89IContractE"), static_cast<void*>(asModule));
    EXPECT_EQ(module->GetContract("N4ORQ86PLUGIN13IPluginModuleE"), static_cast<void*>(asModule));
    EXPECT_EQ(module->GetContract("N4ORQ89Analytics7IModuleE"), static_cast<void*>(asModule));
    for (const char* other : {"N4ORQ812IDestroyableE", "N4ORQ89Analytics9IDetectorE", "N4ORQ87ILoggerE",
                              "N4ORQ89Analytics7IModuleE ", ""})
        EXPECT_EQ(module->GetContract(other), nullptr) << "'" << other << "'";
    EXPECT_EQ(module->DoGetContract(nullptr), nullptr);
}

TEST_F(ModuleTest, RefusesEveryNameButItsOwnWithALine)
{
    auto module = MakeModule(&logger);
    logger.Clear();
    const char* refused[] = {"AudioDetector", "audioanalytics_zelvani", "AUDIOANALYTICS_ZELVANI",
                             "AudioAnalytics_Zelvani ", " AudioAnalytics_Zelvani", "AudioAnalytics_Zelvani.so",
                             "AudioAnalytics", ""};
    for (const char* name : refused) {
        logger.Clear();
        EXPECT_EQ(module->CreateDetector(name, &hostFactory), nullptr) << "'" << name << "'";
        const auto records = logger.Records();
        ASSERT_EQ(records.size(), 1u) << "'" << name << "'";
        EXPECT_EQ(records[0].level, 3u);
        EXPECT_EQ(records[0].file, "Detectors/ZelvaniAudioAnalytics/src/Module");
        EXPECT_EQ(records[0].line, 26);
        EXPECT_EQ(records[0].function, "CreateDetector");
        EXPECT_EQ(records[0].message, std::string("Detector '") + name + "' is not supported");
    }
}

TEST_F(ModuleTest, RefusesANullNameAsAnEmptyOne)
{
    auto module = MakeModule(&logger);
    logger.Clear();
    EXPECT_EQ(module->CreateDetector(nullptr, &hostFactory), nullptr);
    ASSERT_EQ(logger.Records().size(), 1u);
    EXPECT_EQ(logger.Records()[0].message, "Detector '' is not supported");
}

TEST_F(ModuleTest, RefusesSilentlyAboveLevelThree)
{
    RecordingLogger quiet(4);
    auto module = MakeModule(&quiet);
    EXPECT_EQ(module->CreateDetector("AudioDetector", &hostFactory), nullptr);
    EXPECT_THAT(quiet.Records(), IsEmpty());
    EXPECT_GT(quiet.levelQueries.load(), 0) << "the level decides, not a missing logger";
}

TEST_F(ModuleTest, MakesADistinctWorkingDetectorPerCall)
{
    auto module = MakeModule(&logger, "/opt/host/plugins");
    logger.Clear();

    DetectorHolder first(module->CreateDetector("AudioAnalytics_Zelvani", &hostFactory));
    DetectorHolder second(module->CreateDetector("AudioAnalytics_Zelvani", &hostFactory));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
    EXPECT_THAT(logger.Records(), IsEmpty()) << "an accepted name writes nothing";

    // Each detector is whole: its own faces, and the module's path leads
    // its engine to the SDK data folder.
    auto* firstReceiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(first.get());
    auto* secondReceiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(second.get());
    ASSERT_NE(firstReceiver, nullptr);
    ASSERT_NE(secondReceiver, nullptr);
    EXPECT_NE(firstReceiver, secondReceiver);
    EXPECT_EQ(ORQ8::QueryContract<ORQ8::Analytics::IDetector>(first.get()), first.get());

    AudioSampleFake sample(kNow, std::vector<std::uint8_t>(1280));
    EXPECT_EQ(firstReceiver->Receive(&sample), 0);
    EXPECT_EQ(sample.destroyCount, 1);
    const auto inits = StandinSdk::CallsOf(StandinSdk::CallKind::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].sdkDataPath, "/opt/host/plugins/ZVAudioSdk/share");
}

TEST_F(ModuleTest, DetectorsOutliveTheModule)
{
    auto module = MakeModule(&logger, "/plugins");
    DetectorHolder detector(module->CreateDetector("AudioAnalytics_Zelvani", &hostFactory));
    ASSERT_NE(detector, nullptr);
    module.reset();

    auto* adjuster = ORQ8::QueryContract<ORQ8::ISyncAdjuster>(detector.get());
    ASSERT_NE(adjuster, nullptr);
    EXPECT_EQ(adjuster->SetValue("enableGunShot", true), 0);
    StandinSdk::SetProcessAnswer({0, 1, 2, 3});
    AudioSampleFake sample(kNow, std::vector<std::uint8_t>(1280));
    EXPECT_EQ(ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(detector.get())->Receive(&sample), 0);
    ASSERT_EQ(hostFactory.EventCount(), 1u);
    EXPECT_EQ(hostFactory.Event(0).name, "GunShot");
    EXPECT_EQ(StandinSdk::CallsOf(StandinSdk::CallKind::Init).at(0).sdkDataPath, "/plugins/ZVAudioSdk/share");
}

}  // namespace
