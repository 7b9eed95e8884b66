// The three entry points in process: the holder's life cycle, the status
// codes and the lines InitializeModule writes.
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DetectorAPI.h"
#include "FakeHostServices.h"
#include "Module.h"
#include "RecordingLogger.h"

namespace {

using TestSupport::FakeHostServices;
using TestSupport::LogRecord;
using TestSupport::RecordingLogger;
using ::testing::IsEmpty;

constexpr const char* kApiFile = "OrqSafeFramework/include/DetectorAPI";

// A logger that throws once, from the first located Log call whose message
// starts with `failOn`.
class ThrowingLogger : public RecordingLogger {
public:
    ThrowingLogger(std::uint32_t level, std::string failOn_) : RecordingLogger(level), failOn(std::move(failOn_)) {}
    std::int32_t Log(std::uint32_t level, const char* file, int line, const char* function,
                     const char* message) override
    {
        if (!thrown && std::string(message).rfind(failOn, 0) == 0) {
            thrown = true;
            throw std::runtime_error("logger refused");
        }
        return RecordingLogger::Log(level, file, line, function, message);
    }
    std::string failOn;
    bool thrown = false;
};

const std::string& PathOf(ORQ8::Analytics::IModule* module)
{
    return static_cast<BaseModule*>(module)->ModulePath();
}

bool IsApiLine(const LogRecord& r, std::uint32_t level, int line, const std::string& message)
{
    return r.located && r.level == level && r.file == kApiFile && r.line == line &&
           r.function == "InitializeModule" && r.message == message;
}

class EntryPoints : public ::testing::Test {
protected:
    // The holder is process-wide: every test starts and ends with it empty.
    void SetUp() override { FinalizeModule(); }
    void TearDown() override { FinalizeModule(); }
};

TEST_F(EntryPoints, RefusesMissingHostPathOrLoggerWithoutALine)
{
    RecordingLogger logger(0);
    FakeHostServices host(&logger);
    FakeHostServices hostWithoutLogger(nullptr);

    EXPECT_EQ(InitializeModule(nullptr, "/plugins"), 10);
    EXPECT_EQ(InitializeModule(&host, nullptr), 10);
    EXPECT_EQ(InitializeModule(&hostWithoutLogger, "/plugins"), 10);

    EXPECT_EQ(GetModule(), nullptr);
    EXPECT_THAT(logger.Records(), IsEmpty());
    EXPECT_EQ(host.serviceQueries, 0) << "a null path is refused before the host is asked";
}

TEST_F(EntryPoints, CreatesTheModuleWithItsPathAndLogsAtTraceLevel)
{
    RecordingLogger logger(0);
    FakeHostServices host(&logger);

    ASSERT_EQ(InitializeModule(&host, "/opt/host/plugins"), 0);

    ORQ8::Analytics::IModule* module = GetModule();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(PathOf(module), "/opt/host/plugins");
    const auto records = logger.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].function, "BaseModule") << "the version line comes first";
    EXPECT_TRUE(IsApiLine(records[1], 0, 37, "module was created")) << records[1].message;
}

TEST_F(EntryPoints, AboveTraceLevelOnlyTheVersionLineIsWritten)
{
    RecordingLogger info(1);
    FakeHostServices host(&info);
    ASSERT_EQ(InitializeModule(&host, "/plugins"), 0);
    ASSERT_EQ(info.Records().size(), 1u);
    EXPECT_EQ(info.Records()[0].function, "BaseModule");
    EXPECT_EQ(InitializeModule(&host, "/plugins"), 9);
    EXPECT_EQ(info.Records().size(), 1u) << "the repeated call logs only at level 0";

    FinalizeModule();
    RecordingLogger warning(2);
    FakeHostServices quietHost(&warning);
    ASSERT_EQ(InitializeModule(&quietHost, "/plugins"), 0);
    EXPECT_THAT(warning.Records(), IsEmpty());
}

TEST_F(EntryPoints, AnEmptyPathIsAccepted)
{
    RecordingLogger logger(3);
    FakeHostServices host(&logger);
    ASSERT_EQ(InitializeModule(&host, ""), 0);
    ASSERT_NE(GetModule(), nullptr);
    EXPECT_EQ(PathOf(GetModule()), "");
}

TEST_F(EntryPoints, ASecondInitializationKeepsTheFirstModuleAndPath)
{
    RecordingLogger logger(0);
    FakeHostServices host(&logger);
    ASSERT_EQ(InitializeModule(&host, "/first"), 0);
    ORQ8::Analytics::IModule* first = GetModule();
    logger.Clear();

    EXPECT_EQ(InitializeModule(&host, "/second"), 9);

    EXPECT_EQ(GetModule(), first);
    EXPECT_EQ(PathOf(GetModule()), "/first");
    const auto records = logger.Records();
    ASSERT_EQ(records.size(), 1u) << "no second version line: no module was made";
    EXPECT_TRUE(IsApiLine(records[0], 0, 40, "module already was initialized")) << records[0].message;
}

TEST_F(EntryPoints, GetModuleIsNullBeforeAndAfterAndFinalizeIsRepeatable)
{
    EXPECT_EQ(GetModule(), nullptr);
    FinalizeModule();
    EXPECT_EQ(GetModule(), nullptr);

    RecordingLogger logger(1);
    FakeHostServices host(&logger);
    ASSERT_EQ(InitializeModule(&host, "/plugins"), 0);
    ASSERT_NE(GetModule(), nullptr);
    FinalizeModule();
    EXPECT_EQ(GetModule(), nullptr);
    FinalizeModule();
    EXPECT_EQ(GetModule(), nullptr);
    EXPECT_EQ(logger.Records().size(), 1u) << "finalising writes no line";

    // After finalisation a fresh module is made, with its own version line.
    EXPECT_EQ(InitializeModule(&host, "/again"), 0);
    ASSERT_NE(GetModule(), nullptr);
    EXPECT_EQ(PathOf(GetModule()), "/again");
    EXPECT_EQ(logger.Records().size(), 2u);
}

TEST_F(EntryPoints, AFailureWhileMakingTheModuleGives10AndLeavesTheHolderEmpty)
{
    RecordingLogger logger(3);
    FakeHostServices host(&logger);
    // Questions 1 and 2 are the entry point's own; 3 is the module's.
    host.onQuery = [](int query) {
        if (query == 3)
            throw std::runtime_error("service directory locked");
    };

    EXPECT_EQ(InitializeModule(&host, "/plugins"), 10);

    EXPECT_EQ(GetModule(), nullptr);
    const auto records = logger.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(IsApiLine(records[0], 3, 46, "Error during module initialization: service directory locked"))
        << records[0].message;
}

TEST_F(EntryPoints, AFailingVersionLineFreesTheHalfBuiltModule)
{
    ThrowingLogger logger(1, "Module's file version: ");
    FakeHostServices host(&logger);

    EXPECT_EQ(InitializeModule(&host, "/plugins"), 10);

    EXPECT_EQ(GetModule(), nullptr);
    const auto records = logger.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(IsApiLine(records[0], 3, 46, "Error during module initialization: logger refused"))
        << records[0].message;
}

TEST_F(EntryPoints, AFailureAfterTheModuleIsStoredGives10AndKeepsTheModule)
{
    ThrowingLogger logger(0, "module was created");
    FakeHostServices host(&logger);

    EXPECT_EQ(InitializeModule(&host, "/plugins"), 10);

    EXPECT_NE(GetModule(), nullptr);
    const auto records = logger.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_TRUE(IsApiLine(records.back(), 3, 46, "Error during module initialization: logger refused"));
    EXPECT_EQ(InitializeModule(&host, "/plugins"), 9);
}

TEST_F(EntryPoints, TheErrorLineFollowsTheLoggerLevel)
{
    RecordingLogger logger(4);
    FakeHostServices host(&logger);
    host.onQuery = [](int query) {
        if (query == 3)
            throw std::runtime_error("service directory locked");
    };
    EXPECT_EQ(InitializeModule(&host, "/plugins"), 10);
    EXPECT_EQ(GetModule(), nullptr);
    EXPECT_THAT(logger.Records(), IsEmpty());
}

TEST_F(EntryPoints, WhatTheHostThrowsOutsideTheHandlerReachesTheHost)
{
    RecordingLogger logger(0);
    FakeHostServices host(&logger);

    // The argument check's question is the host's own affair.
    host.onQuery = [](int query) {
        if (query == 1)
            throw std::runtime_error("host failure");
    };
    EXPECT_THROW(InitializeModule(&host, "/plugins"), std::runtime_error);

    // Inside the handler only standard exceptions are caught.
    host.serviceQueries = 0;
    host.onQuery = [](int query) {
        if (query == 3)
            throw 42;
    };
    EXPECT_THROW(InitializeModule(&host, "/plugins"), int);
    EXPECT_EQ(GetModule(), nullptr);
    EXPECT_THAT(logger.Records(), IsEmpty());
}

}  // namespace
