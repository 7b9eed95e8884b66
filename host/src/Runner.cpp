#include "Runner.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include <fmt/format.h>

#include "AudioInput.h"
#include "Confidence.h"
#include "Events.h"
#include "Logger.h"
#include "PluginLoader.h"
#include "Progress.h"
#include "Report.h"

namespace OrqHost {

InputResult::InputResult() = default;
InputResult::~InputResult() = default;
InputResult::InputResult(InputResult&&) noexcept = default;
InputResult& InputResult::operator=(InputResult&&) noexcept = default;

namespace {

constexpr float kDefaultThreshold = 0.99f;

struct DetectorDestroyer {
    void operator()(ORQ8::Analytics::IDetector* detector) const
    {
        if (detector != nullptr)
            detector->Destroy();
    }
};
using DetectorHolder = std::unique_ptr<ORQ8::Analytics::IDetector, DetectorDestroyer>;

std::string SettingText(const Setting& s)
{
    switch (s.type) {
    case Setting::Type::Bool: return s.key + "=" + (s.boolValue ? "true" : "false");
    case Setting::Type::Double: return fmt::format("{}={}", s.key, s.doubleValue);
    default: return s.key + "=" + s.textValue;
    }
}

void Apply(ORQ8::ISyncAdjuster& adjuster, const Setting& s)
{
    std::int32_t status = 0;
    switch (s.type) {
    case Setting::Type::Bool: status = adjuster.SetValue(s.key.c_str(), s.boolValue); break;
    case Setting::Type::Double: status = adjuster.SetValue(s.key.c_str(), s.doubleValue); break;
    default: status = adjuster.SetValue(s.key.c_str(), s.textValue.c_str()); break;
    }
    if (status != 0)
        SettingRefused(s.key);
}

bool Fatal(ExitStatus status)
{
    // These fail the same way for every input: the run stops.
    return status == ExitDetectorRefused || status == ExitSettingRefused || status == ExitInternal;
}

}  // namespace

void SettingRefused(const std::string& key)
{
    std::string switches;
    std::string thresholds;
    for (const std::string& name : kSoundClasses) {
        switches += (switches.empty() ? "" : ", ") + ("enable" + name);
        thresholds += (thresholds.empty() ? "" : ", ") + ("confThreshold" + name);
    }
    throw HostError(ExitSettingRefused, fmt::format("the detector refused the setting '{}' (status 5); known keys: "
                                                    "{} (true or false), {} (numbers)",
                                                    key, switches, thresholds));
}

// The state one run shares between its workers.
class Runner::Session {
public:
    Session(Runner& runner, PluginLoader& loader, EventSink& sink, ClassificationLibrary* library, Progress& progress)
        : runner(runner), options(runner.options), loader(loader), sink(sink), library(library), progress(progress)
    {
        start = options.start ? *options.start : NowMilliseconds();
        thresholds.fill(kDefaultThreshold);
        for (const Setting& s : options.settings)
            for (std::size_t i = 0; i < kSoundClasses.size(); ++i)
                if (s.type == Setting::Type::Double && s.key == "confThreshold" + kSoundClasses[i])
                    thresholds[i] = static_cast<float>(s.doubleValue);
    }

    void Work()
    {
        for (;;) {
            const std::size_t index = next.fetch_add(1);
            if (index >= runner.results.size() || stop.load())
                return;
            InputResult& result = runner.results[index];
            try {
                Feed(result, options.inputs[index]);
            } catch (const HostError& e) {
                result.status = e.status();
                result.error = e.what();
            } catch (const std::exception& e) {
                result.status = ExitInternal;
                result.error = result.name + ": " + e.what();
            }
            progress.InputDone();
            if (result.status == ExitOk)
                continue;
            if (Fatal(result.status)) {
                // Report a run-wide failure once, not once per input.
                if (!stop.exchange(true))
                    runner.console.WriteErr("orq8-host: " + result.error);
            } else {
                runner.console.WriteErr("orq8-host: " + result.error);
            }
        }
    }

    std::atomic<bool> stop{false};

private:
    void Feed(InputResult& result, const std::string& path)
    {
        std::unique_ptr<AudioSource> source = options.raw ? OpenRawPcm(path, options.rawFormat) : OpenSoundFile(path);
        source = Converted(std::move(source), options.mono, options.rate);
        const PcmFormat format = source->Format();
        result.format = format;
        result.opened = true;
        progress.AddTotal(static_cast<double>(source->TotalFrames()) / format.sampleRate);
        if (!options.reportPath.empty())
            result.trace = std::make_unique<InputTrace>(result.name, format, start, library, thresholds);
        InputTrace* trace = result.trace.get();

        // The factory outlives the detector it is handed to.
        HostEventFactory factory(sink, result.name, trace != nullptr ? std::function<void(const CommittedEvent&)>(
                                                                           [trace](const CommittedEvent& event) {
                                                                               trace->AddEvent(event);
                                                                           })
                                                                     : nullptr);
        struct Tallies {
            HostEventFactory& factory;
            InputResult& result;
            ~Tallies()
            {
                result.events = factory.CommittedByName();
                result.eventsCancelled = factory.Cancelled();
                result.eventsRefused = factory.Refused();
            }
        } tallies{factory, result};

        DetectorHolder detector(loader.CreateDetector(factory));
        auto* receiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(detector.get());
        auto* adjuster = ORQ8::QueryContract<ORQ8::ISyncAdjuster>(detector.get());
        if (receiver == nullptr || adjuster == nullptr)
            throw HostError(ExitDetectorRefused, "the plug-in's detector lacks its media or settings face");
        for (const Setting& s : options.settings)
            Apply(*adjuster, s);

        const std::size_t framesPerBuffer =
            std::max<std::size_t>(1, static_cast<std::size_t>(format.sampleRate) * options.bufferMs / 1000);
        std::uint64_t accepted = 0;
        const auto inputStart = std::chrono::steady_clock::now();
        for (;;) {
            if (stop.load() || Interrupted())
                break;
            std::vector<std::uint8_t> bytes;
            const std::size_t frames = source->Read(bytes, framesPerBuffer);
            if (frames == 0)
                break;
            // Each buffer is stamped from the start, advanced by the duration
            // of the audio before it (computed from the frame count, so the
            // stamps do not drift over long inputs).
            const std::uint64_t timestamp = start + result.frames * 1000 / format.sampleRate;
            result.frames += frames;
            if (trace != nullptr)
                trace->Feed(bytes.data(), bytes.size());
            auto* sample = new PcmBuffer(timestamp, format, std::move(bytes), result.name);
            StderrLogger::ForgetLastError();
            const std::int32_t status = receiver->Receive(sample);  // the detector destroys the sample
            ++result.samples;
            progress.AddDone(static_cast<double>(frames) / format.sampleRate);
            if (status == 0) {
                ++accepted;
            } else {
                ++result.refused;
                std::string why = StderrLogger::LastError();
                if (why.empty())
                    why = fmt::format("the plug-in gave no reason (Receive status {})", status);
                ++result.refusedWhy[why];
                // The input's format does not change: a refused first sample
                // means every later one would be refused too.
                if (accepted == 0)
                    throw HostError(ExitFormatRefused,
                                    fmt::format("{}: the plug-in refused its audio ({} Hz, {} channel(s), {} bit): {}",
                                                result.name, format.sampleRate, format.numChannels,
                                                format.bitsPerSample, why));
            }
            if (options.realtime)
                std::this_thread::sleep_until(
                    inputStart + std::chrono::microseconds(result.frames * 1000000 / format.sampleRate));
        }
    }

    Runner& runner;
    const Options& options;
    PluginLoader& loader;
    EventSink& sink;
    ClassificationLibrary* library;
    Progress& progress;
    std::uint64_t start = 0;
    std::array<float, 7> thresholds{};
    std::atomic<std::size_t> next{0};
};

namespace {
std::atomic<bool> interruptRequested{false};
}  // namespace

void RequestInterrupt() { interruptRequested.store(true); }
bool Interrupted() { return interruptRequested.load(); }

Runner::Runner(Options options_, std::string pluginFolder_, Console& console_)
    : options(std::move(options_)), pluginFolder(std::move(pluginFolder_)), console(console_)
{
}

int Runner::Run()
{
    const auto wallStart = std::chrono::steady_clock::now();
    results.clear();
    results.resize(options.inputs.size());
    for (std::size_t i = 0; i < options.inputs.size(); ++i)
        results[i].name = options.inputs[i] == "-" ? "stdin" : options.inputs[i];

    StderrLogger logger(console, options.logLevel);
    HostServices services(logger);
    std::unique_ptr<PluginLoader> loader;
    try {
        loader = std::make_unique<PluginLoader>(pluginFolder, services);
    } catch (const HostError& e) {
        console.WriteErr(std::string("orq8-host: ") + e.what());
        return e.status();
    }
    std::unique_ptr<ClassificationLibrary> library;
    if (!options.reportPath.empty()) {
        std::string whyNot;
        library = ClassificationLibrary::Open(pluginFolder, whyNot);
        if (library == nullptr)
            console.WriteErr("orq8-host: the report will have no confidence curves: " + whyNot);
    }

    EventSink sink(console, options.json);
    unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, options.inputs.size()));
    bool stopped = false;
    {
        Progress progress(console, options.progress, options.inputs.size());
        Session session(*this, *loader, sink, library.get(), progress);
        std::vector<std::thread> workers;
        for (unsigned j = 1; j < jobs; ++j)
            workers.emplace_back([&session] { session.Work(); });
        session.Work();
        for (std::thread& worker : workers)
            worker.join();
        stopped = session.stop.load();
    }
    wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    // Every detector is gone: the module may go too.
    loader.reset();

    int status = ExitOk;
    for (const InputResult& result : results)
        if (result.status != ExitOk) {
            status = result.status;
            break;
        }
    if (options.summary && !stopped)
        console.WriteErr(SummaryText() + fmt::format("Events cancelled: {}; events the host refused: {}",
                                                     sink.cancelled.load(), sink.refused.load()));
    if (!options.reportPath.empty() && !stopped) {
        ReportRun run;
        run.pluginFolder = pluginFolder;
        for (const Setting& s : options.settings)
            run.settings += (run.settings.empty() ? "" : ", ") + SettingText(s);
        run.wallSeconds = wallSeconds;
        run.jobs = jobs;
        std::vector<const InputTrace*> traces;
        for (const InputResult& result : results) {
            run.audioSeconds += result.Seconds();
            if (result.trace != nullptr)
                traces.push_back(result.trace.get());
        }
        try {
            WriteReport(options.reportPath, run, traces);
        } catch (const HostError& e) {
            console.WriteErr(std::string("orq8-host: ") + e.what());
            if (status == ExitOk)
                status = e.status();
        }
    }
    // The probes release their engines while the library is still loaded.
    for (InputResult& result : results)
        result.trace.reset();
    if (sink.writeFailures.load() > 0) {
        console.WriteErr("orq8-host: standard output did not take every event line");
        if (status == ExitOk)
            status = ExitOutputFailed;
    }
    return status;
}

std::string Runner::SummaryText() const
{
    // Columns: the seven classes, then any other event name seen.
    std::vector<std::string> names = kSoundClasses;
    for (const InputResult& result : results)
        for (const auto& [name, count] : result.events)
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
    std::size_t nameWidth = 5;
    for (const InputResult& result : results)
        nameWidth = std::max(nameWidth, result.name.size());

    double audio = 0;
    for (const InputResult& result : results)
        audio += result.Seconds();
    std::string text = "Summary\n";
    text += fmt::format("  {:<{}}  {:>9}", "input", nameWidth, "duration");
    for (const std::string& name : names)
        text += fmt::format(" {:>{}}", name, name.size());
    text += "  refused\n";
    std::vector<std::uint64_t> totals(names.size(), 0);
    for (const InputResult& result : results) {
        text += fmt::format("  {:<{}}  {:>7.1f} s", result.name, nameWidth, result.Seconds());
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto found = result.events.find(names[i]);
            const std::uint64_t count = found != result.events.end() ? found->second : 0;
            totals[i] += count;
            text += fmt::format(" {:>{}}", count, names[i].size());
        }
        text += fmt::format("  {:>7}", result.refused);
        if (result.status != ExitOk)
            text += fmt::format("  failed (status {})", static_cast<int>(result.status));
        text += "\n";
    }
    if (results.size() > 1) {
        text += fmt::format("  {:<{}}  {:>7.1f} s", "all", nameWidth, audio);
        for (std::size_t i = 0; i < names.size(); ++i)
            text += fmt::format(" {:>{}}", totals[i], names[i].size());
        text += "\n";
    }
    for (const InputResult& result : results)
        for (const auto& [why, count] : result.refusedWhy)
            text += fmt::format("Samples refused: {}: {} x {}\n", result.name, count, why);
    const double factor = audio > 0 ? wallSeconds / audio : 0.0;
    text += fmt::format("Audio {:.1f} s in {:.2f} s wall time: real-time factor {:.4f}", audio, wallSeconds, factor);
    if (factor > 0)
        text += fmt::format(" ({:.1f} x faster than real time)", 1.0 / factor);
    text += "\n";
    return text;
}

}  // namespace OrqHost
