#include <chrono>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <gtest/gtest.h>

#include "EventTime.h"

namespace {

using ORQ8::Framework::IsValidDetectorsGroup;
using ORQ8::Framework::MakeEventUuid;
using ORQ8::Framework::MillisecondsFromClock;
using ORQ8::Framework::NowMilliseconds;

std::uint64_t ChronoNow()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

TEST(DetectorsGroupTest, AcceptsEveryKnownNameAlone)
{
    for (const char* name :
         {"MotionDetector", "Tracker", "FaceDetector", "SituationDetector", "LprDetector", "VehicleDetector",
          "AudioDetector", "FireDetector", "VideoQualityDetector", "Counter", "SceneChangeDetector",
          "TemperatureDetector", "GeoPosition", "Mask", "AIDetector", "Segmentation", "FeatureExtractor",
          "PoseEstimation", "System", "FaceEvasionDetector", "NoDetector", "PrivacyDetector",
          "StoppedObjectDetector"})
        EXPECT_TRUE(IsValidDetectorsGroup(name)) << name;
}

TEST(DetectorsGroupTest, AcceptsNamesJoinedBySingleCommas)
{
    EXPECT_TRUE(IsValidDetectorsGroup("AudioDetector,FireDetector"));
    EXPECT_TRUE(IsValidDetectorsGroup("Tracker,Mask,System"));
    EXPECT_TRUE(IsValidDetectorsGroup("AudioDetector,AudioDetector"));
}

TEST(DetectorsGroupTest, RejectsEmptyPiecesCaseAndBlanks)
{
    EXPECT_FALSE(IsValidDetectorsGroup(""));
    EXPECT_FALSE(IsValidDetectorsGroup(","));
    EXPECT_FALSE(IsValidDetectorsGroup("AudioDetector,"));
    EXPECT_FALSE(IsValidDetectorsGroup(",AudioDetector"));
    EXPECT_FALSE(IsValidDetectorsGroup("AudioDetector,,FireDetector"));
    EXPECT_FALSE(IsValidDetectorsGroup("audiodetector"));
    EXPECT_FALSE(IsValidDetectorsGroup(" AudioDetector"));
    EXPECT_FALSE(IsValidDetectorsGroup("AudioDetector "));
    EXPECT_FALSE(IsValidDetectorsGroup("AudioDetector, FireDetector"));
    EXPECT_FALSE(IsValidDetectorsGroup("AudioDetector;FireDetector"));
    EXPECT_FALSE(IsValidDetectorsGroup("AudioAnalytics_Zelvani"));
    EXPECT_FALSE(IsValidDetectorsGroup(std::string("Audio\0Detector", 14)));
}

TEST(EventUuidTest, HasTheCanonicalVersion4Form)
{
    const std::regex form("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
    for (int i = 0; i < 200; ++i) {
        const std::string id = MakeEventUuid();
        ASSERT_EQ(id.size(), 36u);
        ASSERT_TRUE(std::regex_match(id, form)) << id;
        EXPECT_EQ(id[14], '4');
    }
}

TEST(EventUuidTest, EveryIdentifierIsNew)
{
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i)
        seen.insert(MakeEventUuid());
    EXPECT_EQ(seen.size(), 10000u);
}

boost::posix_time::ptime SecondDayPlus999Microseconds()
{
    return boost::posix_time::ptime(boost::gregorian::date(1970, 1, 2), boost::posix_time::microseconds(999));
}
boost::posix_time::ptime LaterReading()
{
    return boost::posix_time::ptime(boost::gregorian::date(2024, 2, 29),
                                    boost::posix_time::hours(23) + boost::posix_time::minutes(59) +
                                        boost::posix_time::seconds(59) + boost::posix_time::microseconds(999999));
}
boost::posix_time::ptime BeforeEpoch()
{
    return boost::posix_time::ptime(boost::gregorian::date(1969, 12, 31), boost::posix_time::hours(23));
}
boost::posix_time::ptime NotADate() { return boost::posix_time::ptime(boost::posix_time::not_a_date_time); }
boost::posix_time::ptime Unconvertible() { throw std::out_of_range("year is out of valid range"); }

TEST(EventClockTest, TruncatesAFixedReadingToWholeMilliseconds)
{
    EXPECT_EQ(MillisecondsFromClock(&SecondDayPlus999Microseconds), 86400000u);
    // 2024-02-29 23:59:59.999999 UTC
    EXPECT_EQ(MillisecondsFromClock(&LaterReading), 1709251199999u);
    EXPECT_EQ(MillisecondsFromClock(&BeforeEpoch), 0u);
}

TEST(EventClockTest, FallsBackToTheSystemClockWhenTheCalendarFails)
{
    for (auto reader : {&Unconvertible, &NotADate}) {
        const std::uint64_t before = ChronoNow();
        const std::uint64_t got = MillisecondsFromClock(reader);
        const std::uint64_t after = ChronoNow();
        EXPECT_GE(got, before);
        EXPECT_LE(got, after);
    }
}

TEST(EventClockTest, NowFollowsTheSystemClock)
{
    const std::uint64_t before = ChronoNow();
    const std::uint64_t now = NowMilliseconds();
    const std::uint64_t after = ChronoNow();
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

}  // namespace
