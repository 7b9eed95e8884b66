#include "Dataset.h"

#include "Speech.h"
#include "SynthKit.h"

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

namespace zv::soundgen {

using namespace synth;
using namespace synth::kit;

namespace {

// Positive clips per class and per SNR in each split (SetOptions::perSnr,
// 10 by default), cycling through the class's variants; negatives per kind.
// With clips of 4..12 s this gives roughly half an hour of audio per split,
// so an evaluation runs in seconds.
constexpr int kNegativesPerKind = 3;
constexpr int kNegativesPerTonalLookalike = 5;   // speech, music, rings, beeps, horns, whistles, engines
const double kSnrs[] = {20.0, 10.0, 0.0};

struct Row {
    std::string file, label, sub;
    double start = 0, end = 0;
    std::optional<double> snr;
    std::string background, split;
    double clipSeconds = 0;   // for the summary; not a manifest column
};

struct Job {
    std::string split, label, sub;   // sub names a catalogue entry or "shout_tts"
    std::optional<double> snr;
    int index = 0;
    std::uint64_t seed = 0;
    std::string file;
};

bool writeWav(const std::string& path, const Buffer& x, double rate) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) { std::fprintf(stderr, "zv_soundgen: cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr)); return false; }
    // Our own rounding and clamping, so the bytes never depend on the library's conversion.
    std::vector<short> pcm(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        pcm[i] = static_cast<short>(std::clamp(std::lround(double(x[i]) * 32767.0), -32768L, 32767L));
    const auto written = sf_write_short(f, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    sf_close(f);
    return written == static_cast<sf_count_t>(pcm.size());
}

std::string formatRow(const Row& r) {
    char buf[512];
    char snr[32] = "";
    if (r.snr) std::snprintf(snr, sizeof snr, "%g", *r.snr);
    std::snprintf(buf, sizeof buf, "%s,%s,%s,%.3f,%.3f,%s,%s,%s\n", r.file.c_str(), r.label.c_str(), r.sub.c_str(), r.start,
                  r.end, snr, r.background.c_str(), r.split.c_str());
    return buf;
}
const char* kHeader = "file,label,sub_label,event_start_s,event_end_s,snr_db,background,split\n";

const SoundKind* findKind(const std::string& label, const std::string& sub) {
    for (const auto* list : {&catalogue(), &optInKinds()})
        for (const auto& k : *list)
            if (label == k.label && sub == k.subLabel) return &k;
    return nullptr;
}

void setRms(Buffer& b, double dbfs) {
    const double r = rms(b);
    if (r > 0) scale(b, dbToGain(dbfs) / r);
}

// Renders the backgrounds, with real speech where espeak-ng is present.
Buffer makeBackground(const SpeechSource& speech, Rng& rng, double rate, BackgroundKind kind, double seconds,
                      const std::string& pool) {
    if (kind == BackgroundKind::Speech) return speech.speak(rng, seconds, SpeechSource::Style::Normal, pool);
    if (kind == BackgroundKind::Babble) return speech.babble(rng, seconds, pool);
    return background(rng, rate, kind, seconds);
}

// Sub-labels whose sound is speech: rendered by espeak-ng when present.
std::optional<SpeechSource::Style> speechStyle(const std::string& sub) {
    if (sub == "speech" || sub == "conversation") return SpeechSource::Style::Normal;
    if (sub == "raised_conversation") return SpeechSource::Style::Raised;
    if (sub == "child_speech") return SpeechSource::Style::Child;
    if (sub == "shout_tts") return SpeechSource::Style::Shout;
    return std::nullopt;
}

Buffer makeEvent(const SpeechSource& speech, Rng& rng, double rate, const std::string& label, const std::string& sub,
                 double seconds, const std::string& pool) {
    if (auto style = speechStyle(sub)) return speech.speak(rng, seconds, *style, pool);
    if (sub == "babble") return speech.babble(rng, seconds, pool);
    const SoundKind* k = findKind(label, sub);
    return k ? k->make(rng, rate, seconds) : Buffer{};
}

// How long a class's event lasts (a hint for sustained sounds).
double eventSeconds(Rng& rng, const std::string& label) {
    if (label == "Siren") return rng.uniform(3.0, 8.0);
    if (label == "SmokeAlarm") return rng.chance(0.6) ? 6.5 : 10.5;   // two or three cadences
    if (label == "Aggression") return rng.uniform(0.8, 3.0);
    if (label == "BabyCry") return rng.uniform(2.0, 6.0);
    return 2.0;
}

// The recording channel: many cameras' microphones cut the lows, some the
// highest frequencies, and tilt the rest. Event and background each pass
// through it before they are levelled and mixed, so the stated SNR is the
// one in the file.
struct Channel {
    double highpassHz = 0, lowpassHz = 0, tiltHz = 1000, tiltDb = 0;
    static Channel draw(Rng& rng, double rate) {
        Channel c;
        if (rng.chance(0.5)) c.highpassHz = rng.uniform(80, 250);
        if (rng.chance(0.3)) c.lowpassHz = std::min(rng.uniform(6500, 7500), 0.45 * rate);
        c.tiltHz = rng.uniform(1000, 3000);
        c.tiltDb = rng.uniform(-3, 3);
        return c;
    }
    void apply(Buffer& x, double rate) const {
        if (highpassHz > 0) highpass(x, rate, highpassHz, 2);
        if (lowpassHz > 0) lowpass(x, rate, lowpassHz, 2);
        auto tilt = Biquad::peaking(rate, tiltHz, 0.4, tiltDb);
        tilt.process(x);
    }
};

// Positive variants added after the first sets were made. They come as extra
// clips after a class's earlier ones (see plan()), so that every earlier clip
// keeps its name, its seed and its bytes.
bool isHeavyGun(const std::string& sub) { return sub == "shotgun" || sub == "heavy_burst" || sub == "heavy_slow"; }
bool isCleanVoice(const std::string& sub) { return sub == "shout_clean" || sub == "scream_clean" || sub == "yell_held"; }
bool isExtraVariant(const std::string& sub) { return isHeavyGun(sub) || isCleanVoice(sub); }

Row renderPositive(const SpeechSource& speech, const Job& job, double rate, const std::string& dir) {
    Rng rng(job.seed);
    Buffer ev = makeEvent(speech, rng, rate, job.label, job.sub, eventSeconds(rng, job.label), job.split);
    std::string sub = job.sub;
    if (job.label == "Siren" && rng.chance(0.35)) {
        ev = doppler(ev, rate, rng.uniform(10, 30), rng.uniform(5, 30));
        sub += "+doppler";
    }
    if (rng.chance(job.label == "GunShot" ? 0.4 : 0.3)) {
        ev = reverberate(rng, ev, rate, rng.uniform(0.2, 0.8), rng.uniform(-12, -4));
        sub += "+room";
    }
    ev = trimSilence(ev, rate);
    double evLen = double(ev.size()) / rate;
    const double clipLen = std::clamp(evLen + rng.uniform(1.0, 3.0), 4.0, 12.0);
    if (evLen > clipLen - 0.8) {
        ev.resize(samples(clipLen - 0.8, rate));
        fade(ev, rate, 0.0, 0.05);
        evLen = double(ev.size()) / rate;
    }
    const double onset = rng.uniform(0.5, std::max(0.5, clipLen - evLen - 0.3));
    static const std::vector<BackgroundKind> kinds = {BackgroundKind::White, BackgroundKind::Pink, BackgroundKind::Brown,
                                                      BackgroundKind::Traffic, BackgroundKind::Traffic, BackgroundKind::Rain,
                                                      BackgroundKind::Babble, BackgroundKind::Speech, BackgroundKind::Music};
    const BackgroundKind bk = rng.pick(kinds);
    Buffer bg = makeBackground(speech, rng, rate, bk, clipLen, job.split);
    const Channel channel = Channel::draw(rng, rate);
    channel.apply(ev, rate);
    channel.apply(bg, rate);
    setRms(bg, rng.uniform(-45, -30));
    Buffer mix = mixAtSnr(ev, bg, rate, onset, *job.snr);
    if (peak(mix) > 0.95) normalisePeak(mix, 0.95);   // scales both: the SNR holds
    if ((isHeavyGun(job.sub) || isCleanVoice(job.sub)) && rng.chance(0.4)) {
        // A recorder that wakes on the sound: digital silence up to shortly
        // before the shot or the yell. Earlier variants draw nothing here.
        const double from = std::max(0.0, onset - rng.uniform(0.0, 0.1));
        std::fill(mix.begin(), mix.begin() + static_cast<std::ptrdiff_t>(std::min(mix.size(), samples(from, rate))), 0.0f);
        sub += "+gated";
    }
    Row row{job.file, job.label, sub, onset, std::min(clipLen, onset + evLen), job.snr, backgroundName(bk), job.split,
            double(mix.size()) / rate};
    if (!writeWav(dir + "/" + job.file, mix, rate)) row.file.clear();
    return row;
}

Row renderNegative(const SpeechSource& speech, const Job& job, double rate, const std::string& dir) {
    Rng rng(job.seed);
    const double clipLen = rng.uniform(4.0, 12.0);
    Buffer ev = makeEvent(speech, rng, rate, job.label, job.sub, clipLen - rng.uniform(0.3, 2.0), job.split);
    std::string sub = job.sub;
    const bool silent = peak(ev) <= 0.0;
    if (!silent && rng.chance(0.3)) {
        ev = reverberate(rng, ev, rate, rng.uniform(0.2, 0.8), rng.uniform(-12, -4));
        sub += "+room";
    }
    if (!silent) ev = trimSilence(ev, rate);
    if (double(ev.size()) / rate > clipLen) ev.resize(samples(clipLen, rate));
    static const std::vector<BackgroundKind> kinds = {BackgroundKind::Quiet, BackgroundKind::Quiet, BackgroundKind::Quiet,
                                                      BackgroundKind::White, BackgroundKind::Pink, BackgroundKind::Brown,
                                                      BackgroundKind::Traffic, BackgroundKind::Rain, BackgroundKind::Babble,
                                                      BackgroundKind::Music};
    const BackgroundKind bk = rng.pick(kinds);
    Buffer bg = makeBackground(speech, rng, rate, bk, clipLen, job.split);
    const Channel channel = Channel::draw(rng, rate);
    channel.apply(ev, rate);
    channel.apply(bg, rate);
    setRms(bg, bk == BackgroundKind::Quiet ? rng.uniform(-65, -55) : rng.uniform(-50, -35));
    // A stored effect: digital silence around it, the sound from the first sample.
    const bool cut = job.sub.size() > 4 && job.sub.compare(job.sub.size() - 4, 4, "_cut") == 0;
    if (cut) std::fill(bg.begin(), bg.end(), 0.0f);
    if (!silent) {
        // Everyday sounds at every level, loud ones included.
        const double a = activeRms(ev, rate);
        if (a > 0) scale(ev, dbToGain(rng.uniform(-32, -12)) / a);
        const double onset = cut ? 0.0 : rng.uniform(0.0, std::max(0.0, clipLen - double(ev.size()) / rate));
        addInto(bg, ev, rate, onset);
    }
    if (peak(bg) > 0.95) normalisePeak(bg, 0.95);
    Row row{job.file, job.label, sub, 0.0, double(bg.size()) / rate, std::nullopt, cut ? "digital_silence" : backgroundName(bk),
            job.split, double(bg.size()) / rate};
    if (!writeWav(dir + "/" + job.file, bg, rate)) row.file.clear();
    return row;
}

bool isTonalLookalike(const SoundKind& k) {
    const std::string s = k.subLabel;
    return std::string(k.lookalikeOf) == "Siren" || std::string(k.lookalikeOf) == "SmokeAlarm" || s == "speech" ||
           s == "music" || s == "silence";
}

std::vector<Job> plan(const SetOptions& o) {
    std::vector<Job> jobs;
    auto wanted = [&](const std::string& l) { return std::find(o.labels.begin(), o.labels.end(), l) != o.labels.end(); };
    char name[256];
    for (const auto& split : o.splits) {
        for (const auto& label : classNames()) {
            if (!wanted(label)) continue;
            // Positive clip i takes variant i % (earlier variants); the extra
            // variants follow as clips perSnr.. (half perSnr each, at least one).
            std::vector<std::string> variants, extras;
            for (const auto& k : catalogue())
                if (label == k.label) (isExtraVariant(k.subLabel) ? extras : variants).push_back(k.subLabel);
            if (label == "Aggression") variants.push_back("shout_tts");
            // Opt-in kinds follow the extras in their list's order, each at
            // the clips it would take were all of them asked for, so a set
            // that names one holds the same files of it as a set naming all.
            std::vector<bool> skip(extras.size(), false);
            for (const auto& k : optInKinds()) {
                if (label != k.label) continue;
                extras.push_back(k.subLabel);
                skip.push_back(std::find(o.kinds.begin(), o.kinds.end(), k.subLabel) == o.kinds.end());
            }
            const int perExtra = std::max(1, o.perSnr / 2);
            const int count = o.perSnr + perExtra * static_cast<int>(extras.size());
            for (double snr : kSnrs) {
                for (int i = 0; i < count; ++i) {
                    const auto extra = static_cast<std::size_t>(std::max(0, i - o.perSnr) / perExtra);
                    if (i >= o.perSnr && skip[extra]) continue;
                    const std::string sub = i < o.perSnr ? variants[static_cast<std::size_t>(i) % variants.size()]
                                                         : extras[extra];
                    Job j{split, label, sub, snr, i, 0, ""};
                    std::snprintf(name, sizeof name, "%s_%s_%s_snr%02d_%02d.wav", split.c_str(), label.c_str(), j.sub.c_str(),
                                  static_cast<int>(snr), i);
                    j.file = name;
                    j.seed = hashSeed(o.seed, j.file, 0);
                    jobs.push_back(j);
                }
            }
        }
        if (!wanted("negative")) continue;
        for (const auto& k : catalogue()) {
            if (std::string(k.label) != "negative") continue;
            const int count = isTonalLookalike(k) ? kNegativesPerTonalLookalike : kNegativesPerKind;
            for (int i = 0; i < count; ++i) {
                Job j{split, "negative", k.subLabel, std::nullopt, i, 0, ""};
                std::snprintf(name, sizeof name, "%s_negative_%s_%02d.wav", split.c_str(), k.subLabel, i);
                j.file = name;
                j.seed = hashSeed(o.seed, j.file, 0);
                jobs.push_back(j);
            }
        }
    }
    return jobs;
}

bool writeManifest(const std::string& path, const std::vector<Row>& rows) {
    std::ofstream f(path, std::ios::binary);
    f << kHeader;
    for (const auto& r : rows) f << formatRow(r);
    return static_cast<bool>(f);
}

} // namespace

int writeSet(const SetOptions& o) {
    std::error_code ec;
    std::filesystem::create_directories(o.outDir, ec);
    if (ec) { std::fprintf(stderr, "zv_soundgen: cannot create %s: %s\n", o.outDir.c_str(), ec.message().c_str()); return 1; }
    const auto t0 = std::chrono::steady_clock::now();
    const SpeechSource speech(o.espeak, o.seed, o.rate);
    const std::vector<Job> jobs = plan(o);
    std::vector<Row> rows(jobs.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&]() {
        for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();)
            rows[i] = jobs[i].snr ? renderPositive(speech, jobs[i], o.rate, o.outDir) : renderNegative(speech, jobs[i], o.rate, o.outDir);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::max(1, o.jobs); ++t) pool.emplace_back(worker);
    worker();
    for (auto& t : pool) t.join();
    double positiveSeconds = 0, negativeSeconds = 0;
    for (const auto& r : rows) {
        if (r.file.empty()) return 1;
        (r.label == "negative" ? negativeSeconds : positiveSeconds) += r.clipSeconds;
    }
    if (!writeManifest(o.outDir + "/manifest.csv", rows)) { std::fprintf(stderr, "zv_soundgen: cannot write the manifest\n"); return 1; }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("zv_soundgen: %zu clips in %s (%.1f min positives, %.1f min negatives), speech by %s, %.1f s\n", rows.size(),
                o.outDir.c_str(), positiveSeconds / 60, negativeSeconds / 60, speech.usesEspeak() ? "espeak-ng" : "formant synthesis", wall);
    return 0;
}

int writeSample(const std::string& label, const std::string& sub, const std::string& wavPath, std::uint64_t seed,
                double rate, double seconds, bool espeak) {
    if (!findKind(label, sub) && !speechStyle(sub)) {
        std::fprintf(stderr, "zv_soundgen: no sound %s/%s (see --list)\n", label.c_str(), sub.c_str());
        return 2;
    }
    const SpeechSource speech(espeak, seed, rate);
    Rng rng(hashSeed(seed, label + "/" + sub, 0));
    return writeWav(wavPath, makeEvent(speech, rng, rate, label, sub, seconds, "sample"), rate) ? 0 : 1;
}

int writeScene(const std::string& wavPath, std::uint64_t seed, double rate, bool espeak) {
    const SpeechSource speech(espeak, seed, rate);
    Rng rng(hashSeed(seed, "scene", 0));
    const double len = 60.0;
    Buffer street = traffic(rng, rate, len);
    setRms(street, -38);
    Buffer talk = speech.speak(rng, len, SpeechSource::Style::Normal, "scene");
    setRms(talk, -41);
    Buffer bg = street;
    mixInto(bg, talk, 0);
    struct Placed { const char* label; const char* sub; double at; double seconds; };
    const Placed events[] = {{"Siren", "wail", 3.0, 8.0},       {"SmokeAlarm", "piezo", 13.5, 6.5}, {"DogBark", "large", 23.0, 2.0},
                             {"BabyCry", "cry", 27.0, 4.0},     {"GlassBreak", "pane", 34.5, 2.0},  {"GunShot", "pistol", 39.0, 2.0},
                             {"Aggression", "shout", 43.0, 2.5}};
    Buffer mix = bg;
    std::vector<Row> rows;
    const std::string name = std::filesystem::path(wavPath).filename().string();
    const double bgRms = rms(bg);
    for (const auto& e : events) {
        Rng er = rng.fork(static_cast<std::uint64_t>(e.at * 1000));
        Buffer ev = trimSilence(findKind(e.label, e.sub)->make(er, rate, e.seconds), rate);
        std::string sub = e.sub;
        if (std::string(e.label) == "Siren") { ev = doppler(ev, rate, 15, 10); sub += "+doppler"; ev = trimSilence(ev, rate); }
        const double snr = std::round(er.uniform(15, 20));
        scale(ev, bgRms * dbToGain(snr) / activeRms(ev, rate));
        addInto(mix, ev, rate, e.at);
        rows.push_back({name, e.label, sub, e.at, e.at + double(ev.size()) / rate, snr, "traffic+speech", "holdout", len});
    }
    if (peak(mix) > 0.95) normalisePeak(mix, 0.95);
    if (!writeWav(wavPath, mix, rate)) return 1;
    const std::string csv = std::filesystem::path(wavPath).replace_extension(".csv").string();
    if (!writeManifest(csv, rows)) { std::fprintf(stderr, "zv_soundgen: cannot write %s\n", csv.c_str()); return 1; }
    std::printf("zv_soundgen: scene %s (60 s, %zu events) and %s\n", wavPath.c_str(), rows.size(), csv.c_str());
    return 0;
}

} // namespace zv::soundgen
