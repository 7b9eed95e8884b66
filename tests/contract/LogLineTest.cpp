// The logging rule: a line of level L is composed and sent only when a
// logger is present and its GetLogLevel() is at most L, in the located and
// the short form, for fmt and Boost.Format messages.
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "LogLine.h"
#include "RecordingLogger.h"

namespace {

// A message argument that counts how often it is turned into text, by fmt
// and by the stream operator that Boost.Format uses.
struct Counted {
    int value;
};
int fmtFormats = 0;
int streamFormats = 0;

std::ostream& operator<<(std::ostream& out, const Counted& counted)
{
    ++streamFormats;
    return out << counted.value;
}

}  // namespace

// `format` is not const: older fmt releases declare their own formatters'
// `format` non-const, and up to fmt 10 a non-const one is accepted.
template <>
struct fmt::formatter<Counted> : fmt::formatter<int> {
    template <class Context>
    auto format(const Counted& counted, Context& context)
    {
        ++fmtFormats;
        return fmt::formatter<int>::format(counted.value, context);
    }
};

namespace {

using TestSupport::LogRecord;
using TestSupport::RecordingLogger;

constexpr ORQ8::LogSite kSite{"Detectors/ZelvaniAudioAnalytics/src/Engine", 148, "ZVEngine"};

// Sends one line of `level` in each of the four ways.
void LogAllFour(ORQ8::ILogger* logger, std::uint32_t level)
{
    ORQ8::LogFmt(logger, level, kSite, "fmt {} {}", "located", level);
    ORQ8::LogFmtShort(logger, level, "fmt {} {}", "short", level);
    ORQ8::LogBoost(logger, level, kSite, "boost %1% %2%", "located", level);
    ORQ8::LogBoostShort(logger, level, "boost %1% %2%", "short", level);
}

TEST(LogLine, SendsExactlyTheLevelsTheLoggerAdmits)
{
    const std::uint32_t lineLevels[] = {0, 1, 2, 3};
    const std::uint32_t loggerLevels[] = {0, 1, 2, 3, 4, std::numeric_limits<std::uint32_t>::max()};
    for (std::uint32_t loggerLevel : loggerLevels) {
        for (std::uint32_t lineLevel : lineLevels) {
            SCOPED_TRACE(testing::Message() << "logger " << loggerLevel << ", line " << lineLevel);
            RecordingLogger logger(loggerLevel);
            LogAllFour(&logger, lineLevel);
            EXPECT_EQ(logger.Records().size(), loggerLevel <= lineLevel ? 4u : 0u);
        }
    }
}

TEST(LogLine, LocatedLinesCarryLevelSiteAndComposedMessage)
{
    RecordingLogger logger(0);
    LogAllFour(&logger, 2);
    const std::vector<LogRecord> records = logger.Records();
    ASSERT_EQ(records.size(), 4u);

    const std::string expected[] = {"fmt located 2", "fmt short 2", "boost located 2", "boost short 2"};
    const bool located[] = {true, false, true, false};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i].level, 2u);
        EXPECT_EQ(records[i].message, expected[i]);
        EXPECT_EQ(records[i].located, located[i]);
        if (located[i]) {
            EXPECT_EQ(records[i].file, "Detectors/ZelvaniAudioAnalytics/src/Engine");
            EXPECT_EQ(records[i].line, 148);
            EXPECT_EQ(records[i].function, "ZVEngine");
        }
    }
}

TEST(LogLine, BoostMessagesUseDefaultStreamFormatting)
{
    RecordingLogger logger(0);
    ORQ8::LogBoostShort(&logger, 2, "%1%|%2%|%3%|%4%|%5%", true, false, -17, 1.0 / 3.0, "text");
    ORQ8::LogBoostShort(&logger, 2, "%2% before %1%", "one", "two");
    ASSERT_EQ(logger.Messages().size(), 2u);
    EXPECT_EQ(logger.Messages()[0], "1|0|-17|0.333333|text");
    EXPECT_EQ(logger.Messages()[1], "two before one");
}

TEST(LogLine, FmtMessagesShowStatusesAsUnsignedDecimals)
{
    RecordingLogger logger(0);
    ORQ8::LogFmt(&logger, 3, kSite, "status {}", static_cast<std::uint32_t>(-1));
    ASSERT_EQ(logger.Messages().size(), 1u);
    EXPECT_EQ(logger.Messages()[0], "status 4294967295");
}

TEST(LogLine, NullLoggerTakesEveryLineSilently)
{
    fmtFormats = streamFormats = 0;
    for (std::uint32_t level = 0; level <= 3; ++level) {
        ORQ8::LogFmt(nullptr, level, kSite, "{}", Counted{1});
        ORQ8::LogFmtShort(nullptr, level, "{}", Counted{2});
        ORQ8::LogBoost(nullptr, level, kSite, "%1%", Counted{3});
        ORQ8::LogBoostShort(nullptr, level, "%1%", Counted{4});
    }
    EXPECT_EQ(fmtFormats, 0);
    EXPECT_EQ(streamFormats, 0);
}

TEST(LogLine, NothingIsComposedForALineTheLevelDoesNotAdmit)
{
    RecordingLogger logger(2);
    fmtFormats = streamFormats = 0;
    int composed = 0;
    ORQ8::LogFmt(&logger, 1, kSite, "{}", Counted{1});
    ORQ8::LogFmtShort(&logger, 1, "{}", Counted{2});
    ORQ8::LogBoost(&logger, 1, kSite, "%1%", Counted{3});
    ORQ8::LogBoostShort(&logger, 0, "%1%", Counted{4});
    ORQ8::LogComposed(&logger, 1, kSite, [&] { return std::to_string(++composed); });
    ORQ8::LogComposedShort(&logger, 0, [&] { return std::to_string(++composed); });
    EXPECT_EQ(fmtFormats, 0);
    EXPECT_EQ(streamFormats, 0);
    EXPECT_EQ(composed, 0);
    EXPECT_TRUE(logger.Records().empty());

    // The same lines at an admitted level are composed once each.
    ORQ8::LogFmt(&logger, 2, kSite, "{}", Counted{1});
    ORQ8::LogFmtShort(&logger, 2, "{}", Counted{2});
    ORQ8::LogBoost(&logger, 3, kSite, "%1%", Counted{3});
    ORQ8::LogBoostShort(&logger, 3, "%1%", Counted{4});
    ORQ8::LogComposed(&logger, 2, kSite, [&] { return std::to_string(++composed); });
    EXPECT_EQ(fmtFormats, 2);
    EXPECT_EQ(streamFormats, 2);
    EXPECT_EQ(composed, 1);
    EXPECT_EQ(logger.Messages(), (std::vector<std::string>{"1", "2", "3", "4", "1"}));
}

TEST(LogLine, AsksTheLoggerItsLevelOncePerLine)
{
    RecordingLogger logger(3);
    LogAllFour(&logger, 1);
    LogAllFour(&logger, 3);
    EXPECT_EQ(logger.levelQueries.load(), 8);
}

}  // namespace
