// The detector's settings face: enable switches, confidence thresholds,
// their status codes and log lines, and how thresholds reach the SDK.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DetectorHarness.h"

namespace DetectorTesting {
namespace {

using StandinSdk::CallKind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct ClassKeys {
    const char* thresholdKey;
    const char* enableKey;
    const char* name;
};

// Class-code order: row i is class code i + 1.
const ClassKeys kClasses[] = {
    {"confThresholdGlassBreak", "enableGlassBreak", "GlassBreak"},
    {"confThresholdSmokeAlarm", "enableSmokeAlarm", "SmokeAlarm"},
    {"confThresholdGunShot", "enableGunShot", "GunShot"},
    {"confThresholdAggression", "enableAggression", "Aggression"},
    {"confThresholdBabyCry", "enableBabyCry", "BabyCry"},
    {"confThresholdSiren", "enableSiren", "Siren"},
    {"confThresholdDogBark", "enableDogBark", "DogBark"},
};

class DetectorSettingsTest : public DetectorTest {
protected:
    std::vector<std::string> AdjusterLines(std::uint32_t level, int line, const char* function) const
    {
        std::vector<std::string> messages;
        for (const LogRecord& r : logger.Records()) {
            EXPECT_EQ(r.file, kAdjusterFile);
            EXPECT_EQ(r.level, level);
            EXPECT_EQ(r.line, line);
            EXPECT_EQ(r.function, function);
            messages.push_back(r.message);
        }
        return messages;
    }

    // The thresholds the latest engine was given.
    static ThresholdRecord LastThresholds()
    {
        const auto params = StandinSdk::CallsOf(CallKind::SetParams);
        EXPECT_FALSE(params.empty());
        return params.empty() ? ThresholdRecord{} : params.back().thresholds;
    }

    // A sample whose seven frames detect each class once; the names raised.
    std::vector<std::string> RaisedForAllClasses(std::uint64_t timestamp)
    {
        StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
            return Detects(static_cast<std::int32_t>(index % 7) + 1);
        });
        const std::size_t before = Raised().size();
        EXPECT_EQ(Feed(timestamp, 7 * 1280), 0);
        const std::vector<std::string> all = Names(Raised());
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }
};

TEST_F(DetectorSettingsTest, EachEnableKeySwitchesItsOwnClass)
{
    for (const ClassKeys& c : kClasses) {
        logger.Clear();
        ASSERT_EQ(Settings().SetValue(c.enableKey, true), 0) << c.enableKey;
        EXPECT_THAT(AdjusterLines(1, 73, "SetValueEnableEvent"),
                    ElementsAre(std::string("Event type '") + c.name + "' enabled"));
    }
    // In ascending byte order, as events are reported.
    EXPECT_THAT(RaisedForAllClasses(kNow), ElementsAre("Aggression", "BabyCry", "DogBark", "GlassBreak", "GunShot",
                                                       "Siren", "SmokeAlarm"));

    std::uint64_t t = kNow;
    for (const ClassKeys& c : kClasses) {
        logger.Clear();
        ASSERT_EQ(Settings().SetValue(c.enableKey, false), 0) << c.enableKey;
        EXPECT_THAT(AdjusterLines(1, 82, "SetValueEnableEvent"),
                    ElementsAre(std::string("Event type '") + c.name + "' disabled"));
        logger.Clear();
        const auto raised = RaisedForAllClasses(t += 1000);
        EXPECT_EQ(std::count(raised.begin(), raised.end(), c.name), 0) << c.enableKey;
    }
    EXPECT_THAT(RaisedForAllClasses(t + 1000), IsEmpty());
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Init), 1u) << "switches need no new engine";
}

TEST_F(DetectorSettingsTest, EnablingTwiceKeepsTheClassOnceAndDisablingAnAbsentOneIsAccepted)
{
    EXPECT_EQ(Settings().SetValue("enableSiren", true), 0);
    EXPECT_EQ(Settings().SetValue("enableSiren", true), 0);
    EXPECT_EQ(Settings().SetValue("enableSiren", false), 0);
    EXPECT_EQ(Settings().SetValue("enableBabyCry", false), 0);
    EXPECT_EQ(logger.Records().size(), 4u);
    EXPECT_EQ(logger.Records()[3].message, "Event type 'BabyCry' disabled");
    // One disable removed the class completely.
    EXPECT_THAT(RaisedForAllClasses(kNow), IsEmpty());
}

TEST_F(DetectorSettingsTest, EachThresholdKeyFillsItsOwnSlotUnchecked)
{
    const double values[] = {0.125, 1.5, -1.0, std::numeric_limits<double>::quiet_NaN(), 0.1, 0.625, 0.75};
    for (std::size_t i = 0; i < std::size(kClasses); ++i)
        ASSERT_EQ(Settings().SetValue(kClasses[i].thresholdKey, values[i]), 0) << kClasses[i].thresholdKey;
    ASSERT_EQ(Feed(kNow, 1280), 0);
    const ThresholdRecord sent = LastThresholds();
    for (std::size_t i = 0; i < std::size(kClasses); ++i) {
        // Rounded to the nearest float, with no range check.
        const float expected = static_cast<float>(values[i]);
        if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(sent.thresholds[i])) << kClasses[i].thresholdKey;
        else
            EXPECT_EQ(FloatBits(sent.thresholds[i]), FloatBits(expected)) << kClasses[i].thresholdKey;
    }
}

TEST_F(DetectorSettingsTest, ThresholdLineShowsTheShortestFormOfTheFloat)
{
    EXPECT_EQ(Settings().SetValue("confThresholdGunShot", 0.75), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdSiren", 0.1), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdDogBark", -1.0), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdBabyCry", 1.5), 0);
    EXPECT_THAT(AdjusterLines(1, 127, "SetValueThreshold"),
                ElementsAre("Set params confThresholdGunShot value: 0.75", "Set params confThresholdSiren value: 0.1",
                            "Set params confThresholdDogBark value: -1", "Set params confThresholdBabyCry value: 1.5"));
}

TEST_F(DetectorSettingsTest, ThresholdReachesTheSdkOnlyThroughANewEngineAfterTheHoldOff)
{
    ASSERT_EQ(Feed(kNow, 1280), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdGunShot", 0.75), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdGunShot", 0.5), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdSiren", 0.25), 0);
    EXPECT_EQ(StandinSdk::CountOf(CallKind::SetParams), 1u) << "settings never touch the engine";

    // Within the hold-off the samples are dropped unanalysed.
    EXPECT_EQ(Feed(kNow + 40, 1280), 0);
    EXPECT_EQ(Feed(kNow + kHoldOff - 1, 1280), 0);
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Process), 1u);
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Init), 1u);

    // Then one new engine carries all current thresholds.
    EXPECT_EQ(Feed(kNow + kHoldOff, 1280), 0);
    EXPECT_EQ(Feed(kNow + kHoldOff + 40, 1280), 0);
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Init), 2u);
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Process), 3u);
    const ThresholdRecord sent = LastThresholds();
    EXPECT_EQ(sent.thresholds[2], 0.5f);
    EXPECT_EQ(sent.thresholds[5], 0.25f);
    EXPECT_EQ(FloatBits(sent.thresholds[0]), 0x3F7D70A4u);
}

TEST_F(DetectorSettingsTest, UnknownKeysAndWrongValueTypesAreRefusedWithoutEffect)
{
    ASSERT_EQ(Feed(kNow, 1280), 0);
    logger.Clear();

    ORQ8::ISyncAdjuster& settings = Settings();
    EXPECT_EQ(settings.SetValue("confthresholdgunshot", 0.5), 5);
    EXPECT_EQ(settings.SetValue("confThresholdGunShot ", 0.5), 5);
    EXPECT_EQ(settings.SetValue("enableGunShot", 0.5), 5);
    EXPECT_EQ(settings.SetValue("confThresholdGunShot", true), 5);
    EXPECT_EQ(settings.SetValue("enableNone", true), 5);
    EXPECT_EQ(settings.SetValue("", true), 5);
    // The host's integer and text overloads name no setting of this detector.
    EXPECT_EQ(settings.SetValue("enableGunShot", 1), 5);
    EXPECT_EQ(settings.SetValue("confThresholdGunShot", "0.5"), 5);
    // Nor does a null name.
    EXPECT_EQ(settings.SetValue(nullptr, true), 5);
    EXPECT_EQ(settings.SetValue(nullptr, 0.5), 5);
    EXPECT_EQ(settings.SetValue(nullptr, 1), 5);
    EXPECT_EQ(settings.SetValue(nullptr, "x"), 5);
    EXPECT_THAT(logger.Records(), IsEmpty());

    // Nothing was enabled and no re-creation is pending: the next sample is
    // analysed by the same engine and raises nothing.
    EXPECT_THAT(RaisedForAllClasses(kNow + 40), IsEmpty());
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Init), 1u);
}

}  // namespace
}  // namespace DetectorTesting
