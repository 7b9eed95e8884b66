// Voiced sounds through the glottal-pulse and formant engine: speech,
// shouting, infant cries, barks, and the voices and calls that resemble them.
#include "SynthKit.h"

#include <algorithm>

namespace zv::synth {

using namespace kit;

namespace {

// Appends segments to voice tracks; F0 stays continuous through unvoiced
// segments so that smoothing never glides from zero.
class Utterance {
public:
    explicit Utterance(double rate) : rate_(rate) {}

    // Voiced segment: F0 goes linearly from f0a to f0b with an arch of
    // `arch` * f0a added in the middle; amplitude goes linearly a0 -> a1.
    // `noise` adds band noise (around noiseHz) following the amplitude.
    void voiced(double lenS, const std::array<float, 4>& formants, double f0a, double f0b, double arch,
                double a0, double a1, double breath = 0.05, double noise = 0.0, double noiseHz = 2000.0) {
        const std::size_t n = samples(lenS, rate_);
        for (std::size_t i = 0; i < n; ++i) {
            const double u = n > 1 ? double(i) / double(n - 1) : 0.0;
            const double a = a0 + (a1 - a0) * u;
            push(f0a + (f0b - f0a) * u + arch * f0a * std::sin(kPi * u), a, breath, noise * a, noiseHz, formants);
        }
        lastF0_ = f0b;
        lastFormants_ = formants;
    }
    void frication(double lenS, double hz, double amp, double breath = 0.0) {
        const std::size_t n = samples(lenS, rate_);
        for (std::size_t i = 0; i < n; ++i) push(lastF0_, 0.0, breath, amp, hz, lastFormants_);
    }
    void silence(double lenS) { frication(lenS, 4000.0, 0.0); }
    VoiceTracks& tracks() { return t_; }
    double seconds() const { return double(t_.f0.size()) / rate_; }

private:
    void push(double f0, double voice, double asp, double fric, double fricHz, const std::array<float, 4>& f) {
        t_.f0.push_back(static_cast<float>(f0));
        t_.voice.push_back(static_cast<float>(voice));
        t_.aspiration.push_back(static_cast<float>(asp));
        t_.frication.push_back(static_cast<float>(fric));
        t_.fricHz.push_back(static_cast<float>(fricHz));
        t_.formants.push_back(f);
    }
    double rate_;
    VoiceTracks t_;
    double lastF0_ = 120.0;
    std::array<float, 4> lastFormants_{500, 1500, 2500, 3500};
};

Buffer render(Rng& rng, double rate, Utterance& u, const VoiceQuality& q, double ampTau = 0.006,
              double formantTau = 0.012, double f0Tau = 0.015) {
    auto& t = u.tracks();
    smoothTrack(t.voice, rate, ampTau);
    smoothTrack(t.aspiration, rate, ampTau);
    smoothTrack(t.frication, rate, 0.003);
    smoothTrack(t.f0, rate, f0Tau);
    smoothFormants(t.formants, rate, formantTau);
    return renderVoice(rng, rate, t, q);
}

std::array<float, 4> scaled(const std::array<float, 4>& f, double s1, double s) {
    return {float(f[0] * s1), float(f[1] * s), float(f[2] * s), float(f[3] * s)};
}

// A consonant onset: fricative, plosive or nasal, chosen by the coin.
void consonant(Rng& rng, Utterance& u, double formantScale, double f0, double level) {
    switch (rng.integer(0, 3)) {
    case 0: u.frication(rng.uniform(0.05, 0.12), rng.chance(0.5) ? 5500 : 3000, 0.5 * level); break;   // s, sh
    case 1: u.silence(rng.uniform(0.02, 0.05));                                                      // plosive
            u.frication(rng.uniform(0.01, 0.02), rng.uniform(1500, 4000), 0.9 * level, 0.3 * level);
            u.frication(rng.uniform(0.015, 0.04), 3000, 0.0, 0.4 * level); break;
    case 2: u.voiced(rng.uniform(0.04, 0.08), scaled({280, 1200, 2300, 3300}, formantScale, formantScale), f0, f0, 0.0,
                     0.4 * level, 0.5 * level); break;                                               // m, n, l
    default: u.frication(rng.uniform(0.03, 0.08), 2500, 0.0, 0.5 * level); break;                    // h
    }
}

} // namespace

Buffer formantSpeech(Rng& rng, double rate, Talker talker, double durationS, double effort) {
    double f0Base = 0, fs = 1.0;
    switch (talker) {
    case Talker::Man: f0Base = rng.uniform(85, 140); fs = rng.uniform(0.95, 1.05); break;
    case Talker::Woman: f0Base = rng.uniform(165, 250); fs = rng.uniform(1.12, 1.2); break;
    case Talker::Child: f0Base = rng.uniform(240, 320); fs = rng.uniform(1.25, 1.4); break;
    }
    f0Base *= 1 + 0.35 * effort;
    Utterance u(rate);
    u.silence(rng.uniform(0.0, 0.3));
    while (u.seconds() < durationS) {
        const int syllables = rng.integer(4, 14);
        const double decl = rng.uniform(0.15, 0.3);
        for (int s = 0; s < syllables; ++s) {
            const double phrasePos = double(s) / syllables;
            const bool stressed = rng.chance(0.35);
            const double f0 = f0Base * (1 + 0.5 * decl - decl * phrasePos) * (stressed ? rng.uniform(1.05, 1.25) : 1.0);
            if (rng.chance(0.7)) consonant(rng, u, fs, f0, 1.0);
            const auto v = scaled(vowel(rng.integer(0, kVowels - 1), fs), fs * (1 + 0.15 * effort), fs);
            const double len = stressed ? rng.uniform(0.12, 0.25) : rng.uniform(0.06, 0.14);
            const double a = stressed ? 1.0 : 0.65;
            u.voiced(len, v, f0, f0 * rng.uniform(0.9, 1.05), stressed ? 0.05 : 0.0, a, a * 0.8);
            if (rng.chance(0.25)) u.silence(rng.uniform(0.01, 0.06));   // word boundary
        }
        u.silence(rng.uniform(0.2, 0.7));   // phrase pause
    }
    VoiceQuality q;
    q.openQuotient = 0.65 - 0.2 * effort;
    q.jitter = 0.008;
    q.shimmer = 0.05;
    Buffer out = render(rng, rate, u, q);
    out.resize(samples(durationS, rate), 0.0f);
    normalisePeak(out, 0.9);
    return out;
}

Buffer shout(Rng& rng, double rate, double durationS, bool scream) {
    const double f0Base = scream ? rng.uniform(400, 800) : rng.uniform(250, 450);
    const double fs = rng.uniform(1.0, 1.25);
    // Strain: turbulent noise in the 1..4 kHz band riding on the voicing.
    const double strain = rng.uniform(0.5, 1.5), strainHz = rng.uniform(2000, 3200);
    Utterance u(rate);
    while (u.seconds() < durationS - 0.2) {
        // A phrase ("get out!", "hey!"): one to four syllables, pitch arched
        // and highest on the stressed one.
        const int syl = scream ? 1 : rng.integer(1, 4);
        for (int s = 0; s < syl; ++s) {
            if (!scream && rng.chance(0.6)) consonant(rng, u, fs, f0Base, 1.0);
            static const int open[] = {0, 1, 5, 6};
            const auto v = scaled(vowel(open[rng.integer(0, 3)], fs), fs * rng.uniform(1.2, 1.4), fs * rng.uniform(1.0, 1.15));
            const double len = scream ? rng.uniform(0.5, 1.5) : rng.uniform(0.15, 0.5);
            const double f0 = f0Base * rng.uniform(0.9, 1.15);
            u.voiced(len, v, f0, f0 * rng.uniform(0.75, 0.95), rng.uniform(0.1, 0.3), 1.0, rng.uniform(0.6, 0.9), 0.25,
                     strain, strainHz);
        }
        u.silence(rng.uniform(0.15, 0.5));
    }
    VoiceQuality q;
    q.openQuotient = rng.uniform(0.25, 0.4);
    q.jitter = rng.uniform(0.02, 0.05);
    q.shimmer = rng.uniform(0.1, 0.25);
    q.subharmonic = rng.chance(0.6) ? rng.uniform(0.1, 0.35) : 0.0;
    q.bandwidthScale = rng.uniform(1.5, 2.2);   // wide, harsh formants
    q.fricQ = 0.6;
    Buffer out = render(rng, rate, u, q);
    // Effort pushes energy into 1..4 kHz; the voice (or the microphone) clips.
    auto presence = Biquad::peaking(rate, rng.uniform(2000, 3000), 0.5, rng.uniform(10, 15));
    presence.process(out);
    auto low = Biquad::highpass(rate, rng.uniform(300, 500), 0.7071);   // the raised F1 leaves little below
    low.process(out);
    normalisePeak(out, 1.0);
    softClip(out, rng.uniform(2.0, 5.0));
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer cleanShout(Rng& rng, double rate, double durationS, bool scream) {
    const bool man = rng.chance(0.4);
    const bool child = !man && rng.chance(0.4);
    const double fs = man ? rng.uniform(0.95, 1.05) : child ? rng.uniform(1.25, 1.4) : rng.uniform(1.12, 1.2);
    // Screams sit at the top of each voice's range.
    const double f0Base = man ? (scream ? rng.uniform(330, 420) : rng.uniform(200, 360))
                              : (scream ? rng.uniform(480, 620) : rng.uniform(300, 520));
    const double f1Raise = rng.uniform(1.15, 1.35);   // the wide-open jaw of a yell
    const double breath = rng.uniform(0.0, 0.01);
    auto vowelOf = [&](int index) { return scaled(vowel(index, fs), fs * f1Raise, fs * rng.uniform(1.0, 1.1)); };
    Utterance u(rate);
    u.silence(0.02);
    int words = 0;
    // Words until the length hint is filled; each word's held vowel carries
    // it, the pitch rising into the vowel and falling away (arch).
    while (words == 0 || u.seconds() < durationS - 0.4) {
        const double len = scream ? rng.uniform(0.6, 1.5) : rng.uniform(0.3, 1.0);
        const double f0 = f0Base * rng.uniform(0.9, 1.12);
        const double f0End = f0 * rng.uniform(0.7, 0.95), arch = rng.uniform(0.1, 0.35);
        const double tail = rng.uniform(0.7, 0.9);
        switch (scream ? 4 : rng.integer(0, 3)) {
        case 0:   // "no", yelled open ("naw") and closing towards o
            u.voiced(rng.uniform(0.04, 0.08), scaled({280, 1200, 2300, 3300}, fs, fs), f0, f0, 0.0, 0.5, 0.7, breath);
            u.voiced(len * 0.75, vowelOf(rng.chance(0.5) ? 0 : 6), f0, 0.5 * (f0 + f0End), arch, 1.0, 0.9, breath);
            u.voiced(len * 0.25, vowelOf(3), 0.5 * (f0 + f0End), f0End, 0.0, 0.9, tail, breath);
            break;
        case 1:   // "hey": a breathy onset, e gliding to i
            u.frication(rng.uniform(0.03, 0.06), 2500, 0.0, 0.3);
            u.voiced(len * 0.7, vowelOf(1), f0, 0.5 * (f0 + f0End), arch, 1.0, 0.9, breath);
            u.voiced(len * 0.3, vowelOf(2), 0.5 * (f0 + f0End), f0End, 0.0, 0.9, tail, breath);
            break;
        case 2:   // "stop": s, the t's burst, the open vowel, the p's closure
            u.frication(rng.uniform(0.05, 0.1), 5500, 0.35);
            u.silence(rng.uniform(0.02, 0.04));
            u.frication(0.012, 3500, 0.6);
            u.voiced(len, vowelOf(rng.chance(0.5) ? 0 : 6), f0, f0End, arch, 1.0, tail, breath);
            u.silence(rng.uniform(0.03, 0.06));
            break;
        case 3:   // "help": h, an open e, the l, the p's closure
            u.frication(rng.uniform(0.03, 0.06), 2500, 0.0, 0.3);
            u.voiced(len, vowelOf(rng.chance(0.5) ? 1 : 5), f0, f0End, arch, 1.0, tail, breath);
            u.voiced(rng.uniform(0.05, 0.09), scaled({360, 1000, 2600, 3400}, fs, fs), f0End, f0End * 0.95, 0.0, tail, 0.4, breath);
            u.silence(rng.uniform(0.03, 0.06));
            break;
        default:  // a scream: one open vowel, held
            u.voiced(len, vowelOf(rng.chance(0.5) ? 0 : 5), f0, f0End, arch, 1.0, tail, breath);
            break;
        }
        ++words;
        u.silence(rng.uniform(0.15, 0.6));
    }
    VoiceQuality q;
    q.openQuotient = rng.uniform(0.25, 0.4);   // pressed: strong upper harmonics
    q.jitter = rng.uniform(0.002, 0.008);
    q.shimmer = rng.uniform(0.02, 0.05);
    q.bandwidthScale = rng.uniform(1.0, 1.2);
    Buffer out = render(rng, rate, u, q, 0.01, 0.015, 0.02);
    // Effort pushes energy into 1..4 kHz and leaves little below the raised F1.
    auto presence = Biquad::peaking(rate, rng.uniform(1800, 3000), 0.5, rng.uniform(10, 15));
    presence.process(out);
    auto low = Biquad::highpass(rate, rng.uniform(300, 500), 0.7071);
    low.process(out);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer heldYell(Rng& rng, double rate, double durationS) {
    const bool man = rng.chance(0.4);
    const bool child = !man && rng.chance(0.3);
    const double fs = man ? rng.uniform(0.95, 1.05) : child ? rng.uniform(1.25, 1.4) : rng.uniform(1.12, 1.2);
    const double f0Base = man ? rng.uniform(180, 380) : child ? rng.uniform(330, 600) : rng.uniform(280, 560);
    const double f1Raise = rng.uniform(1.1, 1.35);
    const double breath = rng.uniform(0.0, 0.02);
    // "nooo" (a to o), "heeey" (e to i), "aaah", "huuh", "ooo", "aeee": the
    // vowel the yell is held on (an open one: a yell's jaw is wide) and the
    // one it closes towards.
    static const int held[][2] = {{0, 3}, {1, 2}, {0, 0}, {6, 6}, {3, 3}, {5, 5}};
    Utterance u(rate);
    u.silence(0.02);
    const int calls = durationS > 2.0 && rng.chance(0.5) ? 2 : 1;
    for (int c = 0; c < calls; ++c) {
        const auto& v = held[rng.integer(0, 5)];
        const auto first = scaled(vowel(v[0], fs), fs * f1Raise, fs * rng.uniform(1.0, 1.1));
        const auto last = scaled(vowel(v[1], fs), fs * f1Raise, fs * rng.uniform(1.0, 1.1));
        const double len = rng.uniform(0.6, 1.5);
        const double f0 = f0Base * rng.uniform(0.95, 1.05);
        const double f0Held = f0 * rng.uniform(0.92, 1.08), f0End = f0Held * rng.uniform(0.7, 0.9);
        switch (rng.integer(0, 2)) {
        case 0: u.voiced(rng.uniform(0.04, 0.08), scaled({280, 1200, 2300, 3300}, fs, fs), f0 * 0.85, f0, 0.0, 0.4, 0.7, breath); break;  // n
        case 1: u.frication(rng.uniform(0.03, 0.06), 2500, 0.0, 0.3); break;                                                       // h
        default: break;                                                                                                   // open onset
        }
        // Rising in, held steady with a slow drift, closing and falling away.
        u.voiced(0.12 * len, first, 0.9 * f0, f0, 0.0, 0.6, 1.0, breath);
        u.voiced(0.68 * len, first, f0, f0Held, rng.uniform(0.0, 0.06), 1.0, rng.uniform(0.85, 1.0), breath);
        u.voiced(0.2 * len, last, f0Held, f0End, 0.0, 0.9, rng.uniform(0.2, 0.5), breath);
        u.silence(rng.uniform(0.25, 0.7));
    }
    VoiceQuality q;
    q.openQuotient = rng.uniform(0.25, 0.45);
    q.jitter = rng.uniform(0.002, 0.006);
    q.shimmer = rng.uniform(0.01, 0.04);
    q.bandwidthScale = rng.uniform(1.0, 1.3);
    Buffer out = render(rng, rate, u, q, 0.015, 0.03, 0.03);
    // The effort boost anywhere in 1..4 kHz (log-uniform), broad or narrow.
    auto presence = Biquad::peaking(rate, 1000.0 * std::pow(4.0, rng.uniform(0.0, 1.0)), rng.uniform(0.5, 1.0), rng.uniform(8, 15));
    presence.process(out);
    auto low = Biquad::highpass(rate, rng.uniform(250, 500), 0.7071);
    low.process(out);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer babyCry(Rng& rng, double rate, double durationS) {
    const double f0Base = rng.uniform(350, 550);
    const double fs = rng.uniform(1.5, 1.8);
    Utterance u(rate);
    while (u.seconds() < durationS - 0.4) {
        const double bout = rng.uniform(0.5, 1.5);
        const double f0 = f0Base * rng.uniform(0.9, 1.1);
        // "w-aa" opening: from a closed to an open vowel, rising then falling.
        u.voiced(0.05, scaled(vowel(4, fs), fs, fs), f0 * 0.85, f0, 0.0, 0.2, 0.8, 0.1);
        const auto open = scaled(vowel(rng.chance(0.5) ? 0 : 5, fs), fs * 1.1, fs);
        if (rng.chance(0.35)) {
            // Pitch break: a stretch of hyperphonation at about twice the pitch.
            const double a = bout * rng.uniform(0.2, 0.4), b = rng.uniform(0.1, 0.3);
            u.voiced(a, open, f0, f0 * 1.15, 0.1, 1.0, 1.0, 0.1);
            u.voiced(b, open, f0 * rng.uniform(1.6, 2.2), f0 * 1.7, 0.0, 0.7, 0.7, 0.15);
            u.voiced(std::max(0.1, bout - a - b), open, f0 * 1.1, f0 * 0.8, 0.1, 1.0, 0.6, 0.1);
        } else {
            u.voiced(bout, open, f0, f0 * rng.uniform(0.75, 0.95), rng.uniform(0.15, 0.35), 1.0, 0.6, 0.1);
        }
        u.voiced(0.06, open, f0 * 0.8, f0 * 0.7, 0.0, 0.5, 0.0, 0.1);
        // Inhalation: breath noise, sometimes a high inspiratory squeak.
        if (rng.chance(0.3)) u.voiced(rng.uniform(0.08, 0.15), scaled(vowel(2, fs), fs, fs), f0 * 2.2, f0 * 2.4, 0.0, 0.15, 0.1, 0.3);
        u.frication(rng.uniform(0.15, 0.4), 2500, 0.0, 0.2);
    }
    VoiceQuality q;
    q.openQuotient = rng.uniform(0.45, 0.6);
    q.jitter = rng.uniform(0.01, 0.03);
    q.shimmer = rng.uniform(0.05, 0.15);
    q.subharmonic = rng.chance(0.3) ? rng.uniform(0.1, 0.3) : 0.0;
    Buffer out = render(rng, rate, u, q, 0.008, 0.02, 0.004);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer dogBark(Rng& rng, double rate, DogSize size, int barks) {
    const bool large = size == DogSize::Large;
    const double f0Base = large ? rng.uniform(150, 350) : rng.uniform(400, 900);
    const double fs = large ? rng.uniform(0.9, 1.1) : rng.uniform(1.4, 1.8);
    // Barks are harsh: a broad noise band rides on the voicing.
    const double harsh = rng.uniform(1.0, 3.0), harshHz = large ? rng.uniform(1200, 2500) : rng.uniform(2000, 4000);
    Utterance u(rate);
    for (int b = 0; b < barks; ++b) {
        const double len = large ? rng.uniform(0.1, 0.3) : rng.uniform(0.05, 0.15);
        const double f0 = f0Base * rng.uniform(0.9, 1.1);
        const auto v = scaled(vowel(rng.chance(0.5) ? 0 : 5, fs), fs, fs);
        // Explosive onset: a few ms of noise, then the voiced body decaying.
        u.frication(0.004, harshHz, 0.8, 0.8);
        u.voiced(len * 0.3, v, f0 * 1.1, f0 * 1.25, 0.0, 1.0, 0.9, 0.5, harsh, harshHz);
        u.voiced(len * 0.7, v, f0 * 1.2, f0 * 0.75, 0.0, 0.9, 0.05, 0.4, harsh, harshHz);
        if (rng.chance(0.2)) {   // "wuh-wuh": a second pulse right after
            u.silence(rng.uniform(0.03, 0.07));
            u.voiced(len * 0.6, v, f0, f0 * 0.8, 0.0, 0.7, 0.05, 0.4, harsh, harshHz);
        }
        if (b + 1 < barks) u.silence(rng.uniform(0.15, 0.7));
    }
    VoiceQuality q;
    q.openQuotient = rng.uniform(0.35, 0.5);
    q.jitter = rng.uniform(0.03, 0.06);
    q.shimmer = rng.uniform(0.15, 0.3);
    q.subharmonic = rng.uniform(0.1, 0.5);
    q.bandwidthScale = rng.uniform(1.5, 2.2);
    q.fricQ = 0.7;
    Buffer out = render(rng, rate, u, q, 0.002, 0.005, 0.005);
    normalisePeak(out, 1.0);
    softClip(out, rng.uniform(1.0, 2.5));
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer laughter(Rng& rng, double rate, double durationS) {
    const bool female = rng.chance(0.5);
    const double f0Base = female ? rng.uniform(220, 380) : rng.uniform(130, 240);
    const double fs = female ? 1.15 : 1.0;
    Utterance u(rate);
    while (u.seconds() < durationS - 0.3) {
        const int has = rng.integer(4, 10);
        const double gap = rng.uniform(0.06, 0.12);
        for (int h = 0; h < has; ++h) {
            const double f0 = f0Base * (1.2 - 0.4 * h / has) * rng.uniform(0.95, 1.05);
            u.frication(0.03, 2500, 0.0, 0.6);
            u.voiced(rng.uniform(0.06, 0.12), scaled(vowel(0, fs), fs, fs), f0, f0 * 0.9, 0.05, 0.9, 0.3, 0.35);
            u.silence(gap);
        }
        u.frication(rng.uniform(0.25, 0.6), 2000, 0.0, 0.25);   // in-breath
    }
    VoiceQuality q;
    q.openQuotient = 0.7;
    q.jitter = 0.015;
    q.shimmer = 0.1;
    Buffer out = render(rng, rate, u, q);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer singing(Rng& rng, double rate, double durationS) {
    const bool female = rng.chance(0.5);
    const double tonic = female ? rng.uniform(220, 350) : rng.uniform(110, 175);
    const double fs = female ? 1.15 : 1.0;
    static const int scale[] = {0, 2, 4, 5, 7, 9, 11, 12};
    Utterance u(rate);
    while (u.seconds() < durationS) {
        const double f0 = tonic * std::pow(2.0, scale[rng.integer(0, 7)] / 12.0);
        if (rng.chance(0.5)) consonant(rng, u, fs, f0, 0.6);
        u.voiced(rng.uniform(0.3, 1.2), scaled(vowel(rng.integer(0, kVowels - 1), fs), fs, fs), f0, f0, 0.0, 0.9, 0.8, 0.03);
        if (rng.chance(0.2)) u.silence(rng.uniform(0.2, 0.5));
    }
    auto& t = u.tracks();
    const double vib = rng.uniform(4.5, 6.5), depth = rng.uniform(0.01, 0.03);
    for (std::size_t i = 0; i < t.f0.size(); ++i) t.f0[i] = static_cast<float>(t.f0[i] * (1 + depth * std::sin(2 * kPi * vib * double(i) / rate)));
    VoiceQuality q;
    q.openQuotient = 0.55;
    q.jitter = 0.003;
    q.shimmer = 0.02;
    Buffer out = render(rng, rate, u, q, 0.02, 0.03, 0.03);
    out.resize(samples(durationS, rate), 0.0f);
    normalisePeak(out, 0.9);
    return out;
}

Buffer cheeringCrowd(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out = pinkNoiseN(rng, n);
    bandpass(out, rate, 1000, 0.5);
    scale(out, 0.5);
    const int voices = rng.integer(8, 14);
    for (int v = 0; v < voices; ++v) {
        Buffer s = formantSpeech(rng, rate, static_cast<Talker>(rng.integer(0, 1)), durationS, rng.uniform(0.5, 1.0));
        mixInto(out, s, 0, rng.uniform(0.2, 0.5));
    }
    Buffer claps = handClaps(rng, rate, durationS);
    mixInto(out, claps, 0, 0.3);
    const double swell = rng.uniform(0.5, 2.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        out[i] = static_cast<float>(out[i] * std::min(1.0, t / swell) * std::min(1.0, (durationS - t) / swell + 0.3));
    }
    normalisePeak(out, 0.9);
    return out;
}

namespace {

// One member of an audience: how fast, how evenly and how loud they clap,
// and the sound of their clap. The air cavity between the palms rings at a
// resonance: cupped hands low (0.8-1.5 kHz) and sharp, flat palms higher
// (1.3-3 kHz) and broader; the palms' impact adds a short broadband crack.
struct Clapper {
    double periodS, jitter, gain, startS, stopS;
    double decayS, snap;
    Biquad body;
};

// A cheer of someone in the audience: "bravo" (two syllables, the second
// held and falling), or a held "yay" / "woo" rising and falling.
Buffer cheer(Rng& rng, double rate) {
    const bool man = rng.chance(0.5);
    const double fs = man ? rng.uniform(0.95, 1.05) : rng.uniform(1.12, 1.2);
    const double f0 = man ? rng.uniform(150, 280) : rng.uniform(250, 420);
    Utterance u(rate);
    u.silence(0.02);
    if (rng.chance(0.5)) {
        u.silence(0.03);   // b
        u.voiced(rng.uniform(0.12, 0.2), scaled(vowel(0, fs), fs * 1.15, fs), f0, f0 * 1.1, 0.05, 0.8, 1.0);
        u.voiced(0.04, scaled({450, 1300, 1600, 3300}, fs, fs), f0 * 1.1, f0 * 1.1, 0.0, 0.6, 0.6);   // r
        u.voiced(rng.uniform(0.35, 0.8), scaled(vowel(3, fs), fs * 1.15, fs), f0 * 1.15, f0 * 0.8, 0.1, 1.0, 0.3);
    } else {
        const int v = rng.chance(0.5) ? 5 : 4;   // "yay" or "woo"
        u.voiced(rng.uniform(0.4, 1.0), scaled(vowel(v, fs), fs * 1.15, fs), f0, f0 * rng.uniform(0.8, 1.0),
                 rng.uniform(0.1, 0.3), 0.7, 0.3);
    }
    VoiceQuality q;
    q.openQuotient = 0.45;
    q.jitter = 0.01;
    q.shimmer = 0.06;
    Buffer out = render(rng, rate, u, q);
    normalisePeak(out, 1.0);
    return out;
}

// A two-finger whistle: a quick rise into a held high note that sags at the end.
Buffer fanWhistle(Rng& rng, double rate) {
    const double top = rng.uniform(2000, 3500), len = rng.uniform(0.3, 1.0);
    const std::size_t n = samples(len, rate);
    std::vector<double> hz(n);
    Buffer env(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate, x = t / len;
        hz[i] = top * (t < 0.08 ? 0.8 + 0.2 * t / 0.08 : 1.0 - 0.1 * x * x);
        env[i] = static_cast<float>(std::min(1.0, t / 0.02) * std::min(1.0, (len - t) / 0.05));
    }
    Buffer out = harmonicTone(hz, rate, {1.0, 0.08}, rng.uniform());
    multiply(out, env);
    return out;
}

} // namespace

Buffer applause(Rng& rng, double rate, double durationS) {
    // A small room (10-30 people) or a hall (hundreds).
    const bool hall = rng.chance(0.6);
    const int people = hall ? static_cast<int>(std::exp(rng.uniform(std::log(100.0), std::log(600.0)))) : rng.integer(10, 30);
    // It swells as people join, holds, and dies out as they stop one by one.
    const double swellS = rng.uniform(0.3, 1.5), dieS = rng.uniform(0.5, 2.5);
    const double holdS = std::clamp(std::min(rng.uniform(1.0, 5.0), durationS - swellS - dieS), 0.5, 5.0);
    const double tempo = rng.uniform(3.0, 5.0);   // the audience's common pace, claps per second
    const double nearM = hall ? rng.uniform(1.0, 3.0) : rng.uniform(0.7, 1.5);
    const double farM = hall ? rng.uniform(15.0, 40.0) : rng.uniform(4.0, 8.0);
    std::vector<Clapper> clappers;
    for (int p = 0; p < people; ++p) {
        Clapper c;
        c.periodS = 1.0 / std::clamp(tempo * rng.uniform(0.7, 1.3), 2.0, 6.0);
        c.jitter = rng.uniform(0.02, 0.1);
        // Seats spread evenly over the floor around the microphone, each
        // heard at 1/distance: a few near clappers stand out of the many far.
        c.gain = nearM / std::sqrt(rng.uniform(nearM * nearM, farM * farM));
        c.startS = swellS * std::pow(rng.uniform(), 1.5);
        c.stopS = swellS + holdS + dieS * std::pow(rng.uniform(), 0.7);
        const bool cupped = rng.chance(0.5);
        const double hz = cupped ? std::exp(rng.uniform(std::log(800.0), std::log(1500.0)))
                                 : std::exp(rng.uniform(std::log(1300.0), std::log(3000.0)));
        c.body = Biquad::bandpass(rate, hz, cupped ? rng.uniform(4.0, 10.0) : rng.uniform(2.0, 5.0));
        c.decayS = rng.uniform(0.001, 0.004);
        c.snap = rng.uniform(0.02, 0.2);
        clappers.push_back(c);
    }
    const double endS = swellS + holdS + dieS + 0.1;
    Buffer out(samples(endS + 0.05, rate), 0.0f);
    for (auto& c : clappers) {
        int clap = 0;
        for (double t = c.startS + rng.uniform(0.0, c.periodS); t < c.stopS; ++clap) {
            const double left = c.stopS - t;
            // The first claps come in softer, the last ones softer and slower.
            const double level = c.gain * rng.uniform(0.8, 1.2) * std::min(1.0, 0.6 + 0.2 * clap) * std::min(1.0, 0.4 + left / (2 * c.periodS));
            Buffer burst = thump(rng, rate, 0, rate, c.decayS, 6 * c.decayS + 0.004);
            Buffer shaped = burst;
            Biquad body = c.body;   // a fresh state per clap
            shaped.resize(burst.size() + samples(0.01, rate), 0.0f);
            body.process(shaped);
            mixInto(shaped, burst, 0, c.snap);
            mixInto(out, shaped, samples(t, rate), level);
            t += c.periodS * (1 + c.jitter * rng.normal()) * (left < c.periodS * 2 ? 1.2 : 1.0);
        }
    }
    // A few cheers and whistles, low under the clapping, while it holds.
    const double claps = rms(out);
    const int voices = rng.chance(0.5) ? rng.integer(1, 4) : 0;
    for (int v = 0; v < voices; ++v) {
        Buffer c = rng.chance(0.7) ? cheer(rng, rate) : fanWhistle(rng, rate);
        const double at = rng.uniform(swellS, std::max(swellS, swellS + holdS - 0.3));
        mixInto(out, c, samples(at, rate), claps * dbToGain(rng.uniform(-16.0, -6.0)) / std::max(activeRms(c, rate), 1e-9));
    }
    // The room: a short decay in a small room, a long one in a hall.
    out = hall ? reverberate(rng, out, rate, rng.uniform(0.8, 2.0), rng.uniform(-8.0, -2.0))
               : reverberate(rng, out, rate, rng.uniform(0.2, 0.5), rng.uniform(-12.0, -6.0));
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer childrenPlaying(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out(n, 0.0f);
    const int kids = rng.integer(3, 6);
    for (int k = 0; k < kids; ++k) {
        Buffer s = formantSpeech(rng, rate, Talker::Child, durationS, rng.uniform(0.0, 0.5));
        mixInto(out, s, 0, rng.uniform(0.2, 0.6));
    }
    // Distant squeals of delight, well below the talk, in a yard's echo.
    const int squeals = rng.integer(0, 2);
    for (int s = 0; s < squeals; ++s) {
        Buffer q = reverberate(rng, shout(rng, rate, rng.uniform(0.4, 0.8), true), rate, rng.uniform(0.3, 0.8), -6);
        mixInto(out, q, samples(rng.uniform(0, std::max(0.0, durationS - 1.0)), rate), 0.12);
    }
    normalisePeak(out, 0.9);
    return out;
}

Buffer cat(Rng& rng, double rate) {
    const bool kitten = rng.chance(0.3);
    const double f0 = kitten ? rng.uniform(700, 1100) : rng.uniform(400, 800);
    const double fs = kitten ? 1.9 : rng.uniform(1.4, 1.7);
    Utterance u(rate);
    const int meows = rng.integer(1, 3);
    for (int m = 0; m < meows; ++m) {
        const double len = kitten ? rng.uniform(0.25, 0.6) : rng.uniform(0.4, 1.2);
        // "m-ee-a-ow": nasal onset, vowel opening then rounding, pitch arched.
        u.voiced(0.05, scaled({300, 1200, 2300, 3300}, fs, fs), f0 * 0.8, f0 * 0.9, 0.0, 0.2, 0.6, 0.05);
        u.voiced(len * 0.4, scaled(vowel(2, fs), fs, fs), f0 * 0.9, f0 * 1.2, 0.1, 0.7, 1.0, 0.05);
        u.voiced(len * 0.4, scaled(vowel(0, fs), fs, fs), f0 * 1.2, f0 * 0.9, 0.05, 1.0, 0.8, 0.05);
        u.voiced(len * 0.2, scaled(vowel(4, fs), fs, fs), f0 * 0.9, f0 * 0.7, 0.0, 0.8, 0.0, 0.05);
        if (m + 1 < meows) u.silence(rng.uniform(0.4, 1.2));
    }
    VoiceQuality q;
    q.openQuotient = 0.55;
    q.jitter = 0.01;
    q.shimmer = 0.05;
    Buffer out = render(rng, rate, u, q, 0.01, 0.03, 0.02);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer seagull(Rng& rng, double rate, double durationS) {
    Utterance u(rate);
    const double f0Top = rng.uniform(1300, 2200);
    double gap = rng.uniform(0.25, 0.5);
    while (u.seconds() < durationS - 0.5) {
        const double len = rng.uniform(0.15, 0.4);
        u.voiced(len, scaled(vowel(0, 2.0), 2.0, 2.0), f0Top, f0Top * rng.uniform(0.4, 0.6), 0.1, 1.0, 0.3, 0.3);
        u.silence(gap);
        gap = std::max(0.08, gap * rng.uniform(0.7, 0.95));   // calls run faster
    }
    VoiceQuality q;
    q.openQuotient = 0.4;
    q.jitter = 0.03;
    q.shimmer = 0.15;
    q.subharmonic = rng.uniform(0.1, 0.3);
    q.bandwidthScale = 1.5;
    Buffer out = render(rng, rate, u, q, 0.005, 0.01, 0.01);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer squeakyHinge(Rng& rng, double rate) {
    const double len = rng.uniform(0.6, 2.0);
    const std::size_t n = samples(len, rate);
    Buffer pulses(n, 0.0f);
    // Stick-slip: a pulse train whose rate drifts as the door swings.
    const double f0 = rng.uniform(250, 900), f1 = f0 * rng.uniform(0.6, 2.0);
    double phase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double u = double(i) / double(n);
        const double f = (f0 + (f1 - f0) * u) * (1 + 0.05 * std::sin(2 * kPi * 3 * u));
        phase += f / rate;
        if (phase >= 1) { phase -= 1; pulses[i] = static_cast<float>(1 + 0.2 * rng.normal()); }
    }
    Buffer out(n, 0.0f);
    for (int r = 0; r < 3; ++r) {
        Buffer b = pulses;
        bandpass(b, rate, rng.uniform(1000, 4500), rng.uniform(8, 20));
        mixInto(out, b, 0, 1.0);
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(out[i] * std::sin(kPi * double(i) / double(n)));
    normalisePeak(out, 0.9);
    return out;
}

Buffer cough(Rng& rng, double rate) {
    const double f0 = rng.uniform(120, 300);
    Utterance u(rate);
    const int coughs = rng.integer(1, 3);
    for (int c = 0; c < coughs; ++c) {
        u.silence(0.02);
        u.frication(rng.uniform(0.03, 0.06), rng.uniform(1000, 2500), 1.0, 1.0);   // explosive release
        u.voiced(rng.uniform(0.1, 0.25), vowel(rng.chance(0.5) ? 6 : 0, 1.0), f0, f0 * 0.8, 0.0, 0.6, 0.0, 0.6);
        u.silence(rng.uniform(0.15, 0.4));
    }
    VoiceQuality q;
    q.openQuotient = 0.4;
    q.jitter = 0.04;
    q.shimmer = 0.2;
    q.subharmonic = 0.2;
    q.fricQ = 0.8;
    Buffer out = render(rng, rate, u, q, 0.003, 0.01, 0.01);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer seaLion(Rng& rng, double rate, double durationS) {
    const double f0 = rng.uniform(200, 380);
    Utterance u(rate);
    while (u.seconds() < durationS - 0.6) {
        const double len = rng.uniform(0.2, 0.5);
        u.frication(0.01, 1000, 0.5, 0.5);
        u.voiced(len, scaled(vowel(0, 0.85), 0.85, 0.85), f0 * 1.1, f0 * 0.9, 0.1, 1.0, 0.5, 0.4);
        u.silence(rng.uniform(0.3, 0.8));
    }
    VoiceQuality q;
    q.openQuotient = 0.4;
    q.jitter = 0.04;
    q.shimmer = 0.2;
    q.subharmonic = rng.uniform(0.2, 0.45);
    q.bandwidthScale = 1.6;
    Buffer out = render(rng, rate, u, q, 0.005, 0.01, 0.01);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer goose(Rng& rng, double rate, double durationS) {
    const double f0 = rng.uniform(300, 600);
    Utterance u(rate);
    while (u.seconds() < durationS - 0.4) {
        const double len = rng.uniform(0.12, 0.35);
        // Nasal honk: narrow low first formant, strong second.
        u.voiced(len, {420, 1800, 2800, 3800}, f0 * 0.9, f0 * 1.05, 0.05, 1.0, 0.6, 0.15);
        u.silence(rng.uniform(0.1, 0.6));
    }
    VoiceQuality q;
    q.openQuotient = 0.35;
    q.jitter = 0.02;
    q.shimmer = 0.1;
    q.subharmonic = rng.uniform(0.0, 0.2);
    q.bandwidthScale = 0.7;
    Buffer out = render(rng, rate, u, q, 0.005, 0.01, 0.01);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer lamb(Rng& rng, double rate) {
    const double f0 = rng.uniform(250, 450), fs = rng.uniform(1.2, 1.4);
    Utterance u(rate);
    const int bleats = rng.integer(1, 3);
    for (int b = 0; b < bleats; ++b) {
        // "m-baa": a nasal onset, then an open vowel trembling at 15..30 Hz.
        u.voiced(0.05, scaled({300, 1100, 2300, 3300}, fs, fs), f0 * 0.9, f0, 0.0, 0.2, 0.6, 0.1);
        u.voiced(rng.uniform(0.4, 1.0), scaled(vowel(5, fs), fs, fs), f0, f0 * rng.uniform(0.85, 1.0), 0.05, 1.0, 0.4, 0.15);
        if (b + 1 < bleats) u.silence(rng.uniform(0.5, 1.5));
    }
    auto& t = u.tracks();
    const double trem = rng.uniform(15, 30);
    for (std::size_t i = 0; i < t.voice.size(); ++i) {
        const double m = std::sin(2 * kPi * trem * double(i) / rate);
        t.voice[i] = static_cast<float>(t.voice[i] * (0.6 + 0.4 * m));
        t.f0[i] = static_cast<float>(t.f0[i] * (1 + 0.03 * m));
    }
    VoiceQuality q;
    q.openQuotient = 0.5;
    q.jitter = 0.02;
    q.shimmer = 0.1;
    Buffer out = render(rng, rate, u, q, 0.003, 0.02, 0.003);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer fox(Rng& rng, double rate) {
    const double f0 = rng.uniform(300, 650), fs = rng.uniform(1.4, 1.7);
    Utterance u(rate);
    const int calls = rng.integer(2, 5);
    for (int c = 0; c < calls; ++c) {
        // A hoarse, arched "wow": slower and more tonal than a bark.
        u.voiced(rng.uniform(0.15, 0.35), scaled(vowel(rng.chance(0.5) ? 3 : 0, fs), fs, fs), f0 * 0.9, f0 * 0.8,
                 rng.uniform(0.2, 0.4), 0.8, 0.2, 0.4);
        if (c + 1 < calls) u.silence(rng.uniform(0.5, 1.0));
    }
    VoiceQuality q;
    q.openQuotient = 0.45;
    q.jitter = 0.03;
    q.shimmer = 0.15;
    q.subharmonic = rng.uniform(0.1, 0.3);
    q.bandwidthScale = 1.3;
    Buffer out = render(rng, rate, u, q, 0.01, 0.02, 0.01);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

} // namespace zv::synth
