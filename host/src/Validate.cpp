#include "Validate.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fmt/format.h>

#include "ExitStatus.h"
#include "Options.h"
#include "ValidatePhases.h"

// A phase's child ends with _exit, which skips LeakSanitizer's check at exit;
// in sanitizer builds the child runs that check itself before it ends.
#if defined(__SANITIZE_ADDRESS__)
#define ZV_HOST_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_HOST_LEAK_CHECK 1
#endif
#endif
#ifdef ZV_HOST_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace OrqHost {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Usage(const std::string& message)
{
    throw HostError(ExitUsage, "validate: " + message + " (see validate --help)");
}

std::uint64_t Number(const std::string& option, const std::string& text, std::uint64_t low, std::uint64_t high)
{
    const std::optional<std::uint64_t> value = ParseWholeNumber(text, low, high);
    if (!value)
        Usage(option + " wants a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
              ", not '" + text + "'");
    return *value;
}

// What the child said and how it ended.
struct ChildReport {
    std::string lastStep;
    std::string note;
    std::string failure;
    bool timedOut = false;
    int waitStatus = 0;
};

void Take(ChildReport& report, std::string& pending, const char* data, std::size_t size)
{
    pending.append(data, size);
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (line.size() < 2)
            continue;
        const std::string text = line.substr(2);
        if (line[0] == 'S')
            report.lastStep = text;
        else if (line[0] == 'N')
            report.note = text;
        else if (line[0] == 'F' && report.failure.empty())
            report.failure = text;
    }
}

[[noreturn]] void RunChild(const Phase& phase, const ValidateOptions& options, int fd)
{
    // Anything the plug-in prints goes to stderr; stdout carries the table.
    dup2(STDERR_FILENO, STDOUT_FILENO);
    const PhaseChannel channel(fd);
    PhaseContext context;
    context.folder = options.folder;
    context.seed = options.seed;
    context.seconds = options.seconds;
    context.channel = &channel;
    int code = 0;
    try {
        phase.run(context);
    } catch (const std::exception& e) {
        channel.Failure(e.what());
        code = 1;
    } catch (...) {
        channel.Failure("an exception of unknown type left the plug-in");
        code = 1;
    }
#ifdef ZV_HOST_LEAK_CHECK
    // Non-zero only when leak detection is on and found something; the
    // sanitizer has printed the leak to the error output.
    if (__lsan_do_recoverable_leak_check() != 0) {
        channel.Failure("memory leaked (see the error output)");
        code = 1;
    }
#endif
    // _exit: no static destructors or exit handlers of a process that may
    // hold the plug-in in any state.
    _exit(code);
}

ChildReport RunPhase(const Phase& phase, const ValidateOptions& options)
{
    ChildReport report;
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        RunChild(phase, options, fds[1]);
    }
    close(fds[1]);

    const unsigned limit = phase.timeoutSeconds + (phase.timed ? options.seconds : 0);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limit);
    const auto remainingMs = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(left > 0 ? left : 0);
    };
    std::string pending;
    bool open = true;
    while (open) {
        pollfd entry{fds[0], POLLIN, 0};
        const int ready = poll(&entry, 1, remainingMs());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            report.timedOut = true;
            break;
        }
        char chunk[4096];
        const ssize_t got = read(fds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            open = false;
        else
            Take(report, pending, chunk, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    // The pipe closes when the child ends; wait for it within the same limit.
    while (!report.timedOut) {
        const pid_t done = waitpid(pid, &report.waitStatus, WNOHANG);
        if (done == pid)
            return report;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
        if (remainingMs() == 0)
            report.timedOut = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, &report.waitStatus, 0) < 0 && errno == EINTR) {
    }
    return report;
}

PhaseResult Judge(const Phase& phase, const ChildReport& report, const ValidateOptions& options)
{
    PhaseResult result;
    result.phase = phase.name;
    const std::string during = report.lastStep.empty() ? "" : " during: " + report.lastStep;
    if (report.timedOut) {
        result.reason = fmt::format("no answer within {} s{}",
                                    phase.timeoutSeconds + (phase.timed ? options.seconds : 0), during);
    } else if (WIFSIGNALED(report.waitStatus)) {
        const int signal = WTERMSIG(report.waitStatus);
        result.reason = fmt::format("crashed: signal {} ({}){}", signal, strsignal(signal), during);
    } else if (!report.failure.empty()) {
        result.reason = report.failure;
    } else if (WIFEXITED(report.waitStatus) && WEXITSTATUS(report.waitStatus) == 0) {
        result.verdict = PhaseResult::Verdict::Pass;
        result.reason = report.note;
    } else {
        // A sanitizer, or the plug-in itself, ended the process.
        result.reason = fmt::format("the process exited with status {}{} (see the error output)",
                                    WEXITSTATUS(report.waitStatus), during);
    }
    return result;
}

const char* VerdictText(PhaseResult::Verdict verdict)
{
    switch (verdict) {
    case PhaseResult::Verdict::Pass: return "PASS";
    case PhaseResult::Verdict::Skip: return "SKIP";
    default: return "FAIL";
    }
}

}  // namespace

ValidateOptions ParseValidateArguments(const std::vector<std::string>& args)
{
    ValidateOptions options;
    bool folderGiven = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-') {
            if (folderGiven)
                Usage("takes one plug-in folder, not '" + options.folder + "' and '" + arg + "'");
            options.folder = arg;
            folderGiven = true;
            if (options.folder.empty())
                Usage("wants a folder, not an empty name");
            continue;
        }
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                Usage(arg + " wants a value");
            return args[++i];
        };
        if (arg == "--")
            optionsEnded = true;
        else if (arg == "-h" || arg == "--help")
            options.help = true;
        else if (arg == "--seed")
            options.seed = Number(arg, value(), 0, UINT64_MAX);
        else if (arg == "--seconds")
            options.seconds = static_cast<unsigned>(Number(arg, value(), 1, 3600));
        else
            Usage("unknown option '" + arg + "'");
    }
    return options;
}

std::string ValidateUsageText()
{
    return R"(Usage: orq8-host validate [--seed N] [--seconds N] [FOLDER]
Checks a plug-in folder before it is deployed, and prints one line per phase:
PASS, FAIL or SKIP, with the first failing line or a short summary.

FOLDER is the plug-in folder (default: the installed one, ../plugins beside
this program, the folder orq8-host runs without --plugins).

Phases, each in a process of its own, so a crash or a hang fails its phase
and the others still run:
  elf           the plug-in file exports exactly InitializeModule, GetModule
                and FinalizeModule, has the run path $ORIGIN/ZVAudioSdk:$ORIGIN,
                every library it needs is found; the classification library
                exports exactly its five calls and has its data folder
  load          the plug-in loads, initialises, makes a detector, and the
                first sample makes an engine (later phases need this one)
  entry points  both orders: detectors destroyed before and after
                FinalizeModule; a second InitializeModule, bad arguments
  faces         every interface key of the module and the detector, every
                settings key with each value type, unknown keys refused (5)
  settings      every key set and read back through the plug-in's log; a
                threshold change makes one new engine after the hold-off
  formats       mono at 8000, 16000, 32000 and 48000 Hz with 8, 16, 24 and
                32 bits accepted; other channel counts, rates and widths
                refused (4) with their log lines
  stress        random formats, settings and buffer sizes (--seed)
  concurrency   detectors fed on threads of their own while settings change
                and detectors come and go

  --seed N      seed of the stress phase (default 1)
  --seconds N   how long the stress and concurrency phases run (default 3)
  -h, --help    this text

Exit status: 0 when every phase passed, 12 when one failed, 2 for bad
arguments.
)";
}

std::string FormatTable(const std::vector<PhaseResult>& results)
{
    std::string table = fmt::format("{:<13} {:<6} {}\n", "PHASE", "RESULT", "REASON");
    for (const PhaseResult& result : results)
        table += fmt::format("{:<13} {:<6} {}\n", result.phase, VerdictText(result.verdict), result.reason);
    return table;
}

int RunValidation(const ValidateOptions& options, std::FILE* out)
{
    std::vector<PhaseResult> results;
    std::string gateFailed;
    for (const Phase& phase : ValidationPhases()) {
        if (!gateFailed.empty()) {
            results.push_back({phase.name, PhaseResult::Verdict::Skip, "needs a passing " + gateFailed});
            continue;
        }
        results.push_back(Judge(phase, RunPhase(phase, options), options));
        if (phase.gate && results.back().verdict != PhaseResult::Verdict::Pass)
            gateFailed = phase.name;
    }
    std::size_t failed = 0;
    std::size_t skipped = 0;
    for (const PhaseResult& result : results) {
        failed += result.verdict == PhaseResult::Verdict::Fail ? 1 : 0;
        skipped += result.verdict == PhaseResult::Verdict::Skip ? 1 : 0;
    }
    std::string text = FormatTable(results);
    text += failed + skipped == 0
                ? fmt::format("validate: all {} phases passed for {}\n", results.size(), options.folder)
                : fmt::format("validate: {} failed, {} skipped of {} phases for {}\n", failed, skipped,
                              results.size(), options.folder);
    if (std::fputs(text.c_str(), out) < 0 || std::fflush(out) != 0)
        throw HostError(ExitOutputFailed, "validate: the table could not be written");
    return failed + skipped == 0 ? ExitOk : ExitValidationFailed;
}

}  // namespace OrqHost
