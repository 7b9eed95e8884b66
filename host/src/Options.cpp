#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "ExitStatus.h"

namespace OrqHost {

const std::vector<std::string> kSoundClasses = {"GlassBreak", "SmokeAlarm", "GunShot", "Aggression",
                                                "BabyCry",    "Siren",      "DogBark"};

std::string UsageText()
{
    return R"(Usage: orq8-host [OPTIONS] INPUT...
       orq8-host validate [--seed N] [--seconds N] [FOLDER]
Runs audio through the AudioAnalytics_Zelvani detector plug-in, as the
video-management platform does, and prints the events it raises.
"validate" checks a plug-in folder (default: the installed one) before it is
deployed and prints a table of its phases; see orq8-host validate --help.

INPUT is a sound file (WAV, FLAC, Ogg and the other formats libsndfile reads)
or, with --raw, a file of raw PCM; "-" is standard input (--raw only). Each
input gets its own detector. Events go to standard output, one per line; log
lines, the progress bar and the summary go to standard error.

Plug-in:
  --plugins DIR         the plug-in folder (default: the installed one, ../plugins
                        beside this program)
  --log-level N         plug-in log lines of level N and above: 0 trace,
                        1 information (default), 2 warning, 3 error, 4 none

Settings (before the first sample, for every detector):
  --enable all|CLASS,...  raise events of these classes; classes: GlassBreak,
                        SmokeAlarm, GunShot, Aggression, BabyCry, Siren, DogBark
  --threshold CLASS=X   confidence threshold of a class (repeatable)
  --set KEY=VALUE       any setting: true/false as a switch, a number as a
                        value, anything else as text (repeatable)

Input:
  --buffer-ms N         milliseconds of audio per buffer (default 100)
  --start TIME          time of the first sample, ISO-8601 such as
                        2026-03-14T09:26:53.120Z (default: now)
  --realtime            deliver audio at real-time pace
  --mono                mix down to one channel on the host side
  --rate N              files: resample to N Hz on the host side;
                        with --raw: the input's rate
  --raw                 inputs are raw little-endian PCM, described by
  --channels N          channel count (default 1) and
  --bits N              bits per sample: 8 (unsigned), 16, 24, 32 (default 16)

Run and output:
  -j, --jobs N          inputs analysed in parallel (default: number of cores)
  --json                one JSON object per event line
  --report FILE.html    write a self-contained report: spectrogram, events and
                        per-class confidence of every input
  --no-progress         no progress bar (it is shown only on a terminal)
  --no-summary          no summary at the end
  -h, --help            this text
  --version             the program's version

Exit status:
  0   success
  1   unexpected internal failure
  2   bad arguments
  3   the plug-in could not be loaded (the loader's message is shown)
  4   the classification library beside the plug-in could not be loaded
  5   the plug-in's module already existed (InitializeModule status 9)
  6   the plug-in's module could not be made (InitializeModule status 10)
  7   the plug-in refused to create a detector
  8   the detector refused a setting (the known keys are listed)
  9   an input could not be read
  10  the plug-in refused an input's format or could not analyse it
      (the plug-in's reason is shown)
  11  the report or standard output could not be written
  12  validate: a phase did not pass (the table names it)
When several inputs fail, the status is that of the first failing input.
)";
}

namespace {

[[noreturn]] void Usage(const std::string& message)
{
    throw HostError(ExitUsage, message + " (see --help)");
}

std::uint64_t Number(const std::string& option, const std::string& text, std::uint64_t low, std::uint64_t high)
{
    const std::optional<std::uint64_t> value = ParseWholeNumber(text, low, high);
    if (!value)
        Usage(option + " wants a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
              ", not '" + text + "'");
    return *value;
}

std::optional<double> Real(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::pair<std::string, std::string> KeyValue(const std::string& option, const std::string& text)
{
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        Usage(option + " wants KEY=VALUE, not '" + text + "'");
    return {text.substr(0, equals), text.substr(equals + 1)};
}

void AddEnable(Options& options, const std::string& list)
{
    std::vector<std::string> classes;
    if (list == "all") {
        classes = kSoundClasses;
    } else {
        std::size_t begin = 0;
        while (begin <= list.size()) {
            const auto comma = list.find(',', begin);
            const std::string name = list.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
            if (name.empty())
                Usage("--enable wants 'all' or class names separated by commas, not '" + list + "'");
            classes.push_back(name);
            if (comma == std::string::npos)
                break;
            begin = comma + 1;
        }
    }
    // Class names are not checked here: the detector answers for its keys.
    for (const std::string& name : classes) {
        Setting s;
        s.key = "enable" + name;
        s.type = Setting::Type::Bool;
        s.boolValue = true;
        options.settings.push_back(s);
    }
}

}  // namespace

std::optional<std::uint64_t> ParseWholeNumber(const std::string& text, std::uint64_t low, std::uint64_t high)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ParseIsoTime(const std::string& text)
{
    static const std::regex pattern(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:[.,](\d{1,9}))?)?)?(Z|[+-]\d{2}:?\d{2})?$)");
    std::smatch m;
    if (!std::regex_match(text, m, pattern))
        return std::nullopt;
    auto field = [&](int i) { return m[i].matched ? std::stoi(m[i].str()) : 0; };
    std::tm tm{};
    tm.tm_year = field(1) - 1900;
    tm.tm_mon = field(2) - 1;
    tm.tm_mday = field(3);
    tm.tm_hour = field(4);
    tm.tm_min = field(5);
    tm.tm_sec = field(6);
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60)
        return std::nullopt;
    // A day the month lacks (February 30, April 31) is malformed; timegm
    // would silently roll it into the next month.
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = field(1);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (tm.tm_mday > kDaysInMonth[tm.tm_mon] + (tm.tm_mon == 1 && leap ? 1 : 0))
        return std::nullopt;
    long long seconds = timegm(&tm);
    if (m[8].matched && m[8].str() != "Z") {
        const std::string zone = m[8].str();
        const int hours = std::stoi(zone.substr(1, 2));
        const int minutes = std::stoi(zone.substr(zone.size() - 2));
        const long long offset = hours * 3600LL + minutes * 60LL;
        seconds += zone[0] == '+' ? -offset : offset;
    }
    if (seconds < 0)
        return std::nullopt;
    std::uint64_t ms = static_cast<std::uint64_t>(seconds) * 1000;
    if (m[7].matched) {
        std::string fraction = m[7].str();
        fraction.resize(3, '0');
        ms += static_cast<std::uint64_t>(std::stoi(fraction));
    }
    return ms;
}

Options ParseArguments(const std::vector<std::string>& args)
{
    Options options;
    bool rateGiven = false;
    bool channelsGiven = false;
    bool bitsGiven = false;
    options.rawFormat = {0, 1, 16};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const auto equals = arg.find('=');
            if (equals != std::string::npos) {
                inlineValue = arg.substr(equals + 1);
                arg = arg.substr(0, equals);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                Usage(arg + " wants a value");
            return args[++i];
        };
        auto flag = [&]() {
            if (inlineValue)
                Usage(arg + " takes no value");
        };
        if (arg == "-h" || arg == "--help") {
            flag();
            options.help = true;
        } else if (arg == "--version") {
            flag();
            options.version = true;
        } else if (arg == "--plugins") {
            options.pluginFolder = value();
            if (options.pluginFolder.empty())
                Usage("--plugins wants a folder");
        } else if (arg == "--log-level") {
            options.logLevel = static_cast<std::uint32_t>(Number(arg, value(), 0, 4));
        } else if (arg == "--enable") {
            AddEnable(options, value());
        } else if (arg == "--threshold") {
            const auto [name, text] = KeyValue(arg, value());
            const auto number = Real(text);
            if (!number)
                Usage("--threshold " + name + " wants a number, not '" + text + "'");
            Setting s;
            s.key = "confThreshold" + name;
            s.type = Setting::Type::Double;
            s.doubleValue = *number;
            options.settings.push_back(s);
        } else if (arg == "--set") {
            const auto [key, text] = KeyValue(arg, value());
            Setting s;
            s.key = key;
            if (text == "true" || text == "false") {
                s.type = Setting::Type::Bool;
                s.boolValue = text == "true";
            } else if (const auto number = Real(text)) {
                s.type = Setting::Type::Double;
                s.doubleValue = *number;
            } else {
                s.type = Setting::Type::Text;
                s.textValue = text;
            }
            options.settings.push_back(s);
        } else if (arg == "--buffer-ms") {
            options.bufferMs = static_cast<std::uint32_t>(Number(arg, value(), 1, 60000));
        } else if (arg == "--start") {
            const std::string text = value();
            options.start = ParseIsoTime(text);
            if (!options.start)
                Usage("--start wants an ISO-8601 time such as 2026-03-14T09:26:53.120Z, not '" + text + "'");
        } else if (arg == "--realtime") {
            flag();
            options.realtime = true;
        } else if (arg == "--mono") {
            flag();
            options.mono = true;
        } else if (arg == "--rate") {
            options.rate = static_cast<std::uint32_t>(Number(arg, value(), 1000, 768000));
            rateGiven = true;
        } else if (arg == "--raw") {
            flag();
            options.raw = true;
        } else if (arg == "--channels") {
            options.rawFormat.numChannels = static_cast<std::uint32_t>(Number(arg, value(), 1, 64));
            channelsGiven = true;
        } else if (arg == "--bits") {
            const auto bits = static_cast<std::uint32_t>(Number(arg, value(), 8, 32));
            if (bits % 8 != 0)
                Usage("--bits wants 8, 16, 24 or 32, not '" + std::to_string(bits) + "'");
            options.rawFormat.bitsPerSample = bits;
            bitsGiven = true;
        } else if (arg == "-j" || arg == "--jobs") {
            options.jobs = static_cast<unsigned>(Number(arg, value(), 1, 1024));
        } else if (arg == "--json") {
            flag();
            options.json = true;
        } else if (arg == "--report") {
            options.reportPath = value();
            if (options.reportPath.empty())
                Usage("--report wants a file name");
        } else if (arg == "--no-progress") {
            flag();
            options.progress = false;
        } else if (arg == "--no-summary") {
            flag();
            options.summary = false;
        } else {
            Usage("unknown option '" + args[i] + "'");
        }
    }
    if (options.help || options.version)
        return options;
    if (options.inputs.empty())
        Usage("no input given");
    if (options.raw) {
        if (!rateGiven)
            Usage("--raw wants --rate N, the input's sample rate");
        options.rawFormat.sampleRate = options.rate;
        options.rate = 0;
    } else if (channelsGiven || bitsGiven) {
        Usage("--channels and --bits describe raw input; add --raw");
    }
    std::size_t stdinInputs = 0;
    for (const std::string& input : options.inputs)
        if (input == "-")
            ++stdinInputs;
    if (stdinInputs > 0 && !options.raw)
        Usage("standard input ('-') is read as raw PCM only; add --raw --rate N");
    if (stdinInputs > 1)
        Usage("standard input ('-') can be given once");
    return options;
}

}  // namespace OrqHost
