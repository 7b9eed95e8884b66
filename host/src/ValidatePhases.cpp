#include "ValidatePhases.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include <fmt/format.h>

#include "AudioBuffer.h"
#include "DetectorAPI.h"
#include "ElfFile.h"
#include "Events.h"
#include "Options.h"
#include "PluginLoader.h"
#include "ValidateHost.h"

namespace OrqHost {

void PhaseChannel::Send(char kind, const std::string& text) const
{
    std::string line = std::string(1, kind) + ' ' + text;
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    line += '\n';
    // One write per line: the validator reads whole lines even when the
    // process dies right after.
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t put = write(fd, data, left);
        if (put <= 0)
            return;
        data += put;
        left -= static_cast<std::size_t>(put);
    }
}

namespace {

using namespace Validation;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// ---- elf ---------------------------------------------------------------

void RequireSharedLibrary(const ElfFacts& facts, const std::string& name)
{
    if (facts.type != ET_DYN || facts.machine != EM_X86_64)
        Fail(fmt::format("{} is not an x86-64 shared library (type {}, machine {})", name, facts.type,
                         facts.machine));
}

void RequireExports(const ElfFacts& facts, const std::string& name, const std::vector<std::string>& expected)
{
    if (facts.exported != expected)
        Fail(fmt::format("{} exports {}; expected exactly {}", name, Joined(facts.exported), Joined(expected)));
}

std::vector<std::string> SplitPath(const std::string& list)
{
    std::vector<std::string> dirs;
    std::stringstream in(list);
    for (std::string dir; std::getline(in, dir, ':');)
        if (!dir.empty())
            dirs.push_back(dir);
    return dirs;
}

std::string ExpandOrigin(std::string dir, const fs::path& origin)
{
    for (const std::string token : {"${ORIGIN}", "$ORIGIN"})
        for (std::size_t at; (at = dir.find(token)) != std::string::npos;)
            dir.replace(at, token.size(), origin.string());
    return dir;
}

// Where the loader finds `needed` for the library at `file`: its DT_RPATH
// (without a DT_RUNPATH), LD_LIBRARY_PATH, its DT_RUNPATH, then the system's
// own search, which dlopen answers. "" when nowhere.
std::string Resolve(const std::string& needed, const fs::path& file, const ElfFacts& facts)
{
    if (needed.find('/') != std::string::npos)
        return fs::is_regular_file(needed) ? needed : "";
    std::vector<std::string> dirs;
    if (!facts.hasRunpath && facts.hasRpath)
        dirs = SplitPath(facts.rpath);
    if (const char* env = std::getenv("LD_LIBRARY_PATH"))
        for (const std::string& dir : SplitPath(env))
            dirs.push_back(dir);
    for (const std::string& dir : SplitPath(facts.runpath))
        dirs.push_back(dir);
    for (const std::string& dir : dirs) {
        const fs::path candidate = fs::path(ExpandOrigin(dir, file.parent_path())) / needed;
        std::error_code ignored;
        if (fs::is_regular_file(candidate, ignored))
            return candidate.lexically_normal().string();
    }
    void* handle = dlopen(needed.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr)
        return "";
    link_map* map = nullptr;
    std::string where = needed;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr)
        where = map->l_name;
    dlclose(handle);
    return where;
}

// Every library `file` needs is found; those found inside the folder are
// read and followed in turn. Returns how many were found.
std::size_t ResolveAll(const fs::path& file, const std::string& name, const ElfFacts& facts, const fs::path& folder,
                       std::set<std::string>& visited)
{
    std::size_t found = 0;
    for (const std::string& needed : facts.needed) {
        const std::string where = Resolve(needed, file, facts);
        if (where.empty())
            Fail(fmt::format("{} needs {}, found neither in its run path ({}) nor by the system loader", name,
                             needed, facts.hasRunpath ? facts.runpath : "none"));
        ++found;
        const fs::path path = fs::weakly_canonical(where);
        const std::string inside = path.lexically_relative(fs::weakly_canonical(folder)).string();
        if (inside.empty() || inside.compare(0, 2, "..") == 0 || !visited.insert(inside).second)
            continue;
        const ElfFacts dependency = ReadElfFile(path.string(), inside);
        RequireSharedLibrary(dependency, inside);
        found += ResolveAll(path, inside, dependency, folder, visited);
    }
    return found;
}

void PhaseElf(const PhaseContext& context)
{
    const fs::path folder = context.folder;
    if (!fs::is_directory(folder))
        Fail(context.folder + " is not a folder");
    context.channel->Step(kPluginFile);
    const ElfFacts plugin = ReadElfFile((folder / kPluginFile).string(), kPluginFile);
    RequireSharedLibrary(plugin, kPluginFile);
    RequireExports(plugin, kPluginFile, {"FinalizeModule", "GetModule", "InitializeModule"});
    if (plugin.hasRpath)
        Fail(fmt::format("{} has DT_RPATH {}, which would override the host's LD_LIBRARY_PATH; expected DT_RUNPATH {}",
                         kPluginFile, plugin.rpath, kExpectedRunpath));
    if (!plugin.hasRunpath || plugin.runpath != kExpectedRunpath)
        Fail(fmt::format("{} has run path '{}', expected {}", kPluginFile, plugin.runpath, kExpectedRunpath));
    const std::string sdkName = fs::path(kSdkRelativePath).filename().string();
    if (std::find(plugin.needed.begin(), plugin.needed.end(), sdkName) == plugin.needed.end())
        Fail(fmt::format("{} does not need {}", kPluginFile, sdkName));

    context.channel->Step("dependencies of " + kPluginFile);
    std::set<std::string> visited;
    const std::size_t found = ResolveAll(folder / kPluginFile, kPluginFile, plugin, folder, visited);

    context.channel->Step(kSdkRelativePath);
    const ElfFacts sdk = ReadElfFile((folder / kSdkRelativePath).string(), kSdkRelativePath);
    RequireSharedLibrary(sdk, kSdkRelativePath);
    RequireExports(sdk, kSdkRelativePath,
                   {"zvAudio_GetVersionInfo", "zvAudio_Init", "zvAudio_Process", "zvAudio_Release",
                    "zvAudio_SetParams"});
    const fs::path data = folder / fs::path(kSdkRelativePath).parent_path() / "share";
    if (!fs::is_directory(data))
        Fail("ZVAudioSdk/share is missing: the classification library's data folder");
    context.channel->Note(fmt::format("3 entry points, 5 library calls, run path {}, {} dependencies found",
                                      kExpectedRunpath, found));
}

// ---- load ----------------------------------------------------------------

void PhaseLoad(const PhaseContext& context)
{
    ModuleSession session(context, ORQ8::LogTrace);
    if (session.logger.Count("Module's file version: ") != 1)
        Fail("the module did not log its version line");
    context.channel->Step("CreateDetector");
    {
        TestDetector detector(*session.module, "load");
        context.channel->Step("first sample, mono 16000 Hz 16-bit");
        const PcmFormat mono16k{16000, 1, 16};
        if (detector.FeedSeconds(kStart, mono16k, 3000, "load") != 0)
            Fail(fmt::format("the first samples (mono 16000 Hz 16-bit) were refused (status 4): {}",
                             session.logger.LastError()));
        if (session.logger.Count("zvAudio: engine init status: ") != 1)
            Fail("the first sample made no engine");
    }
    const std::string engine = session.logger.Find("zvAudio: engine init status: ");
    context.channel->Step("FinalizeModule");
    session.plugin.finalize();
    if (session.plugin.getModule() != nullptr)
        Fail("GetModule still gave a module after FinalizeModule");
    // The session's own FinalizeModule is then a second one, which must be
    // harmless.
    context.channel->Note("module made, detector made, first sample made an engine: " +
                          engine.substr(std::strlen("zvAudio: engine init status: ")));
}

// ---- entry points ----------------------------------------------------------

void PhaseEntryPoints(const PhaseContext& context)
{
    const PluginFile plugin(context);
    RecordingLogger logger(ORQ8::LogTrace);
    HostServices services(logger);
    ServicesWithoutLogger noLogger;
    const char* folder = context.folder.c_str();
    const PcmFormat mono16k{16000, 1, 16};

    context.channel->Step("GetModule and FinalizeModule before InitializeModule");
    if (plugin.getModule() != nullptr)
        Fail("GetModule gave a module before InitializeModule");
    plugin.finalize();
    context.channel->Step("InitializeModule with bad arguments");
    const std::pair<std::int32_t, const char*> refusals[] = {
        {plugin.initialize(nullptr, folder), "a null host"},
        {plugin.initialize(&services, nullptr), "a null folder"},
        {plugin.initialize(&noLogger, folder), "a host without a logger"}};
    for (const auto& [status, what] : refusals)
        if (status != ORQ_MODULE_INIT_FAILED)
            Fail(fmt::format("InitializeModule with {} answered {}, expected 10", what, status));
    if (plugin.getModule() != nullptr)
        Fail("a refused InitializeModule left a module");

    context.channel->Step("detectors destroyed before FinalizeModule");
    if (const std::int32_t status = plugin.initialize(&services, folder); status != ORQ_MODULE_CREATED)
        Fail(fmt::format("InitializeModule answered {}, expected 0", status));
    if (const std::int32_t status = plugin.initialize(&services, folder); status != ORQ_MODULE_ALREADY_INITIALIZED)
        Fail(fmt::format("a second InitializeModule answered {}, expected 9", status));
    if (logger.Count("module already was initialized") != 1)
        Fail("a second InitializeModule did not log 'module already was initialized'");
    ORQ8::Analytics::IModule* module = plugin.getModule();
    if (module == nullptr)
        Fail("GetModule gave no module after InitializeModule answered 0");
    {
        TestDetector detector(*module, "before");
        if (detector.FeedSeconds(kStart, mono16k, 1000, "before") != 0)
            Fail("samples refused before FinalizeModule: " + logger.LastError());
    }
    plugin.finalize();
    if (plugin.getModule() != nullptr)
        Fail("GetModule still gave a module after FinalizeModule");
    plugin.finalize();

    context.channel->Step("detectors destroyed after FinalizeModule");
    if (const std::int32_t status = plugin.initialize(&services, folder); status != ORQ_MODULE_CREATED)
        Fail(fmt::format("InitializeModule after FinalizeModule answered {}, expected 0", status));
    module = plugin.getModule();
    if (module == nullptr)
        Fail("GetModule gave no module after a new InitializeModule");
    auto first = std::make_unique<TestDetector>(*module, "first");
    auto second = std::make_unique<TestDetector>(*module, "second");
    if (first->detector == second->detector)
        Fail("two CreateDetector calls gave the same detector");
    plugin.finalize();
    for (TestDetector* detector : {first.get(), second.get()})
        if (detector->FeedSeconds(kStart, mono16k, 1000, "after") != 0)
            Fail("a detector refused samples after FinalizeModule: " + logger.LastError());
    first.reset();
    second.reset();
    context.channel->Note("detectors destroyed before and after FinalizeModule; 9 for a second "
                          "InitializeModule, 10 for bad arguments");
}

// ---- faces -------------------------------------------------------------------

void PhaseFaces(const PhaseContext& context)
{
    ModuleSession session(context, ORQ8::LogTrace);
    ORQ8::Analytics::IModule* module = session.module;
    std::size_t refused = 0;

    context.channel->Step("module keys");
    for (const char* key : {"N4ORQ89IContractE", "N4ORQ86PLUGIN13IPluginModuleE", "N4ORQ89Analytics7IModuleE"})
        if (module->GetContract(key) != static_cast<void*>(module))
            Fail(fmt::format("the module does not answer '{}' with itself", key));
    const char* foreignKeys[] = {"N4ORQ87ILoggerE",          "N4ORQ89Analytics9IDetectorE",  "N4ORQ813ISyncAdjusterE",
                                 "n4orq89icontracte",        "N4ORQ89IContractE ",          "",
                                 "N4ORQ83MFF15IAudioBufferPcmE"};
    for (const char* key : foreignKeys) {
        if (module->GetContract(key) != nullptr)
            Fail(fmt::format("the module answers the key '{}'", key));
        ++refused;
    }
    if (module->GetContract(nullptr) != nullptr)
        Fail("the module answers a null key");

    context.channel->Step("CreateDetector with other names");
    HostEventFactory refusedEvents(QuietSink(), "refused");
    for (const char* name : {"AudioDetector", "audioanalytics_zelvani", "AudioAnalytics_Zelvani ", ""}) {
        if (ORQ8::Analytics::IDetector* other = module->CreateDetector(name, &refusedEvents)) {
            other->Destroy();
            Fail(fmt::format("CreateDetector(\"{}\") gave a detector", name));
        }
        if (session.logger.Count(fmt::format("Detector '{}' is not supported", name)) != 1)
            Fail(fmt::format("CreateDetector(\"{}\") did not log its refusal", name));
        ++refused;
    }

    context.channel->Step("detector keys");
    TestDetector detector(*session.module, "faces");
    void* const main = static_cast<void*>(detector.detector);
    for (const char* key : {"N4ORQ89IContractE", "N4ORQ812IDestroyableE", "N4ORQ89Analytics9IDetectorE"})
        if (detector.detector->GetContract(key) != main)
            Fail(fmt::format("the detector does not answer '{}' with its main face", key));
    const std::pair<ORQ8::IContract*, const char*> faces[] = {{detector.receiver, "IMediaReceiver"},
                                                              {detector.adjuster, "ISyncAdjuster"}};
    for (const auto& [face, faceName] : faces) {
        if (face->GetContract("N4ORQ89Analytics9IDetectorE") != main ||
            face->GetContract("N4ORQ89Analytics14IMediaReceiverE") != static_cast<void*>(detector.receiver) ||
            face->GetContract("N4ORQ813ISyncAdjusterE") != static_cast<void*>(detector.adjuster))
            Fail(fmt::format("the detector's {} face does not lead to the same detector", faceName));
    }
    for (const char* key : {"N4ORQ89Analytics7IModuleE", "N4ORQ86PLUGIN13IPluginModuleE",
                            "N4ORQ83MFF15IAudioBufferPcmE", "N4ORQ87ILoggerE", "n4orq89analytics9idetectore", ""}) {
        if (detector.detector->GetContract(key) != nullptr)
            Fail(fmt::format("the detector answers the key '{}'", key));
        ++refused;
    }
    if (detector.detector->GetContract(nullptr) != nullptr)
        Fail("the detector answers a null key");

    context.channel->Step("settings keys");
    ORQ8::ISyncAdjuster& adjuster = *detector.adjuster;
    for (const std::string& key : SettingsKeys()) {
        const bool enable = IsEnableKey(key);
        const std::int32_t right = enable ? adjuster.SetValue(key.c_str(), true) : adjuster.SetValue(key.c_str(), 0.5);
        if (right != 0)
            Fail(fmt::format("SetValue(\"{}\", {}) answered {}, expected 0", key, enable ? "true" : "0.5", right));
        const std::int32_t wrong = enable ? adjuster.SetValue(key.c_str(), 0.5) : adjuster.SetValue(key.c_str(), true);
        if (wrong != 5)
            Fail(fmt::format("SetValue(\"{}\") with a {} answered {}, expected 5", key, enable ? "number" : "switch",
                             wrong));
        if (adjuster.SetValue(key.c_str(), 1) != 5 || adjuster.SetValue(key.c_str(), "1") != 5)
            Fail(fmt::format("SetValue(\"{}\") with an int or a text did not answer 5", key));
    }
    for (const char* key : {"confthresholdgunshot", "enableGunShot ", "EnableSiren", "enable", "confThreshold",
                            "enableNone", "confThresholdNone", ""}) {
        if (adjuster.SetValue(key, true) != 5 || adjuster.SetValue(key, 0.5) != 5 || adjuster.SetValue(key, 1) != 5 ||
            adjuster.SetValue(key, "1") != 5)
            Fail(fmt::format("the unknown settings key '{}' was not refused with 5", key));
        ++refused;
    }
    context.channel->Note(fmt::format("3 module keys, 5 detector keys, 14 settings keys; {} foreign keys, names "
                                      "and value types refused",
                                      refused));
}

// ---- settings -----------------------------------------------------------------

void PhaseSettings(const PhaseContext& context)
{
    ModuleSession session(context, ORQ8::LogTrace);
    RecordingLogger& logger = session.logger;
    TestDetector detector(*session.module, "settings");
    ORQ8::ISyncAdjuster& adjuster = *detector.adjuster;
    const auto expectLast = [&](const std::string& call, const std::string& expected) {
        if (logger.Last() != expected)
            Fail(fmt::format("{} logged '{}', expected '{}'", call, logger.Last(), expected));
    };

    // The stored value comes back in the plug-in's log line, which writes
    // the float the detector keeps.
    for (const std::string& name : kSoundClasses) {
        const std::string key = "confThreshold" + name;
        context.channel->Step(key);
        for (const double value : {0.1, 0.25, 0.5, 0.75, 0.99, 0.0, 1.0, 1.5, -1.0, 0.5}) {
            const std::string call = fmt::format("SetValue(\"{}\", {})", key, value);
            if (adjuster.SetValue(key.c_str(), value) != 0)
                Fail(call + " was refused");
            expectLast(call, fmt::format("Set params {} value: {}", key, static_cast<float>(value)));
        }
        const std::string enableKey = "enable" + name;
        context.channel->Step(enableKey);
        for (const bool value : {true, true, false, false, true}) {
            const std::string call = fmt::format("SetValue(\"{}\", {})", enableKey, value);
            if (adjuster.SetValue(enableKey.c_str(), value) != 0)
                Fail(call + " was refused");
            expectLast(call, fmt::format("Event type '{}' {}", name, value ? "enabled" : "disabled"));
        }
    }

    context.channel->Step("a threshold change makes a new engine after the hold-off");
    const PcmFormat mono16k{16000, 1, 16};
    const std::uint32_t bytes = BytesOf(mono16k, 100);
    const auto feedAt = [&](std::uint64_t offset, std::size_t engines) {
        if (detector.Feed(kStart + offset, mono16k, Noise().data(), bytes) != 0)
            Fail(fmt::format("the sample at +{} ms was refused: {}", offset, logger.LastError()));
        const std::size_t made = logger.Count("zvAudio: set params succesful");
        if (made != engines)
            Fail(fmt::format("after the sample at +{} ms the detector had made {} engines, expected {}", offset, made,
                             engines));
    };
    feedAt(0, 1);
    adjuster.SetValue("confThresholdGunShot", 0.6);
    for (const std::uint64_t offset : {1000, 15000, 29999})
        feedAt(offset, 1);
    feedAt(30000, 2);
    context.channel->Step("a switch needs no new engine");
    adjuster.SetValue("enableSiren", false);
    feedAt(31000, 2);
    context.channel->Step("several threshold changes make one new engine");
    adjuster.SetValue("confThresholdSiren", 0.3);
    adjuster.SetValue("confThresholdDogBark", 0.4);
    adjuster.SetValue("confThresholdBabyCry", 0.45);
    feedAt(60000, 3);
    feedAt(61000, 3);
    context.channel->Note("14 keys set and read back; a threshold change makes one new engine after 30000 ms, "
                          "a switch none");
}

// ---- formats --------------------------------------------------------------------

void PhaseFormats(const PhaseContext& context)
{
    ModuleSession session(context, ORQ8::LogTrace);
    RecordingLogger& logger = session.logger;
    std::size_t accepted = 0;
    std::size_t refused = 0;

    for (const std::uint32_t rate : kRates)
        for (const std::uint32_t bits : kBits) {
            const PcmFormat format{rate, 1, bits};
            const std::string name = Describe(format);
            context.channel->Step(name);
            logger.Clear();
            TestDetector detector(*session.module, name);
            if (detector.FeedSeconds(kStart, format, 1000, name.c_str()) != 0)
                Fail(fmt::format("{} refused (status 4): {}", name, logger.LastError()));
            const std::string expected = fmt::format(
                "Try init engine: sampleRate: {}, numChannels: 1, bitsPerSample: {}, inputBufferSize: {}, "
                "bufferName '{}', outputBufferSize: {}",
                rate, bits, BytesOf(format, 100), name, rate * (bits / 8) * 40 / 1000);
            if (logger.Find("Try init engine") != expected)
                Fail(fmt::format("{}: logged '{}', expected '{}'", name, logger.Find("Try init engine"), expected));
            if (logger.Errors() != 0)
                Fail(fmt::format("{}: error line '{}'", name, logger.LastError()));
            ++accepted;
        }

    // A refusal does not start the hold-off: each sample of a refused format
    // is refused again, and a supported one right after makes the engine.
    struct Refusal {
        PcmFormat format;
        std::string line;  // "" when the plug-in's own wording is taken
    };
    std::vector<Refusal> refusals;
    for (const std::uint32_t channels : {0u, 2u, 3u, 8u})
        refusals.push_back({{16000, channels, 16}, fmt::format("Unsupported number of channels: {}", channels)});
    for (const std::uint32_t rate : {0u, 11025u, 22050u, 44100u, 96000u})
        refusals.push_back({{rate, 1, 16}, fmt::format("Unsupported sample rate: {}", rate)});
    refusals.push_back({{44100, 2, 16}, "Unsupported number of channels: 2"});
    // Samples narrower than a byte or wider than 32 bits cannot be cut into
    // frames the classification library reads; they must be refused too.
    for (const std::uint32_t bits : {0u, 4u, 40u})
        refusals.push_back({{16000, 1, bits}, ""});
    for (const Refusal& refusal : refusals) {
        const std::string name = Describe(refusal.format);
        context.channel->Step(name);
        logger.Clear();
        TestDetector detector(*session.module, name);
        for (const std::uint64_t at : {kStart, kStart + 100}) {
            if (detector.Feed(at, refusal.format, Noise().data(), 3200) != 4)
                Fail(fmt::format("a {} sample was accepted, expected status 4", name));
        }
        if (logger.Errors() != 2)
            Fail(fmt::format("{}: {} error lines for two refused samples, expected 2", name, logger.Errors()));
        if (!refusal.line.empty() && logger.Count(refusal.line) != 2)
            Fail(fmt::format("{}: logged '{}', expected '{}'", name, logger.LastError(), refusal.line));
        if (detector.Feed(kStart + 200, {16000, 1, 16}, Noise().data(), 3200) != 0)
            Fail(fmt::format("after {} a mono 16000 Hz sample was refused: {}", name, logger.LastError()));
        ++refused;
    }
    context.channel->Note(fmt::format("{} formats accepted (mono, 8000 to 48000 Hz, 8 to 32 bits), {} refused "
                                      "with their log lines",
                                      accepted, refused));
}

// ---- stress ---------------------------------------------------------------------

void PhaseStress(const PhaseContext& context)
{
    ModuleSession session(context, ORQ8::LogError);
    std::mt19937_64 rng(context.seed);
    const auto pick = [&](std::uint64_t n) { return static_cast<std::size_t>(rng() % n); };

    std::vector<PcmFormat> formats;
    for (const std::uint32_t rate : kRates)
        for (const std::uint32_t bits : kBits)
            formats.push_back({rate, 1, bits});
    const std::vector<PcmFormat> unsupported = {
        {16000, 2, 16}, {44100, 1, 16}, {16000, 1, 0}, {11025, 1, 8}, {48000, 6, 24}, {0, 0, 0}};
    std::vector<std::string> keys = SettingsKeys();
    for (const char* unknown : {"enablegunshot", "confThreshold", "", "enableNone"})
        keys.push_back(unknown);

    std::unique_ptr<TestDetector> detector;
    std::set<std::string> enabled;
    PcmFormat format = formats[0];
    std::uint64_t timestamp = kStart;
    std::uint64_t samples = 0, settings = 0, detectors = 0, events = 0, step = 0;
    const auto where = [&] { return fmt::format("seed {}, step {}: ", context.seed, step); };
    const auto newDetector = [&] {
        if (detector)
            detector->CheckEvents(detector->committed.size(), 0, enabled);
        detector.reset();
        detector = std::make_unique<TestDetector>(*session.module, "stress");
        enabled.clear();
        timestamp = kStart;
        ++detectors;
    };
    newDetector();

    const Clock::time_point end = Clock::now() + std::chrono::seconds(context.seconds);
    for (; (step & 63) != 0 || Clock::now() < end; ++step) {
        const std::size_t action = pick(200);
        if (action < 1) {
            newDetector();
        } else if (action < 14) {
            format = pick(5) == 0 ? unsupported[pick(unsupported.size())] : formats[pick(formats.size())];
        } else if (action < 22) {
            // Time jumps past the hold-off, and sometimes back.
            const std::uint64_t jump = 30000 + pick(90000);
            timestamp = pick(4) == 0 && timestamp > kStart + jump ? timestamp - jump : timestamp + jump;
        } else if (action < 60) {
            const std::size_t index = pick(keys.size());
            const std::string& key = keys[index];
            const bool known = index < 2 * kSoundClasses.size();
            const std::size_t type = pick(5);  // 0, 1 the key's own type; 2 the other; 3 int; 4 text
            const bool enableKey = IsEnableKey(key);
            const bool asBool = (type < 2) == enableKey;
            std::int32_t status = 0;
            bool value = false;
            // Thresholds stay in [0, 1]: the classification library refuses
            // others, and every later engine would fail. A threshold of 0 is
            // met by any sound, noise included, so it is common: the events
            // are checked too.
            const double threshold = pick(3) == 0 ? 0.0 : static_cast<double>(pick(1001)) / 1000.0;
            if (type == 3) {
                status = detector->adjuster->SetValue(key.c_str(), 1);
            } else if (type == 4) {
                status = detector->adjuster->SetValue(key.c_str(), "0.5");
            } else if (asBool) {
                value = pick(2) == 0;
                status = detector->adjuster->SetValue(key.c_str(), value);
            } else {
                status = detector->adjuster->SetValue(key.c_str(), threshold);
            }
            const bool fits = type < 3 && asBool == enableKey;
            const std::int32_t expected = known && fits ? 0 : 5;
            if (status != expected)
                Fail(fmt::format("{}SetValue(\"{}\") answered {}, expected {}", where(), key, status, expected));
            if (expected == 0 && enableKey) {
                const std::string name = key.substr(6);
                if (value)
                    enabled.insert(name);
                else
                    enabled.erase(name);
            }
            ++settings;
        } else {
            const std::uint32_t frame = BytesOf(format, 40);
            const auto size = static_cast<std::uint32_t>(pick(3 * std::uint64_t{frame} + 9));
            const std::uint8_t* data = Noise().data() + pick(Noise().size() - size);
            const std::size_t before = detector->committed.size();
            const std::int32_t status = detector->Feed(timestamp, format, data, size);
            if (status != 0 && IsSupported(format))
                Fail(fmt::format("{}a {} sample of {} bytes was refused: {}", where(), Describe(format), size,
                                 session.logger.LastError()));
            detector->CheckEvents(before, timestamp, enabled);
            events += detector->committed.size() - before;
            timestamp += std::max<std::uint64_t>(1, std::uint64_t{size} * 1000 / std::max<std::uint32_t>(1, frame * 25));
            ++samples;
        }
        if (step % 256 == 0)
            context.channel->Step(fmt::format("seed {}, step {}", context.seed, step));
    }
    detector.reset();
    context.channel->Note(fmt::format("{} samples, {} settings calls, {} detectors, {} events in {} s (seed {})",
                                      samples, settings, detectors, events, context.seconds, context.seed));
}

// ---- concurrency -------------------------------------------------------------------

// The first failure of any thread; the others stop at the next check.
class FirstFailure {
public:
    void Set(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failed.exchange(true))
            message = what;
    }
    bool Failed() const { return failed.load(); }
    std::string Message() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return message;
    }

private:
    mutable std::mutex mutex;
    std::atomic<bool> failed{false};
    std::string message;
};

void PhaseConcurrency(const PhaseContext& context)
{
    ModuleSession session(context, ORQ8::LogError);
    const PcmFormat formats[] = {{16000, 1, 16}, {8000, 1, 16}, {48000, 1, 24}, {32000, 1, 8}};
    std::vector<std::unique_ptr<TestDetector>> detectors;
    for (const PcmFormat& format : formats)
        detectors.push_back(std::make_unique<TestDetector>(*session.module, Describe(format)));
    const std::set<std::string> classes(kSoundClasses.begin(), kSoundClasses.end());
    const std::vector<std::string> keys = SettingsKeys();

    std::atomic<bool> stop{false};
    FirstFailure failure;
    std::atomic<std::uint64_t> samples{0}, settings{0}, created{0};
    const auto guarded = [&](auto body) {
        return [&, body] {
            try {
                body();
            } catch (const std::exception& e) {
                failure.Set(e.what());
            }
        };
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < detectors.size(); ++i)
        threads.emplace_back(guarded([&, i] {
            TestDetector& detector = *detectors[i];
            const PcmFormat format = formats[i];
            std::mt19937 rng(static_cast<std::uint32_t>(context.seed + i));
            std::uint64_t timestamp = kStart;
            while (!stop && !failure.Failed()) {
                const std::uint32_t size = BytesOf(format, 20 + rng() % 200);
                const std::size_t before = detector.committed.size();
                if (detector.Feed(timestamp, format, Noise().data() + rng() % 1000, size) != 0)
                    Fail(fmt::format("a {} sample was refused: {}", Describe(format), session.logger.LastError()));
                detector.CheckEvents(before, timestamp, classes);
                timestamp += std::uint64_t{size} * 1000 / BytesOf(format, 1000);
                ++samples;
            }
        }));
    // Settings and face queries on every detector while they receive.
    threads.emplace_back(guarded([&] {
        std::mt19937 rng(static_cast<std::uint32_t>(context.seed + 100));
        while (!stop && !failure.Failed()) {
            TestDetector& detector = *detectors[rng() % detectors.size()];
            const std::string& key = keys[rng() % keys.size()];
            const std::int32_t status = IsEnableKey(key) ? detector.adjuster->SetValue(key.c_str(), rng() % 2 == 0)
                                                         : detector.adjuster->SetValue(key.c_str(), (rng() % 101) / 100.0);
            if (status != 0)
                Fail(fmt::format("SetValue(\"{}\") answered {} while the detector was receiving", key, status));
            if (detector.detector->GetContract("N4ORQ89Analytics14IMediaReceiverE") != detector.receiver ||
                detector.adjuster->GetContract("N4ORQ89Analytics9IDetectorE") != detector.detector)
                Fail("a face query gave another answer while the detector was receiving");
            ++settings;
        }
    }));
    // Detectors come and go beside the busy ones.
    threads.emplace_back(guarded([&] {
        const PcmFormat mono16k{16000, 1, 16};
        while (!stop && !failure.Failed()) {
            TestDetector detector(*session.module, "transient");
            detector.adjuster->SetValue("enableGunShot", true);
            if (detector.Feed(kStart, mono16k, Noise().data(), BytesOf(mono16k, 100)) != 0)
                Fail("a new detector refused its first sample: " + session.logger.LastError());
            ++created;
        }
    }));
    const Clock::time_point end = Clock::now() + std::chrono::seconds(context.seconds);
    context.channel->Step(fmt::format("{} threads", threads.size()));
    while (Clock::now() < end && !failure.Failed())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    for (std::thread& thread : threads)
        thread.join();
    if (failure.Failed())
        Fail(failure.Message());
    detectors.clear();
    context.channel->Note(fmt::format("{} detectors fed on their own threads: {} samples, {} settings calls, {} "
                                      "detectors made alongside in {} s",
                                      std::size(formats), samples.load(), settings.load(), created.load(),
                                      context.seconds));
}

}  // namespace

const std::vector<Phase>& ValidationPhases()
{
    static const std::vector<Phase> phases = {
        {"elf", PhaseElf, 30, false, false},
        {"load", PhaseLoad, 60, false, true},
        {"entry points", PhaseEntryPoints, 60, false, false},
        {"faces", PhaseFaces, 60, false, false},
        {"settings", PhaseSettings, 60, false, false},
        {"formats", PhaseFormats, 120, false, false},
        {"stress", PhaseStress, 60, true, false},
        {"concurrency", PhaseConcurrency, 60, true, false},
    };
    return phases;
}

}  // namespace OrqHost
