// The run: loads the plug-in folder, makes one detector per input, feeds the
// inputs (several at once with --jobs), prints the summary and writes the
// report.
//
// Threads: Run() is called on the program's thread; it starts up to `jobs`
// worker threads, each taking the next input, creating its detector (the
// module allows concurrent CreateDetector), applying the settings and
// calling Receive from that thread only, then destroying the detector. The
// module is finalised on Run()'s thread after every worker has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Console.h"
#include "ExitStatus.h"
#include "Options.h"

namespace OrqHost {

class InputTrace;

// What happened to one input.
struct InputResult {
    std::string name;
    PcmFormat format;
    bool opened = false;
    std::uint64_t frames = 0;   // PCM frames delivered
    std::uint64_t samples = 0;  // buffers handed to Receive
    std::uint64_t refused = 0;  // buffers answered 4
    std::map<std::string, std::uint64_t> refusedWhy;
    std::map<std::string, std::uint64_t> events;
    std::uint64_t eventsCancelled = 0;
    std::uint64_t eventsRefused = 0;
    ExitStatus status = ExitOk;
    std::string error;  // the failure's line, without the program name
    std::unique_ptr<InputTrace> trace;

    double Seconds() const { return format.sampleRate ? static_cast<double>(frames) / format.sampleRate : 0.0; }
    InputResult();
    ~InputResult();
    InputResult(InputResult&&) noexcept;
    InputResult& operator=(InputResult&&) noexcept;
};

class Runner {
public:
    // `pluginFolder` is the folder to load (the program resolves the default).
    Runner(Options options, std::string pluginFolder, Console& console);

    // The whole run; returns the exit status. Failures are printed as one
    // line each ("orq8-host: ...") on the console's stderr.
    int Run();

    const std::vector<InputResult>& Results() const { return results; }
    double WallSeconds() const { return wallSeconds; }

private:
    class Session;
    std::string SummaryText() const;

    Options options;
    std::string pluginFolder;
    Console& console;
    std::vector<InputResult> results;
    double wallSeconds = 0;
};

// Asks a running Run() to stop after the buffers in flight, as if every
// input had ended (the summary and report still follow). Safe to call from a
// signal handler.
void RequestInterrupt();
bool Interrupted();

// Fails with one line naming `key` and the keys the detector knows.
[[noreturn]] void SettingRefused(const std::string& key);

}  // namespace OrqHost
