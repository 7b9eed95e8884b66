// Writes, for every clip of a labelled folder, what the harmonic comb of the
// checked pitch (VoicePitch) shows on each voiced hop, for measuring effort
// cues before they go into the evidence:
//
//   CombTrace FOLDER SPLIT|all > comb.txt
//
// Lines: "F index file label sub snr onset offset" per clip; "U t" per hop
// that is not voiced (VoicedHop); per voiced hop "V t pitch h1 h1Over upper
// lit count lowHz harmonicity", where h1 is the first harmonic's band as
// foreground power (dB), h1Over that band over its floor (dB), upper the
// strongest band in 1 .. 4 kHz holding a harmonic (foreground, dB), lit how
// many of the harmonics below 1.2 kHz stand 6 dB over their floor and 3 dB
// over the point half-way to the next, count how many distinct bands those
// harmonics fall in, lowHz the strongest of them (Hz). "Comb effort" as
// measured in NOTES-vocal.md is upper - h1 where lit >= 2, else none.
//
// Not part of the library: a tool for refitting its Aggression class.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
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

void TraceHop(const Features& f, float pitch, double t)
{
    auto over = [&](int band) { return f.bandDb[band] - f.floorDb[band]; };
    auto foregroundDb = [&](int band) {
        return 10.0f * std::log10(std::max(f.bandPower[band] - f.floorPower[band], 1e-12f));
    };
    int lit = 0;
    int count = 0;
    int last = -1;
    float upper = kSilenceDb;
    float lowDb = kSilenceDb;
    float lowHz = 0.0f;
    for (int h = 1; pitch >= 50.0f && static_cast<float>(h) * pitch <= 4000.0f; ++h) {
        const float hz = static_cast<float>(h) * pitch;
        const int at = NearestBand(f, hz);
        if (at == last) {
            continue;
        }
        last = at;
        if (hz <= 1200.0f) {
            ++count;
            const int between = NearestBand(f, hz + 0.5f * pitch);
            lit += over(at) >= 6.0f && over(at) - over(between) >= 3.0f ? 1 : 0;
            if (foregroundDb(at) > lowDb) {
                lowDb = foregroundDb(at);
                lowHz = hz;
            }
        }
        if (hz >= 1000.0f) {
            upper = std::max(upper, foregroundDb(at));
        }
    }
    const int first = NearestBand(f, pitch);
    std::printf("V %.2f %.1f %.1f %.1f %.1f %d %d %.0f %.3f\n", t, pitch, foregroundDb(first), over(first), upper, lit,
                count, lowHz, f.harmonicity);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: CombTrace FOLDER SPLIT|all\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string split = argv[2];
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
        std::replace(subLabel.begin(), subLabel.end(), ' ', '_');
        const std::string snrText = snr >= 0 && !row[snr].empty() ? row[snr] : "-";
        int rate = 0;
        const std::vector<float> mono = ReadMono(folder + "/" + row[file], rate);
        std::printf("F %d %s %s %s %s %.3f %.3f\n", index, row[file].c_str(), row[label].c_str(), subLabel.c_str(),
                    snrText.c_str(), std::stod(row[on]), std::stod(row[off]));
        FrontEnd frontEnd;
        frontEnd.Init(static_cast<std::uint32_t>(rate));
        // The evidence checks the pitch; its output is not traced here.
        auto* evidence = new EffortEvidence(50);
        const std::size_t hop = frontEnd.HopSamples();
        for (std::size_t i = 0; i + hop <= mono.size(); i += hop) {
            const Features& f = frontEnd.PushHop(mono.data() + i);
            float out[kEffortMeasureCount];
            evidence->Update(f, out);
            const double t = static_cast<double>(i + hop) / rate;
            if (VoicedHop(f, false)) {
                TraceHop(f, evidence->LastVoicePitch(), t);
            } else {
                std::printf("U %.2f\n", t);
            }
        }
        delete evidence;
        ++index;
    }
    return 0;
}
