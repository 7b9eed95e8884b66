#include "Progress.h"

#include <unistd.h>

#include <algorithm>

#include <fmt/format.h>

namespace OrqHost {
namespace {

// Work shorter than this shows no bar at all.
constexpr double kQuietSeconds = 2.0;

}  // namespace

Progress::Progress(Console& console_, bool enabled, std::size_t inputs_) : console(console_), inputs(inputs_)
{
    if (enabled && isatty(fileno(console.ErrStream())))
        thread = std::thread([this] { Loop(); });
}

Progress::~Progress()
{
    if (!thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
    console.DrawBar("");
}

void Progress::Loop()
{
    const auto begin = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex);
    while (!wake.wait_for(lock, std::chrono::milliseconds(200), [this] { return stopping; })) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (elapsed >= kQuietSeconds)
            Draw(elapsed);
    }
}

void Progress::Draw(double elapsed)
{
    const double done = doneMs.load() / 1000.0;
    const double total = totalMs.load() / 1000.0;
    std::string bar;
    if (total > 0 && done <= total) {
        constexpr int width = 30;
        const double fraction = std::min(1.0, done / total);
        const int filled = static_cast<int>(fraction * width);
        bar = fmt::format("[{}{}] {:3.0f}%  ", std::string(static_cast<std::size_t>(filled), '#'),
                          std::string(static_cast<std::size_t>(width - filled), '.'), fraction * 100);
        bar += fmt::format("{:.0f}/{:.0f} s of audio", done, total);
    } else {
        bar = fmt::format("{:.0f} s of audio", done);
    }
    bar += fmt::format(", {}/{} inputs, {:.0f} s", inputsDone.load(), inputs, elapsed);
    console.DrawBar(bar);
}

}  // namespace OrqHost
