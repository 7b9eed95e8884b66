// ZVEngine over the stand-in SDK: what it hands the SDK, what it logs at
// each logger level, how it fails, and how it reads the SDK's answers.
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Engine.h"
#include "EngineTestAccess.h"
#include "RecordingLogger.h"
#include "StandinSdk.h"

namespace {

using StandinSdk::CallKind;
using StandinSdk::ProcessAnswer;
using TestSupport::LogRecord;
using TestSupport::RecordingLogger;
using ZVAudioAnalytics::EngineResult;
using ZVAudioAnalytics::EngineSettings;
using ZVAudioAnalytics::ZVEngine;

constexpr const char* kFile = "Detectors/ZelvaniAudioAnalytics/src/Engine";

// What a log line must be, field by field.
struct Line {
    std::uint32_t level;
    int line;
    const char* function;
    std::string message;
};

void ExpectLines(const std::vector<LogRecord>& records, const std::vector<Line>& expected)
{
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "line " << i << ": " << records[i].message);
        EXPECT_TRUE(records[i].located);
        EXPECT_EQ(records[i].level, expected[i].level);
        EXPECT_EQ(records[i].file, kFile);
        EXPECT_EQ(records[i].line, expected[i].line);
        EXPECT_EQ(records[i].function, expected[i].function);
        EXPECT_EQ(records[i].message, expected[i].message);
    }
}

std::vector<CallKind> CallKinds()
{
    std::vector<CallKind> kinds;
    for (const StandinSdk::Call& call : StandinSdk::Calls())
        kinds.push_back(call.kind);
    return kinds;
}

// Runs `make` and returns the text of the std::runtime_error it throws.
template <class Make>
std::string RuntimeErrorOf(Make&& make)
{
    try {
        make();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    ADD_FAILURE() << "no std::runtime_error";
    return {};
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StandinSdk::Reset();
        settings.sampleRate = 16000;
        settings.numChannels = 1;
        settings.frameLengthMs = 40;
        settings.sdkDataPath = "/opt/host/plugins/AudioAnalytics/ZVAudioSdk/share";
        const float values[] = {0.99f, 0.5f, 0.125f, 0.0f, 1.0f, 0.75f, 0.3f};
        std::memcpy(thresholds.thresholds, values, sizeof values);
    }
    void TearDown() override
    {
        // Every SDK engine a test made has been released.
        EXPECT_EQ(StandinSdk::LiveEngines(), 0);
    }

    std::unique_ptr<ZVEngine> Make(ORQ8::ILogger* logger)
    {
        return ZVEngine::Create(logger, settings, &thresholds);
    }

    EngineSettings settings;
    ThresholdRecord thresholds{};
};

TEST_F(EngineTest, HandsTheSdkTheFormatFrameLengthPathAndThresholds)
{
    auto engine = Make(nullptr);

    const auto inits = StandinSdk::CallsOf(CallKind::Init);
    ASSERT_EQ(inits.size(), 1u);
    EXPECT_EQ(inits[0].sampleRate, 16000u);
    EXPECT_EQ(inits[0].numChannels, 1u);
    EXPECT_EQ(inits[0].frameLengthMs, 40);
    EXPECT_EQ(inits[0].sdkDataPath, "/opt/host/plugins/AudioAnalytics/ZVAudioSdk/share");

    const auto params = StandinSdk::CallsOf(CallKind::SetParams);
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0].handle, inits[0].handle);
    EXPECT_EQ(std::memcmp(&params[0].thresholds, &thresholds, sizeof thresholds), 0);
}

TEST_F(EngineTest, ReleasesItsSdkEngineOnceWhenDestroyed)
{
    auto engine = Make(nullptr);
    void* handle = StandinSdk::CallsOf(CallKind::Init).at(0).handle;
    engine.reset();
    const auto releases = StandinSdk::CallsOf(CallKind::Release);
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].handle, handle);
}

TEST_F(EngineTest, AnExplicitReleaseIsNotRepeatedAtDestruction)
{
    auto engine = Make(nullptr);
    engine->ReleaseEngine();
    engine->ReleaseEngine();
    engine.reset();
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Release), 1u);
}

// One row per logger: what a successful life (make, destroy) and a failed
// release write, and whether the version text is fetched.
struct LevelCase {
    std::optional<std::uint32_t> level;  // none: no logger at all
    bool initLines;                      // lines 148 and 169
    bool releasedLine;                   // line 207
    bool releaseErrorLine;               // line 211
};

void PrintTo(const LevelCase& c, std::ostream* out)
{
    if (c.level)
        *out << "logger level " << *c.level;
    else
        *out << "no logger";
}

class EngineLogLevels : public EngineTest, public ::testing::WithParamInterface<LevelCase> {
protected:
    std::unique_ptr<RecordingLogger> logger =
        GetParam().level ? std::make_unique<RecordingLogger>(*GetParam().level) : nullptr;
};

TEST_P(EngineLogLevels, ConstructionAndReleaseLogExactlyTheAdmittedLines)
{
    StandinSdk::SetVersionText("stand-in 4.2 build 7");
    auto engine = Make(logger.get());
    EXPECT_EQ(StandinSdk::CountOf(CallKind::GetVersionInfo), GetParam().initLines ? 1u : 0u);
    engine.reset();

    if (!logger)
        return;  // nothing to read; the version text was not fetched (above)
    std::vector<Line> expected;
    if (GetParam().initLines) {
        expected.push_back({1, 148, "ZVEngine", "zvAudio: engine init status: stand-in 4.2 build 7"});
        expected.push_back({1, 169, "ZVEngine", "zvAudio: set params succesful"});
    }
    if (GetParam().releasedLine)
        expected.push_back({0, 207, "ReleaseEngine", "released engine successfully"});
    ExpectLines(logger->Records(), expected);
}

TEST_P(EngineLogLevels, AFailedReleaseIsLoggedAsAnError)
{
    auto engine = Make(logger.get());
    if (logger)
        logger->Clear();
    StandinSdk::SetReleaseStatus(-1);
    engine.reset();

    EXPECT_EQ(StandinSdk::CountOf(CallKind::Release), 1u);
    if (!logger)
        return;
    std::vector<Line> expected;
    if (GetParam().releaseErrorLine)
        expected.push_back({3, 211, "ReleaseEngine", "error releasing engine, status 4294967295"});
    ExpectLines(logger->Records(), expected);
}

INSTANTIATE_TEST_SUITE_P(Levels, EngineLogLevels,
                         ::testing::Values(LevelCase{0u, true, true, true}, LevelCase{1u, true, false, true},
                                           LevelCase{2u, false, false, true}, LevelCase{3u, false, false, true},
                                           LevelCase{4u, false, false, false},
                                           LevelCase{std::nullopt, false, false, false}),
                         [](const ::testing::TestParamInfo<LevelCase>& info) {
                             return info.param.level ? "Level" + std::to_string(*info.param.level)
                                                     : std::string("NoLogger");
                         });

TEST_F(EngineTest, NullFromInitThrowsWithoutFurtherCallsOrLines)
{
    RecordingLogger logger(0);
    StandinSdk::SetInitMakesEngine(false);
    EXPECT_EQ(RuntimeErrorOf([&] { Make(&logger); }), "zvAudio: engine has not been created");
    EXPECT_THAT(CallKinds(), ::testing::ElementsAre(CallKind::Init));
    EXPECT_TRUE(logger.Records().empty());
}

TEST_F(EngineTest, RefusedThresholdsReleaseTheEngineOnceBeforeTheException)
{
    RecordingLogger logger(0);
    StandinSdk::SetParamsStatus(7);
    std::size_t releasesWhenThrown = 0;
    int liveWhenThrown = -1;
    try {
        Make(&logger);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        releasesWhenThrown = StandinSdk::CountOf(CallKind::Release);
        liveWhenThrown = StandinSdk::LiveEngines();
        EXPECT_STREQ(error.what(), "zvAudio: invalid settings params, status 7");
    }
    EXPECT_EQ(releasesWhenThrown, 1u);
    EXPECT_EQ(liveWhenThrown, 0);
    EXPECT_THAT(CallKinds(), ::testing::ElementsAre(CallKind::Init, CallKind::GetVersionInfo,
                                                    CallKind::SetParams, CallKind::Release));
    ExpectLines(logger.Records(), {{1, 148, "ZVEngine", "zvAudio: engine init status: stand-in 1.0"},
                                   {0, 207, "ReleaseEngine", "released engine successfully"}});
}

TEST_F(EngineTest, RefusedThresholdsWithAFailingReleaseLogBothAndShowStatusesUnsigned)
{
    RecordingLogger logger(2);
    StandinSdk::SetParamsStatus(-1);
    StandinSdk::SetReleaseStatus(-2);
    EXPECT_EQ(RuntimeErrorOf([&] { Make(&logger); }), "zvAudio: invalid settings params, status 4294967295");
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Release), 1u);
    ExpectLines(logger.Records(), {{3, 211, "ReleaseEngine", "error releasing engine, status 4294967294"}});
}

// A logger that throws from its located Log when a line of the given number
// comes, once; it records everything else.
class ThrowingLogger : public RecordingLogger {
public:
    ThrowingLogger(std::uint32_t level, int throwAtLine) : RecordingLogger(level), throwAt(throwAtLine) {}
    std::int32_t Log(std::uint32_t level, const char* file, int line, const char* function,
                     const char* message) override
    {
        if (line == throwAt) {
            throwAt = -1;
            throw std::runtime_error("logger broke");
        }
        return RecordingLogger::Log(level, file, line, function, message);
    }
    using RecordingLogger::Log;

private:
    int throwAt;
};

TEST_F(EngineTest, AConstructionThatThrowsAfterInitStillReleasesTheEngineOnce)
{
    for (int line : {148, 169}) {
        SCOPED_TRACE(line);
        StandinSdk::Reset();
        ThrowingLogger logger(0, line);
        EXPECT_THROW(Make(&logger), std::runtime_error);
        EXPECT_EQ(StandinSdk::CountOf(CallKind::Release), 1u);
        EXPECT_EQ(StandinSdk::LiveEngines(), 0);
    }
}

TEST_F(EngineTest, ReleaseSwallowsAnExceptionAndReportsIt)
{
    ThrowingLogger logger(0, 207);
    auto engine = Make(&logger);
    logger.Clear();
    EXPECT_NO_THROW(engine.reset());
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Release), 1u);
    ExpectLines(logger.Records(), {{3, 216, "ReleaseEngine", "error releasing engine: Unknown exception"}});
}

TEST_F(EngineTest, ReleaseSurvivesALoggerThatThrowsEvenForTheErrorLine)
{
    // Throws at 207; then the 216 line is sent to a logger that throws again.
    class AlwaysThrowing : public RecordingLogger {
    public:
        using RecordingLogger::RecordingLogger;
        using RecordingLogger::Log;
        std::int32_t Log(std::uint32_t, const char*, int line, const char*, const char*) override
        {
            if (line == 148 || line == 169)
                return 0;
            throw std::runtime_error("logger broke");
        }
    };
    AlwaysThrowing logger(0);
    auto engine = Make(&logger);
    EXPECT_NO_THROW(engine.reset());
    EXPECT_EQ(StandinSdk::CountOf(CallKind::Release), 1u);
}

TEST_F(EngineTest, HandsEachFrameToTheSdkWithIndicesFromZero)
{
    auto engine = Make(nullptr);
    const std::vector<std::uint8_t> first = {1, 2, 3, 4};
    const std::vector<std::uint8_t> second = {9, 8, 7, 6, 5, 4};
    engine->Process(first.data(), static_cast<std::uint32_t>(first.size()));
    engine->Process(second.data(), static_cast<std::uint32_t>(second.size()));
    engine->Process(first.data(), 2);

    const auto calls = StandinSdk::CallsOf(CallKind::Process);
    ASSERT_EQ(calls.size(), 3u);
    const void* handle = StandinSdk::CallsOf(CallKind::Init).at(0).handle;
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].frameIndex, i);
        EXPECT_EQ(calls[i].handle, handle);
    }
    EXPECT_EQ(calls[0].frame, first);
    EXPECT_EQ(calls[1].frame, second);
    EXPECT_EQ(calls[2].frameSize, 2u);
    EXPECT_EQ(calls[2].frame, (std::vector<std::uint8_t>{1, 2}));
}

TEST_F(EngineTest, AFailingFrameUsesUpItsIndexAndLogsNothing)
{
    RecordingLogger logger(0);
    StandinSdk::SetProcessScript([](int, std::uint32_t index, const std::uint8_t*, std::uint32_t) {
        ProcessAnswer answer;
        answer.status = index == 1 ? 5 : (index == 2 ? -1 : 0);
        return answer;
    });
    auto engine = Make(&logger);
    logger.Clear();
    const std::uint8_t frame[4] = {};
    EXPECT_NO_THROW(engine->Process(frame, 4));
    EXPECT_EQ(RuntimeErrorOf([&] { engine->Process(frame, 4); }), "zvAudio: Process error, status: 5");
    EXPECT_EQ(RuntimeErrorOf([&] { engine->Process(frame, 4); }), "zvAudio: Process error, status: 4294967295");
    EXPECT_NO_THROW(engine->Process(frame, 4));

    std::vector<std::uint32_t> indices;
    for (const auto& call : StandinSdk::CallsOf(CallKind::Process))
        indices.push_back(call.frameIndex);
    EXPECT_THAT(indices, ::testing::ElementsAre(0u, 1u, 2u, 3u));
    EXPECT_TRUE(logger.Records().empty());
}

TEST_F(EngineTest, FrameIndexWrapsAround32Bits)
{
    auto engine = Make(nullptr);
    ZVAudioAnalytics::ZVEngineTestAccess::SetFrameCounter(*engine, 0xFFFFFFFEu);
    const std::uint8_t frame[2] = {};
    for (int i = 0; i < 4; ++i)
        engine->Process(frame, 2);
    std::vector<std::uint32_t> indices;
    for (const auto& call : StandinSdk::CallsOf(CallKind::Process))
        indices.push_back(call.frameIndex);
    EXPECT_THAT(indices, ::testing::ElementsAre(0xFFFFFFFEu, 0xFFFFFFFFu, 0u, 1u));
}

TEST_F(EngineTest, EachEngineCountsItsOwnFrames)
{
    auto first = Make(nullptr);
    const std::uint8_t frame[2] = {};
    first->Process(frame, 2);
    first->Process(frame, 2);
    auto second = Make(nullptr);
    second->Process(frame, 2);
    const auto calls = StandinSdk::CallsOf(CallKind::Process);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].frameIndex, 0u);
    EXPECT_NE(calls[2].handle, calls[0].handle);
}

// One SDK answer and what Process makes of it.
struct AnswerCase {
    std::int32_t resultFlag;
    std::int32_t resultKind;
    std::int32_t classCode;
    const char* eventName;
    bool detected;
};

void PrintTo(const AnswerCase& c, std::ostream* out)
{
    *out << "flag " << c.resultFlag << ", kind " << c.resultKind << ", code " << c.classCode;
}

class EngineAnswers : public EngineTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(EngineAnswers, NamesTheClassAndCountsOnlyFlag1Kind2NonZero)
{
    const AnswerCase& c = GetParam();
    ProcessAnswer answer;
    answer.resultFlag = c.resultFlag;
    answer.resultKind = c.resultKind;
    answer.classCode = c.classCode;
    StandinSdk::SetProcessAnswer(answer);
    auto engine = Make(nullptr);
    const std::uint8_t frame[4] = {};
    const EngineResult result = engine->Process(frame, 4);
    EXPECT_EQ(result.eventName, c.eventName);
    EXPECT_EQ(result.detected, c.detected);
}

INSTANTIATE_TEST_SUITE_P(
    ClassTable, EngineAnswers,
    ::testing::Values(AnswerCase{1, 2, 0, "None", false}, AnswerCase{1, 2, 1, "GlassBreak", true},
                      AnswerCase{1, 2, 2, "SmokeAlarm", true}, AnswerCase{1, 2, 3, "GunShot", true},
                      AnswerCase{1, 2, 4, "Aggression", true}, AnswerCase{1, 2, 5, "BabyCry", true},
                      AnswerCase{1, 2, 6, "Siren", true}, AnswerCase{1, 2, 7, "DogBark", true},
                      AnswerCase{1, 2, 8, "None", true}, AnswerCase{1, 2, 9, "None", true},
                      AnswerCase{1, 2, -1, "None", true},
                      AnswerCase{1, 2, std::numeric_limits<std::int32_t>::min(), "None", true},
                      AnswerCase{0, 2, 5, "BabyCry", false}, AnswerCase{1, 1, 5, "BabyCry", false},
                      AnswerCase{1, 3, 5, "BabyCry", false}, AnswerCase{2, 2, 3, "GunShot", false},
                      AnswerCase{-1, 2, 3, "GunShot", false}, AnswerCase{1, 0, 0, "None", false}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) {
        const auto part = [](const char* label, std::int32_t value) {
            return label + (value < 0 ? "Minus" + std::to_string(-static_cast<std::int64_t>(value))
                                      : std::to_string(value));
        };
        return part("Flag", info.param.resultFlag) + part("Kind", info.param.resultKind) +
               part("Code", info.param.classCode);
    });

}  // namespace
