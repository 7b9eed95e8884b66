// Writes, for every voiced hop of a labelled folder (within the event for
// a labelled class, anywhere for negatives), how fast the 1 .. 4 kHz band's
// envelope moves: the "roughness" of a strained voice, amplitude modulation
// at 30 .. 150 Hz, which no measure of the front end reads (it works per
// 10 ms hop).
//
//   EnvelopeTrace FOLDER SPLIT|all > trace.txt
//
// The band (two 1 kHz high-passes and a 4 kHz low-pass) is squared and
// averaged in 1 ms blocks; the block RMS is the envelope, at 1 kHz. Over the
// last 128 blocks:
//   ratio  modulation power at 30 .. 150 Hz over that at 4 .. 30 Hz, dB
//   depth  modulation power at 30 .. 150 Hz over the envelope's squared mean, dB
//   depth2 the same at 30 .. 80 Hz
//   line   the strongest 7.8 Hz bin of the (Hann) modulation spectrum at
//          31 .. 94 Hz and below 0.7 f0 (so not the pitch pulses), over
//          the bins' mean over 16 .. 148 Hz, dB
// Lines: "file label sub snr background ratio depth depth2 line f0".
//
// Not in the library: a tool for measuring a candidate Aggression input.
#include <sndfile.h>

#include <algorithm>
#include <array>
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

constexpr double kPi = 3.14159265358979323846;

// A second-order Butterworth section (direct form II transposed).
struct Section {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
    Section(bool highPass, double hz, double rate)
    {
        const double w = 2 * kPi * hz / rate, c = std::cos(w), alpha = std::sin(w) / std::sqrt(2.0);
        const double a0 = 1 + alpha;
        b0 = (highPass ? (1 + c) : (1 - c)) / 2 / a0;
        b1 = (highPass ? -(1 + c) : (1 - c)) / a0;
        b2 = b0;
        a1 = -2 * c / a0;
        a2 = (1 - alpha) / a0;
    }
    double operator()(double x)
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

constexpr int kBlocks = 128;

// Power of the envelope in one modulation band over the last kBlocks blocks.
struct ModulationBand {
    Section high, low;
    std::array<double, kBlocks> ring{};
    double sum = 0;
    int pos = 0;
    ModulationBand(double lowHz, double highHz) : high(true, lowHz, 1000), low(false, highHz, 1000) {}
    void Push(double envelope)
    {
        double y = low(high(envelope));
        y *= y;
        sum += y - ring[static_cast<std::size_t>(pos)];
        ring[static_cast<std::size_t>(pos)] = y;
        pos = (pos + 1) % kBlocks;
    }
};

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

double Db(double ratio) { return 10.0 * std::log10(std::max(ratio, 1e-12)); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: EnvelopeTrace FOLDER SPLIT|all\n");
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
              on = column("event_start_s"), off = column("event_end_s"), background = column("background"),
              splitColumn = column("split");
    auto text = [](const std::vector<std::string>& row, int i) {
        return i >= 0 && !row[static_cast<std::size_t>(i)].empty() ? row[static_cast<std::size_t>(i)] : std::string("-");
    };
    while (std::getline(manifest, line)) {
        const std::vector<std::string> row = Fields(line);
        if (split != "all" && splitColumn >= 0 && row[splitColumn] != split) {
            continue;
        }
        int rate = 0;
        const std::vector<float> mono = ReadMono(folder + "/" + row[file], rate);
        const double onS = std::stod(row[on]);
        const double offS = std::stod(row[off]);
        const bool negative = row[label] == "negative";
        FrontEnd frontEnd;
        frontEnd.Init(static_cast<std::uint32_t>(rate));
        const std::size_t hop = frontEnd.HopSamples();
        const std::size_t block = static_cast<std::size_t>(rate / 1000);
        Section high1(true, 1000, rate), high2(true, 1000, rate), low(false, std::min(4000.0, 0.45 * rate), rate);
        ModulationBand fast(30, 150), slow(4, 30), fastLow(30, 80);
        std::array<double, kBlocks> envelope{};
        double envelopeSum = 0;
        int pos = 0;
        for (std::size_t i = 0; i + hop <= mono.size(); i += hop) {
            const Features& f = frontEnd.PushHop(mono.data() + i);
            for (std::size_t start = 0; start < hop; start += block) {
                double energy = 0;
                for (std::size_t k = start; k < start + block; ++k) {
                    const double y = low(high2(high1(mono[i + k])));
                    energy += y * y;
                }
                const double e = std::sqrt(energy / static_cast<double>(block) + 1e-12);
                fast.Push(e);
                slow.Push(e);
                fastLow.Push(e);
                envelopeSum += e - envelope[static_cast<std::size_t>(pos)];
                envelope[static_cast<std::size_t>(pos)] = e;
                pos = (pos + 1) % kBlocks;
            }
            const double t = static_cast<double>(i + hop) / rate;
            if ((!negative && (t < onS || t > offS)) || !VoicedHop(f, true)) {
                continue;
            }
            const double mean = envelopeSum / kBlocks;
            // The modulation spectrum, Hann-windowed, bins 2 .. 19 (16 .. 148 Hz).
            double binSum = 0, strongest = 0;
            for (int k = 2; k < 20; ++k) {
                double re = 0, im = 0;
                for (int j = 0; j < kBlocks; ++j) {
                    const double w = 0.5 - 0.5 * std::cos(2 * kPi * j / kBlocks);
                    const double v = w * (envelope[static_cast<std::size_t>((pos + j) % kBlocks)] - mean);
                    re += v * std::cos(2 * kPi * k * j / kBlocks);
                    im += v * std::sin(2 * kPi * k * j / kBlocks);
                }
                const double power = re * re + im * im;
                binSum += power;
                if (k >= 4 && k <= 12 && k * 1000.0 / kBlocks < 0.7 * f.f0Hz) {
                    strongest = std::max(strongest, power);
                }
            }
            std::printf("%s %s %s %s %s %.2f %.2f %.2f %.2f %.1f\n", row[file].c_str(), row[label].c_str(),
                        text(row, sub).c_str(), text(row, snr).c_str(), text(row, background).c_str(),
                        Db(fast.sum / (slow.sum + 1e-18)), Db(fast.sum / kBlocks / (mean * mean + 1e-18)),
                        Db(fastLow.sum / kBlocks / (mean * mean + 1e-18)), Db(strongest / (binSum / 18 + 1e-30)),
                        static_cast<double>(f.f0Hz));
        }
    }
    return 0;
}
