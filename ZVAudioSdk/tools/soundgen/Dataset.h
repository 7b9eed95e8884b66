// Plans, renders and writes the generated data sets and the demo scene.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv::soundgen {

struct SetOptions {
    std::string outDir;
    std::uint64_t seed = 1;
    double rate = 16000;
    std::vector<std::string> labels;   // class names and/or "negative"
    std::vector<std::string> splits;   // "tune", "holdout"
    std::vector<std::string> kinds;    // sub-labels of optInKinds() to render too (none by default)
    int jobs = 2;
    int perSnr = 10;   // positive clips per class and SNR: 20 at +10 dB and above, so one miss still reads 0.95
    bool espeak = true;
};

// Writes every clip and `outDir/manifest.csv`; returns 0 on success, else
// prints why and returns non-zero.
int writeSet(const SetOptions& options);

// Writes the 60 s demo scene to `wavPath` and its manifest beside it (same
// name, .csv). Returns 0 on success.
int writeScene(const std::string& wavPath, std::uint64_t seed, double rate, bool espeak);

// Writes one catalogue sound alone (no background, no room) to `wavPath`,
// for listening to a kind: `sub` names a catalogue entry of `label`.
int writeSample(const std::string& label, const std::string& sub, const std::string& wavPath, std::uint64_t seed,
                double rate, double seconds, bool espeak);

} // namespace zv::soundgen
