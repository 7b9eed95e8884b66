// The detector's settings face: enable switches, confidence thresholds,
// their status codes and log lines, and how thresholds reach the SDK.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>
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

std::uint32_t FloatBits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

class DetectorSettingsTest : public DetectorTest {
protected:
    std::vector<LogRecord> AdjusterLines() const
    {
        std::vector<LogRecord> lines;
        for (const LogRecord& r : logger.Records())
            if (r.file == kAdjusterFile)
                lines.push_back(r);
        return lines;
    }

    // The thresholds the most recent engine was given.
    static ThresholdRecord LastThresholds()
    {
        const auto params = StandinSdk::CallsOf(CallKind::SetParams);
        EXPECT_FALSE(params.empty());
        return params.empty() ? ThresholdRecord{} : params.back().thresholds;
    }

    // Every frame detects every class in turn; returns the raised names.
    std::vector<std::string> RaisedForAllClasses(std::uint64_t timestamp)
    {
        StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
            return Detects(static_cast<std::int32_t>(index % 7) + 1);
        });
        const std::size_t before = Raised().size();
        EXPECT_EQ(Feed(timestamp, 7 * 1280), 0);
        std::vector<std::string> names;
        const auto events = Raised();
        for (std::size_t i = before; i < events.size(); ++i)
            names.push_back(events[i].name);
        return names;
    }
};

TEST_F(DetectorSettingsTest, EachEnableKeySwitchesItsOwnClass)
{
    for (const ClassKeys& c : kClasses) {
        SCOPED_TRACE(c.enableKey);
        logger.Clear();
        ASSERT_EQ(Settings().SetValue(c.enableKey, true), 0);
        const auto lines = AdjusterLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].level, 1u);
        EXPECT_EQ(lines[0].line, 73);
        EXPECT_EQ(lines[0].function, "SetValueEnableEvent");
        EXPECT_EQ(lines[0].message, std::string("Event type '") + c.name + "' enabled");
    }
    EXPECT_EQ(RaisedForAllClasses(kNow).size(), 7u);

    std::uint64_t t = kNow + 1000;
    for (const ClassKeys& c : kClasses) {
        SCOPED_TRACE(c.enableKey);
        logger.Clear();
        ASSERT_EQ(Settings().SetValue(c.enableKey, false), 0);
        const auto lines = AdjusterLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].line, 82);
        EXPECT_EQ(lines[0].function, "SetValueEnableEvent");
        EXPECT_EQ(lines[0].message, std::string("Event type '") + c.name + "' disabled");
        const auto raised = RaisedForAllClasses(t += 1000);
        EXPECT_EQ(std::count(raised.begin(), raised.end(), c.name), 0);
    }
    EXPECT_THAT(RaisedForAllClasses(t + 1000), IsEmpty());
}

TEST_F(DetectorSettingsTest, EnablingTwiceKeepsTheClassOnce)
{
    EXPECT_EQ(Settings().SetValue("enableSiren", true), 0);
    EXPECT_EQ(Settings().SetValue("enableSiren", true), 0);
    EXPECT_EQ(AdjusterLines().size(), 2u);
    // One disable removes it completely.
    EXPECT_EQ(Settings().SetValue("enableSiren", false), 0);
    EXPECT_THAT(RaisedForAllClasses(kNow), IsEmpty());
}

TEST_F(DetectorSettingsTest, DisablingANeverEnabledClassIsAcceptedAndLogged)
{
    EXPECT_EQ(Settings().SetValue("enableSiren", false), 0);
    const auto lines = AdjusterLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "Event type 'Siren' disabled");
}

TEST_F(DetectorSettingsTest, EnableTakesEffectAtTheNextSampleWithoutANewEngine)
{
    EXPECT_THAT(RaisedForAllClasses(kNow), IsEmpty());
    Settings().SetValue("enableBabyCry", true);
    EXPECT_THAT(RaisedForAllClasses(kNow + 1000), ElementsAre("BabyCry"));
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Init), 1u);
}

TEST_F(DetectorSettingsTest, EachThresholdKeyFillsItsOwnSlot)
{
    for (std::size_t i = 0; i < std::size(kClasses); ++i)
        ASSERT_EQ(Settings().SetValue(kClasses[i].thresholdKey, 0.125 * (i + 1)), 0) << kClasses[i].thresholdKey;
    ASSERT_EQ(Feed(kNow, 1280), 0);
    const ThresholdRecord sent = LastThresholds();
    for (std::size_t i = 0; i < std::size(kClasses); ++i)
        EXPECT_EQ(sent.thresholds[i], static_cast<float>(0.125 * (i + 1))) << kClasses[i].thresholdKey;
}

TEST_F(DetectorSettingsTest, ThresholdLineShowsTheShortestFormOfTheFloat)
{
    EXPECT_EQ(Settings().SetValue("confThresholdGunShot", 0.75), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdSiren", 0.1), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdDogBark", -1.0), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdBabyCry", 1.5), 0);
    const auto lines = AdjusterLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].level, 1u);
    EXPECT_EQ(lines[0].line, 127);
    EXPECT_EQ(lines[0].function, "SetValueThreshold");
    EXPECT_EQ(lines[0].message, "Set params confThresholdGunShot value: 0.75");
    EXPECT_EQ(lines[1].message, "Set params confThresholdSiren value: 0.1");
    EXPECT_EQ(lines[2].message, "Set params confThresholdDogBark value: -1");
    EXPECT_EQ(lines[3].message, "Set params confThresholdBabyCry value: 1.5");
}

TEST_F(DetectorSettingsTest, AnyThresholdIsStoredUnchanged)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Settings().SetValue("confThresholdGlassBreak", 1.5), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdSmokeAlarm", -1.0), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdGunShot", nan), 0);
    EXPECT_EQ(Settings().SetValue("confThresholdAggression", 0.1), 0);
    ASSERT_EQ(Feed(kNow, 1280), 0);
    const ThresholdRecord sent = LastThresholds();
    EXPECT_EQ(sent.thresholds[0], 1.5f);
    EXPECT_EQ(sent.thresholds[1], -1.0f);
    EXPECT_TRUE(std::isnan(sent.thresholds[2]));
    EXPECT_EQ(FloatBits(sent.thresholds[3]), FloatBits(0.1f)) << "rounded to the nearest float";
    EXPECT_EQ(FloatBits(sent.thresholds[4]), 0x3F7D70A4u);
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
    const ThresholdRecord sent = LastThresholds();
    EXPECT_EQ(sent.thresholds[2], 0.5f);
    EXPECT_EQ(sent.thresholds[5], 0.25f);
    EXPECT_EQ(FloatBits(sent.thresholds[0]), 0x3F7D70A4u);
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Process), 3u);
}

TEST_F(DetectorSettingsTest, SettingsBeforeTheFirstSampleShapeTheFirstEngineAndItsEvents)
{
    Settings().SetValue("confThresholdDogBark", 0.3);
    Settings().SetValue("enableDogBark", true);
    EXPECT_THAT(RaisedForAllClasses(kNow), ElementsAre("DogBark"));
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Init), 1u);
    EXPECT_EQ(LastThresholds().thresholds[6], 0.3f);
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
    // A null name names no setting either.
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
