// zv_soundsynth: seeded synthesis of labelled sounds for tests and for the
// zv_soundgen data-set generator.
//
// Every function is a pure function of its arguments and of the Rng it is
// handed: the same seed gives the same samples on the same build. Nothing
// here keeps global state, so callers may synthesise on several threads at
// once as long as each thread uses its own Rng. Buffers are mono float
// samples in about [-1, 1] at the rate asked for; the caller owns them.
//
// A test makes a siren over traffic at +10 dB in a few lines:
//
//   zv::synth::Rng rng(42);
//   auto siren = zv::synth::siren(rng, 16000, zv::synth::SirenKind::Wail, 5.0);
//   auto street = zv::synth::background(rng, 16000, zv::synth::BackgroundKind::Traffic, 8.0);
//   auto clip = zv::synth::mixAtSnr(siren, street, 16000, 1.5, 10.0);
//
// or walks the catalogue, e.g. every look-alike of "GunShot".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv::synth {

using Buffer = std::vector<float>;

// xoshiro256** seeded through splitmix64. Our own generator, not the
// standard library's distributions, whose output differs between library
// versions: the data sets must be byte-identical wherever they are built.
class Rng {
public:
    explicit Rng(std::uint64_t seed);
    std::uint64_t next();
    double uniform();                       // [0, 1)
    double uniform(double lo, double hi);   // [lo, hi)
    int integer(int lo, int hi);            // [lo, hi], both inclusive
    double normal();                        // mean 0, deviation 1
    bool chance(double p);
    // An independent stream, derived from this one's seed and a salt; does
    // not advance this generator.
    Rng fork(std::uint64_t salt) const;
    template <class T> const T& pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(integer(0, static_cast<int>(v.size()) - 1))];
    }

private:
    std::uint64_t seed_;
    std::uint64_t s_[4];
};

// Mixes words into a 64-bit seed (splitmix64 finaliser); used to give every
// generated clip its own seed from (seed, split, name, index).
std::uint64_t hashSeed(std::uint64_t seed, const std::string& salt, std::uint64_t index);

// ---------------------------------------------------------------- levels
double rms(const Buffer& x);
double peak(const Buffer& x);
double dbToGain(double db);
// RMS of the event where it is active: the mean power of the 10 ms frames
// whose power lies within 30 dB of the loudest frame. For a cadenced or
// impulsive event this ignores the silent gaps between beeps, shots or
// barks, so the stated SNR describes what a listener hears while it sounds.
double activeRms(const Buffer& event, double rate);
// Drops leading and trailing samples quieter than `floorDb` below the peak
// (with 5 ms kept on either side): event spans then start at the first sound.
Buffer trimSilence(const Buffer& x, double rate, double floorDb = -55.0);

// Scales the event so that activeRms(event) / rms(background) equals
// `snrDb`, and adds it to a copy of the background at `onsetS`. The result
// has the background's length; the event is cut where the background ends.
// SNR here is event-to-background: active RMS of the event (see activeRms)
// over the RMS of the whole background.
Buffer mixAtSnr(const Buffer& event, const Buffer& background, double rate, double onsetS, double snrDb);
// Adds `x` scaled by `gain` into `into` at `onsetS` (cut at its end).
void addInto(Buffer& into, const Buffer& x, double rate, double onsetS, double gain = 1.0);

// ---------------------------------------------------------------- rooms and motion
// Convolves with a synthetic room impulse response (direct path, sparse
// early reflections, exponentially decaying filtered noise tail). rt60 in
// seconds; wetDb the reverberant energy relative to the direct path. The
// result is longer than the input by the tail.
Buffer reverberate(Rng& rng, const Buffer& x, double rate, double rt60, double wetDb);
// A source passing a listener on a straight line at `speedMps`, closest
// (distance `closestM`) at the middle of the buffer: time-varying delay
// (pitch shift) and 1/r gain, normalised to the peak gain.
Buffer doppler(const Buffer& x, double rate, double speedMps, double closestM);
// Band-limited resampling (windowed sinc), e.g. for speech from a text-to-speech program.
Buffer resample(const Buffer& x, double fromRate, double toRate);

// ---------------------------------------------------------------- tonal alarms and their look-alikes
enum class SirenKind { Wail, Yelp, HiLo, Mechanical };
// Harmonic siren gliding in about 500..2000 Hz; durationS of sound.
Buffer siren(Rng& rng, double rate, SirenKind kind, double durationS);

enum class SmokeAlarmKind { Piezo, Square520 };
// Temporal-three cadence: three beeps of ~0.5 s with ~0.5 s gaps, then
// ~1.5 s of silence, `cycles` times; the buffer ends with the last beep.
// Piezo: a narrow tone at 2.8..3.5 kHz; Square520: a 520 Hz square wave.
Buffer smokeAlarm(Rng& rng, double rate, SmokeAlarmKind kind, int cycles);
// A single short chirp of a low battery (the same piezo tone, ~50 ms).
Buffer lowBatteryChirp(Rng& rng, double rate);
// Beep rhythms that are not the temporal-three: alarm clocks, timers,
// carbon-monoxide four-beep, reversing lorry, microwave.
Buffer otherBeeps(Rng& rng, double rate, double durationS);
// Dual-tone ring bursts in ring cadence, electronic trill or bell.
Buffer phoneRing(Rng& rng, double rate, double durationS);
Buffer carHorn(Rng& rng, double rate, double durationS);
Buffer whistleHuman(Rng& rng, double rate, double durationS);
Buffer whistleReferee(Rng& rng, double rate, double durationS);

// ---------------------------------------------------------------- impulsive
enum class GunKind { Pistol, Rifle, Shotgun, HeavyMachineGun, SlowHeavyMachineGun };
// `shots` shots; one for a single shot, more for a burst (automatic fire
// for a rifle when shots > 2 and the coin says so). A shotgun fires one or
// two shots (a second barrel, a follow-up) whatever `shots` says; a heavy
// machine gun fires `shots` rounds at its cyclic rate (85-130 ms apart; the
// slow kind 130-170 ms, 350-460 rounds a minute). Both carry a long,
// heavy low blast (0.3-1 s, most of its energy below 500 Hz).
Buffer gunShot(Rng& rng, double rate, GunKind kind, int shots);
// Impact followed by dense irregular high-frequency shards, 0.3..2 s.
Buffer glassBreak(Rng& rng, double rate);
// Glass other than a window pane breaking. Bottle: thick curved glass, a
// duller and lower impact with the bottle's hollow bonk, fewer and larger
// shards, over within 0.2-0.8 s. Tumbler: a drinking glass dropped on a hard
// floor, the intact glass's short ring at the impact, then thin shards that
// land again in smaller clusters. Thick: a glass block or a car's side
// window, a heavy low impact that dominates, then the glass crumbling into a
// fine, dense rain of grains.
enum class GlassKind { Bottle, Tumbler, Thick };
Buffer glassBreak(Rng& rng, double rate, GlassKind kind);
Buffer doorSlam(Rng& rng, double rate);
// Mechanical clicks and drum hits: impulsive, but thin (a latch, a shutter)
// or tuned and in a groove (a snare).
Buffer doorLatch(Rng& rng, double rate);
Buffer cameraShutter(Rng& rng, double rate);
Buffer snareDrum(Rng& rng, double rate, double durationS);
Buffer footsteps(Rng& rng, double rate, double durationS);
Buffer handClaps(Rng& rng, double rate, double durationS);
Buffer hammerBlows(Rng& rng, double rate, double durationS);
Buffer balloonPop(Rng& rng, double rate);
Buffer distantFireworks(Rng& rng, double rate, double durationS);
Buffer thunder(Rng& rng, double rate, double durationS);
Buffer heavyDrop(Rng& rng, double rate);
Buffer knocks(Rng& rng, double rate);
Buffer punches(Rng& rng, double rate);
Buffer wineGlass(Rng& rng, double rate, bool rubbed);
Buffer windChimes(Rng& rng, double rate, double durationS);
Buffer cymbal(Rng& rng, double rate);
Buffer keys(Rng& rng, double rate, double durationS);
Buffer cutlery(Rng& rng, double rate, double durationS);
Buffer cashTill(Rng& rng, double rate);
// Everyday impulsive sound: a drum kit playing grooves (kick, snare, hi-hat or
// ride, crashes, tom fills), over a band at times; a door opened (handle,
// latch, swing, shut or stopped); hand drums with a singer at times.
Buffer drumKit(Rng& rng, double rate, double durationS, bool withMusic);
Buffer doorOpening(Rng& rng, double rate);
Buffer handDrums(Rng& rng, double rate, double durationS);
// One of the look-alikes of `lookalikeOf` ("GunShot", "GlassBreak",
// "DogBark") as an effect cut out of silence: it sounds from its first sample.
Buffer cutFromSilence(Rng& rng, double rate, const char* lookalikeOf, double durationS);

// ---------------------------------------------------------------- voices (glottal pulses through formants)
enum class Talker { Man, Woman, Child };
// Speech-like babble of syllables with intonation, consonants and pauses.
// `effort` 0 normal .. 1 raised (louder, higher, brighter).
Buffer formantSpeech(Rng& rng, double rate, Talker talker, double durationS, double effort = 0.0);
// Loud strained shouting: F0 ~250..500 Hz, harsh (jitter, shimmer,
// subharmonics, noise), energy pushed into 1..4 kHz, clipped.
Buffer shout(Rng& rng, double rate, double durationS, bool scream);
// A clean yell ("no!", "hey!", "stop!", "help!") or scream: raised F0
// (men 200..450 Hz, women and children 300..700 Hz), pressed and bright
// voicing with little jitter and next to no breath, one to three words whose
// pitch rises and falls over 0.3..1.5 s. The strain noise of `shout` is what
// it lacks: a voice pushed hard without going rough.
Buffer cleanShout(Rng& rng, double rate, double durationS, bool scream);
// A clean yell held on one vowel ("nooo", "heeey", "aaah") for 0.6..1.5 s,
// once or twice: a steady level and a smoothly drifting pitch, men
// 180..380 Hz, women 280..560 Hz, children 330..600 Hz, with the effort's
// boost anywhere in 1..4 kHz (the words of `cleanShout` put it at 1.8..3 kHz).
Buffer heldYell(Rng& rng, double rate, double durationS);
// Infant cry bouts (F0 ~300..600 Hz) with inhalations and pitch breaks.
Buffer babyCry(Rng& rng, double rate, double durationS);
enum class DogSize { Small, Large };
Buffer dogBark(Rng& rng, double rate, DogSize size, int barks);
Buffer laughter(Rng& rng, double rate, double durationS);
Buffer singing(Rng& rng, double rate, double durationS);
Buffer cheeringCrowd(Rng& rng, double rate, double durationS);
// The applause of an audience of 10 to hundreds: each person claps at their
// own pace (2-6 claps/s) with their own jitter and clap (a few-ms burst
// shaped around 0.8-3 kHz); swelling in, holding 1-5 s, dying out, in a
// small room or a hall, at times with a few cheers or whistles low under it.
Buffer applause(Rng& rng, double rate, double durationS);
Buffer childrenPlaying(Rng& rng, double rate, double durationS);
Buffer cat(Rng& rng, double rate);
Buffer seagull(Rng& rng, double rate, double durationS);
Buffer squeakyHinge(Rng& rng, double rate);
Buffer cough(Rng& rng, double rate);
Buffer seaLion(Rng& rng, double rate, double durationS);
Buffer goose(Rng& rng, double rate, double durationS);
Buffer lamb(Rng& rng, double rate);
Buffer fox(Rng& rng, double rate);

// ---------------------------------------------------------------- backgrounds and sustained sounds
enum class BackgroundKind { White, Pink, Brown, Traffic, Rain, Babble, Speech, Music, Quiet };
const char* backgroundName(BackgroundKind kind);
// A background at unit-ish level (the mixer sets levels by ratio).
Buffer background(Rng& rng, double rate, BackgroundKind kind, double durationS);
Buffer whiteNoise(Rng& rng, double rate, double durationS);
Buffer pinkNoise(Rng& rng, double rate, double durationS);
Buffer brownNoise(Rng& rng, double rate, double durationS);
Buffer traffic(Rng& rng, double rate, double durationS);
Buffer rain(Rng& rng, double rate, double durationS);
Buffer babble(Rng& rng, double rate, double durationS);
// Chords and melodies with harmonics (piano-like, organ-like, plucked).
Buffer music(Rng& rng, double rate, double durationS);
// Combustion engines: idling car, revving motorbike, lorry, lawnmower.
Buffer engine(Rng& rng, double rate, double durationS);

// ---------------------------------------------------------------- catalogue
// Every labelled sound the generator knows. label is one of the seven
// class names or "negative"; lookalikeOf names the class a negative is
// meant to resemble ("" for everyday sounds). make() returns the event
// trimmed to where it sounds; `seconds` is a length hint for sustained sounds.
struct SoundKind {
    const char* label;
    const char* subLabel;
    const char* lookalikeOf;
    Buffer (*make)(Rng& rng, double rate, double seconds);
};
const std::vector<SoundKind>& catalogue();
// Kinds a data set renders only when asked for by sub-label (zv_soundgen
// --kinds), so that the default sets keep every file; walks over catalogue()
// do not meet them.
const std::vector<SoundKind>& optInKinds();
// The seven class names in class-code order (1..7).
const std::vector<std::string>& classNames();

} // namespace zv::synth
