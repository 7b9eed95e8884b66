// The catalogue of labelled sounds: each class's variants, and negatives
// with the class each is meant to resemble.
#include "SynthKit.h"

#include <algorithm>

namespace zv::synth {

namespace {

int smokeCycles(double seconds) { return std::clamp(static_cast<int>((seconds + 1.5) / 4.0), 2, 3); }

const std::vector<SoundKind> kCatalogue = {
    // Positives, in class-code order.
    {"GlassBreak", "pane", "", [](Rng& r, double rate, double) { return glassBreak(r, rate); }},
    {"SmokeAlarm", "piezo", "", [](Rng& r, double rate, double s) { return smokeAlarm(r, rate, SmokeAlarmKind::Piezo, smokeCycles(s)); }},
    {"SmokeAlarm", "square520", "", [](Rng& r, double rate, double s) { return smokeAlarm(r, rate, SmokeAlarmKind::Square520, smokeCycles(s)); }},
    {"GunShot", "pistol", "", [](Rng& r, double rate, double) { return gunShot(r, rate, GunKind::Pistol, 1); }},
    {"GunShot", "pistol_burst", "", [](Rng& r, double rate, double) { return gunShot(r, rate, GunKind::Pistol, r.integer(2, 5)); }},
    {"GunShot", "rifle", "", [](Rng& r, double rate, double) { return gunShot(r, rate, GunKind::Rifle, 1); }},
    {"GunShot", "rifle_burst", "", [](Rng& r, double rate, double) { return gunShot(r, rate, GunKind::Rifle, r.integer(3, 8)); }},
    {"Aggression", "shout", "", [](Rng& r, double rate, double s) { return shout(r, rate, s, false); }},
    {"Aggression", "scream", "", [](Rng& r, double rate, double s) { return shout(r, rate, s, true); }},
    {"BabyCry", "cry", "", [](Rng& r, double rate, double s) { return babyCry(r, rate, s); }},
    {"Siren", "wail", "", [](Rng& r, double rate, double s) { return siren(r, rate, SirenKind::Wail, s); }},
    {"Siren", "yelp", "", [](Rng& r, double rate, double s) { return siren(r, rate, SirenKind::Yelp, s); }},
    {"Siren", "hilo", "", [](Rng& r, double rate, double s) { return siren(r, rate, SirenKind::HiLo, s); }},
    {"Siren", "mechanical", "", [](Rng& r, double rate, double s) { return siren(r, rate, SirenKind::Mechanical, s); }},
    {"DogBark", "small", "", [](Rng& r, double rate, double) { return dogBark(r, rate, DogSize::Small, r.integer(1, 6)); }},
    {"DogBark", "large", "", [](Rng& r, double rate, double) { return dogBark(r, rate, DogSize::Large, r.integer(1, 5)); }},

    // Everyday sound and the tonal alarms' look-alikes.
    {"negative", "speech", "", [](Rng& r, double rate, double s) { return formantSpeech(r, rate, static_cast<Talker>(r.integer(0, 1)), s); }},
    {"negative", "music", "", [](Rng& r, double rate, double s) { return music(r, rate, s); }},
    {"negative", "silence", "", [](Rng&, double rate, double s) { return Buffer(static_cast<std::size_t>(s * rate), 0.0f); }},
    {"negative", "street", "", [](Rng& r, double rate, double s) { return traffic(r, rate, s); }},
    {"negative", "rain", "", [](Rng& r, double rate, double s) { return rain(r, rate, s); }},
    {"negative", "babble", "", [](Rng& r, double rate, double s) { return babble(r, rate, s); }},
    {"negative", "engine", "Siren", [](Rng& r, double rate, double s) { return engine(r, rate, s); }},
    {"negative", "car_horn", "Siren", [](Rng& r, double rate, double s) { return carHorn(r, rate, s); }},
    {"negative", "whistle", "Siren", [](Rng& r, double rate, double s) { return whistleHuman(r, rate, s); }},
    {"negative", "referee_whistle", "Siren", [](Rng& r, double rate, double s) { return whistleReferee(r, rate, s); }},
    {"negative", "phone_ring", "SmokeAlarm", [](Rng& r, double rate, double s) { return phoneRing(r, rate, s); }},
    {"negative", "other_beeps", "SmokeAlarm", [](Rng& r, double rate, double s) { return otherBeeps(r, rate, s); }},
    {"negative", "low_battery_chirp", "SmokeAlarm", [](Rng& r, double rate, double) { return lowBatteryChirp(r, rate); }},

    // Bangs that are not shots.
    {"negative", "door_slam", "GunShot", [](Rng& r, double rate, double) { return doorSlam(r, rate); }},
    {"negative", "footsteps", "GunShot", [](Rng& r, double rate, double s) { return footsteps(r, rate, s); }},
    {"negative", "hand_claps", "GunShot", [](Rng& r, double rate, double s) { return handClaps(r, rate, s); }},
    {"negative", "hammer", "GunShot", [](Rng& r, double rate, double s) { return hammerBlows(r, rate, s); }},
    {"negative", "balloon_pop", "GunShot", [](Rng& r, double rate, double) { return balloonPop(r, rate); }},
    {"negative", "fireworks_far", "GunShot", [](Rng& r, double rate, double s) { return distantFireworks(r, rate, s); }},
    {"negative", "thunder", "GunShot", [](Rng& r, double rate, double s) { return thunder(r, rate, std::min(s, 8.0)); }},
    {"negative", "heavy_drop", "GunShot", [](Rng& r, double rate, double) { return heavyDrop(r, rate); }},
    {"negative", "punches", "GunShot", [](Rng& r, double rate, double) { return punches(r, rate); }},
    {"negative", "door_latch", "GunShot", [](Rng& r, double rate, double) { return doorLatch(r, rate); }},
    {"negative", "camera_shutter", "GunShot", [](Rng& r, double rate, double) { return cameraShutter(r, rate); }},
    {"negative", "snare_drum", "GunShot", [](Rng& r, double rate, double s) { return snareDrum(r, rate, s); }},
    {"negative", "knocks", "DogBark", [](Rng& r, double rate, double) { return knocks(r, rate); }},
    // Rings and clinks that are not breaking glass.
    {"negative", "wine_glass_struck", "GlassBreak", [](Rng& r, double rate, double) { return wineGlass(r, rate, false); }},
    {"negative", "wine_glass_rubbed", "GlassBreak", [](Rng& r, double rate, double) { return wineGlass(r, rate, true); }},
    {"negative", "wind_chimes", "GlassBreak", [](Rng& r, double rate, double s) { return windChimes(r, rate, s); }},
    {"negative", "cymbal", "GlassBreak", [](Rng& r, double rate, double) { return cymbal(r, rate); }},
    {"negative", "keys", "GlassBreak", [](Rng& r, double rate, double s) { return keys(r, rate, std::min(s, 3.0)); }},
    {"negative", "cutlery", "GlassBreak", [](Rng& r, double rate, double s) { return cutlery(r, rate, s); }},
    {"negative", "cash_till", "GlassBreak", [](Rng& r, double rate, double) { return cashTill(r, rate); }},
    // Voices at normal effort.
    {"negative", "conversation", "Aggression", [](Rng& r, double rate, double s) { return formantSpeech(r, rate, static_cast<Talker>(r.integer(0, 1)), s, 0.2); }},
    {"negative", "raised_conversation", "Aggression", [](Rng& r, double rate, double s) { return formantSpeech(r, rate, static_cast<Talker>(r.integer(0, 1)), s, 0.6); }},
    {"negative", "laughter", "Aggression", [](Rng& r, double rate, double s) { return laughter(r, rate, std::min(s, 4.0)); }},
    {"negative", "cheering_crowd", "Aggression", [](Rng& r, double rate, double s) { return cheeringCrowd(r, rate, s); }},
    {"negative", "singing", "Aggression", [](Rng& r, double rate, double s) { return singing(r, rate, s); }},
    {"negative", "children_playing", "Aggression", [](Rng& r, double rate, double s) { return childrenPlaying(r, rate, s); }},
    // Calls and squeaks that are not a baby.
    {"negative", "cat", "BabyCry", [](Rng& r, double rate, double) { return cat(r, rate); }},
    {"negative", "seagull", "BabyCry", [](Rng& r, double rate, double s) { return seagull(r, rate, std::min(s, 5.0)); }},
    {"negative", "squeaky_hinge", "BabyCry", [](Rng& r, double rate, double) { return squeakyHinge(r, rate); }},
    {"negative", "lamb", "BabyCry", [](Rng& r, double rate, double) { return lamb(r, rate); }},
    {"negative", "child_speech", "BabyCry", [](Rng& r, double rate, double s) { return formantSpeech(r, rate, Talker::Child, s); }},
    // Bursts that are not barks.
    {"negative", "cough", "DogBark", [](Rng& r, double rate, double) { return cough(r, rate); }},
    {"negative", "sea_lion", "DogBark", [](Rng& r, double rate, double s) { return seaLion(r, rate, std::min(s, 5.0)); }},
    {"negative", "fox", "DogBark", [](Rng& r, double rate, double) { return fox(r, rate); }},
    {"negative", "goose", "DogBark", [](Rng& r, double rate, double s) { return goose(r, rate, std::min(s, 5.0)); }},
    // Everyday impulsive sound, appended last so that every earlier clip of a
    // set keeps its bytes. The "_cut" kinds are written over digital silence
    // from the clip's first sample, as stored effects are.
    {"negative", "drum_kit", "GunShot", [](Rng& r, double rate, double s) { return drumKit(r, rate, s, false); }},
    {"negative", "drum_kit_music", "GlassBreak", [](Rng& r, double rate, double s) { return drumKit(r, rate, s, true); }},
    {"negative", "door_opening", "GunShot", [](Rng& r, double rate, double) { return doorOpening(r, rate); }},
    {"negative", "hand_drums", "DogBark", [](Rng& r, double rate, double s) { return handDrums(r, rate, s); }},
    {"negative", "clicks_cut", "GunShot", [](Rng& r, double rate, double s) { return cutFromSilence(r, rate, "GunShot", s); }},
    {"negative", "clinks_cut", "GlassBreak", [](Rng& r, double rate, double s) { return cutFromSilence(r, rate, "GlassBreak", s); }},
    {"negative", "bursts_cut", "DogBark", [](Rng& r, double rate, double s) { return cutFromSilence(r, rate, "DogBark", s); }},
    // Heavy guns, appended last for the same reason; a data set renders them
    // as extra clips after the class's earlier ones (Dataset.cpp).
    {"GunShot", "shotgun", "", [](Rng& r, double rate, double) { return gunShot(r, rate, GunKind::Shotgun, 1); }},
    {"GunShot", "heavy_burst", "", [](Rng& r, double rate, double) { return gunShot(r, rate, GunKind::HeavyMachineGun, r.integer(3, 10)); }},
    // Clean, periodic yells and screams (no strain noise), appended last for
    // the same reason and rendered as Aggression's extra clips.
    {"Aggression", "shout_clean", "", [](Rng& r, double rate, double s) { return cleanShout(r, rate, s, false); }},
    {"Aggression", "scream_clean", "", [](Rng& r, double rate, double s) { return cleanShout(r, rate, s, true); }},
    // Clean yells held on one vowel, appended after them for the same reason.
    {"Aggression", "yell_held", "", [](Rng& r, double rate, double s) { return heldYell(r, rate, s); }},
    // The applause of an audience, appended last for the same reason.
    {"negative", "applause", "Aggression", [](Rng& r, double rate, double s) { return applause(r, rate, s); }},
    // Heavy machine guns at the slow end of their cyclic rate (350-460 rounds
    // a minute), appended last for the same reason, a GunShot extra clip.
    {"GunShot", "heavy_slow", "", [](Rng& r, double rate, double) { return gunShot(r, rate, GunKind::SlowHeavyMachineGun, r.integer(3, 10)); }},
};

// Glass other than panes: as extra clips after GlassBreak's earlier ones,
// only when named (the default sets stay as they were).
const std::vector<SoundKind> kOptIn = {
    {"GlassBreak", "bottle", "", [](Rng& r, double rate, double) { return glassBreak(r, rate, GlassKind::Bottle); }},
    {"GlassBreak", "tumbler", "", [](Rng& r, double rate, double) { return glassBreak(r, rate, GlassKind::Tumbler); }},
    {"GlassBreak", "thick", "", [](Rng& r, double rate, double) { return glassBreak(r, rate, GlassKind::Thick); }},
};

} // namespace

const std::vector<SoundKind>& catalogue() { return kCatalogue; }
const std::vector<SoundKind>& optInKinds() { return kOptIn; }

const std::vector<std::string>& classNames() {
    static const std::vector<std::string> names = {"GlassBreak", "SmokeAlarm", "GunShot", "Aggression", "BabyCry", "Siren", "DogBark"};
    return names;
}

} // namespace zv::synth
