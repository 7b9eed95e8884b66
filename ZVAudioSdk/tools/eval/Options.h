// zv_eval's command line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "Classes.h"

namespace zv::eval {

struct Options {
    std::string folder;
    std::string data;  // the library's data folder; defaultData when not given
    Thresholds thresholds{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    std::string split;  // "tune", "holdout" or empty for every row
    bool snr = false;
    bool json = false;
    bool sweep = true;
    int listLimit = 8;
    bool help = false;
};

// Parses the arguments after the program name. `--threshold X` sets all
// seven; `--threshold Class=X` sets one and applies after any all-class
// value, whatever the order. Throws std::runtime_error on an unknown option,
// a missing value, a threshold that is not a number in [0, 1], an unknown
// class, a split other than tune or holdout, or no folder (unless --help).
Options ParseOptions(const std::vector<std::string>& args, const std::string& defaultData);

void PrintUsage(std::FILE* to, const std::string& defaultData);

}  // namespace zv::eval
