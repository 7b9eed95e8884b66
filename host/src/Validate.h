// `orq8-host validate [FOLDER]`: the checks an integrator runs before
// deploying a plug-in folder, as a table of phases with PASS, FAIL or SKIP
// and a short reason each.
//
// Every phase runs in a forked child that runs that phase alone and exits;
// the validator itself never loads the plug-in. A child that fails reports
// its first failing line; one that dies of a signal, exits without a verdict
// or outlives its phase's time limit (it is killed then) fails its phase
// with what it was doing at the time. Called on the program's thread before
// any other thread exists (fork copies only the calling thread).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace OrqHost {

struct ValidateOptions {
    std::string folder;  // empty: the installed plug-in folder (the program fills it in)
    std::uint64_t seed = 1;
    unsigned seconds = 3;
    bool help = false;
};

// Parses the arguments after "validate". Throws HostError(ExitUsage).
ValidateOptions ParseValidateArguments(const std::vector<std::string>& args);

std::string ValidateUsageText();

struct PhaseResult {
    enum class Verdict { Pass, Fail, Skip };
    std::string phase;
    Verdict verdict = Verdict::Fail;
    std::string reason;
};

// Runs every phase over `options.folder`, writes the table and a closing
// line to `out`, and returns ExitOk when every phase passed, else
// ExitValidationFailed.
int RunValidation(const ValidateOptions& options, std::FILE* out);

// The table as RunValidation prints it.
std::string FormatTable(const std::vector<PhaseResult>& results);

}  // namespace OrqHost
