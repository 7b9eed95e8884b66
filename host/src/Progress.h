// The progress bar: one line at the bottom of the terminal, on stderr, for
// work that lasts longer than a few seconds. Only drawn when stderr is a
// terminal; otherwise the object does nothing.
//
// Threads: workers call the Add/Done operations from any thread (atomics);
// a thread of its own redraws the bar five times a second.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "Console.h"

namespace OrqHost {

class Progress {
public:
    Progress(Console& console, bool enabled, std::size_t inputs);
    ~Progress();  // stops the thread and erases the bar
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Audio known to lie ahead (a file's length), and audio delivered.
    void AddTotal(double seconds) { totalMs.fetch_add(static_cast<std::uint64_t>(seconds * 1000)); }
    void AddDone(double seconds) { doneMs.fetch_add(static_cast<std::uint64_t>(seconds * 1000)); }
    void InputDone() { inputsDone.fetch_add(1); }

private:
    void Loop();
    void Draw(double elapsed);

    Console& console;
    const std::size_t inputs;
    std::atomic<std::uint64_t> totalMs{0};
    std::atomic<std::uint64_t> doneMs{0};
    std::atomic<std::size_t> inputsDone{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};

}  // namespace OrqHost
