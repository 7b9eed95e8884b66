// The generator's promises: reproducible samples, every sound audible at the
// SNR it is labelled with, the smoke alarm's cadence, and data sets whose
// manifest spans lie inside their files.
#include "SoundSynth.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace zs = zv::synth;
namespace fs = std::filesystem;
constexpr double kRate = 16000;
constexpr double kPi = 3.14159265358979323846;

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

// Mean frequency of a tone from its zero crossings.
double toneHz(const zs::Buffer& x, std::size_t from, std::size_t count) {
    int crossings = 0;
    for (std::size_t i = from + 1; i < from + count; ++i) crossings += (x[i - 1] < 0) != (x[i] < 0);
    return crossings / 2.0 / (double(count) / kRate);
}

zs::Buffer sine(double hz, double seconds) {
    zs::Buffer x(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(0.5 * std::sin(2 * kPi * hz * double(i) / kRate));
    return x;
}

TEST(SoundSynth, ActiveLevelIgnoresTheGapsOfACadence) {
    zs::Buffer beeps = sine(1000, 3.0);
    for (std::size_t i = 0; i < beeps.size(); ++i)
        if ((i / 8000) % 2 == 1) beeps[i] = 0.0f;   // 0.5 s on, 0.5 s off
    EXPECT_NEAR(zs::activeRms(beeps, kRate), 0.5 / std::sqrt(2.0), 1e-3);
    EXPECT_NEAR(zs::rms(beeps), 0.5 / 2.0, 1e-3);
}

TEST(SoundSynth, PassingSourceSoundsHigherComingThanGoing) {
    const auto passing = zs::doppler(sine(1000, 6.0), kRate, 30.0, 10.0);
    // 343 / (343 - 30) and 343 / (343 + 30) far from the closest point.
    EXPECT_NEAR(toneHz(passing, 8000, 8000), 1096.0, 10.0);
    EXPECT_NEAR(toneHz(passing, 80000, 8000), 920.0, 10.0);
}

TEST(SoundSynth, ResamplingKeepsPitchAndLevel) {
    const auto tone = sine(440, 1.0);
    const auto at22k = zs::resample(tone, kRate, 22050);
    EXPECT_NEAR(double(at22k.size()), 22050.0, 2.0);
    EXPECT_NEAR(zs::rms(at22k), zs::rms(tone), 0.01);
    const auto back = zs::resample(at22k, 22050, kRate);
    EXPECT_NEAR(toneHz(back, 1000, 8000), 440.0, 2.0);
}

TEST(SoundSynth, CatalogueCoversEveryClassAndNamesRealLookalikes) {
    const auto& classes = zs::classNames();
    for (const auto& c : classes) {
        int variants = 0, lookalikes = 0;
        for (const auto& k : zs::catalogue()) {
            variants += c == k.label;
            lookalikes += c == k.lookalikeOf;
        }
        EXPECT_GE(variants, 1) << c;
        EXPECT_GE(lookalikes, 3) << c;
    }
    for (const auto& k : zs::catalogue()) {
        const std::string like = k.lookalikeOf;
        EXPECT_TRUE(like.empty() || std::find(classes.begin(), classes.end(), like) != classes.end()) << k.subLabel;
    }
}

// Share of a sound's power below about 500 Hz (two one-pole low-passes).
double lowShare(const zs::Buffer& x) {
    const double a = std::exp(-2.0 * kPi * 500.0 / kRate);
    double s1 = 0, s2 = 0, low = 0, all = 0;
    for (float v : x) {
        s1 = a * s1 + (1 - a) * v;
        s2 = a * s2 + (1 - a) * s1;
        low += s2 * s2;
        all += double(v) * v;
    }
    return low / all;
}

// The mechanical look-alikes of a shot: a latch and a shutter are thin
// clicks with next to nothing below 500 Hz, a snare brings its tuned head.
TEST(SoundSynth, LatchesAndShuttersAreThinClicksWhereASnareHasABody) {
    double snare = 0;
    for (int seed = 0; seed < 4; ++seed) {
        zs::Rng rng(zs::hashSeed(5, "click", seed));
        EXPECT_LT(lowShare(zs::doorLatch(rng, kRate)), 0.05) << seed;
        EXPECT_LT(lowShare(zs::cameraShutter(rng, kRate)), 0.05) << seed;
        snare += lowShare(zs::snareDrum(rng, kRate, 4.0)) / 4;
    }
    EXPECT_GT(snare, 0.15);
}

// A shotgun's blast is long and heavy: most of its power lies below 500 Hz
// and it still sounds 0.3 s on, where a pistol's blast has died away.
TEST(SoundSynth, ShotgunsCarryALongLowBlastThatPistolsLack) {
    auto tail = [](const zs::Buffer& x) {   // share of the power from 0.3 s on
        double late = 0, all = 0;
        for (std::size_t i = 0; i < x.size(); ++i) (i >= std::size_t(0.3 * kRate) ? late : all) += double(x[i]) * x[i];
        return late / (late + all);
    };
    for (int seed = 0; seed < 4; ++seed) {
        zs::Rng rng(zs::hashSeed(6, "gun", seed));
        const auto shotgun = zs::gunShot(rng, kRate, zs::GunKind::Shotgun, 1);
        const auto pistol = zs::gunShot(rng, kRate, zs::GunKind::Pistol, 1);
        EXPECT_GT(lowShare(shotgun), 0.5) << seed;
        EXPECT_GT(lowShare(shotgun), 2 * lowShare(pistol)) << seed;
        EXPECT_GT(tail(shotgun), 0.02) << seed;
    }
}

// Glass other than panes: each opt-in kind is a GlassBreak sound, finite
// and short; a thick slab's blow and a bottle's dull one carry more of the
// sound below 500 Hz than a pane, and the slab's blow dominates it.
TEST(SoundSynth, OtherGlassIsGlassBreakWithTheImpactItsKindSays) {
    ASSERT_EQ(zs::optInKinds().size(), 3u);
    double pane = 0, bottle = 0, thick = 0;
    for (int seed = 0; seed < 4; ++seed) {
        for (const auto& kind : zs::optInKinds()) {
            SCOPED_TRACE(kind.subLabel);
            EXPECT_STREQ(kind.label, "GlassBreak");
            zs::Rng rng(zs::hashSeed(9, kind.subLabel, seed));
            const auto x = kind.make(rng, kRate, 3.0);
            ASSERT_GT(zs::peak(x), 0.1);
            ASSERT_LE(x.size(), static_cast<std::size_t>(2 * kRate));
            for (float v : x) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f);
            const std::string sub = kind.subLabel;
            (sub == "bottle" ? bottle : sub == "thick" ? thick : pane) += sub == "tumbler" ? 0.0 : lowShare(x) / 4;
        }
        zs::Rng rng(zs::hashSeed(9, "pane", seed));
        pane += lowShare(zs::glassBreak(rng, kRate)) / 4;
    }
    EXPECT_GT(bottle, 2 * pane);
    EXPECT_GT(thick, 0.5);
}

// What a voice's loud frames (within 10 dB of the loudest, 32 ms each) show:
// harmonicity (the best normalised autocorrelation at a lag of 70..600 Hz),
// spectral flatness, and the share of power in 1..4 kHz (plain DFT).
struct VoiceLook { double harmonicity = 0, flatness = 0, midShare = 0; };
// The energy of each whole frame of n samples.
std::vector<double> frameEnergies(const zs::Buffer& x, std::size_t n) {
    std::vector<double> energy;
    for (std::size_t at = 0; at + n <= x.size(); at += n) {
        double e = 0;
        for (std::size_t i = at; i < at + n; ++i) e += double(x[i]) * x[i];
        energy.push_back(e);
    }
    return energy;
}

VoiceLook look(const zs::Buffer& x) {
    constexpr std::size_t n = 512;
    const std::vector<double> energy = frameEnergies(x, n);
    const double loudest = *std::max_element(energy.begin(), energy.end());
    VoiceLook sum;
    int frames = 0;
    for (std::size_t f = 0; f < energy.size(); ++f) {
        if (energy[f] < 0.1 * loudest) continue;
        const float* v = x.data() + f * n;
        double best = 0;
        for (std::size_t lag = std::size_t(kRate / 600); lag <= std::size_t(kRate / 70); ++lag) {
            double xy = 0, xx = 0, yy = 0;
            for (std::size_t i = 0; i + lag < n; ++i) { xy += double(v[i]) * v[i + lag]; xx += double(v[i]) * v[i]; yy += double(v[i + lag]) * v[i + lag]; }
            best = std::max(best, xy / std::sqrt(xx * yy + 1e-20));
        }
        double logSum = 0, all = 0, mid = 0;
        for (std::size_t k = 1; k < n / 2; ++k) {
            double re = 0, im = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const double w = 0.5 - 0.5 * std::cos(2 * kPi * double(i) / n);
                re += w * v[i] * std::cos(2 * kPi * double(k * i) / n);
                im -= w * v[i] * std::sin(2 * kPi * double(k * i) / n);
            }
            const double p = re * re + im * im + 1e-12;
            logSum += std::log(p);
            all += p;
            const double hz = double(k) * kRate / n;
            if (hz >= 1000 && hz <= 4000) mid += p;
        }
        const double bins = n / 2 - 1;
        sum.harmonicity += best;
        sum.flatness += std::exp(logSum / bins) / (all / bins);
        sum.midShare += mid / all;
        ++frames;
    }
    return {sum.harmonicity / frames, sum.flatness / frames, sum.midShare / frames};
}

// A clean yell is as periodic as calm talk, far less noisy than a strained
// shout, and pushes its power into 1..4 kHz where talk keeps it low.
TEST(SoundSynth, CleanShoutsArePeriodicAndBrightWhereStrainedOnesAreNoisy) {
    double midShare = 0;
    constexpr int kSeeds = 6;
    for (int seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE(seed);
        zs::Rng rng(zs::hashSeed(7, "voice", seed));
        const VoiceLook clean = look(zs::cleanShout(rng, kRate, 1.5, seed % 3 == 2));
        const VoiceLook strained = look(zs::shout(rng, kRate, 1.5, false));
        const VoiceLook talk = look(zs::formantSpeech(rng, kRate, zs::Talker::Man, 2.0));
        EXPECT_GT(clean.harmonicity, 0.9);
        EXPECT_GT(clean.harmonicity, strained.harmonicity);
        EXPECT_LT(clean.flatness, 0.2 * strained.flatness);
        EXPECT_GT(clean.midShare, 4 * talk.midShare);
        midShare += clean.midShare / kSeeds;
    }
    EXPECT_GT(midShare, 0.6);
}

// The longest stretch of 20 ms frames within 6 dB of the loudest one.
double longestHeldSeconds(const zs::Buffer& x) {
    const std::vector<double> energy = frameEnergies(x, std::size_t(0.02 * kRate));
    const double loudest = *std::max_element(energy.begin(), energy.end());
    int run = 0, longest = 0;
    for (double e : energy) longest = std::max(longest, run = e >= 0.25 * loudest ? run + 1 : 0);
    return longest * 0.02;
}

// A held yell ("nooo", "heeey") is as periodic and bright as the clean
// words, and holds its level within 6 dB for half a second at least.
TEST(SoundSynth, HeldYellsArePeriodicBrightAndHeld) {
    for (int seed = 0; seed < 6; ++seed) {
        SCOPED_TRACE(seed);
        zs::Rng rng(zs::hashSeed(11, "held", seed));
        const zs::Buffer yell = zs::heldYell(rng, kRate, 1.5);
        const VoiceLook held = look(yell);
        const VoiceLook talk = look(zs::formantSpeech(rng, kRate, zs::Talker::Woman, 2.0));
        EXPECT_GT(held.harmonicity, 0.9);
        EXPECT_GT(held.midShare, 3 * talk.midShare);
        EXPECT_GT(longestHeldSeconds(yell), 0.5);
    }
}

// How impulsive a sound is at the millisecond scale: over its loud 50 ms
// blocks, the mean of the loudest 1 ms energy over the block's mean.
double clickiness(const zs::Buffer& x) {
    const std::vector<double> ms = frameEnergies(x, std::size_t(0.001 * kRate));
    const std::vector<double> blocks = frameEnergies(x, std::size_t(0.05 * kRate));
    const double loudest = *std::max_element(blocks.begin(), blocks.end());
    double sum = 0;
    int counted = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (blocks[b] < 0.1 * loudest) continue;
        sum += *std::max_element(ms.begin() + std::ptrdiff_t(b * 50), ms.begin() + std::ptrdiff_t(b * 50 + 50)) / (blocks[b] / 50);
        ++counted;
    }
    return sum / counted;
}

// Applause is many independent claps: bright, far more impulsive at the
// millisecond scale than noise or a strained shout, swelling in and dying
// out around a held middle.
TEST(SoundSynth, ApplauseIsABrightTrainOfClicksThatSwellsHoldsAndDiesOut) {
    double applause = 0, shouts = 0;
    constexpr int kSeeds = 6;
    for (int seed = 0; seed < kSeeds; ++seed) {
        SCOPED_TRACE(seed);
        zs::Rng rng(zs::hashSeed(13, "applause", seed));
        const zs::Buffer clapping = zs::applause(rng, kRate, 6.0);
        const double clicks = clickiness(clapping);
        EXPECT_GT(clicks, 2 * clickiness(zs::whiteNoise(rng, kRate, 2.0)));
        EXPECT_GT(look(clapping).midShare, 0.5);
        applause += clicks / kSeeds;
        shouts += clickiness(zs::shout(rng, kRate, 1.5, false)) / kSeeds;
        const std::vector<double> tenths = frameEnergies(clapping, std::size_t(0.1 * kRate));
        std::vector<double> sorted = tenths;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        EXPECT_LT(tenths.front(), 0.5 * median);
        EXPECT_LT(tenths.back(), 0.5 * median);
        EXPECT_GE(std::count_if(tenths.begin(), tenths.end(), [&](double e) { return e > 0.25 * median; }), 15);
    }
    EXPECT_GT(applause, 2 * shouts);
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

// Longest run of exactly zero samples in a 16-bit file, in seconds; `head`
// gets the loudest of its first 20 ms.
// The samples of a mono WAV file (empty when it cannot be read) and its rate.
std::vector<short> readPcm(const fs::path& path, int& rate) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) return {};
    std::vector<short> x(static_cast<std::size_t>(info.frames));
    sf_read_short(f, x.data(), info.frames);
    sf_close(f);
    rate = info.samplerate;
    return x;
}

// The rows of a data set's manifest.csv after its header, each cut into
// its first `columns` cells.
std::vector<std::vector<std::string>> manifestRows(const fs::path& dir, std::size_t columns) {
    std::istringstream lines(slurp(dir / "manifest.csv"));
    std::string line;
    std::getline(lines, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(lines, line)) {
        std::istringstream cells(line);
        std::vector<std::string> c(columns);
        for (auto& cell : c) std::getline(cells, cell, ',');
        rows.push_back(std::move(c));
    }
    return rows;
}

double longestDigitalSilence(const fs::path& path, short& head) {
    int rate = 0;
    const std::vector<short> x = readPcm(path, rate);
    if (x.empty()) return -1.0;
    head = 0;
    std::size_t run = 0, longest = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (i < static_cast<std::size_t>(rate / 50)) head = std::max<short>(head, static_cast<short>(std::abs(x[i])));
        run = x[i] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return double(longest) / rate;
}

// Runs the generator with `args` into a fresh folder of its own under the
// temporary directory; that folder, or an empty path when the run failed.
fs::path generated(const std::string& name, const std::string& args) {
    const fs::path dir = fs::temp_directory_path() / ("zv_soundgen_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const std::string cmd = std::string(ZV_SOUNDGEN_EXE) + " --out " + dir.string() + " " + args + " > /dev/null";
    return std::system(cmd.c_str()) == 0 ? dir : fs::path();
}

TEST(Soundgen, KindsCutOutOfSilenceSoundFromTheFirstSampleOverDigitalSilence) {
    const fs::path dir = generated("cut", "--seed 5 --classes negative --split holdout --rate 8000 --no-espeak");
    ASSERT_FALSE(dir.empty());
    int cut = 0;
    for (const std::vector<std::string>& c : manifestRows(dir, 7)) {
        const std::string kind = c[2].substr(0, c[2].find('+'));
        const bool isCut = kind.size() > 4 && kind.compare(kind.size() - 4, 4, "_cut") == 0;
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(c[6] == "digital_silence", isCut);
        if (isCut) {
            ++cut;
            short head = 0;
            EXPECT_GE(longestDigitalSilence(dir / c[0], head), 0.1);
            EXPECT_GT(head, 1000) << "the sound starts with the file";
        }
    }
    EXPECT_EQ(cut, 9);
    fs::remove_all(dir);
}

// The heavy guns came after the first sets: positive clip i keeps the
// variant i % 4 it always had, the heavy guns follow as extra clips, and a
// gated one is digital silence up to shortly before its shot.
TEST(Soundgen, HeavyGunsComeAsExtraClipsAfterTheEarlierOnes) {
    const fs::path dir = generated("heavy", "--seed 3 --classes GunShot --split tune --per-snr 4 --rate 8000 --no-espeak");
    ASSERT_FALSE(dir.empty());
    const char* expected[] = {"pistol", "pistol_burst", "rifle", "rifle_burst", "shotgun", "shotgun", "heavy_burst", "heavy_burst",
                              "heavy_slow", "heavy_slow"};
    int rows = 0, gated = 0;
    for (const std::vector<std::string>& c : manifestRows(dir, 5)) {
        const int index = std::stoi(c[0].substr(c[0].size() - 6, 2));
        SCOPED_TRACE(c[0]);
        ASSERT_LT(index, 10);
        EXPECT_EQ(c[2].substr(0, c[2].find('+')), expected[index]);
        ++rows;
        if (c[2].find("+gated") == std::string::npos) continue;
        ++gated;
        int rate = 0;
        const std::vector<short> pcm = readPcm(dir / c[0], rate);
        ASSERT_FALSE(pcm.empty());
        const auto onset = static_cast<std::size_t>(std::stod(c[3]) * rate);
        const auto quietUntil = static_cast<std::size_t>(std::find_if(pcm.begin(), pcm.end(), [](short v) { return v != 0; }) - pcm.begin());
        EXPECT_LE(quietUntil, onset + std::size_t(0.01 * rate));
        EXPECT_GE(quietUntil + std::size_t(0.1 * rate) + 1, onset);
    }
    EXPECT_EQ(rows, 30);
    EXPECT_GT(gated, 0);
    fs::remove_all(dir);
}

// The held yells came after the clean ones: with two clips per SNR the
// earlier variants keep clips 0 and 1, the clean words 2 and 3, and the
// held yells follow as clip 4.
TEST(Soundgen, HeldYellsComeAfterTheCleanOnes) {
    const fs::path dir = generated("held", "--seed 4 --classes Aggression --split tune --per-snr 2 --rate 8000 --no-espeak");
    ASSERT_FALSE(dir.empty());
    const char* expected[] = {"shout", "scream", "shout_clean", "scream_clean", "yell_held"};
    int rows = 0;
    for (const std::vector<std::string>& c : manifestRows(dir, 3)) {
        const int index = std::stoi(c[0].substr(c[0].size() - 6, 2));
        SCOPED_TRACE(c[0]);
        ASSERT_LT(index, 5);
        EXPECT_EQ(c[2].substr(0, c[2].find('+')), expected[index]);
        ++rows;
    }
    EXPECT_EQ(rows, 15);
    fs::remove_all(dir);
}

// Opt-in glass comes only when named, as GlassBreak clips after the panes at
// the clips it takes with every kind named (two per SNR: bottle 2, tumbler 3,
// thick 4), and leaves the panes' files as a set without it writes them.
TEST(Soundgen, OptInGlassComesOnlyWhenNamedAfterThePanes) {
    const std::string args = "--seed 6 --classes GlassBreak --split tune --per-snr 2 --rate 8000 --no-espeak";
    const fs::path plain = generated("glass", args);
    const fs::path named = generated("glass_named", args + " --kinds thick,tumbler");
    ASSERT_FALSE(plain.empty());
    ASSERT_FALSE(named.empty());
    const char* expected[] = {"pane", "pane", "", "tumbler", "thick"};
    int rows = 0, panes = 0;
    for (const std::vector<std::string>& c : manifestRows(named, 3)) {
        SCOPED_TRACE(c[0]);
        const int index = std::stoi(c[0].substr(c[0].size() - 6, 2));
        ASSERT_LT(index, 5);
        EXPECT_EQ(c[1], "GlassBreak");
        EXPECT_EQ(c[2].substr(0, c[2].find('+')), expected[index]);
        ++rows;
        if (index < 2) {
            EXPECT_EQ(slurp(named / c[0]), slurp(plain / c[0]));
            ++panes;
        }
    }
    EXPECT_EQ(rows, 12);
    EXPECT_EQ(panes, 6);
    EXPECT_EQ(manifestRows(plain, 1).size(), 6u);
    EXPECT_NE(std::system((std::string(ZV_SOUNDGEN_EXE) + " --out " + (plain / "x").string() + " " + args +
                           " --kinds window > /dev/null 2>&1").c_str()), 0);
    fs::remove_all(plain);
    fs::remove_all(named);
}

TEST(Soundgen, SceneHasOneEventOfEachClassInsideItsMinute) {
    const fs::path wav = fs::temp_directory_path() / ("zv_soundgen_scene_" + std::to_string(::getpid()) + ".wav");
    const std::string cmd = std::string(ZV_SOUNDGEN_EXE) + " --scene " + wav.string() + " --rate 8000 --no-espeak > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    fs::path csv = wav;
    csv.replace_extension(".csv");
    std::istringstream lines(slurp(csv));
    std::string line;
    std::getline(lines, line);
    std::vector<std::string> labels;
    double lastEnd = 0;
    while (std::getline(lines, line)) {
        std::istringstream cells(line);
        std::string file, label, sub, start, end;
        std::getline(cells, file, ',');
        std::getline(cells, label, ',');
        std::getline(cells, sub, ',');
        std::getline(cells, start, ',');
        std::getline(cells, end, ',');
        EXPECT_EQ(file, wav.filename().string());
        EXPECT_GE(std::stod(start), lastEnd) << label << " overlaps the event before it";
        lastEnd = std::stod(end);
        labels.push_back(label);
    }
    EXPECT_LE(lastEnd, 60.0);
    auto expected = zs::classNames();
    std::sort(expected.begin(), expected.end());
    std::sort(labels.begin(), labels.end());
    EXPECT_EQ(labels, expected);
    fs::remove(wav);
    fs::remove(csv);
}

} // namespace
