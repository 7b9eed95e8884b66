// The program's exit statuses and the error that carries one.
//
// Every failure the host can name ends the run with one line on stderr and
// its own status, so scripts can tell a missing plug-in from a refused format
// without reading the text. The list is the one the usage text and the README
// document; keep the three in step.
#pragma once

#include <stdexcept>
#include <string>

namespace OrqHost {

enum ExitStatus : int {
    ExitOk = 0,
    ExitInternal = 1,          // an unexpected failure inside the host
    ExitUsage = 2,             // bad arguments
    ExitPluginNotLoadable = 3, // the plug-in file or its entry points could not be loaded
    ExitSdkNotLoadable = 4,    // the classification library beside the plug-in could not be loaded
    ExitModuleExists = 5,      // InitializeModule answered 9
    ExitModuleFailed = 6,      // InitializeModule answered 10, or GetModule gave nothing
    ExitDetectorRefused = 7,   // CreateDetector gave no detector
    ExitSettingRefused = 8,    // the detector refused a setting (status 5)
    ExitInputUnreadable = 9,   // an input could not be opened or read
    ExitFormatRefused = 10,    // the plug-in refused an input's first sample (status 4)
    ExitOutputFailed = 11,     // the report (or standard output) could not be written
    ExitValidationFailed = 12, // validate: at least one phase failed
};

// A failure with the line that describes it and the status it ends the run
// with. Thrown by the host library, caught by the program, which prints
// what() and exits with status().
class HostError : public std::runtime_error {
public:
    HostError(ExitStatus status, const std::string& message) : std::runtime_error(message), code(status) {}
    ExitStatus status() const noexcept { return code; }

private:
    ExitStatus code;
};

}  // namespace OrqHost
