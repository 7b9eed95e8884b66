// The classifier's front end on sounds whose answers are known: a tone is
// found at its frequency and a harmonic sound at its fundamental at every
// sample rate (the analysis is fixed in time, not in samples), and a steady
// background becomes the floor while a tone on top of it stands out. What
// sounds in the first windows after Init is taken for the background, so
// every case starts with a faint or steady lead-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "FrontEnd.h"
#include "detectors/WindowCount.h"

namespace {

using zvsdk::Features;
using zvsdk::FrontEnd;

constexpr double kPi = 3.14159265358979323846;

// Deterministic white noise in [-amplitude, amplitude].
class Noise {
public:
    float Next(float amplitude)
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return amplitude * (static_cast<float>(state_ >> 40) / static_cast<float>(1u << 24) * 2.0f - 1.0f);
    }

private:
    std::uint64_t state_ = 12345;
};

// Feeds `seconds` of a sum of harmonics of `hz` (amplitudes 1/k, k = 1 ..
// `harmonics`, scaled by `amplitude`) over noise of `noise` amplitude, and
// returns the last hop's features.
Features Feed(FrontEnd& frontEnd, std::uint32_t rate, double seconds, double hz, int harmonics, float amplitude,
              float noise, Noise& source, double& phase)
{
    const std::uint32_t hop = frontEnd.HopSamples();
    std::vector<float> samples(hop);
    Features last;
    const auto hops = static_cast<int>(seconds * rate / hop);
    for (int h = 0; h < hops; ++h) {
        for (float& x : samples) {
            phase += 2.0 * kPi * hz / rate;
            double sum = 0.0;
            for (int k = 1; k <= harmonics; ++k) {
                sum += std::sin(k * phase) / k;
            }
            x = static_cast<float>(amplitude * sum) + source.Next(noise);
        }
        last = frontEnd.PushHop(samples.data());
    }
    return last;
}

TEST(FrontEnd, FindsToneAndFundamentalAtEveryRate)
{
    for (std::uint32_t rate : {8000u, 16000u, 32000u, 48000u}) {
        FrontEnd frontEnd;
        frontEnd.Init(rate);
        EXPECT_EQ(frontEnd.HopSamples(), rate / 100) << rate;
        Noise noise;
        double phase = 0.0;
        // A faint lead-in: the first windows are taken for the background.
        Feed(frontEnd, rate, 0.5, 1000.0, 1, 0.0f, 0.001f, noise, phase);

        const Features tone = Feed(frontEnd, rate, 0.5, 1000.0, 1, 0.3f, 0.001f, noise, phase);
        EXPECT_NEAR(tone.peakHz, 1000.0, 10.0) << rate;
        EXPECT_GT(tone.peakProminenceDb, 20.0f) << rate;
        EXPECT_LT(tone.flatness, 0.05f) << rate;

        // 300 Hz with five harmonics: the pitch is the fundamental, not the
        // loudest partial's neighbour or an octave below.
        const Features voice = Feed(frontEnd, rate, 0.5, 300.0, 5, 0.3f, 0.001f, noise, phase);
        EXPECT_NEAR(voice.f0Hz, 300.0, 6.0) << rate;
        EXPECT_GT(voice.harmonicity, 0.8f) << rate;
        EXPECT_GT(voice.harmonicsDb, -10.0f) << rate;

        // A tone high above 2 kHz is also the strongest peak up there.
        const Features high = Feed(frontEnd, rate, 0.3, 3100.0, 1, 0.3f, 0.001f, noise, phase);
        EXPECT_NEAR(high.highPeakHz, 3100.0, 15.0) << rate;
    }
}

TEST(FrontEnd, SteadyBackgroundBecomesTheFloorAndToneStandsAboveIt)
{
    const std::uint32_t rate = 16000;
    FrontEnd frontEnd;
    frontEnd.Init(rate);
    Noise noise;
    double phase = 0.0;

    // A loud steady noise: within a few seconds it is the background.
    const Features steady = Feed(frontEnd, rate, 5.0, 1000.0, 1, 0.0f, 0.3f, noise, phase);
    EXPECT_LT(steady.levelOverFloorDb, 3.0f);
    EXPECT_GT(steady.levelDb, -20.0f);
    EXPECT_NEAR(steady.floorLevelDb, steady.levelDb, 4.0f);
    EXPECT_LT(steady.flatness, 0.7f);
    EXPECT_GT(steady.flatness, 0.4f);

    // A tone 4 dB below the noise's total power stands far above the
    // background at its own frequency.
    const Features tone = Feed(frontEnd, rate, 0.5, 1500.0, 1, 0.15f, 0.3f, noise, phase);
    EXPECT_NEAR(tone.peakHz, 1500.0, 15.0);
    EXPECT_GT(tone.peakOverFloorDb, 10.0f);

    // A sudden click after it is an onset.
    std::vector<float> click(frontEnd.HopSamples(), 0.0f);
    for (std::uint32_t i = 0; i < 4; ++i) {
        click[frontEnd.HopSamples() / 2 + i] = (i % 2 == 0) ? 0.9f : -0.9f;
    }
    const Features onset = frontEnd.PushHop(click.data());
    EXPECT_GT(onset.onsetDb, 6.0f);
}

// The fine peaks of 3..8 kHz: a steady comb of partials (a harmonic sound,
// every 250 Hz up to 10 kHz) keeps them where they were 100 ms before; the
// chance peaks of white noise move. A stream at 8000 Hz has no such band
// and reads 0.
TEST(FrontEnd, SteadyPartialsAreKeptAndNoisePeaksAreNot)
{
    for (std::uint32_t rate : {8000u, 16000u, 48000u}) {
        FrontEnd frontEnd;
        frontEnd.Init(rate);
        Noise noise;
        double phase = 0.0;
        const Features comb = Feed(frontEnd, rate, 0.5, 250.0, 40, 0.3f, 0.0001f, noise, phase);
        const Features hiss = Feed(frontEnd, rate, 0.5, 250.0, 1, 0.0f, 0.3f, noise, phase);
        if (rate == 8000u) {
            EXPECT_EQ(comb.highPartialsKept, 0.0f);
            EXPECT_EQ(hiss.highPartialsKept, 0.0f);
        } else {
            EXPECT_GT(comb.highPartialsKept, 0.8f) << rate;
            EXPECT_LT(hiss.highPartialsKept, 0.5f) << rate;
        }
    }
}

// What the hop's waveform and the bands say about plain signals, at every
// rate: a sine's peak and level, clipping, which third of the spectrum holds
// a tone, the bands adding up to the hop's power, and no pitch in silence.
TEST(FrontEnd, WaveformAndBandSharesFollowTheSignalAtEveryRate)
{
    for (std::uint32_t rate : {8000u, 16000u, 32000u, 48000u}) {
        FrontEnd frontEnd;
        frontEnd.Init(rate);
        Noise noise;
        double phase = 0.0;
        Feed(frontEnd, rate, 0.5, 1000.0, 1, 0.0f, 0.001f, noise, phase);

        // A half-scale sine: peak -6 dBFS, level -9 dBFS, nothing clipped.
        const Features half = Feed(frontEnd, rate, 0.3, 500.0, 1, 0.5f, 0.0f, noise, phase);
        EXPECT_NEAR(half.peakDb, -6.02f, 0.25f) << rate;
        EXPECT_NEAR(half.levelDb, -9.03f, 0.1f) << rate;
        EXPECT_EQ(half.clippedFraction, 0.0f) << rate;
        EXPECT_GT(half.lowRatio, 0.9f) << rate;
        float bands = 0.0f;
        for (int band = 0; band < half.bandCount; ++band) {
            bands += half.bandPower[band];
        }
        EXPECT_NEAR(10.0f * std::log10(bands), half.levelDb, 0.5f) << rate;

        // Overdriven and clipped at full scale: two thirds of the samples.
        std::vector<float> clipped(frontEnd.HopSamples());
        for (std::size_t i = 0; i < clipped.size(); ++i) {
            const double x = 2.0 * std::sin(2.0 * kPi * 500.0 * static_cast<double>(i) / rate);
            clipped[i] = static_cast<float>(std::max(-1.0, std::min(1.0, x)));
        }
        const Features loud = frontEnd.PushHop(clipped.data());
        EXPECT_NEAR(loud.clippedFraction, 2.0f / 3.0f, 0.1f) << rate;
        EXPECT_NEAR(loud.peakDb, 0.0f, 0.01f) << rate;

        const Features presence = Feed(frontEnd, rate, 0.3, 2500.0, 1, 0.3f, 0.001f, noise, phase);
        EXPECT_GT(presence.midRatio, 0.9f) << rate;
        if (rate >= 16000) {
            const Features hiss = Feed(frontEnd, rate, 0.3, 6000.0, 1, 0.3f, 0.001f, noise, phase);
            EXPECT_GT(hiss.highRatio, 0.9f) << rate;
        }

        const Features quiet = Feed(frontEnd, rate, 0.5, 500.0, 1, 0.0f, 0.0f, noise, phase);
        EXPECT_EQ(quiet.f0Hz, 0.0f) << rate;
        EXPECT_EQ(quiet.harmonicity, 0.0f) << rate;
    }
}

// The sliding count the vocal gates keep over their features: a flag is
// forgotten exactly windowHops hops after it was raised, and a window asked
// for outside 1 .. 100 hops is held to those bounds.
TEST(WindowCount, ForgetsEachFlagAfterItsWindowAndClampsTheWindow)
{
    zvsdk::WindowCount three(3);
    EXPECT_EQ(three.Update(true), 1);
    EXPECT_EQ(three.Update(true), 2);
    EXPECT_EQ(three.Update(false), 2);
    EXPECT_EQ(three.Update(false), 1);  // the first flag left
    EXPECT_EQ(three.Update(false), 0);

    zvsdk::WindowCount none(0);
    EXPECT_EQ(none.Hops(), 1u);
    EXPECT_EQ(none.Update(true), 1);
    EXPECT_EQ(none.Update(false), 0);

    zvsdk::WindowCount huge(1000);
    EXPECT_EQ(huge.Hops(), zvsdk::WindowCount::kMaxHops);
    for (std::uint32_t hop = 0; hop < 2 * zvsdk::WindowCount::kMaxHops; ++hop) {
        huge.Update(true);
    }
    EXPECT_EQ(huge.Count(), static_cast<int>(zvsdk::WindowCount::kMaxHops));
}

}  // namespace
