// The tonal alarm classes through the library's five calls: generated sirens
// of every kind and both smoke alarms over everyday backgrounds at +10 dB
// are reported with their class codes, and the tonal sounds most like them
// (speech, music, horns, whistles, phones, other beep rhythms, a low-battery
// chirp, engines) are reported as neither.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SdkTestSupport.h"
#include "SoundSynth.h"

namespace {

using namespace SdkTest;
namespace synth = zv::synth;

constexpr uint32_t kRate = 16000;
constexpr int kSmokeAlarm = 2;
constexpr int kSiren = 6;

// The class codes reported over `clip` by a fresh engine at thresholds 0.5,
// 16-bit mono in 40 ms frames, as the plug-in drives it.
std::vector<int> Reported(const std::vector<float>& clip)
{
    DataFolder data("tone", ShippedModel());
    Engine engine(MakeInit(kRate, 1, data.Path()));
    EXPECT_NE(engine.Handle(), nullptr);
    if (engine.Handle() == nullptr) {
        return {};
    }
    EXPECT_EQ(engine.SetParams(AllThresholds(0.5f)), 0);
    std::vector<int> codes;
    for (int code : engine.Run(EncodePcm(clip, 2), kRate / 25 * 2)) {
        if (code != 0) {
            codes.push_back(code);
        }
    }
    return codes;
}

bool Contains(const std::vector<int>& codes, int code) { return std::find(codes.begin(), codes.end(), code) != codes.end(); }

// `event` placed 1.5 s into a background 3 s longer than it at `snrDb`, the
// background brought to -35 dBFS.
std::vector<float> OverBackground(synth::Rng& rng, const std::vector<float>& event, synth::BackgroundKind kind,
                                  double snrDb)
{
    const double seconds = static_cast<double>(event.size()) / kRate + 3.0;
    const std::vector<float> background = synth::background(rng, kRate, kind, seconds);
    std::vector<float> clip = synth::mixAtSnr(event, background, kRate, 1.5, snrDb);
    const double gain = synth::dbToGain(-35.0) / std::max(synth::rms(background), 1e-9);
    for (float& x : clip) {
        x = static_cast<float>(x * gain);
    }
    return clip;
}

TEST(ToneDetectors, EverySirenKindOverTrafficIsReportedAsSiren)
{
    synth::Rng rng(21);
    for (synth::SirenKind kind : {synth::SirenKind::Wail, synth::SirenKind::Yelp, synth::SirenKind::HiLo,
                                  synth::SirenKind::Mechanical}) {
        const std::vector<float> siren = synth::siren(rng, kRate, kind, 6.0);
        const std::vector<int> codes = Reported(OverBackground(rng, siren, synth::BackgroundKind::Traffic, 10.0));
        EXPECT_TRUE(Contains(codes, kSiren)) << static_cast<int>(kind);
        EXPECT_FALSE(Contains(codes, kSmokeAlarm)) << static_cast<int>(kind);
    }
}

TEST(ToneDetectors, BothSmokeAlarmsOverPinkNoiseAreReportedAsSmokeAlarm)
{
    synth::Rng rng(22);
    for (synth::SmokeAlarmKind kind : {synth::SmokeAlarmKind::Piezo, synth::SmokeAlarmKind::Square520}) {
        const std::vector<float> alarm = synth::smokeAlarm(rng, kRate, kind, 2);
        const std::vector<int> codes = Reported(OverBackground(rng, alarm, synth::BackgroundKind::Pink, 10.0));
        EXPECT_TRUE(Contains(codes, kSmokeAlarm)) << static_cast<int>(kind);
        EXPECT_FALSE(Contains(codes, kSiren)) << static_cast<int>(kind);
    }
}

TEST(ToneDetectors, TonalLookAlikesAreNeitherSirenNorSmokeAlarm)
{
    synth::Rng rng(23);
    const std::vector<std::string> kinds = {"speech",          "music",      "engine",      "car_horn",
                                            "whistle",         "referee_whistle", "phone_ring", "other_beeps",
                                            "low_battery_chirp"};
    int checked = 0;
    for (const synth::SoundKind& kind : synth::catalogue()) {
        if (std::find(kinds.begin(), kinds.end(), kind.subLabel) == kinds.end()) {
            continue;
        }
        ++checked;
        // Two of each: the look-alikes vary (cadence, pitch, kind of ring).
        for (int take = 0; take < 2; ++take) {
            const std::vector<float> sound = kind.make(rng, kRate, 8.0);
            const std::vector<int> codes = Reported(OverBackground(rng, sound, synth::BackgroundKind::Quiet, 20.0));
            EXPECT_FALSE(Contains(codes, kSiren)) << kind.subLabel << " " << take;
            EXPECT_FALSE(Contains(codes, kSmokeAlarm)) << kind.subLabel << " " << take;
        }
    }
    EXPECT_EQ(checked, static_cast<int>(kinds.size()));
}

}  // namespace
