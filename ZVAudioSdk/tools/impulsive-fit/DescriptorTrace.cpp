// Writes, for every clip of a labelled folder, a "FILE" line and the
// descriptors of every impulsive observation (the detectors print them when
// built with ZV_IMPULSIVE_TRACE) to stderr, for fit_trees.py.
//
//   DescriptorTrace FOLDER SPLIT|all MODEL.json [crop|whole [CLASS]]
//
// The observations are those of CLASS's detector (GunShot by default; the
// three differ only in what counts as an onset).
//
// With "crop", every clip is also played a second time from its event's
// start (a negative's from 40 % of its length), as a stream that starts on
// the sound: recordings often do, and then the observation has nothing
// before the onset to measure against. Those runs are named FILE@crop, with
// the event span shifted to the new start.
//
// Not part of the library: a tool for refitting its impulsive classes.
#include <sndfile.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FrontEnd.h"
#include "Memory.h"
#include "detectors/Detector.h"

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
    if (argc < 4 || argc > 6 || (argc >= 5 && std::string(argv[4]) != "crop" && std::string(argv[4]) != "whole")) {
        std::fprintf(stderr, "usage: DescriptorTrace FOLDER SPLIT|all MODEL.json [crop|whole [CLASS]]\n");
        return 2;
    }
    const bool crop = argc >= 5 && std::string(argv[4]) == "crop";
    const std::string className = argc == 6 ? argv[5] : "GunShot";
    Detector* (*make)(std::uint32_t, const nlohmann::json&) =
        className == "DogBark" ? MakeDogBark : className == "GlassBreak" ? MakeGlassBreak : MakeGunShot;
    const std::string folder = argv[1];
    const std::string split = argv[2];
    nlohmann::json model;
    std::ifstream(argv[3]) >> model;
    const nlohmann::json& detectors = model["detectors"];

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
        for (int pass = 0; pass < (crop ? 2 : 1); ++pass) {
            const bool negative = row[label] == "negative";
            const double startS = pass == 0 ? 0.0 : negative ? 0.4 * static_cast<double>(mono.size()) / rate : onS;
            std::fprintf(stderr, "FILE %s%s %s %s %s %.3f %.3f\n", row[file].c_str(), pass == 0 ? "" : "@crop",
                         row[label].c_str(), subLabel.c_str(), snrText.c_str(), pass == 0 || negative ? onS : 0.0,
                         offS - (negative ? 0.0 : startS));
            FrontEnd frontEnd;
            frontEnd.Init(static_cast<std::uint32_t>(rate));
            Detector* detector = make(static_cast<std::uint32_t>(rate), DetectorBlock(detectors, className.c_str()));
            const std::size_t hop = frontEnd.HopSamples();
            for (std::size_t i = static_cast<std::size_t>(startS * rate); i + hop <= mono.size(); i += hop) {
                detector->Update(frontEnd.PushHop(mono.data() + i));
            }
            ZvDelete(detector);
        }
    }
    return 0;
}
