#include "Options.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "Classes.h"

namespace zv::eval {

namespace {

float ParseThreshold(const std::string& text) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value < 0.0f || value > 1.0f)
        throw std::runtime_error("threshold '" + text + "' is not a number in [0, 1]");
    return value;
}

}  // namespace

void PrintUsage(std::FILE* to, const std::string& defaultData) {
    std::fprintf(to,
                 "usage: zv_eval [options] FOLDER\n"
                 "  FOLDER               holds manifest.csv and the WAV files it names\n"
                 "  --data DIR           the library's data folder (default %s)\n"
                 "  --threshold X        all seven thresholds (default 0.5)\n"
                 "  --threshold Class=X  one class's threshold (after the above; repeatable)\n"
                 "  --split tune|holdout only the manifest rows of that split\n"
                 "  --snr                also the per-class table at each SNR and above\n"
                 "  --json               a machine-readable summary instead of tables\n"
                 "  --no-sweep           skip the precision/recall table over thresholds\n"
                 "  --list N             at most N lines of misses and of false alarms per label (default 8)\n",
                 defaultData.c_str());
}

Options ParseOptions(const std::vector<std::string>& args, const std::string& defaultData) {
    Options options;
    options.data = defaultData;
    std::vector<std::string> perClass;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw std::runtime_error(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--data") options.data = value();
        else if (arg == "--threshold") {
            const std::string v = value();
            if (v.find('=') != std::string::npos) perClass.push_back(v);
            else options.thresholds.fill(ParseThreshold(v));
        } else if (arg == "--split") {
            options.split = value();
            if (options.split != "tune" && options.split != "holdout")
                throw std::runtime_error("--split takes tune or holdout");
        } else if (arg == "--snr") options.snr = true;
        else if (arg == "--json") options.json = true;
        else if (arg == "--no-sweep") options.sweep = false;
        else if (arg == "--list") options.listLimit = std::atoi(value().c_str());
        else if (arg == "-h" || arg == "--help") options.help = true;
        else if (!arg.empty() && arg[0] == '-') throw std::runtime_error("unknown option " + arg);
        else if (options.folder.empty()) options.folder = arg;
        else throw std::runtime_error("more than one folder given");
    }
    for (const std::string& v : perClass) {
        const std::size_t eq = v.find('=');
        const int code = ClassCodeOf(v.substr(0, eq));
        if (code < 1) throw std::runtime_error("unknown class in --threshold " + v);
        options.thresholds[static_cast<std::size_t>(code - 1)] = ParseThreshold(v.substr(eq + 1));
    }
    if (options.folder.empty() && !options.help) throw std::runtime_error("no folder given");
    return options;
}

}  // namespace zv::eval
