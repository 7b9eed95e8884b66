// orq8-host: runs audio through the detector plug-in from the command line.
// See UsageText() (--help) for the options and exit statuses.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Console.h"
#include "ExitStatus.h"
#include "Options.h"
#include "Runner.h"
#include "Validate.h"

#ifndef ORQ_HOST_PLUGINS_RELATIVE
#define ORQ_HOST_PLUGINS_RELATIVE "../plugins"
#endif
#ifndef ORQ_HOST_VERSION
#define ORQ_HOST_VERSION "unknown"
#endif

namespace {

// The installed plug-in folder: ORQ_HOST_PLUGINS_RELATIVE from the folder
// of this executable (<prefix>/bin -> <prefix>/plugins), so an installed
// tree can be moved as a whole.
std::string DefaultPluginFolder()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return ORQ_HOST_PLUGINS_RELATIVE;
    return (exe.parent_path() / ORQ_HOST_PLUGINS_RELATIVE).lexically_normal().string();
}

extern "C" void OnInterrupt(int) { OrqHost::RequestInterrupt(); }

}  // namespace

int main(int argc, char** argv)
{
    OrqHost::Console console(stdout, stderr);
    try {
        if (argc > 1 && std::string(argv[1]) == "validate") {
            OrqHost::ValidateOptions options =
                OrqHost::ParseValidateArguments(std::vector<std::string>(argv + 2, argv + argc));
            if (options.help) {
                console.WriteOut(OrqHost::ValidateUsageText());
                return OrqHost::ExitOk;
            }
            if (options.folder.empty())
                options.folder = DefaultPluginFolder();
            return OrqHost::RunValidation(options, stdout);
        }
        const OrqHost::Options options =
            OrqHost::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            console.WriteOut(OrqHost::UsageText());
            return OrqHost::ExitOk;
        }
        if (options.version) {
            console.WriteOut(std::string("orq8-host ") + ORQ_HOST_VERSION);
            return OrqHost::ExitOk;
        }
        // Ctrl-C ends the inputs where they are; the summary and the report
        // still follow. No SA_RESTART, so a blocked read of a live stream
        // returns.
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);

        const std::string folder = options.pluginFolder.empty() ? DefaultPluginFolder() : options.pluginFolder;
        OrqHost::Runner runner(options, folder, console);
        return runner.Run();
    } catch (const OrqHost::HostError& e) {
        console.WriteErr(std::string("orq8-host: ") + e.what());
        return e.status();
    } catch (const std::exception& e) {
        console.WriteErr(std::string("orq8-host: internal error: ") + e.what());
        return OrqHost::ExitInternal;
    }
}
