// The tonal alarm classes through the library's five calls: generated sirens
// of every kind and both smoke alarms over everyday backgrounds at +10 dB
// are reported with their class codes, and the tonal sounds most like them
// (speech, music, horns, whistles, phones, other beep rhythms, a low-battery
// chirp, engines) are reported as neither.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DetectorTestSupport.h"

namespace {

namespace synth = zv::synth;

using DetectorTest::Contains;
using DetectorTest::OverBackground;
using DetectorTest::kRate;
constexpr int kSmokeAlarm = 2;
constexpr int kSiren = 6;

std::vector<int> Reported(const std::vector<float>& clip) { return DetectorTest::Reported(clip, "tone"); }


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

// As loud as the talk around it, a siren's period is lost to the talkers'
// voices; its narrow tone still stands out of the babble. Two thirds of
// such sirens at least are reported (some are drowned for seconds).
TEST(ToneDetectors, GlidingSirensAsLoudAsBabbleAreMostlyReportedAsSiren)
{
    synth::Rng rng(25);
    int reported = 0;
    for (int take = 0; take < 2; ++take) {
        for (synth::SirenKind kind : {synth::SirenKind::Wail, synth::SirenKind::Yelp, synth::SirenKind::Mechanical}) {
            const std::vector<float> siren = synth::siren(rng, kRate, kind, 6.0);
            const std::vector<int> codes = Reported(OverBackground(rng, siren, synth::BackgroundKind::Babble, 0.0));
            reported += Contains(codes, kSiren) ? 1 : 0;
        }
    }
    EXPECT_GE(reported, 4);
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

// A meow, a scream or a yelled "no!" glides once, for a second or so, and
// stops; a siren sweeps on for many seconds.
TEST(ToneDetectors, SingleGlidingCallsAreNotSirens)
{
    synth::Rng rng(24);
    for (const synth::SoundKind& kind : synth::catalogue()) {
        if (kind.subLabel != std::string("cat")) {
            continue;
        }
        for (int take = 0; take < 8; ++take) {
            const std::vector<int> codes =
                Reported(OverBackground(rng, kind.make(rng, kRate, 5.0), synth::BackgroundKind::Quiet, 20.0));
            EXPECT_FALSE(Contains(codes, kSiren)) << "cat " << take;
        }
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
