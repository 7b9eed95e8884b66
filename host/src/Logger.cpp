#include "Logger.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include <fmt/format.h>

namespace OrqHost {
namespace {

thread_local std::string lastError;

const char* Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

void* StderrLogger::DoGetContract(const char* key)
{
    if (key == nullptr)
        return nullptr;
    if (std::strcmp(key, ORQ8::ContractKey<ORQ8::ILogger>()) == 0 ||
        std::strcmp(key, ORQ8::ContractKey<ORQ8::IContract>()) == 0)
        return static_cast<ORQ8::ILogger*>(this);
    return nullptr;
}

std::int32_t StderrLogger::Log(std::uint32_t lineLevel, const char* message)
{
    return Write(lineLevel, std::string(), message);
}

std::int32_t StderrLogger::Log(std::uint32_t lineLevel, const char* file, int line, const char* function,
                               const char* message)
{
    return Write(lineLevel, fmt::format("{}:{} {}: ", Text(file), line, Text(function)), message);
}

std::int32_t StderrLogger::Write(std::uint32_t lineLevel, const std::string& location, const char* message)
{
    try {
        if (lineLevel >= ORQ8::LogError)
            lastError = Text(message);
        if (lineLevel < level)
            return 0;
        const std::string line =
            fmt::format("{} {:<7} {}{}", IsoTimeUtc(NowMilliseconds()), LevelName(lineLevel), location, Text(message));
        return console.WriteErr(line) ? 0 : 1;
    } catch (...) {
        // Logging never throws into the plug-in.
        return 1;
    }
}

std::string StderrLogger::LastError() { return lastError; }

void StderrLogger::ForgetLastError() { lastError.clear(); }

std::string StderrLogger::LevelName(std::uint32_t lineLevel)
{
    switch (lineLevel) {
    case ORQ8::LogTrace: return "TRACE";
    case ORQ8::LogInfo: return "INFO";
    case ORQ8::LogWarning: return "WARNING";
    case ORQ8::LogError: return "ERROR";
    default: return fmt::format("LEVEL {}", lineLevel);
    }
}

std::string IsoTimeUtc(std::uint64_t ms)
{
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                       utc.tm_hour, utc.tm_min, utc.tm_sec, ms % 1000);
}

std::uint64_t NowMilliseconds()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace OrqHost
