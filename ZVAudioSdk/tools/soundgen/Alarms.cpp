// Tonal alarms (sirens, smoke alarms) and the tonal sounds that must not be
// taken for them: other beep rhythms, phones, horns, whistles.
#include "SynthKit.h"

#include <algorithm>

namespace zv::synth {

using namespace kit;

namespace {

// Amplitude envelope of on/off segments with short linear ramps.
struct Segment { double startS, lengthS; };
Buffer gate(double rate, const std::vector<Segment>& segs, double totalS, double rampS) {
    Buffer env(samples(totalS, rate), 0.0f);
    for (const auto& s : segs) {
        const std::size_t a = samples(s.startS, rate), n = samples(s.lengthS, rate);
        const std::size_t r = std::max<std::size_t>(1, std::min(n / 2, samples(rampS, rate)));
        for (std::size_t i = 0; i < n && a + i < env.size(); ++i) {
            double g = 1.0;
            if (i < r) g = double(i) / double(r);
            else if (n - i < r) g = double(n - i) / double(r);
            env[a + i] = static_cast<float>(std::max<double>(env[a + i], g));
        }
    }
    return env;
}

// Partial amplitudes: odd-dominant (square-like) or all harmonics (saw-like).
std::vector<double> harmonics(int count, double rolloff, double evenGain) {
    std::vector<double> a(static_cast<std::size_t>(count));
    for (int k = 1; k <= count; ++k)
        a[static_cast<std::size_t>(k - 1)] = (k % 2 == 0 ? evenGain : 1.0) / std::pow(double(k), rolloff);
    return a;
}

Buffer tone(double rate, double hz, const std::vector<double>& amps, double lengthS, Rng& rng) {
    std::vector<double> f(samples(lengthS, rate), hz);
    return harmonicTone(f, rate, amps, rng.uniform());
}

double smoothStep(double x) { return 0.5 * (1 - std::cos(kPi * std::clamp(x, 0.0, 1.0))); }

} // namespace

Buffer siren(Rng& rng, double rate, SirenKind kind, double durationS) {
    const std::size_t n = samples(durationS, rate);
    std::vector<double> f(n);
    std::vector<double> amp(n, 1.0);
    const double offset = rng.uniform();   // where in its cycle the siren starts
    switch (kind) {
    case SirenKind::Wail: {
        const double lo = rng.uniform(500, 750), hi = rng.uniform(std::max(1200.0, lo * 1.8), 1900);
        const double period = rng.uniform(2.5, 6.0), rise = rng.uniform(0.35, 0.65), gamma = rng.uniform(0.7, 1.4);
        for (std::size_t i = 0; i < n; ++i) {
            double u = double(i) / rate / period + offset;
            u -= std::floor(u);
            const double x = u < rise ? u / rise : 1 - (u - rise) / (1 - rise);
            f[i] = lo + (hi - lo) * std::pow(smoothStep(x), gamma);
        }
        break;
    }
    case SirenKind::Yelp: {
        const double lo = rng.uniform(550, 800), hi = rng.uniform(std::max(1250.0, lo * 1.7), 1900);
        const double period = rng.uniform(0.15, 0.45), rise = rng.uniform(0.5, 0.9);
        for (std::size_t i = 0; i < n; ++i) {
            double u = double(i) / rate / period + offset;
            u -= std::floor(u);
            const double x = u < rise ? u / rise : 1 - (u - rise) / (1 - rise);
            f[i] = lo + (hi - lo) * smoothStep(x);
        }
        break;
    }
    case SirenKind::HiLo: {
        const double lo = rng.uniform(550, 850), hi = lo * rng.uniform(1.2, 1.45);
        const double half = rng.uniform(0.35, 0.75), glide = rng.uniform(0.01, 0.03);
        for (std::size_t i = 0; i < n; ++i) {
            double u = double(i) / rate / (2 * half) + offset;
            u -= std::floor(u);
            const double within = (u < 0.5 ? u : u - 0.5) * 2 * half;   // seconds into this tone
            const double from = u < 0.5 ? lo : hi, to = u < 0.5 ? hi : lo;
            f[i] = within < glide ? from + (to - from) * smoothStep(within / glide) : to;
        }
        break;
    }
    case SirenKind::Mechanical: {
        const double top = rng.uniform(900, 1600), up = rng.uniform(1.2, std::min(3.5, durationS * 0.4));
        const double hold = rng.uniform(0.0, std::max(0.0, durationS - up - 1.5));
        const double tauDown = rng.uniform(1.5, 4.0);
        for (std::size_t i = 0; i < n; ++i) {
            const double t = double(i) / rate;
            double x;
            if (t < up) x = 0.15 + 0.85 * (1 - std::exp(-3.0 * t / up)) / (1 - std::exp(-3.0));
            else if (t < up + hold) x = 1.0 + 0.01 * std::sin(2 * kPi * 0.7 * t);
            else x = std::exp(-(t - up - hold) / tauDown);
            f[i] = top * std::max(0.12, x);
            amp[i] = std::clamp(0.2 + 0.8 * x, 0.0, 1.0);
        }
        break;
    }
    }
    // A little vibrato from the driver and a timbre per siren.
    const double vibHz = rng.uniform(4, 9), vibDepth = rng.uniform(0.0, 0.006);
    for (std::size_t i = 0; i < n; ++i) f[i] *= 1 + vibDepth * std::sin(2 * kPi * vibHz * double(i) / rate);
    const bool squareLike = rng.chance(0.6);
    auto amps = harmonics(rng.integer(6, 14), rng.uniform(0.8, 1.6), squareLike ? rng.uniform(0.05, 0.3) : 1.0);
    Buffer out = harmonicTone(f, rate, amps, rng.uniform());
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(out[i] * amp[i]);
    if (kind == SirenKind::Mechanical) {
        // Air rushing through the rotor: noise whose level follows the tone.
        Buffer air = noise(rng, n);
        bandpass(air, rate, 1500, 0.5);
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(out[i] + 0.25 * air[i] * amp[i] * std::fabs(out[i]));
    }
    // The horn speaker: a broad resonance. (No saturation: a clipped sweep
    // would fold harmonics back below Nyquist at 16 kHz.)
    auto horn = Biquad::peaking(rate, rng.uniform(1200, 2500), 0.8, rng.uniform(0, 6));
    horn.process(out);
    fade(out, rate, 0.03, 0.05);
    normalisePeak(out, 0.9);
    return out;
}

Buffer smokeAlarm(Rng& rng, double rate, SmokeAlarmKind kind, int cycles) {
    const double beep = rng.uniform(0.45, 0.55), gap = rng.uniform(0.45, 0.55), pause = rng.uniform(1.4, 1.6);
    std::vector<Segment> segs;
    double t = 0;
    for (int c = 0; c < cycles; ++c) {
        for (int b = 0; b < 3; ++b) {
            segs.push_back({t, beep + rng.uniform(-0.01, 0.01)});
            t += beep + (b < 2 ? gap : 0.0);
        }
        if (c + 1 < cycles) t += pause;
    }
    const double total = t;
    Buffer out;
    if (kind == SmokeAlarmKind::Piezo) {
        const double hz = rng.uniform(2800, 3500);
        std::vector<double> f(samples(total, rate));
        // Piezo drive drifts a little with supply and temperature.
        const double wobHz = rng.uniform(5, 40), wob = rng.uniform(0.0, 0.004);
        for (std::size_t i = 0; i < f.size(); ++i) f[i] = hz * (1 + wob * std::sin(2 * kPi * wobHz * double(i) / rate));
        out = harmonicTone(f, rate, {1.0, rng.uniform(0.05, 0.3), rng.uniform(0.0, 0.1)}, rng.uniform());
    } else {
        const double hz = rng.uniform(510, 530);
        out = tone(rate, hz, harmonics(25, 1.0, 0.02), total, rng);
        lowpass(out, rate, rng.uniform(4000, 7000), 2);   // small speaker
    }
    multiply(out, gate(rate, segs, total, rng.uniform(0.003, 0.01)));
    normalisePeak(out, 0.9);
    return out;
}

Buffer lowBatteryChirp(Rng& rng, double rate) {
    const double len = rng.uniform(0.03, 0.1);
    Buffer out = tone(rate, rng.uniform(2800, 3500), {1.0, 0.15}, len, rng);
    multiply(out, gate(rate, {{0.0, len}}, len, 0.003));
    normalisePeak(out, 0.9);
    return out;
}

Buffer otherBeeps(Rng& rng, double rate, double durationS) {
    const int pattern = rng.integer(0, 6);
    std::vector<Segment> segs;
    double t = rng.uniform(0.0, 0.2);
    auto repeat = [&](const std::vector<double>& onOff, double periodPause) {
        while (t < durationS - 0.2) {
            for (std::size_t k = 0; k + 1 < onOff.size() + 1; k += 2) {
                segs.push_back({t, onOff[k]});
                t += onOff[k] + (k + 1 < onOff.size() ? onOff[k + 1] : 0.0);
            }
            t += periodPause;
        }
    };
    switch (pattern) {
    case 0: { const double b = rng.uniform(0.06, 0.12), g = rng.uniform(0.06, 0.1);       // alarm clock 4-beep
              repeat({b, g, b, g, b, g, b}, rng.uniform(0.4, 0.7)); break; }
    case 1: { const double b = rng.uniform(0.3, 0.6);                                       // steady beeping
              repeat({b}, rng.uniform(0.3, 0.7)); break; }
    case 2: { const double b = rng.uniform(0.08, 0.12);                                     // four beeps, long pause
              repeat({b, b, b, b, b, b, b}, rng.uniform(4.0, 5.0)); break; }
    case 3: { repeat({rng.uniform(0.8, 1.2)}, rng.uniform(0.8, 1.2)); break; }              // long beeps
    case 4: { const double b = rng.uniform(0.05, 0.1);                                      // watch double beep
              repeat({b, rng.uniform(0.05, 0.1), b}, rng.uniform(0.8, 1.8)); break; }
    case 5: { const double b = rng.uniform(0.45, 0.55);                                     // two beeps then a pause
              repeat({b, b, b}, rng.uniform(1.4, 1.6)); break; }
    default: { const double b = rng.uniform(0.15, 0.25);                                    // fast triple
              repeat({b, b * 0.5, b, b * 0.5, b}, rng.uniform(0.6, 1.0)); break; }
    }
    const double hz = rng.chance(0.6) ? rng.uniform(2000, 4000) : rng.uniform(800, 1800);
    const bool square = rng.chance(0.4);
    Buffer out = tone(rate, hz, square ? harmonics(9, 1.0, 0.02) : std::vector<double>{1.0, 0.1}, durationS, rng);
    multiply(out, gate(rate, segs, durationS, 0.004));
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer phoneRing(Rng& rng, double rate, double durationS) {
    const int kind = rng.integer(0, 3);
    std::vector<Segment> segs;
    double t = rng.uniform(0.0, 0.3);
    Buffer src;
    if (kind == 0 || kind == 1) {
        // Dual tones: two close frequencies, in a national ring cadence.
        const double f1 = kind == 0 ? rng.uniform(420, 450) : rng.uniform(390, 410);
        const double f2 = kind == 0 ? f1 + rng.uniform(35, 45) : f1 + rng.uniform(45, 55);
        while (t < durationS - 0.3) {
            if (kind == 0) { segs.push_back({t, 2.0}); t += 6.0; }
            else { segs.push_back({t, 0.4}); segs.push_back({t + 0.6, 0.4}); t += 3.0; }
        }
        Buffer a = tone(rate, f1, {1.0, 0.05}, durationS, rng), b = tone(rate, f2, {1.0, 0.05}, durationS, rng);
        src.resize(a.size());
        for (std::size_t i = 0; i < a.size(); ++i) src[i] = 0.5f * (a[i] + b[i]);
    } else {
        const double on = rng.uniform(0.8, 2.0), off = rng.uniform(1.5, 4.0);
        while (t < durationS - 0.3) { segs.push_back({t, on}); t += on + off; }
        const double trill = rng.uniform(15, 25);
        const std::size_t n = samples(durationS, rate);
        if (kind == 2) {
            // Electronic trill: two tones alternating at the trill rate.
            const double f1 = rng.uniform(800, 1400), f2 = f1 * rng.uniform(1.15, 1.35);
            std::vector<double> f(n);
            for (std::size_t i = 0; i < n; ++i) f[i] = std::fmod(double(i) / rate * trill, 1.0) < 0.5 ? f1 : f2;
            src = harmonicTone(f, rate, harmonics(7, 1.0, 0.1), rng.uniform());
        } else {
            // Bell struck by a clapper at the trill rate.
            const double f0 = rng.uniform(900, 1800);
            src.assign(n, 0.0f);
            Rng strikes = rng.fork(7);
            for (double s = 0; s < durationS; s += 1.0 / trill) {
                auto strike = modes(strikes, rate, {{f0, 1.0, 0.3}, {f0 * 2.0, 0.5, 0.2}, {f0 * 2.76, 0.4, 0.15}, {f0 * 3.6, 0.2, 0.1}}, 0.4);
                mixInto(src, strike, samples(s, rate), 0.3);
            }
        }
    }
    multiply(src, gate(rate, segs, durationS, 0.01));
    normalisePeak(src, 0.9);
    return trimSilence(src, rate);
}

Buffer carHorn(Rng& rng, double rate, double durationS) {
    const int honks = rng.integer(1, 3);
    const bool twoTone = rng.chance(0.7);
    const double f1 = rng.chance(0.2) ? rng.uniform(250, 340) : rng.uniform(350, 480);
    const double f2 = f1 * rng.uniform(1.2, 1.3);
    std::vector<Segment> segs;
    double t = 0;
    for (int h = 0; h < honks && t < durationS; ++h) {
        const double len = rng.uniform(0.15, 1.2);
        segs.push_back({t, len});
        t += len + rng.uniform(0.1, 0.4);
    }
    const double total = std::min(durationS, t);
    auto amps = harmonics(24, rng.uniform(0.6, 1.1), 0.8);
    Buffer out = tone(rate, f1, amps, total, rng);
    if (twoTone) { Buffer b = tone(rate, f2, amps, total, rng); mixInto(out, b, 0, 0.8); }
    softClip(out, 1.5);
    multiply(out, gate(rate, segs, total, 0.015));
    normalisePeak(out, 0.9);
    return out;
}

Buffer whistleHuman(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    std::vector<double> f(n, 0.0);
    Buffer amp(n, 0.0f);
    if (rng.chance(0.25)) {
        // Wolf whistle: a fast rising glide, a short gap, a long falling one.
        const double lo = rng.uniform(900, 1300), hi = rng.uniform(2000, 2800);
        const double up = rng.uniform(0.2, 0.35), gap = rng.uniform(0.05, 0.15), down = rng.uniform(0.5, 0.9);
        for (std::size_t i = 0; i < n; ++i) {
            const double t = double(i) / rate;
            if (t < up) { f[i] = lo + (hi - lo) * smoothStep(t / up); amp[i] = 1; }
            else if (t > up + gap && t < up + gap + down) {
                const double x = (t - up - gap) / down;
                f[i] = hi * 0.9 - (hi * 0.9 - lo * 0.8) * x; amp[i] = static_cast<float>(1 - 0.5 * x);
            }
        }
    } else {
        // A melody on a pentatonic scale with glides and vibrato.
        static const int steps[] = {0, 2, 4, 7, 9, 12, 14};
        const double base = rng.uniform(900, 1600);
        double t = 0, prev = base;
        while (t < durationS - 0.2) {
            const int notes = rng.integer(3, 8);
            for (int k = 0; k < notes && t < durationS; ++k) {
                const double hz = base * std::pow(2.0, steps[rng.integer(0, 6)] / 12.0);
                const double len = rng.uniform(0.12, 0.5), glide = rng.uniform(0.02, 0.06);
                for (std::size_t i = samples(t, rate); i < samples(t + len, rate) && i < n; ++i) {
                    const double u = double(i) / rate - t;
                    f[i] = u < glide ? prev + (hz - prev) * smoothStep(u / glide) : hz;
                    amp[i] = 1;
                }
                prev = hz;
                t += len;
            }
            t += rng.uniform(0.2, 0.6);   // breath
        }
    }
    smoothTrack(amp, rate, 0.015);
    const double vib = rng.uniform(4.5, 6.5), depth = rng.uniform(0.005, 0.02);
    // Silent stretches keep the last pitch (first pass), then vibrato (second).
    for (std::size_t i = 0; i < n; ++i)
        if (f[i] <= 0) f[i] = i > 0 ? f[i - 1] : 1000.0;
    for (std::size_t i = 0; i < n; ++i) f[i] *= 1 + depth * std::sin(2 * kPi * vib * double(i) / rate);
    Buffer out = harmonicTone(f, rate, {1.0, 0.04}, rng.uniform());
    Buffer breath = noise(rng, n);
    bandpass(breath, rate, 2000, 1.0);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>((out[i] + 0.08 * breath[i]) * amp[i]);
    normalisePeak(out, 0.9);
    return trimSilence(out, rate);
}

Buffer whistleReferee(Rng& rng, double rate, double durationS) {
    const double hz = rng.uniform(2100, 3800), trill = rng.uniform(25, 45), depth = rng.uniform(0.4, 0.9);
    std::vector<Segment> segs;
    double t = 0;
    const int blasts = rng.integer(1, 3);
    for (int b = 0; b < blasts && t < durationS; ++b) {
        const double len = b == blasts - 1 ? rng.uniform(0.5, 1.5) : rng.uniform(0.15, 0.35);
        segs.push_back({t, len});
        t += len + rng.uniform(0.1, 0.3);
    }
    const double total = std::min(durationS, t);
    const std::size_t n = samples(total, rate);
    std::vector<double> f(n);
    for (std::size_t i = 0; i < n; ++i) f[i] = hz * (1 + 0.02 * std::sin(2 * kPi * trill * double(i) / rate));
    Buffer out = harmonicTone(f, rate, {1.0, rng.uniform(0.05, 0.25), 0.05}, rng.uniform());
    Buffer hiss = noise(rng, n);
    bandpass(hiss, rate, hz, 2.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double am = 1 - depth * 0.5 * (1 + std::sin(2 * kPi * trill * double(i) / rate));
        out[i] = static_cast<float>((out[i] + 0.3 * hiss[i]) * am);
    }
    multiply(out, gate(rate, segs, total, 0.01));
    normalisePeak(out, 0.9);
    return out;
}

} // namespace zv::synth
