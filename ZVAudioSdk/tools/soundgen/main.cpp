// zv_soundgen: writes labelled WAV clips and manifest.csv, or a demo scene.
//
//   zv_soundgen --out DIR [--seed N] [--rate HZ] [--classes a,b|all] [--split tune|holdout|both]
//               [--jobs N] [--per-snr N] [--kinds a,b] [--no-espeak]
//   zv_soundgen --scene FILE.wav [--seed N] [--rate HZ] [--no-espeak]
//   zv_soundgen --list
//   zv_soundgen --sample LABEL/SUB FILE.wav [--seed N] [--rate HZ] [--seconds S]
//
// --classes takes class names and "negative"; "all" (the default) is the
// seven classes and the negatives. --per-snr sets the positive clips per
// class and SNR (10). The same arguments give byte-identical files (speech
// comes from the installed espeak-ng, itself deterministic); --jobs
// (default 2) only changes how fast. --sample writes one sound alone.
// --kinds names opt-in kinds (marked "opt-in" by --list) to render as extra
// clips of their class; without it no set holds them.
#include "Dataset.h"
#include "SoundSynth.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: zv_soundgen --out DIR [--seed N] [--rate HZ] [--classes a,b|all] [--split tune|holdout|both]\n"
                 "                   [--jobs N] [--per-snr N] [--kinds a,b] [--no-espeak]\n"
                 "       zv_soundgen --scene FILE.wav [--seed N] [--rate HZ] [--no-espeak]\n"
                 "       zv_soundgen --list\n"
                 "       zv_soundgen --sample LABEL/SUB FILE.wav [--seed N] [--rate HZ] [--seconds S]\n");
    return 2;
}

bool parseNumber(const char* s, double& out) {
    char* end = nullptr;
    out = std::strtod(s, &end);
    return end && *end == '\0' && end != s;
}

} // namespace

int main(int argc, char** argv) {
    zv::soundgen::SetOptions o;
    std::string scene, classes = "all", split = "both", sample, samplePath, kinds;
    double seconds = 5.0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        double num = 0;
        if (a == "--list") {
            for (const auto& k : zv::synth::catalogue())
                std::printf("%-10s %-22s %s\n", k.label, k.subLabel, k.lookalikeOf);
            for (const auto& k : zv::synth::optInKinds())
                std::printf("%-10s %-22s %s\n", k.label, k.subLabel, "opt-in (--kinds)");
            return 0;
        } else if (a == "--no-espeak") {
            o.espeak = false;
        } else if (a == "--out" || a == "--scene" || a == "--classes" || a == "--split" || a == "--kinds") {
            const char* v = value();
            if (!v) return usage();
            (a == "--out" ? o.outDir : a == "--scene" ? scene : a == "--classes" ? classes : a == "--kinds" ? kinds : split) = v;
        } else if (a == "--sample") {
            const char* v = value();
            const char* p = value();
            if (!v || !p) return usage();
            sample = v;
            samplePath = p;
        } else if (a == "--seed" || a == "--rate" || a == "--jobs" || a == "--seconds" || a == "--per-snr") {
            const char* v = value();
            if (!v || !parseNumber(v, num) || num < 0) return usage();
            if (a == "--seed") o.seed = static_cast<std::uint64_t>(num);
            else if (a == "--rate") o.rate = num;
            else if (a == "--seconds") seconds = num;
            else if (a == "--per-snr") o.perSnr = static_cast<int>(num);
            else o.jobs = static_cast<int>(num);
        } else {
            return usage();
        }
    }
    if (o.rate < 8000 || o.rate > 96000) { std::fprintf(stderr, "zv_soundgen: --rate must be 8000..96000\n"); return 2; }
    if (!sample.empty()) {
        const auto slash = sample.find('/');
        if (slash == std::string::npos) return usage();
        return zv::soundgen::writeSample(sample.substr(0, slash), sample.substr(slash + 1), samplePath, o.seed, o.rate,
                                         seconds, o.espeak);
    }
    if (!scene.empty()) return zv::soundgen::writeScene(scene, o.seed, o.rate, o.espeak);
    if (o.outDir.empty()) return usage();

    if (split == "both") o.splits = {"tune", "holdout"};
    else if (split == "tune" || split == "holdout") o.splits = {split};
    else return usage();

    std::stringstream ss(classes);
    for (std::string c; std::getline(ss, c, ',');) {
        if (c == "all") {
            o.labels = zv::synth::classNames();
            o.labels.push_back("negative");
            continue;
        }
        const auto& names = zv::synth::classNames();
        if (c != "negative" && std::find(names.begin(), names.end(), c) == names.end()) {
            std::fprintf(stderr, "zv_soundgen: unknown class '%s'\n", c.c_str());
            return 2;
        }
        o.labels.push_back(c);
    }
    std::stringstream ks(kinds);
    for (std::string k; std::getline(ks, k, ',');) {
        const auto& opt = zv::synth::optInKinds();
        if (std::none_of(opt.begin(), opt.end(), [&](const zv::synth::SoundKind& s) { return k == s.subLabel; })) {
            std::fprintf(stderr, "zv_soundgen: unknown opt-in kind '%s' (see --list)\n", k.c_str());
            return 2;
        }
        o.kinds.push_back(k);
    }
    return zv::soundgen::writeSet(o);
}
