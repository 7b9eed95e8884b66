// What the class-detector tests share: a clip placed over a background at a
// given SNR, and the class codes a fresh engine reports over it when driven
// as the plug-in drives it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SdkTestSupport.h"
#include "SoundSynth.h"

namespace DetectorTest {

constexpr std::uint32_t kRate = 16000;

// The class codes reported over `clip` by a fresh engine on the data file
// `model` with every threshold at `threshold`, 16-bit mono at `rate` in 40 ms
// frames. `folder` names the scratch data folder. A model the engine refuses
// fails the test and reports nothing.
inline std::vector<int> ReportedWith(const nlohmann::json& model, const std::vector<float>& clip, const char* folder,
                                     float threshold = 0.5f, std::uint32_t rate = kRate)
{
    SdkTest::DataFolder data(folder, model);
    SdkTest::Engine engine(SdkTest::MakeInit(rate, 1, data.Path()));
    EXPECT_NE(engine.Handle(), nullptr);
    if (engine.Handle() == nullptr) {
        return {};
    }
    EXPECT_EQ(engine.SetParams(SdkTest::AllThresholds(threshold)), 0);
    std::vector<int> codes;
    for (int code : engine.Run(SdkTest::EncodePcm(clip, 2), rate / 25 * 2)) {
        if (code != 0) {
            codes.push_back(code);
        }
    }
    return codes;
}

// The same with the shipped data file.
inline std::vector<int> Reported(const std::vector<float>& clip, const char* folder, float threshold = 0.5f,
                                 std::uint32_t rate = kRate)
{
    return ReportedWith(SdkTest::ShippedModel(), clip, folder, threshold, rate);
}

// Whether an engine on the data file `model` fails Init (a damaged file).
inline bool InitFails(const nlohmann::json& model, const char* folder, std::uint32_t rate = kRate)
{
    SdkTest::DataFolder data(folder, model);
    return SdkTest::Engine(SdkTest::MakeInit(rate, 1, data.Path())).Handle() == nullptr;
}

inline bool Contains(const std::vector<int>& codes, int code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// Where OverBackground places its event.
constexpr double kEventStartSeconds = 1.5;

// `event` placed kEventStartSeconds into a background of `seconds` (by
// default 3 s longer than the event) at `snrDb`, the background brought to
// -35 dBFS; `event` and the result are sampled at `rate`.
inline std::vector<float> OverBackground(zv::synth::Rng& rng, const std::vector<float>& event,
                                         zv::synth::BackgroundKind kind, double snrDb, double seconds = 0.0,
                                         std::uint32_t rate = kRate)
{
    namespace synth = zv::synth;
    if (seconds <= 0.0) {
        seconds = static_cast<double>(event.size()) / rate + 3.0;
    }
    const std::vector<float> background = synth::background(rng, rate, kind, seconds);
    std::vector<float> clip = synth::mixAtSnr(event, background, rate, kEventStartSeconds, snrDb);
    const double gain = synth::dbToGain(-35.0) / std::max(synth::rms(background), 1e-9);
    for (float& x : clip) {
        x = static_cast<float>(x * gain);
    }
    return clip;
}

// `clip` (made by OverBackground at kRate) with everything up to `lead`
// seconds before its event zeroed: a recorder that wakes just before the
// sound, out of digital silence.
inline std::vector<float> SilentUntilBeforeEvent(std::vector<float> clip, double lead = 0.0)
{
    const auto end = static_cast<std::ptrdiff_t>((kEventStartSeconds - lead) * kRate);
    std::fill(clip.begin(), clip.begin() + std::min<std::ptrdiff_t>(end, static_cast<std::ptrdiff_t>(clip.size())), 0.0f);
    return clip;
}

}  // namespace DetectorTest
