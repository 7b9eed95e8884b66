// The generator's promises: reproducible samples, every sound audible at the
// SNR it is labelled with, the smoke alarm's cadence, and data sets whose
// manifest spans lie inside their files.
#include "SoundSynth.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

namespace zs = zv::synth;
namespace fs = std::filesystem;
constexpr double kRate = 16000;

double db(double ratio) { return 20.0 * std::log10(ratio); }

TEST(SoundSynth, SameSeedGivesTheSameSamplesAndAnotherSeedOthers) {
    zs::Rng a(7), b(7), c(8);
    const auto x = zs::siren(a, kRate, zs::SirenKind::Yelp, 2.0);
    EXPECT_EQ(x, zs::siren(b, kRate, zs::SirenKind::Yelp, 2.0));
    EXPECT_NE(x, zs::siren(c, kRate, zs::SirenKind::Yelp, 2.0));
}

TEST(SoundSynth, EverySoundIsFiniteAndSitsAtTheSnrItIsMixedAt) {
    zs::Rng bgRng(1);
    const auto bg = zs::pinkNoise(bgRng, kRate, 14.0);
    for (const auto& kind : zs::catalogue()) {
        SCOPED_TRACE(std::string(kind.label) + "/" + kind.subLabel);
        zs::Rng rng(zs::hashSeed(3, kind.subLabel, 0));
        const auto ev = kind.make(rng, kRate, 3.0);
        ASSERT_LE(ev.size(), static_cast<std::size_t>(13 * kRate));
        for (float v : ev) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f);
        if (std::string(kind.subLabel) == "silence") continue;
        ASSERT_GT(zs::peak(ev), 0.1);
        // What the mix adds over the background is the event at the stated level.
        const auto mix = zs::mixAtSnr(ev, bg, kRate, 0.5, 10.0);
        zs::Buffer added(ev.size());
        for (std::size_t i = 0; i < ev.size(); ++i) added[i] = mix[i + 8000] - bg[i + 8000];
        EXPECT_NEAR(db(zs::activeRms(added, kRate) / zs::rms(bg)), 10.0, 0.1);
    }
}

TEST(SoundSynth, SmokeAlarmBeepsInTheTemporalThreeCadence) {
    for (auto kind : {zs::SmokeAlarmKind::Piezo, zs::SmokeAlarmKind::Square520}) {
        zs::Rng rng(11);
        const auto x = zs::smokeAlarm(rng, kRate, kind, 2);
        // Runs of 10 ms frames above / below half the peak level.
        std::vector<std::pair<bool, double>> runs;
        const double limit = zs::peak(x) * 0.5;
        for (std::size_t i = 0; i + 160 <= x.size(); i += 160) {
            float p = 0;
            for (std::size_t j = i; j < i + 160; ++j) p = std::max(p, std::fabs(x[j]));
            const bool on = p > limit;
            if (runs.empty() || runs.back().first != on) runs.push_back({on, 0.0});
            runs.back().second += 0.01;
        }
        ASSERT_EQ(runs.size(), 11u);   // on off on off on PAUSE on off on off on
        for (std::size_t r = 0; r < runs.size(); ++r) {
            const double expected = r == 5 ? 1.5 : 0.5;
            EXPECT_NEAR(runs[r].second, expected, expected * 0.15) << "run " << r;
        }
    }
}

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(Soundgen, SameArgumentsGiveIdenticalFilesWhoseSpansLieInside) {
    const fs::path base = fs::temp_directory_path() / ("zv_soundgen_test_" + std::to_string(::getpid()));
    fs::remove_all(base);
    for (const char* run : {"a", "b"}) {
        const std::string cmd = std::string(ZV_SOUNDGEN_EXE) + " --out " + (base / run).string() +
                                " --seed 5 --classes SmokeAlarm --split holdout --per-snr 2 --rate 8000 --no-espeak > /dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    const std::string manifest = slurp(base / "a" / "manifest.csv");
    EXPECT_EQ(manifest, slurp(base / "b" / "manifest.csv"));
    std::istringstream lines(manifest);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "file,label,sub_label,event_start_s,event_end_s,snr_db,background,split");
    int rows = 0;
    while (std::getline(lines, line)) {
        ++rows;
        std::istringstream cells(line);
        std::string file, label, sub, start, end, snr;
        std::getline(cells, file, ',');
        std::getline(cells, label, ',');
        std::getline(cells, sub, ',');
        std::getline(cells, start, ',');
        std::getline(cells, end, ',');
        std::getline(cells, snr, ',');
        SCOPED_TRACE(file);
        EXPECT_EQ(label, "SmokeAlarm");
        EXPECT_TRUE(snr == "20" || snr == "10" || snr == "0");
        EXPECT_EQ(slurp(base / "a" / file), slurp(base / "b" / file));
        SF_INFO info{};
        SNDFILE* f = sf_open((base / "a" / file).c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        sf_close(f);
        EXPECT_EQ(info.samplerate, 8000);
        EXPECT_EQ(info.channels, 1);
        const double seconds = double(info.frames) / info.samplerate;
        EXPECT_GE(seconds, 4.0);
        EXPECT_LE(seconds, 12.0);
        EXPECT_GE(std::stod(start), 0.0);
        EXPECT_LT(std::stod(start), std::stod(end));
        EXPECT_LE(std::stod(end), seconds + 1e-3);
    }
    EXPECT_EQ(rows, 6);
    fs::remove_all(base);
}

} // namespace
