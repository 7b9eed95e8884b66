// The checks of `orq8-host validate`, one phase each. A phase drives the
// plug-in folder only as the platform does: the plug-in file opened with
// dlopen, its three entry points found with dlsym, the module and its
// detectors reached through their faces.
//
// Each phase runs in a child process of its own (Validate.h), so a phase may
// leave the plug-in loaded, crash or hang without harming the others. A
// phase passes by returning and fails by throwing PhaseFailure (or any
// standard exception) with one line naming the first thing that was wrong.
// While it runs it reports its current step, so a crash or a hang can be
// placed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace OrqHost {

class PhaseFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The phase's side of the pipe to the validator: one write per line, so the
// lines survive a crash right after they are written. Steps and notes may
// come from several threads.
class PhaseChannel {
public:
    explicit PhaseChannel(int fd) : fd(fd) {}
    // What the phase does now ("InitializeModule", "stereo 16000 Hz").
    void Step(const std::string& text) const { Send('S', text); }
    // The short reason shown for a phase that passes.
    void Note(const std::string& text) const { Send('N', text); }
    // The first failure.
    void Failure(const std::string& text) const { Send('F', text); }

private:
    void Send(char kind, const std::string& text) const;
    int fd;
};

struct PhaseContext {
    std::string folder;       // the plug-in folder under test
    std::uint64_t seed = 1;   // of the stress phase's random choices
    unsigned seconds = 3;     // how long the stress and concurrency phases run
    const PhaseChannel* channel = nullptr;
};

struct Phase {
    const char* name;
    void (*run)(const PhaseContext&);
    unsigned timeoutSeconds;  // without the context's `seconds`, which timed phases add
    bool timed;
    // The phases after a failed gate are skipped: they all need what it
    // proves (the plug-in loads and makes an engine).
    bool gate;
};

// The phases in the order they run: elf, load, entry points, faces,
// settings, formats, stress, concurrency.
const std::vector<Phase>& ValidationPhases();

}  // namespace OrqHost
