// Writes, for every clip of a labelled folder, the vocal detectors'
// evidence vector (EffortEvidence, VoiceMeasures.h) every other hop, for
// fitting their trees (windowHops: 50 for Aggression, 100 for BabyCry):
//
//   EvidenceTrace FOLDER SPLIT|all [windowHops [voiceBands]] > trace.txt
//
// voiceBands 1: hops where only the voice's bands stand out count as voiced
// (the detectors' "voiceBands").
//
// Lines: "F index label sub snr onset offset" per clip, then "H index t
// inEvent v0 v1 ..." per traced hop (inEvent: the hop lies within the
// labelled event).
//
// Not part of the library: a tool for refitting its Aggression and BabyCry classes.
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FrontEnd.h"
#include "detectors/VoiceMeasures.h"

using namespace zvsdk;

namespace {

std::vector<float> ReadMono(const std::string& path, int& rate)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    std::vector<float> mono(static_cast<std::size_t>(info.frames));
    for (sf_count_t i = 0; i < info.frames; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < info.channels; ++c) {
            sum += frames[static_cast<std::size_t>(i * info.channels + c)];
        }
        mono[static_cast<std::size_t>(i)] = sum / static_cast<float>(info.channels);
    }
    rate = info.samplerate;
    return mono;
}

// CSV fields, quotes honoured.
std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> out;
    std::string current;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    out.push_back(current);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: EvidenceTrace FOLDER SPLIT|all [windowHops [voiceBands]]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string split = argv[2];
    const auto windowHops = static_cast<std::uint32_t>(argc > 3 ? std::atoi(argv[3]) : 50);
    const bool voiceBands = argc > 4 && std::atoi(argv[4]) != 0;
    std::ifstream manifest(folder + "/manifest.csv");
    std::string line;
    std::getline(manifest, line);
    const std::vector<std::string> header = Fields(line);
    auto column = [&](const char* name) {
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (header[i] == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    const int file = column("file"), label = column("label"), sub = column("sub_label"), snr = column("snr_db"),
              on = column("event_start_s"), off = column("event_end_s"), splitColumn = column("split");
    int index = 0;
    while (std::getline(manifest, line)) {
        const std::vector<std::string> row = Fields(line);
        if (split != "all" && splitColumn >= 0 && row[splitColumn] != split) {
            continue;
        }
        std::string subLabel = row[sub];
        for (char& c : subLabel) {
            c = c == ' ' ? '_' : c;
        }
        const std::string snrText = snr >= 0 && !row[snr].empty() ? row[snr] : "-";
        int rate = 0;
        const std::vector<float> mono = ReadMono(folder + "/" + row[file], rate);
        const double onS = std::stod(row[on]);
        const double offS = std::stod(row[off]);
        std::printf("F %d %s %s %s %s %.3f %.3f\n", index, row[file].c_str(), row[label].c_str(), subLabel.c_str(),
                    snrText.c_str(), onS, offS);
        FrontEnd frontEnd;
        frontEnd.Init(static_cast<std::uint32_t>(rate));
        auto* evidence = new EffortEvidence(windowHops, voiceBands);
        const std::size_t hop = frontEnd.HopSamples();
        int n = 0;
        for (std::size_t i = 0; i + hop <= mono.size(); i += hop, ++n) {
            float out[kEffortMeasureCount];
            evidence->Update(frontEnd.PushHop(mono.data() + i), out);
            if (n % 2 != 0) {
                continue;
            }
            const double t = static_cast<double>(i + hop) / rate;
            std::printf("H %d %.2f %d", index, t, t >= onS && t <= offS + 0.3 ? 1 : 0);
            for (float v : out) {
                std::printf(" %.4g", v);
            }
            std::printf("\n");
        }
        delete evidence;
        ++index;
    }
    return 0;
}
