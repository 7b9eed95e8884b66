// The command line of orq8-host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AudioBuffer.h"

namespace OrqHost {

// The sound classes in class-code order, as settings keys and event names
// spell them.
extern const std::vector<std::string> kSoundClasses;

// One detector setting, applied to every detector before its first sample.
struct Setting {
    enum class Type { Bool, Double, Text };
    std::string key;
    Type type = Type::Bool;
    bool boolValue = false;
    double doubleValue = 0.0;
    std::string textValue;
};

struct Options {
    std::vector<std::string> inputs;   // paths; "-" is standard input (raw only)
    std::string pluginFolder;          // empty: the installed folder beside the program
    bool raw = false;
    PcmFormat rawFormat;               // --raw: --rate, --channels, --bits
    bool mono = false;                 // mix down on the host side
    std::uint32_t rate = 0;            // files: convert to this rate (0: keep)
    std::uint32_t bufferMs = 100;
    std::optional<std::uint64_t> start;  // ms since 1970 UTC; unset: now
    bool realtime = false;
    unsigned jobs = 0;                 // 0: the number of cores
    std::uint32_t logLevel = 1;
    bool json = false;
    std::vector<Setting> settings;     // in command-line order
    std::string reportPath;
    bool progress = true;
    bool summary = true;
    bool help = false;
    bool version = false;
};

// Parses argv[1..]. Throws HostError(ExitUsage) with one line naming what is
// wrong.
Options ParseArguments(const std::vector<std::string>& args);

// A whole decimal number in [low, high] with nothing around it; no value for
// a sign, another character, overflow or a number out of range. Both the run
// and the validate command read their numeric options with it.
std::optional<std::uint64_t> ParseWholeNumber(const std::string& text, std::uint64_t low, std::uint64_t high);

// ISO-8601 date and time: "2026-03-14T09:26:53Z", with optional fraction of
// a second, "Z" or an offset "+01:00"; a date alone means midnight UTC.
// Returns ms since 1970 UTC, or nothing for a malformed text.
std::optional<std::uint64_t> ParseIsoTime(const std::string& text);

// The usage text of --help.
std::string UsageText();

}  // namespace OrqHost
