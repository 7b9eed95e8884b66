// The validator's side of the host contract, for the phases of
// ValidatePhases.cpp: a logger that keeps the plug-in's lines, audio samples
// that count their Destroy() calls, a detector with its own event factory,
// and the plug-in file opened and its module initialised as the platform
// does. Each phase makes its own, in its own process.
//
// Threads: the logger may be called from any thread; a TestDetector is fed
// from one thread while others change its settings (as the platform may);
// everything else belongs to the thread that made it.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "AudioBuffer.h"
#include "Console.h"
#include "DetectorAPI.h"
#include "Events.h"
#include "Options.h"
#include "PluginLoader.h"
#include "ValidatePhases.h"

namespace OrqHost {
namespace Validation {

// 2026-03-14T09:26:53Z. Any time from the 30th second of 1970 on lets a new
// detector make its engine with its first sample.
constexpr std::uint64_t kStart = 1773480413000ULL;
constexpr std::uint32_t kRates[] = {8000, 16000, 32000, 48000};
constexpr std::uint32_t kBits[] = {8, 16, 24, 32};
inline const std::string kPluginFile = std::string(kPluginName) + ".so";
inline const std::string kExpectedRunpath = "$ORIGIN/ZVAudioSdk:$ORIGIN";

[[noreturn]] inline void Fail(const std::string& message) { throw PhaseFailure(message); }

inline std::string Describe(const PcmFormat& f)
{
    return fmt::format("{} ch {} Hz {}-bit", f.numChannels, f.sampleRate, f.bitsPerSample);
}

// Bytes of `ms` milliseconds of `f`, never 0.
inline std::uint32_t BytesOf(const PcmFormat& f, std::uint32_t ms)
{
    const std::uint64_t bytes = std::uint64_t{f.sampleRate} * f.BytesPerFrame() * ms / 1000;
    return bytes > 0 ? static_cast<std::uint32_t>(bytes) : 1;
}

inline bool IsSupported(const PcmFormat& f)
{
    const bool rate = std::find(std::begin(kRates), std::end(kRates), f.sampleRate) != std::end(kRates);
    const bool bits = std::find(std::begin(kBits), std::end(kBits), f.bitsPerSample) != std::end(kBits);
    return f.numChannels == 1 && rate && bits;
}

// Random bytes, the same for every run: the audio every phase feeds.
inline const std::vector<std::uint8_t>& Noise()
{
    static const std::vector<std::uint8_t> noise = [] {
        std::vector<std::uint8_t> bytes(1 << 19);
        std::mt19937 rng(20260314);
        for (std::uint8_t& b : bytes)
            b = static_cast<std::uint8_t>(rng());
        return bytes;
    }();
    return noise;
}

struct LogLine {
    std::uint32_t level;
    std::string function;
    std::string message;
};

// The plug-in's log lines, kept for the checks. Any thread.
class RecordingLogger : public ORQ8::ILogger {
public:
    explicit RecordingLogger(std::uint32_t level) : level(level) {}

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (key != nullptr && (std::strcmp(key, ORQ8::ContractKey<ORQ8::ILogger>()) == 0 ||
                               std::strcmp(key, ORQ8::ContractKey<ORQ8::IContract>()) == 0))
            return static_cast<ORQ8::ILogger*>(this);
        return nullptr;
    }
    std::uint32_t GetLogLevel() override { return level; }
    std::int32_t Log(std::uint32_t lineLevel, const char* message) override
    {
        Add(lineLevel, nullptr, message);
        return 0;
    }
    std::int32_t Log(std::uint32_t lineLevel, const char*, int, const char* function, const char* message) override
    {
        Add(lineLevel, function, message);
        return 0;
    }

    // Lines whose message starts with `prefix`.
    std::size_t Count(const std::string& prefix) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::size_t n = 0;
        for (const LogLine& line : lines)
            if (line.message.compare(0, prefix.size(), prefix) == 0)
                ++n;
        return n;
    }
    // The first line whose message starts with `prefix`, or "".
    std::string Find(const std::string& prefix) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const LogLine& line : lines)
            if (line.message.compare(0, prefix.size(), prefix) == 0)
                return line.message;
        return "";
    }
    std::string Last() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lines.empty() ? "" : lines.back().message;
    }
    std::size_t Errors() const { return errors.load(); }
    std::string LastError() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lastError.empty() ? "no error line logged" : lastError;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.clear();
        lastError.clear();
        errors = 0;
    }

private:
    // The stress phases log for a long time: beyond this many lines only
    // the error count and the last error line are kept.
    static constexpr std::size_t kKept = 4096;

    void Add(std::uint32_t lineLevel, const char* function, const char* message)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const std::string text = message != nullptr ? message : "";
        if (lineLevel >= ORQ8::LogError) {
            ++errors;
            lastError = text;
        }
        if (lines.size() < kKept)
            lines.push_back({lineLevel, function != nullptr ? function : "", text});
    }

    const std::uint32_t level;
    mutable std::mutex mutex;
    std::vector<LogLine> lines;
    std::string lastError;
    std::atomic<std::size_t> errors{0};
};

// Host services that offer no logger.
class ServicesWithoutLogger : public ORQ8::IHostServices {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    void* GetService(const char*) override { return nullptr; }
};

// An audio sample the validator keeps: the plug-in's Destroy() is counted,
// not obeyed, so a second Destroy or a missing one shows instead of
// corrupting memory.
class CountedSample : public ORQ8::MFF::IAudioBufferPcm {
public:
    CountedSample(std::uint64_t timestamp, PcmFormat format, const std::uint8_t* data, std::uint32_t size,
                  const char* name)
        : timestamp(timestamp), format(format), data(data), size(size), name(name)
    {
    }
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        if (key != nullptr && (std::strcmp(key, ORQ8::ContractKey<ORQ8::MFF::IAudioBufferPcm>()) == 0 ||
                               std::strcmp(key, ORQ8::ContractKey<ORQ8::MFF::IMultimediaBuffer>()) == 0 ||
                               std::strcmp(key, ORQ8::ContractKey<ORQ8::IContract>()) == 0))
            return static_cast<ORQ8::MFF::IAudioBufferPcm*>(this);
        return nullptr;
    }
    std::uint64_t GetTimestamp() override { return timestamp; }
    const char* GetBufferName() override { return name; }
    std::uint32_t GetFlags() override { return 0; }
    void Destroy() override { ++destroyed; }
    const std::uint8_t* GetData() override { return data; }
    std::uint32_t GetDataSize() override { return size; }
    std::uint32_t GetNumChannels() override { return format.numChannels; }
    std::uint32_t GetSampleRate() override { return format.sampleRate; }
    std::uint32_t GetBitsPerSample() override { return format.bitsPerSample; }

    int destroyed = 0;

private:
    const std::uint64_t timestamp;
    const PcmFormat format;
    const std::uint8_t* data;
    const std::uint32_t size;
    const char* name;
};

// Committed events go nowhere but to the detector that raised them.
inline EventSink& QuietSink()
{
    static std::FILE* null = std::fopen("/dev/null", "w");
    static Console console(null != nullptr ? null : stderr, null != nullptr ? null : stderr);
    static EventSink sink(console, false);
    return sink;
}

// One detector of the module with its own event factory. Feed and the
// settings calls may run on different threads; the events are read on the
// feeding thread (the plug-in raises them there).
class TestDetector {
public:
    TestDetector(ORQ8::Analytics::IModule& module, const std::string& name)
        : events(QuietSink(), name, [this](const CommittedEvent& e) { committed.push_back(e); })
    {
        detector = module.CreateDetector(kPluginName, &events);
        if (detector == nullptr)
            Fail(fmt::format("CreateDetector(\"{}\") gave no detector", kPluginName));
        receiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(detector);
        adjuster = ORQ8::QueryContract<ORQ8::ISyncAdjuster>(detector);
        if (receiver == nullptr || adjuster == nullptr) {
            detector->Destroy();
            Fail("the detector does not answer its IMediaReceiver or ISyncAdjuster key");
        }
    }
    ~TestDetector() { detector->Destroy(); }
    TestDetector(const TestDetector&) = delete;
    TestDetector& operator=(const TestDetector&) = delete;

    // One Receive; fails unless the status is 0 or 4 and the sample was
    // destroyed exactly once.
    std::int32_t Feed(std::uint64_t timestamp, const PcmFormat& format, const std::uint8_t* data, std::uint32_t size,
                      const char* name = "validate")
    {
        CountedSample sample(timestamp, format, data, size, name);
        const std::int32_t status = receiver->Receive(&sample);
        if (sample.destroyed != 1)
            Fail(fmt::format("Receive of a {} sample of {} bytes destroyed it {} times, expected once",
                             Describe(format), size, sample.destroyed));
        if (status != 0 && status != 4)
            Fail(fmt::format("Receive of a {} sample answered {}, expected 0 or 4", Describe(format), status));
        return status;
    }

    // `ms` milliseconds of noise from `start`, in 100 ms samples; returns
    // the first non-zero status, or 0.
    std::int32_t FeedSeconds(std::uint64_t start, const PcmFormat& format, std::uint32_t ms, const char* name)
    {
        const std::uint32_t bytes = BytesOf(format, 100);
        for (std::uint32_t at = 0; at < ms; at += 100)
            if (const std::int32_t status = Feed(start + at, format, Noise().data() + at, bytes, name); status != 0)
                return status;
        return 0;
    }

    // Events are whole, momentary, of the detector group "AudioDetector",
    // and none was cancelled or refused.
    void CheckEvents(std::size_t from, std::uint64_t timestamp, const std::set<std::string>& allowed) const
    {
        std::set<std::string> seen;
        for (std::size_t i = from; i < committed.size(); ++i) {
            const CommittedEvent& e = committed[i];
            if (allowed.count(e.name) == 0)
                Fail(fmt::format("event '{}' raised while only {} classes were enabled", e.name, allowed.size()));
            if (!seen.insert(e.name).second)
                Fail(fmt::format("event '{}' raised twice for one sample", e.name));
            if (e.timestamp != timestamp || e.kind != ORQ8::Analytics::EventMomentary)
                Fail(fmt::format("event '{}' at {} of kind {}, expected momentary at the sample's time {}", e.name,
                                 e.timestamp, e.kind, timestamp));
            if (e.args.size() != 1 || e.args[0].key != "DetectorsGroup" || e.args[0].text != "AudioDetector")
                Fail(fmt::format("event '{}' lacks the one argument DetectorsGroup=AudioDetector", e.name));
        }
        if (events.Cancelled() != 0 || events.Refused() != 0)
            Fail(fmt::format("{} events cancelled and {} refused by the host", events.Cancelled(), events.Refused()));
    }

    HostEventFactory events;
    std::vector<CommittedEvent> committed;
    ORQ8::Analytics::IDetector* detector = nullptr;
    ORQ8::Analytics::IMediaReceiver* receiver = nullptr;
    ORQ8::ISyncAdjuster* adjuster = nullptr;
};

// The plug-in file opened as the platform opens it.
struct PluginFile {
    using InitializeFn = std::int32_t (*)(ORQ8::IHostServices*, const char*);
    using GetModuleFn = ORQ8::Analytics::IModule* (*)();
    using FinalizeFn = void (*)();

    explicit PluginFile(const PhaseContext& context)
    {
        const std::string path = (std::filesystem::path(context.folder) / kPluginFile).string();
        context.channel->Step("dlopen " + kPluginFile);
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* message = dlerror();
            Fail(std::string("dlopen: ") + (message != nullptr ? message : "unknown loader error"));
        }
        initialize = reinterpret_cast<InitializeFn>(dlsym(library, "InitializeModule"));
        getModule = reinterpret_cast<GetModuleFn>(dlsym(library, "GetModule"));
        finalize = reinterpret_cast<FinalizeFn>(dlsym(library, "FinalizeModule"));
        for (const auto& [found, name] : {std::pair<bool, const char*>{initialize != nullptr, "InitializeModule"},
                                          {getModule != nullptr, "GetModule"},
                                          {finalize != nullptr, "FinalizeModule"}})
            if (!found)
                Fail(kPluginFile + " has no entry point " + name);
    }

    // The library stays loaded: the process ends with the phase.
    void* library = nullptr;
    InitializeFn initialize = nullptr;
    GetModuleFn getModule = nullptr;
    FinalizeFn finalize = nullptr;
};

// The plug-in loaded and its module initialised; finalised on the way out.
class ModuleSession {
public:
    ModuleSession(const PhaseContext& context, std::uint32_t logLevel)
        : logger(logLevel), services(logger), plugin(context)
    {
        context.channel->Step("InitializeModule");
        const std::int32_t status = plugin.initialize(&services, context.folder.c_str());
        if (status != ORQ_MODULE_CREATED)
            Fail(fmt::format("InitializeModule answered {}, expected 0 ({})", status, logger.LastError()));
        module = plugin.getModule();
        if (module == nullptr)
            Fail("GetModule gave no module after InitializeModule answered 0");
    }
    ~ModuleSession() { plugin.finalize(); }
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    RecordingLogger logger;
    HostServices services;
    PluginFile plugin;
    ORQ8::Analytics::IModule* module = nullptr;
};

inline std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < 5; ++i)
        text += (i > 0 ? ", " : "") + names[i];
    if (names.size() > 5)
        text += fmt::format(" and {} more", names.size() - 5);
    return names.empty() ? "nothing" : text;
}

inline std::vector<std::string> SettingsKeys()
{
    std::vector<std::string> keys;
    for (const std::string& name : kSoundClasses) {
        keys.push_back("enable" + name);
        keys.push_back("confThreshold" + name);
    }
    return keys;
}

inline bool IsEnableKey(const std::string& key) { return key.compare(0, 6, "enable") == 0; }

}  // namespace Validation
}  // namespace OrqHost
