// The host's logger: the plug-in's log lines on stderr.
//
// A line reads "2026-03-14T09:26:53.123Z INFO    message", and a located line
// adds "file:line function: " before the message. Lines below the level
// given at construction (--log-level) are not printed. GetLogLevel tells the
// plug-in that level, but never one above 3 (error): the host always wants
// the error lines, because it quotes them when it reports a refused input
// (below), also when it does not print them.
//
// Threads: every operation may be called from several threads at once (the
// plug-in takes no lock around them); each line is one Console write.
//
// The logger also remembers, per thread, the last error line (level 3 and
// above) sent on that thread, whether or not it was printed: the plug-in
// explains a refused sample only in its log, on the thread of the Receive
// call that refused it, and the host quotes that line in its own message.
#pragma once

#include <cstdint>
#include <string>

#include "Console.h"
#include "HostServices.h"

namespace OrqHost {

class StderrLogger : public ORQ8::ILogger {
public:
    StderrLogger(Console& console, std::uint32_t level) : console(console), level(level) {}

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override;

    std::uint32_t GetLogLevel() override { return level < ORQ8::LogError ? level : ORQ8::LogError; }
    std::int32_t Log(std::uint32_t level, const char* message) override;
    std::int32_t Log(std::uint32_t level, const char* file, int line, const char* function,
                     const char* message) override;

    // The last error line sent on the calling thread since ForgetLastError()
    // on it; empty when there was none.
    static std::string LastError();
    static void ForgetLastError();

    // "TRACE", "INFO", "WARNING", "ERROR", or "LEVEL n" above 3.
    static std::string LevelName(std::uint32_t level);

private:
    std::int32_t Write(std::uint32_t level, const std::string& location, const char* message);

    Console& console;
    const std::uint32_t level;
};

// The current time as ISO-8601 UTC with milliseconds ("...T09:26:53.123Z").
std::string IsoTimeUtc(std::uint64_t millisecondsSince1970);
std::uint64_t NowMilliseconds();

}  // namespace OrqHost
