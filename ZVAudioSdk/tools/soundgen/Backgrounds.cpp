// Backgrounds and sustained everyday sounds: coloured noise, traffic, rain,
// babble, music, engines.
#include "SynthKit.h"

#include <algorithm>

namespace zv::synth {

using namespace kit;

Buffer whiteNoise(Rng& rng, double rate, double durationS) {
    Buffer b = noise(rng, samples(durationS, rate));
    scale(b, 0.5);
    return b;
}
Buffer pinkNoise(Rng& rng, double rate, double durationS) { return pinkNoiseN(rng, samples(durationS, rate)); }
Buffer brownNoise(Rng& rng, double rate, double durationS) {
    Buffer b = brownNoiseN(rng, samples(durationS, rate));
    highpass(b, rate, 20.0, 2);   // keeps the leaky integrator's slow wander out of the level
    return b;
}

Buffer engine(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    const int kind = rng.integer(0, 3);
    // Firing frequency (Hz) at rest and how far the revs swing.
    double base = 0, swing = 0;
    switch (kind) {
    case 0: base = rng.uniform(22, 35); swing = rng.uniform(0.0, 0.3); break;    // car idling / pulling away
    case 1: base = rng.uniform(30, 60); swing = rng.uniform(1.0, 2.5); break;    // motorbike revving
    case 2: base = rng.uniform(30, 55); swing = rng.uniform(0.1, 0.6); break;    // diesel lorry
    default: base = rng.uniform(45, 60); swing = rng.uniform(0.0, 0.2); break;   // lawnmower
    }
    // Rev profile: a few smooth rises and falls.
    std::vector<double> revs(n, 0.0);
    const int bumps = rng.integer(1, 4);
    for (int b = 0; b < bumps; ++b) {
        const double c = rng.uniform(0, durationS), w = rng.uniform(0.5, 2.5), h = swing * rng.uniform(0.4, 1.0);
        for (std::size_t i = 0; i < n; ++i) {
            const double d = (double(i) / rate - c) / w;
            revs[i] += h * std::exp(-d * d);
        }
    }
    Buffer pulses(n, 0.0f);
    double phase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        phase += base * (1 + revs[i]) / rate;
        if (phase >= 1) { phase -= 1; pulses[i] = static_cast<float>(1 + 0.25 * rng.normal()); }
    }
    Buffer out(n, 0.0f);
    auto exhaust = Biquad::bandpass(rate, rng.uniform(70, 250), rng.uniform(1.5, 4));
    auto body = Biquad::bandpass(rate, rng.uniform(400, 1200), rng.uniform(0.7, 2));
    Buffer hiss = noise(rng, n);
    for (std::size_t i = 0; i < n; ++i) {
        const double p = pulses[i];
        out[i] = static_cast<float>(3.0 * exhaust(p) + 0.8 * body(p) + 0.02 * hiss[i]);
    }
    lowpass(out, rate, kind == 1 ? 4000 : 2000, 2);
    normalisePeak(out, 0.9);
    return out;
}

Buffer traffic(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out = brownNoiseN(rng, n);
    lowpass(out, rate, rng.uniform(200, 500), 2);
    highpass(out, rate, 25, 2);
    normalisePeak(out, 0.3);
    // Tyre roar of the stream of cars, swelling slowly.
    Buffer roar = pinkNoiseN(rng, n);
    bandpass(roar, rate, rng.uniform(500, 1200), 0.6);
    const double swell = rng.uniform(0.05, 0.2);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<float>(out[i] + 0.25 * roar[i] * (0.6 + 0.4 * std::sin(2 * kPi * swell * double(i) / rate)));
    // A few vehicles passing by.
    const int passes = rng.integer(1, 3);
    for (int p = 0; p < passes; ++p) {
        const double len = rng.uniform(3.0, 6.0);
        Buffer car = engine(rng, rate, len);
        Buffer tyres = pinkNoiseN(rng, car.size());
        bandpass(tyres, rate, rng.uniform(600, 1500), 0.7);
        mixInto(car, tyres, 0, 0.6);
        car = doppler(car, rate, rng.uniform(8, 20), rng.uniform(4, 15));
        mixInto(out, car, samples(rng.uniform(0.0, std::max(0.0, durationS - 2.0)), rate), rng.uniform(0.2, 0.5));
    }
    return out;
}

Buffer rain(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out = pinkNoiseN(rng, n);
    highpass(out, rate, rng.uniform(300, 1000), 2);
    scale(out, 0.4);
    const double dropsPerS = rng.uniform(150, 1500);
    const auto drops = static_cast<std::size_t>(dropsPerS * durationS);
    for (std::size_t d = 0; d < drops; ++d) {
        const std::size_t at = static_cast<std::size_t>(rng.uniform() * double(n));
        const double hz = rng.uniform(1000, 6000), dec = rng.uniform(0.001, 0.006), a = 0.15 * std::pow(rng.uniform(), 2.0);
        const std::size_t len = samples(dec * 5, rate);
        const double w = 2 * kPi * underNyquist(hz, rate) / rate;
        for (std::size_t i = 0; i < len && at + i < n; ++i)
            out[at + i] = static_cast<float>(out[at + i] + a * std::sin(w * double(i)) * std::exp(-double(i) / rate / dec));
    }
    return out;
}

Buffer babble(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out(n, 0.0f);
    const int talkers = rng.integer(4, 8);
    for (int t = 0; t < talkers; ++t) {
        const auto who = static_cast<Talker>(rng.integer(0, 1));
        Buffer s = formantSpeech(rng, rate, who, durationS, rng.uniform(0.0, 0.4));
        mixInto(out, s, 0, rng.uniform(0.5, 1.0));
    }
    normalisePeak(out, 0.9);
    return out;
}

Buffer music(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out(n, 0.0f);
    const double tonic = 110.0 * std::pow(2.0, rng.integer(0, 11) / 12.0);   // A2..G#3
    const double beat = 60.0 / rng.uniform(70, 140);
    const int instrument = rng.integer(0, 2);   // 0 piano-like, 1 organ-like, 2 plucked
    static const int progressions[4][4] = {{0, 5, 7, 0}, {0, 9, 5, 7}, {0, 7, 9, 5}, {0, 3, 5, 7}};
    const auto& prog = progressions[rng.integer(0, 3)];
    const bool minor = rng.chance(0.4);
    auto note = [&](double hz, double start, double len, double gain) {
        const std::size_t at = samples(start, rate);
        if (at >= n) return;
        Buffer b;
        if (instrument == 1) {
            std::vector<double> f(samples(len, rate), hz);
            b = harmonicTone(f, rate, {1.0, 0.5, 0.35, 0.2, 0.15, 0.1}, rng.uniform());
            fade(b, rate, 0.02, 0.05);
        } else {
            std::vector<Mode> m;
            const double decay = instrument == 0 ? rng.uniform(0.6, 1.5) : rng.uniform(0.2, 0.5);
            for (int k = 1; k <= 10; ++k) {
                const double inh = 1 + 0.0004 * k * k;   // string stiffness
                m.push_back({hz * k * inh, 1.0 / std::pow(double(k), instrument == 0 ? 1.3 : 0.9), decay / (1 + 0.3 * k)});
            }
            b = modes(rng, rate, m, std::min(len + decay, 3.0));
        }
        mixInto(out, b, at, gain);
    };
    double t = 0;
    int bar = 0;
    while (t < durationS) {
        const double root = tonic * std::pow(2.0, prog[bar % 4] / 12.0);
        const double third = std::pow(2.0, (minor ? 3 : 4) / 12.0), fifth = std::pow(2.0, 7 / 12.0);
        for (double r : {1.0, third, fifth}) note(root * r * 2, t, beat * 4, 0.25);
        note(root / 2, t, beat * 2, 0.35);
        // Melody: scale steps over the bar.
        static const int major[] = {0, 2, 4, 5, 7, 9, 11, 12};
        double m = 0;
        while (m < beat * 4) {
            const double len = beat * (rng.chance(0.5) ? 0.5 : 1.0);
            if (rng.chance(0.85))
                note(tonic * 4 * std::pow(2.0, major[rng.integer(0, 7)] / 12.0), t + m, len, 0.3);
            m += len;
        }
        t += beat * 4;
        ++bar;
    }
    if (rng.chance(0.4)) {
        // A light drum kit: kick on the beat, hi-hat in between.
        for (double b = 0; b < durationS; b += beat) {
            Buffer kick = thump(rng, rate, 40, 150, 0.08, 0.25);
            mixInto(out, kick, samples(b, rate), 0.6);
            Buffer hat = thump(rng, rate, 6000, rate, 0.02, 0.06);
            mixInto(out, hat, samples(b + beat / 2, rate), 0.15);
        }
    }
    normalisePeak(out, 0.9);
    return out;
}

const char* backgroundName(BackgroundKind kind) {
    switch (kind) {
    case BackgroundKind::White: return "white";
    case BackgroundKind::Pink: return "pink";
    case BackgroundKind::Brown: return "brown";
    case BackgroundKind::Traffic: return "traffic";
    case BackgroundKind::Rain: return "rain";
    case BackgroundKind::Babble: return "babble";
    case BackgroundKind::Speech: return "speech";
    case BackgroundKind::Music: return "music";
    case BackgroundKind::Quiet: return "quiet";
    }
    return "?";
}

Buffer background(Rng& rng, double rate, BackgroundKind kind, double durationS) {
    switch (kind) {
    case BackgroundKind::White: return whiteNoise(rng, rate, durationS);
    case BackgroundKind::Pink: return pinkNoise(rng, rate, durationS);
    case BackgroundKind::Brown: return brownNoise(rng, rate, durationS);
    case BackgroundKind::Traffic: return traffic(rng, rate, durationS);
    case BackgroundKind::Rain: return rain(rng, rate, durationS);
    case BackgroundKind::Babble: return babble(rng, rate, durationS);
    case BackgroundKind::Speech: {
        Buffer s(samples(durationS, rate), 0.0f);
        Buffer v = formantSpeech(rng, rate, static_cast<Talker>(rng.integer(0, 1)), durationS);
        mixInto(s, v, 0);
        return s;
    }
    case BackgroundKind::Music: return music(rng, rate, durationS);
    case BackgroundKind::Quiet: {
        // A quiet room: faint pink noise, so that levels stay defined.
        Buffer b = pinkNoise(rng, rate, durationS);
        lowpass(b, rate, 3000, 2);
        return b;
    }
    }
    return {};
}

} // namespace zv::synth
