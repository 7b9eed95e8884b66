// Impulsive sounds: gunshots and breaking glass, and the bangs, knocks and
// metallic rings that must not be taken for them.
#include "SynthKit.h"

#include <algorithm>

namespace zv::synth {

using namespace kit;

namespace {

// Friedlander blast wave: an instant positive peak decaying through a
// negative phase; T the positive-phase length.
Buffer friedlander(double rate, double T, double lengthS) {
    Buffer b(samples(lengthS, rate));
    for (std::size_t i = 0; i < b.size(); ++i) {
        const double t = double(i) / rate;
        b[i] = static_cast<float>((1 - t / T) * std::exp(-1.5 * t / T));
    }
    return b;
}

// Repeats `one` (a fresh variant per call) at the given onsets.
template <class F> Buffer series(double rate, const std::vector<double>& onsets, F one) {
    std::vector<Buffer> parts;
    double end = 0;
    for (double o : onsets) {
        parts.push_back(one());
        end = std::max(end, o + double(parts.back().size()) / rate);
    }
    Buffer out(samples(end, rate) + 1, 0.0f);
    for (std::size_t i = 0; i < onsets.size(); ++i) mixInto(out, parts[i], samples(onsets[i], rate));
    return out;
}

std::vector<double> regularOnsets(Rng& rng, double durationS, double lo, double hi, double start = 0.0) {
    std::vector<double> on;
    for (double t = start; t < durationS; t += rng.uniform(lo, hi)) on.push_back(t);
    return on;
}

Buffer finish(Buffer b, double rate) {
    normalisePeak(b, 0.9);
    return trimSilence(b, rate);
}

// Large bores: a sharp crack (and for the heavy machine gun's supersonic
// rounds an N-wave ahead of it), then a long, heavy muzzle blast whose energy
// lies mostly below 500 Hz and which rolls on for 0.3-1 s; usually in a room
// or against buildings. Drawn from its own stream of the generator, so the
// pistols' and rifles' clips keep their bytes.
Buffer heavyGunShot(Rng& rng, double rate, GunKind kind, int shots) {
    const bool slow = kind == GunKind::SlowHeavyMachineGun;
    const bool mg = kind == GunKind::HeavyMachineGun || slow;
    if (!mg) shots = rng.chance(0.3) ? 2 : 1;
    const double brightness = rng.uniform(4500, 9000);
    const double boomTop = rng.uniform(250, 500);            // the blast's upper edge
    const double boomTau = mg ? rng.uniform(0.08, 0.2) : rng.uniform(0.12, 0.35);
    const double boomLen = mg ? rng.uniform(0.3, 0.6) : rng.uniform(0.3, 1.0);
    const double boomGain = rng.uniform(1.5, 3.5);           // over the crack's peak
    // The blast excites the ground and walls nearby: a damped low resonance, often.
    const bool resonance = rng.chance(0.5);
    const double resonanceHz = rng.uniform(45, 120);
    auto one = [&]() {
        Buffer shot(samples(boomLen + 0.05, rate), 0.0f);
        double at = 0;
        if (mg) {
            const std::size_t n = std::max<std::size_t>(2, samples(rng.uniform(0.0006, 0.0015), rate));
            for (std::size_t i = 0; i < n; ++i) shot[i] = static_cast<float>(0.8 * (1.0 - 2.0 * double(i) / double(n - 1)));
            at = rng.uniform(0.005, 0.03);
        }
        const double len = boomLen + 0.05 - at;
        Buffer body = friedlander(rate, rng.uniform(0.0008, 0.002), 0.03);
        Buffer hiss = thump(rng, rate, 1500, brightness, rng.uniform(0.004, 0.012), 0.1);
        mixInto(body, hiss, 0, 0.6);
        Buffer boom = brownNoiseN(rng, samples(len, rate));
        lowpass(boom, rate, boomTop, 4);
        highpass(boom, rate, 30, 2);
        multiply(boom, expEnvelope(rate, rng.uniform(0.002, 0.008), boomTau, len));
        if (resonance) {
            Buffer ring = modes(rng, rate, {{resonanceHz * rng.uniform(0.95, 1.05), 1.0, boomTau * rng.uniform(0.5, 1.0)}}, len);
            normalisePeak(ring, 1.0);
            normalisePeak(boom, 1.0);
            mixInto(boom, ring, 0, rng.uniform(0.3, 0.8));
        }
        normalisePeak(boom, boomGain);
        body.resize(std::max(body.size(), boom.size()), 0.0f);
        mixInto(body, boom, 0);
        mixInto(shot, body, samples(at, rate));
        return shot;
    };
    std::vector<double> onsets{0.0};
    for (int s = 1; s < shots; ++s) onsets.push_back(onsets.back() + (slow ? rng.uniform(0.13, 0.17) : mg ? rng.uniform(0.085, 0.13) : rng.uniform(0.25, 0.8)));
    Buffer out = series(rate, onsets, one);
    if (!mg && rng.chance(0.4)) {
        // A pump worked after the shot: two thin mechanical clacks.
        const double t = double(out.size()) / rate * rng.uniform(0.5, 0.9) + rng.uniform(0.1, 0.4);
        out.resize(std::max(out.size(), samples(t + 0.3, rate)), 0.0f);
        for (double d : {0.0, rng.uniform(0.1, 0.2)}) {
            Buffer clack = thump(rng, rate, 1200, 7000, 0.004, 0.03);
            mixInto(out, clack, samples(t + d, rate), rng.uniform(0.05, 0.15));
        }
    }
    if (rng.chance(0.6)) {
        Buffer late = out;
        lowpass(late, rate, 2000, 2);
        const double delay = rng.uniform(0.05, 0.35);
        out.resize(out.size() + samples(delay, rate), 0.0f);
        mixInto(out, late, samples(delay, rate), dbToGain(rng.uniform(-16, -6)));
    }
    if (rng.chance(0.7)) out = reverberate(rng, out, rate, rng.uniform(0.5, 1.5), rng.uniform(-14, -6));
    if (rng.chance(0.5)) {
        normalisePeak(out, 1.0);
        const double ceiling = dbToGain(-rng.uniform(3.0, 12.0));
        for (auto& v : out) v = static_cast<float>(std::clamp<double>(v, -ceiling, ceiling));
    }
    return finish(std::move(out), rate);
}

} // namespace

Buffer gunShot(Rng& rng, double rate, GunKind kind, int shots) {
    if (kind == GunKind::Shotgun || kind == GunKind::HeavyMachineGun || kind == GunKind::SlowHeavyMachineGun) return heavyGunShot(rng, rate, kind, shots);
    const bool rifle = kind == GunKind::Rifle;
    const bool automatic = rifle && shots > 2 && rng.chance(0.5);
    // Echo off a building or the far side of a range, the same for every shot.
    const bool echo = rng.chance(0.6);
    const double echoDelay = rng.uniform(0.05, 0.35), echoGain = dbToGain(rng.uniform(-18, -8));
    const double blastTau = rifle ? rng.uniform(0.02, 0.05) : rng.uniform(0.008, 0.025);
    // Muzzle blasts are broadband: the noise body reaches far up the spectrum.
    const double brightness = rng.uniform(4500, 9000);
    auto one = [&]() {
        const double len = 0.45;
        Buffer shot(samples(len, rate), 0.0f);
        double at = 0;
        if (rifle) {
            // Supersonic crack: a short N-wave, the muzzle blast a little later.
            const std::size_t n = std::max<std::size_t>(2, samples(rng.uniform(0.0004, 0.001), rate));
            for (std::size_t i = 0; i < n; ++i) shot[i] = static_cast<float>(0.8 * (1.0 - 2.0 * double(i) / double(n - 1)));
            at = rng.uniform(0.004, 0.04);
        }
        Buffer blast = friedlander(rate, rng.uniform(0.001, 0.003), 0.05);
        Buffer body = thump(rng, rate, 0, brightness, blastTau, len - at);
        Buffer boom = thump(rng, rate, 60, 400, blastTau * 2.0, len - at);
        mixInto(body, blast, 0, 0.8);
        mixInto(body, boom, 0, 0.8);
        mixInto(shot, body, samples(at, rate));
        return shot;
    };
    std::vector<double> onsets{0.0};
    for (int s = 1; s < shots; ++s)
        onsets.push_back(onsets.back() + (automatic ? rng.uniform(0.06, 0.12) : rng.uniform(0.15, 0.7)));
    Buffer out = series(rate, onsets, one);
    if (echo) {
        Buffer late = out;
        lowpass(late, rate, 2500, 2);
        out.resize(out.size() + samples(echoDelay, rate), 0.0f);
        mixInto(out, late, samples(echoDelay, rate), echoGain);
    }
    if (rng.chance(0.5)) {
        // Outdoors the blast rolls on: a long, dark, diffuse tail off the surroundings.
        out = reverberate(rng, out, rate, rng.uniform(0.6, 1.5), rng.uniform(-16, -8));
    }
    if (rng.chance(0.4)) {
        // Most recorded shots overload the microphone: the blast is clipped flat.
        normalisePeak(out, 1.0);
        const double ceiling = dbToGain(-rng.uniform(3.0, 12.0));
        for (auto& v : out) v = static_cast<float>(std::clamp<double>(v, -ceiling, ceiling));
    }
    return finish(std::move(out), rate);
}

Buffer glassBreak(Rng& rng, double rate) {
    const double dur = rng.uniform(0.3, 2.0);
    const int kind = rng.integer(0, 2);   // 0 window pane, 1 bottle, 2 glass dropped on a hard floor
    Buffer out(samples(dur + 0.1, rate), 0.0f);
    // Impact: a broadband click, with a thud for a pane or a floor.
    Buffer click = thump(rng, rate, 500, rate, rng.uniform(0.002, 0.006), 0.05);
    mixInto(out, click, 0, 1.0);
    if (kind != 1) { Buffer thud = thump(rng, rate, 60, 500, 0.02, 0.1); mixInto(out, thud, 0, 0.6); }
    // The crash: dense high-passed noise right after the impact.
    Buffer crash = thump(rng, rate, 3000, rate, rng.uniform(0.04, 0.15), dur * 0.6);
    mixInto(out, crash, samples(0.002, rate), 0.5);
    // Shards: a Poisson stream of tiny ringing pieces, thinning out.
    const double start = rng.uniform(0.005, 0.08);
    const double density = kind == 1 ? rng.uniform(100, 300) : rng.uniform(200, 700);
    const double tau = dur * rng.uniform(0.25, 0.5);
    for (double t = start; t < dur;) {
        const double lambda = density * std::exp(-(t - start) / tau) + 8.0;
        t += -std::log(std::max(rng.uniform(), 1e-9)) / lambda;
        if (t >= dur) break;
        std::vector<Mode> m;
        const int partials = rng.integer(2, 4);
        for (int p = 0; p < partials; ++p)
            m.push_back({rng.uniform(2500, std::min(15000.0, 0.45 * rate)), rng.uniform(0.3, 1.0), rng.uniform(0.004, 0.04)});
        Buffer shard = modes(rng, rate, m, 0.12);
        Buffer tick = thump(rng, rate, 2000, rate, 0.0005, 0.004);
        mixInto(shard, tick, 0, 0.7);
        const double level = std::exp(-(t - start) / (tau * 2)) * std::pow(rng.uniform(), 1.5) * 0.6;
        mixInto(out, shard, samples(t, rate), level);
    }
    highpass(out, rate, 150, 2);
    return finish(std::move(out), rate);
}

namespace {

// A Poisson stream of small pieces from `from` to `to`: `rate0` a second at
// first, thinning with time constant `tau` (to `floorRate`); each piece is
// made by `one(level)` and placed at its time, its level falling with time.
template <class F>
void scatter(Rng& rng, Buffer& out, double rate, double from, double to, double rate0, double tau, double floorRate,
             double levelTau, F one) {
    for (double t = from; t < to;) {
        const double lambda = rate0 * std::exp(-(t - from) / tau) + floorRate;
        t += -std::log(std::max(rng.uniform(), 1e-9)) / lambda;
        if (t >= to) break;
        const double level = std::exp(-(t - from) / levelTau);
        Buffer piece = one(level);
        mixInto(out, piece, samples(t, rate));
    }
}

// A bottle: 3-5 mm of curved glass, stiff as a shell. The blow is duller and
// lower than on a pane (its click stops at 2-5 kHz) and sets the bottle's
// body ringing for an instant (a hollow bonk of 300-900 Hz with an overtone);
// it breaks into few, large pieces that ring lower (1.5-7 kHz) and longer, and
// the whole is over within 0.2-0.8 s.
Buffer bottleBreak(Rng& rng, double rate) {
    const double dur = rng.uniform(0.2, 0.8);
    Buffer out(samples(dur + 0.15, rate), 0.0f);
    Buffer click = thump(rng, rate, 200, underNyquist(rng.uniform(2000, 5000), rate), rng.uniform(0.004, 0.012), 0.08);
    mixInto(out, click, 0, 1.0);
    const double f = rng.uniform(300, 900);
    Buffer bonk = modes(rng, rate, {{f, 1.0, rng.uniform(0.01, 0.04)}, {f * rng.uniform(2.2, 2.9), 0.5, 0.015}}, 0.15);
    mixInto(out, bonk, 0, rng.uniform(0.4, 0.9));
    Buffer crash = thump(rng, rate, 1500, underNyquist(9000, rate), rng.uniform(0.02, 0.06), dur * 0.5);
    mixInto(out, crash, samples(0.002, rate), 0.35);
    const double tau = dur * rng.uniform(0.2, 0.4);
    scatter(rng, out, rate, rng.uniform(0.005, 0.04), dur, rng.uniform(30, 120), tau, 4.0, tau * 2, [&](double level) {
        std::vector<Mode> m;
        const int partials = rng.integer(2, 3);
        for (int p = 0; p < partials; ++p)
            m.push_back({std::exp(rng.uniform(std::log(1500.0), std::log(7000.0))), rng.uniform(0.4, 1.0),
                         rng.uniform(0.01, 0.08)});
        Buffer piece = modes(rng, rate, m, 0.25);
        Buffer tick = thump(rng, rate, 1000, underNyquist(8000, rate), 0.001, 0.006);
        mixInto(piece, tick, 0, 0.8);
        scale(piece, level * rng.uniform(0.2, 0.9));
        return piece;
    });
    highpass(out, rate, 100, 2);
    return out;
}

// A drinking glass dropped on a hard floor: a sharp click where the rim or
// base lands, a faint floor thud and, for an instant, the ring of the intact
// cup (its first modes at 1.2-3.5 kHz, about 1 : 2.3 : 4) cut short as it
// breaks; then thin shards spray out and land again in one to three smaller
// clusters 80-400 ms apart, ringing high (3-15 kHz) and short.
Buffer tumblerBreak(Rng& rng, double rate) {
    const double dur = rng.uniform(0.5, 1.5);
    Buffer out(samples(dur + 0.15, rate), 0.0f);
    Buffer click = thump(rng, rate, 800, rate, rng.uniform(0.001, 0.003), 0.04);
    mixInto(out, click, 0, 1.0);
    Buffer thud = thump(rng, rate, 60, 400, 0.015, 0.08);
    mixInto(out, thud, 0, rng.uniform(0.2, 0.5));
    const double f = rng.uniform(1200, 3500);
    Buffer ring = modes(rng, rate,
                        {{f, 1.0, rng.uniform(0.01, 0.03)},
                         {f * rng.uniform(2.2, 2.5), 0.6, 0.01},
                         {f * rng.uniform(3.8, 4.4), 0.4, 0.008}},
                        0.1);
    mixInto(out, ring, 0, rng.uniform(0.4, 0.8));
    Buffer crash = thump(rng, rate, 3000, rate, rng.uniform(0.03, 0.1), dur * 0.5);
    mixInto(out, crash, samples(0.002, rate), 0.4);
    double at = rng.uniform(0.003, 0.02), gain = 1.0;
    const int landings = rng.integer(1, 3);
    for (int c = 0; c <= landings && at < dur; ++c) {
        const double tau = rng.uniform(0.04, 0.15);
        scatter(rng, out, rate, at, std::min(dur, at + 4 * tau), rng.uniform(200, 600) * gain, tau, 0.0, tau * 1.5,
                [&](double level) {
                    std::vector<Mode> m;
                    const int partials = rng.integer(2, 4);
                    for (int p = 0; p < partials; ++p)
                        m.push_back({rng.uniform(3000, std::min(15000.0, 0.45 * rate)), rng.uniform(0.3, 1.0),
                                     rng.uniform(0.003, 0.03)});
                    Buffer piece = modes(rng, rate, m, 0.1);
                    Buffer tick = thump(rng, rate, 2000, rate, 0.0005, 0.004);
                    mixInto(piece, tick, 0, 0.7);
                    scale(piece, gain * level * std::pow(rng.uniform(), 1.5) * 0.6);
                    return piece;
                });
        at += rng.uniform(0.08, 0.4);
        gain *= rng.uniform(0.3, 0.6);
    }
    highpass(out, rate, 150, 2);
    return out;
}

// Thick glass giving way: a glass block or a car's side window struck hard
// with a tool or a stone. The blow dominates: a heavy thud of 40-500 Hz over
// 30-100 ms with the slab's low mode (80-250 Hz), several times the level of
// what follows, and a broadband crack. Then the glass crumbles (tempered
// glass into thousands of small cubes, a block into grit): a dense, fine rain
// of faint grains (800-3000 a second at first) above 1.5-4 kHz, thinning
// over 0.5-1.5 s, with a few larger lumps ringing at 2-6 kHz among them.
Buffer thickBreak(Rng& rng, double rate) {
    const double dur = rng.uniform(0.5, 1.5);
    Buffer out(samples(dur + 0.15, rate), 0.0f);
    Buffer thud = thump(rng, rate, 40, rng.uniform(300, 600), rng.uniform(0.03, 0.1), 0.4);
    const double f = rng.uniform(80, 250);
    Buffer slab = modes(rng, rate, {{f, 1.0, rng.uniform(0.05, 0.12)}, {f * rng.uniform(1.5, 2.7), 0.5, 0.04}}, 0.4);
    mixInto(thud, slab, 0, rng.uniform(0.5, 1.0));
    mixInto(out, thud, 0, rng.uniform(1.5, 3.0));
    Buffer crack = thump(rng, rate, 300, rate, rng.uniform(0.003, 0.01), 0.05);
    mixInto(out, crack, 0, 0.8);
    const double start = rng.uniform(0.01, 0.06), tau = dur * rng.uniform(0.3, 0.6);
    const double grainLevel = rng.uniform(0.05, 0.15);
    scatter(rng, out, rate, start, dur, rng.uniform(800, 3000), tau, 20.0, tau * 1.5, [&](double level) {
        Buffer grain = thump(rng, rate, rng.uniform(1500, 4000), rate, rng.uniform(0.0003, 0.001), 0.004);
        scale(grain, level * grainLevel * rng.uniform(0.3, 1.0));
        return grain;
    });
    scatter(rng, out, rate, start, dur, rng.uniform(20, 60), tau, 2.0, tau * 1.5, [&](double level) {
        const double g = rng.uniform(2000, std::min(6000.0, 0.45 * rate));
        Buffer lump = modes(rng, rate, {{g, 1.0, rng.uniform(0.005, 0.03)}, {g * rng.uniform(1.3, 2.1), 0.5, 0.01}}, 0.08);
        scale(lump, level * rng.uniform(0.1, 0.4));
        return lump;
    });
    highpass(out, rate, 40, 2);
    return out;
}

} // namespace

Buffer glassBreak(Rng& rng, double rate, GlassKind kind) {
    switch (kind) {
    case GlassKind::Bottle: return finish(bottleBreak(rng, rate), rate);
    case GlassKind::Tumbler: return finish(tumblerBreak(rng, rate), rate);
    case GlassKind::Thick: break;
    }
    return finish(thickBreak(rng, rate), rate);
}

Buffer doorSlam(Rng& rng, double rate) {
    const double f = rng.uniform(50, 140);
    Buffer out = modes(rng, rate, {{f, 1.0, rng.uniform(0.05, 0.15)}, {f * 1.6, 0.6, 0.06}, {f * 2.7, 0.3, 0.04}}, 0.6);
    Buffer slap = thump(rng, rate, 100, rng.uniform(1500, 4000), rng.uniform(0.005, 0.02), 0.2);
    mixInto(out, slap, 0, rng.uniform(0.5, 1.2));
    Buffer rattle = modes(rng, rate, {{rng.uniform(300, 700), 0.3, 0.03}, {rng.uniform(800, 1500), 0.2, 0.02}}, 0.2);
    mixInto(out, rattle, samples(rng.uniform(0.01, 0.04), rate), 1.0);
    // Soften the attack a little: a door closes over a few ms.
    auto env = expEnvelope(rate, rng.uniform(0.001, 0.005), 10.0, 0.6);
    multiply(out, env);
    return finish(std::move(out), rate);
}

Buffer doorLatch(Rng& rng, double rate) {
    // A bolt or a lock: a crisp metallic click, thin and dry, often twice
    // (the handle let go, then the bolt snapping into the strike plate).
    auto click = [&]() {
        Buffer c = thump(rng, rate, rng.uniform(800, 2500), rate, rng.uniform(0.001, 0.004), 0.04);
        const double f = rng.uniform(2000, 6000);
        Buffer ring = modes(rng, rate, {{f, 0.5, rng.uniform(0.005, 0.02)}, {f * rng.uniform(1.4, 2.2), 0.3, 0.008}}, 0.05);
        mixInto(c, ring, 0, rng.uniform(0.3, 1.0));
        Buffer knock = thump(rng, rate, 150, 1200, 0.006, 0.03);
        mixInto(c, knock, 0, rng.uniform(0.1, 0.5));
        return c;
    };
    std::vector<double> on{0.0};
    if (rng.chance(0.7)) on.push_back(rng.uniform(0.05, 0.4));
    if (rng.chance(0.3)) on.push_back(on.back() + rng.uniform(0.1, 0.6));
    return finish(series(rate, on, click), rate);
}

Buffer cameraShutter(Rng& rng, double rate) {
    // Mirror and curtain: two crisp clicks 30..150 ms apart per frame, a
    // short burst of frames at times; nothing below a few hundred Hz.
    auto click = [&]() {
        Buffer c = thump(rng, rate, rng.uniform(500, 1500), rate, rng.uniform(0.0008, 0.003), 0.03);
        Buffer ring = modes(rng, rate, {{rng.uniform(1500, 5000), 0.4, rng.uniform(0.003, 0.012)}}, 0.03);
        mixInto(c, ring, 0, 1.0);
        scale(c, rng.uniform(0.6, 1.0));
        return c;
    };
    std::vector<double> on;
    const int frames = rng.chance(0.3) ? rng.integer(2, 5) : 1;
    for (int i = 0; i < frames; ++i) {
        const double t = i * rng.uniform(0.2, 0.35);
        on.push_back(t);
        on.push_back(t + rng.uniform(0.03, 0.15));
    }
    return finish(series(rate, on, click), rate);
}

Buffer snareDrum(Rng& rng, double rate, double durationS) {
    // A drummer's groove: the snare's tuned head (150..260 Hz) under the
    // wires' rattle (noise 1..10 kHz for 60..200 ms), on the backbeat with
    // ghost notes, a kick on the beats at times.
    const double head = rng.uniform(150, 260), wires = rng.uniform(0.06, 0.2);
    const double beat = 60.0 / rng.uniform(80, 160);
    const bool kick = rng.chance(0.5);
    auto hit = [&](double level) {
        Buffer s = modes(rng, rate, {{head, 1.0, rng.uniform(0.04, 0.1)}, {head * 1.6, 0.5, 0.04}, {head * 2.3, 0.3, 0.03}}, 0.4);
        Buffer rattle = thump(rng, rate, rng.uniform(800, 2000), rng.uniform(6000, 10000), wires, 0.4);
        mixInto(s, rattle, 0, rng.uniform(0.6, 1.5));
        Buffer stick = thump(rng, rate, 1000, rate, 0.001, 0.01);
        mixInto(s, stick, 0, 0.5);
        scale(s, level);
        return s;
    };
    const double length = std::min(durationS, rng.uniform(2.0, 6.0));
    Buffer out(samples(length + 0.5, rate), 0.0f);
    for (double t = 0; t < length; t += beat) {
        const int step = static_cast<int>(std::lround(t / beat)) % 2;
        if (step == 1) mixInto(out, hit(rng.uniform(0.7, 1.0)), samples(t, rate));
        else if (kick) {
            const double f = rng.uniform(50, 80);
            Buffer k = modes(rng, rate, {{f, 1.0, rng.uniform(0.08, 0.2)}, {f * 1.5, 0.3, 0.05}}, 0.4);
            Buffer beater = thump(rng, rate, 200, 3000, 0.004, 0.02);
            mixInto(k, beater, 0, 0.4);
            mixInto(out, k, samples(t, rate), rng.uniform(0.6, 1.0));
        }
        if (rng.chance(0.3)) mixInto(out, hit(rng.uniform(0.15, 0.35)), samples(t + beat * 0.5, rate));
    }
    return finish(std::move(out), rate);
}

Buffer footsteps(Rng& rng, double rate, double durationS) {
    const bool hard = rng.chance(0.5);   // heels on tiles, or soft soles
    const double lp = rng.uniform(400, 1200);
    auto step = [&]() {
        Buffer s = thump(rng, rate, 50, lp, rng.uniform(0.015, 0.04), 0.15);
        Buffer toe = thump(rng, rate, 80, lp, 0.01, 0.08);
        mixInto(s, toe, samples(rng.uniform(0.02, 0.05), rate), 0.5);
        if (hard) { Buffer c = modes(rng, rate, {{rng.uniform(1500, 3000), 0.3, 0.01}}, 0.05); mixInto(s, c, 0, 1.0); }
        scale(s, rng.uniform(0.6, 1.0));
        return s;
    };
    return finish(series(rate, regularOnsets(rng, durationS - 0.2, 0.45, 0.7), step), rate);
}

Buffer handClaps(Rng& rng, double rate, double durationS) {
    const bool applause = rng.chance(0.4);
    auto clap = [&]() {
        Buffer c = thump(rng, rate, 0, rate, rng.uniform(0.005, 0.015), 0.08);
        bandpass(c, rate, rng.uniform(900, 2500), rng.uniform(0.8, 2.0));
        scale(c, rng.uniform(0.5, 1.0));
        return c;
    };
    std::vector<double> on;
    if (applause) {
        for (double t = 0; t < durationS - 0.1; t += -std::log(std::max(rng.uniform(), 1e-9)) / rng.uniform(20, 60)) on.push_back(t);
    } else {
        on = regularOnsets(rng, durationS - 0.1, 0.25, 0.6);
    }
    return finish(series(rate, on, clap), rate);
}

Buffer hammerBlows(Rng& rng, double rate, double durationS) {
    const double ring = rng.uniform(2000, 5000);
    auto blow = [&]() {
        Buffer b = thump(rng, rate, 100, rng.uniform(800, 2000), 0.02, 0.3);
        Buffer m = modes(rng, rate, {{ring, 0.6, rng.uniform(0.03, 0.1)}, {ring * 1.5, 0.3, 0.05}, {ring * 0.7, 0.3, 0.08}}, 0.3);
        mixInto(b, m, 0, rng.uniform(0.3, 1.0));
        return b;
    };
    return finish(series(rate, regularOnsets(rng, std::min(durationS, rng.uniform(2.0, 6.0)), 0.4, 1.0), blow), rate);
}

Buffer balloonPop(Rng& rng, double rate) {
    Buffer out = thump(rng, rate, 80, rate, rng.uniform(0.002, 0.008), 0.15);
    Buffer low = modes(rng, rate, {{rng.uniform(150, 400), 0.3, 0.02}}, 0.1);
    mixInto(out, low, 0, 1.0);
    return finish(std::move(out), rate);
}

Buffer distantFireworks(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out(n, 0.0f);
    for (double t = rng.uniform(0.0, 0.5); t < durationS - 1.0; t += rng.uniform(0.8, 3.0)) {
        // Far away: the air takes the highs, the attack is smeared.
        Buffer boom = thump(rng, rate, 30, rng.uniform(150, 400), rng.uniform(0.15, 0.5), 1.5);
        multiply(boom, expEnvelope(rate, rng.uniform(0.01, 0.03), 100.0, 1.5));
        mixInto(out, boom, samples(t, rate), 1.0);
        if (rng.chance(0.5)) {
            for (double c = t + rng.uniform(0.3, 0.8), e = c + rng.uniform(0.5, 1.5); c < e; c += rng.uniform(0.005, 0.05)) {
                Buffer k = thump(rng, rate, 300, 2000, 0.003, 0.02);
                mixInto(out, k, samples(c, rate), 0.1 * rng.uniform());
            }
        }
    }
    out = reverberate(rng, out, rate, rng.uniform(1.0, 2.5), -3);
    out.resize(n);
    return finish(std::move(out), rate);
}

Buffer thunder(Rng& rng, double rate, double durationS) {
    const std::size_t n = samples(durationS, rate);
    Buffer out = brownNoiseN(rng, n);
    lowpass(out, rate, rng.uniform(120, 300), 4);
    // Rolling: several swells of different size.
    std::vector<double> env(n, 0.0);
    const int rolls = rng.integer(2, 6);
    for (int r = 0; r < rolls; ++r) {
        const double c = rng.uniform(0.2, durationS * 0.8), w = rng.uniform(0.2, 1.5), h = rng.uniform(0.3, 1.0);
        for (std::size_t i = 0; i < n; ++i) {
            const double d = double(i) / rate - c;
            env[i] += h * (d < 0 ? std::exp(-d * d / 0.01) : std::exp(-d / w));
        }
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(out[i] * env[i]);
    if (rng.chance(0.4)) {   // a near strike cracks first
        Buffer crack = thump(rng, rate, 100, 1500, 0.1, 0.8);
        mixInto(out, crack, 0, peak(out) * 0.8);
    }
    return finish(std::move(out), rate);
}

Buffer heavyDrop(Rng& rng, double rate) {
    auto hit = [&]() {
        const double f = rng.uniform(40, 150);
        Buffer b = modes(rng, rate, {{f, 1.0, rng.uniform(0.04, 0.12)}, {f * 2.3, 0.4, 0.05}}, 0.5);
        Buffer c = thump(rng, rate, 80, rng.uniform(1000, 4000), 0.01, 0.1);
        mixInto(b, c, 0, 0.7);
        return b;
    };
    std::vector<double> on{0.0};
    if (rng.chance(0.6)) on.push_back(rng.uniform(0.08, 0.25));
    Buffer out = series(rate, on, hit);
    return finish(std::move(out), rate);
}

Buffer knocks(Rng& rng, double rate) {
    const double f = rng.uniform(150, 600);
    auto knock = [&]() {
        Buffer k = modes(rng, rate, {{f, 1.0, rng.uniform(0.015, 0.04)}, {f * 2.4, 0.5, 0.015}}, 0.15);
        Buffer c = thump(rng, rate, 200, 3000, 0.003, 0.03);
        mixInto(k, c, 0, 0.5);
        return k;
    };
    std::vector<double> on;
    const int count = rng.integer(1, 4);
    double t = 0;
    for (int i = 0; i < count; ++i) { on.push_back(t); t += rng.uniform(0.15, 0.3); }
    return finish(series(rate, on, knock), rate);
}

Buffer punches(Rng& rng, double rate) {
    // Fist on a body or a bag: a dull, short thud with a little slap.
    auto punch = [&]() {
        Buffer p = thump(rng, rate, 50, rng.uniform(400, 900), rng.uniform(0.015, 0.04), 0.2);
        Buffer slap = thump(rng, rate, 800, 3000, 0.003, 0.02);
        mixInto(p, slap, 0, rng.uniform(0.1, 0.4));
        scale(p, rng.uniform(0.5, 1.0));
        return p;
    };
    return finish(series(rate, regularOnsets(rng, rng.uniform(0.2, 2.0), 0.2, 0.6), punch), rate);
}

Buffer wineGlass(Rng& rng, double rate, bool rubbed) {
    const double f0 = rng.uniform(600, 1500);
    if (!rubbed) {
        Buffer out = modes(rng, rate, {{f0, 1.0, rng.uniform(0.8, 2.5)}, {f0 * 2.32, 0.4, 0.6}, {f0 * 4.25, 0.2, 0.3}, {f0 * 6.63, 0.1, 0.15}}, 3.0);
        Buffer tick = thump(rng, rate, 2000, rate, 0.001, 0.01);
        mixInto(out, tick, 0, 0.3);
        return finish(std::move(out), rate);
    }
    // Rubbed rim: a clean sustained tone, beating slowly, swelling in.
    const double len = rng.uniform(2.0, 6.0), beat = rng.uniform(0.5, 2.0);
    const std::size_t n = samples(len, rate);
    Buffer out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const double s = std::sin(2 * kPi * f0 * t) + std::sin(2 * kPi * (f0 + beat) * t) + 0.05 * std::sin(2 * kPi * 2 * f0 * t);
        out[i] = static_cast<float>(s * std::min(1.0, t / 0.8) * std::min(1.0, (len - t) / 0.3));
    }
    return finish(std::move(out), rate);
}

Buffer windChimes(Rng& rng, double rate, double durationS) {
    static const double ratios[] = {1.0, 9.0 / 8, 5.0 / 4, 3.0 / 2, 5.0 / 3, 2.0};
    const double base = rng.uniform(700, 1500);
    std::vector<double> on;
    for (double t = 0; t < durationS - 0.5; t += rng.uniform(0.1, 0.8)) on.push_back(t);
    auto strike = [&]() {
        const double f = base * ratios[rng.integer(0, 5)];
        return modes(rng, rate, {{f, 1.0, rng.uniform(1.0, 2.5)}, {f * 2.76, 0.5, 0.8}, {f * 5.40, 0.25, 0.4}, {f * 8.93, 0.1, 0.2}}, 3.0);
    };
    Buffer out = series(rate, on, [&]() { Buffer b = strike(); scale(b, rng.uniform(0.3, 1.0)); return b; });
    out.resize(samples(durationS, rate));
    return finish(std::move(out), rate);
}

Buffer cymbal(Rng& rng, double rate) {
    const double decay = rng.uniform(0.6, 2.0);
    std::vector<Mode> m;
    for (int i = 0; i < 120; ++i)
        m.push_back({rng.uniform(300, 0.45 * rate), rng.uniform(0.1, 1.0), decay * rng.uniform(0.3, 1.0)});
    Buffer out = modes(rng, rate, m, decay * 2.0);
    Buffer wash = thump(rng, rate, 3000, rate, decay * 0.4, decay * 2.0);
    mixInto(out, wash, 0, peak(out) * 0.8);
    Buffer stick = thump(rng, rate, 500, rate, 0.002, 0.02);
    mixInto(out, stick, 0, peak(out) * 0.5);
    return finish(std::move(out), rate);
}

Buffer keys(Rng& rng, double rate, double durationS) {
    // Jingling: bursts of shakes, each a cluster of small metal clinks.
    std::vector<double> on;
    for (double t = 0; t < durationS - 0.2; t += -std::log(std::max(rng.uniform(), 1e-9)) / rng.uniform(15, 60)) {
        const double phase = std::fmod(t, 0.3) / 0.3;   // shaking at ~3 Hz
        if (rng.uniform() < 0.3 + 0.7 * phase) on.push_back(t);
    }
    auto clink = [&]() {
        Buffer c = modes(rng, rate, {{rng.uniform(3000, 7500), 1.0, rng.uniform(0.005, 0.03)}, {rng.uniform(4000, 7500), 0.5, 0.01}}, 0.08);
        scale(c, rng.uniform(0.2, 1.0));
        return c;
    };
    return finish(series(rate, on, clink), rate);
}

Buffer cutlery(Rng& rng, double rate, double durationS) {
    std::vector<double> on;
    for (double t = 0; t < durationS - 0.3; t += rng.uniform(0.1, 1.0)) on.push_back(t);
    auto clink = [&]() {
        const double f = rng.uniform(2000, 5000);
        Buffer c = modes(rng, rate, {{f, 1.0, rng.uniform(0.02, 0.1)}, {f * rng.uniform(1.3, 2.7), 0.5, 0.04}}, 0.3);
        Buffer t = thump(rng, rate, 1000, rate, 0.002, 0.01);
        mixInto(c, t, 0, 0.3);
        scale(c, rng.uniform(0.3, 1.0));
        return c;
    };
    return finish(series(rate, on, clink), rate);
}

Buffer cashTill(Rng& rng, double rate) {
    const double f = rng.uniform(2000, 3200);
    Buffer out = modes(rng, rate, {{f, 1.0, 0.8}, {f * 2.1, 0.3, 0.4}}, 2.0);
    Buffer drawer = thump(rng, rate, 200, 3000, 0.15, 0.4);
    mixInto(out, drawer, samples(0.2, rate), 0.4);
    Buffer bang = thump(rng, rate, 60, 800, 0.03, 0.2);
    mixInto(out, bang, samples(0.55, rate), 0.7);
    for (int c = 0; c < rng.integer(2, 6); ++c) {
        Buffer coin = modes(rng, rate, {{rng.uniform(3000, 6000), 0.5, 0.05}}, 0.2);
        mixInto(out, coin, samples(0.7 + rng.uniform(0.0, 0.8), rate), 0.5);
    }
    return finish(std::move(out), rate);
}

// ---------------------------------------------------------------- everyday impulsive sound
// Drums, doors and effects cut out of silence: what a camera hears every day
// and the impulsive detectors must stay silent on.

namespace {

Buffer kickHit(Rng& rng, double rate) {
    const double f = rng.uniform(45, 80);
    Buffer k = modes(rng, rate, {{f, 1.0, rng.uniform(0.08, 0.25)}, {f * 1.5, 0.3, 0.05}, {f * 2.2, 0.15, 0.03}}, 0.5);
    Buffer beater = thump(rng, rate, 200, rng.uniform(2000, 5000), rng.uniform(0.003, 0.008), 0.03);
    mixInto(k, beater, 0, rng.uniform(0.2, 0.6));
    return k;
}

Buffer snareHit(Rng& rng, double rate, double head, double wires) {
    Buffer s = modes(rng, rate, {{head, 1.0, rng.uniform(0.04, 0.1)}, {head * 1.6, 0.5, 0.04}, {head * 2.3, 0.3, 0.03}}, 0.4);
    Buffer rattle = thump(rng, rate, rng.uniform(800, 2000), rng.uniform(6000, 12000), wires, 0.4);
    mixInto(s, rattle, 0, rng.uniform(0.6, 1.5));
    Buffer stick = thump(rng, rate, 1000, rate, 0.001, 0.01);
    mixInto(s, stick, 0, rng.uniform(0.3, 0.8));
    return s;
}

Buffer tomHit(Rng& rng, double rate, double f) {
    Buffer t = modes(rng, rate, {{f, 1.0, rng.uniform(0.15, 0.4)}, {f * 1.5, 0.4, 0.1}, {f * 2.1, 0.2, 0.06}}, 0.6);
    Buffer stick = thump(rng, rate, 500, 6000, 0.004, 0.02);
    mixInto(t, stick, 0, 0.4);
    return t;
}

// A hi-hat (closed, or open and washing) or the ride's ping over its shimmer.
Buffer hatHit(Rng& rng, double rate, bool open, bool ride) {
    if (ride) {
        std::vector<Mode> m;
        const double bell = rng.uniform(2500, 4500);
        for (int i = 0; i < 12; ++i) m.push_back({bell * rng.uniform(0.5, 2.5), rng.uniform(0.1, 0.5), rng.uniform(0.3, 1.2)});
        Buffer r = modes(rng, rate, m, 1.2);
        Buffer ping = thump(rng, rate, 3000, rate, 0.006, 0.03);
        mixInto(r, ping, 0, peak(r) * 0.8);
        return r;
    }
    const double decay = open ? rng.uniform(0.15, 0.4) : rng.uniform(0.01, 0.04);
    Buffer h = thump(rng, rate, rng.uniform(5000, 8000), rate, decay, open ? 0.6 : 0.12);
    std::vector<Mode> m;
    for (int i = 0; i < 6; ++i) m.push_back({rng.uniform(4000, 0.45 * rate), rng.uniform(0.05, 0.2), decay});
    Buffer metal = modes(rng, rate, m, open ? 0.6 : 0.12);
    mixInto(h, metal, 0, 1.0);
    return h;
}

} // namespace

Buffer drumKit(Rng& rng, double rate, double durationS, bool withMusic) {
    // A drummer playing grooves: kick and snare on the beats, eighth notes on
    // the hi-hat or the ride, a crash opening a phrase, a tom fill closing one.
    const double beat = 60.0 / rng.uniform(75, 170), eighth = beat / 2;
    const double head = rng.uniform(150, 280), wires = rng.uniform(0.06, 0.25);
    const bool ride = rng.chance(0.3);
    const double length = std::min(durationS, rng.uniform(3.0, 10.0));
    Buffer out(samples(length + 2.5, rate), 0.0f);
    const int steps = static_cast<int>(length / eighth);
    const int phrase = rng.chance(0.5) ? 16 : 32;   // two or four bars of eighths
    for (int step = 0; step < steps; ++step) {
        const double t = step * eighth * (1.0 + 0.01 * rng.normal());
        const std::size_t at = samples(std::max(0.0, t), rate);
        const int inBar = step % 8, inPhrase = step % phrase;
        const bool fill = inPhrase >= phrase - 4 && rng.chance(0.5);
        if (fill) {
            const double f = rng.uniform(80, 260);
            mixInto(out, tomHit(rng, rate, f), at, rng.uniform(0.6, 1.0));
            mixInto(out, tomHit(rng, rate, f * 0.85), samples(t + eighth / 2, rate), rng.uniform(0.5, 0.9));
            continue;
        }
        mixInto(out, hatHit(rng, rate, !ride && rng.chance(0.1), ride), at, rng.uniform(0.15, 0.4));
        if (inBar == 0 || inBar == 4 || (inBar == 5 && rng.chance(0.3)) || (inBar == 7 && rng.chance(0.2)))
            mixInto(out, kickHit(rng, rate), at, rng.uniform(0.7, 1.0));
        if (inBar == 2 || inBar == 6) mixInto(out, snareHit(rng, rate, head, wires), at, rng.uniform(0.7, 1.0));
        else if (rng.chance(0.15)) mixInto(out, snareHit(rng, rate, head, wires), at, rng.uniform(0.1, 0.3));
        if (inPhrase == 0 && (step > 0 || rng.chance(0.6)) && rng.chance(0.7)) {
            Buffer crash = cymbal(rng, rate);
            mixInto(out, crash, at, rng.uniform(0.4, 0.9));
        }
    }
    if (withMusic) {
        Buffer band = music(rng, rate, double(out.size()) / rate);
        const double drums = rms(out), tune = rms(band);
        if (tune > 0) mixInto(out, band, 0, drums / tune * dbToGain(rng.uniform(-10, 0)));
    }
    return finish(std::move(out), rate);
}

Buffer doorOpening(Rng& rng, double rate) {
    // Someone comes through a door: the handle pressed (the latch drawn back,
    // its spring rattling), the door swinging (air and its own body; creaking
    // hinges are a kind of their own), then
    // either shut again (a soft thud and the latch snapping into the plate)
    // or stopped against the wall.
    auto click = [&](double lowHz) {
        Buffer c = thump(rng, rate, lowHz, rate, rng.uniform(0.001, 0.005), 0.04);
        const double f = rng.uniform(1500, 5000);
        Buffer ring = modes(rng, rate, {{f, 0.5, rng.uniform(0.005, 0.03)}, {f * rng.uniform(1.3, 2.4), 0.3, 0.01}}, 0.06);
        mixInto(c, ring, 0, rng.uniform(0.3, 1.0));
        Buffer knock = thump(rng, rate, 100, 1200, rng.uniform(0.004, 0.015), 0.04);
        mixInto(c, knock, 0, rng.uniform(0.1, 0.8));
        return c;
    };
    const double swing = rng.uniform(0.5, 2.0);
    const double heavy = rng.uniform(0.1, 0.5);
    Buffer out(samples(swing + 1.5, rate), 0.0f);
    mixInto(out, click(rng.uniform(300, 2000)), 0, rng.uniform(0.5, 1.0));
    double t = rng.uniform(0.02, 0.08);
    for (int i = rng.integer(0, 4); i > 0; --i, t += rng.uniform(0.015, 0.05))
        mixInto(out, click(rng.uniform(800, 3000)), samples(t, rate), rng.uniform(0.1, 0.4));
    const double release = t + rng.uniform(0.05, 0.4);
    mixInto(out, click(rng.uniform(300, 2000)), samples(release, rate), rng.uniform(0.4, 1.0));
    // The swing: low air and the door's own body, swelling and dying away.
    Buffer air = brownNoiseN(rng, samples(swing, rate));
    lowpass(air, rate, rng.uniform(150, 600), 2);
    normalisePeak(air, 1.0);
    for (std::size_t i = 0; i < air.size(); ++i)
        air[i] = static_cast<float>(air[i] * std::sin(kPi * double(i) / double(air.size())));
    mixInto(out, air, samples(release, rate), heavy);
    const double end = release + swing;
    if (rng.chance(0.5)) {
        const double f = rng.uniform(60, 160);
        Buffer thud = modes(rng, rate, {{f, 1.0, rng.uniform(0.03, 0.1)}, {f * 1.7, 0.5, 0.04}}, 0.4);
        Buffer slap = thump(rng, rate, 100, rng.uniform(1000, 3000), rng.uniform(0.005, 0.015), 0.1);
        mixInto(thud, slap, 0, rng.uniform(0.3, 0.8));
        mixInto(out, thud, samples(end, rate), rng.uniform(0.3, 0.9));
        mixInto(out, click(rng.uniform(300, 2000)), samples(end + rng.uniform(0.005, 0.04), rate), rng.uniform(0.4, 1.0));
    } else if (rng.chance(0.6)) {
        Buffer stop = thump(rng, rate, 80, rng.uniform(600, 2000), rng.uniform(0.01, 0.04), 0.2);
        mixInto(out, stop, samples(end, rate), rng.uniform(0.2, 0.6));
    }
    return finish(std::move(out), rate);
}

Buffer handDrums(Rng& rng, double rate, double durationS) {
    // Hand drums in a groove (the open tone, the low bass in the middle of the
    // skin, the sharp slap at the rim), a singer joining in at times.
    const double tone = rng.uniform(250, 420), bass = rng.uniform(60, 110);
    const double sixteenth = 60.0 / rng.uniform(85, 140) / 4;
    const double length = std::min(durationS, rng.uniform(3.0, 10.0));
    Buffer out(samples(length + 1.0, rate), 0.0f);
    std::vector<int> pattern(16);
    for (auto& p : pattern) p = rng.chance(0.55) ? rng.integer(0, 2) : -1;
    pattern[0] = 0;
    for (int step = 0; step * sixteenth < length; ++step) {
        const int kind = pattern[static_cast<std::size_t>(step % 16)];
        if (kind < 0 && !rng.chance(0.08)) continue;
        Buffer hit;
        switch (kind < 0 ? rng.integer(0, 2) : kind) {
        case 0:
            hit = modes(rng, rate, {{bass, 1.0, rng.uniform(0.08, 0.2)}, {bass * 2.1, 0.3, 0.05}}, 0.4);
            break;
        case 1:
            hit = modes(rng, rate, {{tone, 1.0, rng.uniform(0.05, 0.12)}, {tone * 1.6, 0.4, 0.05}, {tone * 2.3, 0.2, 0.03}}, 0.3);
            break;
        default: {
            hit = thump(rng, rate, 400, rng.uniform(3000, 7000), rng.uniform(0.008, 0.02), 0.1);
            Buffer ring = modes(rng, rate, {{tone * 1.9, 0.5, 0.03}, {tone * 3.1, 0.3, 0.02}}, 0.1);
            mixInto(hit, ring, 0, 1.0);
        }
        }
        normalisePeak(hit, rng.uniform(0.4, 1.0));
        mixInto(out, hit, samples(step * sixteenth, rate));
    }
    if (rng.chance(0.6)) {
        Buffer voice = singing(rng, rate, length);
        const double drums = rms(out), v = rms(voice);
        if (v > 0) mixInto(out, voice, samples(rng.uniform(0.0, 1.0), rate), drums / v * dbToGain(rng.uniform(-8, 3)));
    }
    return finish(std::move(out), rate);
}

Buffer cutFromSilence(Rng& rng, double rate, const char* lookalikeOf, double durationS) {
    // Sound effects as they are often stored: cut out of digital silence, the
    // sound starting on the first samples. The data set writes these kinds
    // over silence from the clip's start (see "_cut" in Dataset.cpp).
    const std::string of = lookalikeOf;
    if (of == "GunShot") {
        switch (rng.integer(0, 5)) {
        case 0: return doorLatch(rng, rate);
        case 1: return cameraShutter(rng, rate);
        case 2: return doorOpening(rng, rate);
        case 3: return drumKit(rng, rate, durationS, false);
        case 4: return doorSlam(rng, rate);
        default: return hammerBlows(rng, rate, durationS);
        }
    }
    if (of == "GlassBreak") {
        switch (rng.integer(0, 4)) {
        case 0: return cymbal(rng, rate);
        case 1: return keys(rng, rate, std::min(durationS, 3.0));
        case 2: return cutlery(rng, rate, durationS);
        case 3: return drumKit(rng, rate, durationS, rng.chance(0.5));
        default: return windChimes(rng, rate, durationS);
        }
    }
    switch (rng.integer(0, 4)) {
    case 0: return cough(rng, rate);
    case 1: return knocks(rng, rate);
    case 2: return handDrums(rng, rate, durationS);
    case 3: return goose(rng, rate, std::min(durationS, 5.0));
    default: return fox(rng, rate);
    }
}

} // namespace zv::synth
