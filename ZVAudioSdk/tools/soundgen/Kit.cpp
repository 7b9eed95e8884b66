// Random numbers, levels, filters, convolution, rooms, motion and the voice
// engine of zv_soundsynth.
#include "SynthKit.h"

#include <algorithm>
#include <complex>
#include <numeric>

namespace zv::synth {

using namespace kit;

namespace {
std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
} // namespace

Rng::Rng(std::uint64_t seed) : seed_(seed) {
    std::uint64_t x = seed;
    for (auto& s : s_) s = splitmix64(x);
}

std::uint64_t Rng::next() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0]; s_[3] ^= s_[1]; s_[1] ^= s_[2]; s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
double Rng::uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
int Rng::integer(int lo, int hi) {
    const auto span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo + 1);
    return lo + static_cast<int>(next() % span);
}
double Rng::normal() {
    // Box-Muller; one value per call keeps the stream simple to reason about.
    const double u1 = std::max(uniform(), 1e-300);
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}
bool Rng::chance(double p) { return uniform() < p; }
Rng Rng::fork(std::uint64_t salt) const {
    std::uint64_t x = seed_ ^ (salt * 0xD1B54A32D192ED03ULL);
    return Rng(splitmix64(x));
}

std::uint64_t hashSeed(std::uint64_t seed, const std::string& salt, std::uint64_t index) {
    std::uint64_t x = seed;
    std::uint64_t h = splitmix64(x);
    for (unsigned char c : salt) { x ^= c + (h << 6); h = splitmix64(x); }
    x ^= index * 0x9E3779B97F4A7C15ULL;
    return splitmix64(x) ^ h;
}

// ------------------------------------------------------------------ levels
double rms(const Buffer& x) {
    if (x.empty()) return 0.0;
    double s = 0;
    for (float v : x) s += double(v) * v;
    return std::sqrt(s / double(x.size()));
}
double peak(const Buffer& x) {
    double p = 0;
    for (float v : x) p = std::max(p, double(std::fabs(v)));
    return p;
}
double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

double activeRms(const Buffer& event, double rate) {
    const std::size_t hop = std::max<std::size_t>(1, samples(0.010, rate));
    std::vector<double> power;
    for (std::size_t i = 0; i < event.size(); i += hop) {
        double s = 0;
        const std::size_t end = std::min(event.size(), i + hop);
        for (std::size_t j = i; j < end; ++j) s += double(event[j]) * event[j];
        power.push_back(s / double(end - i));
    }
    if (power.empty()) return 0.0;
    const double loudest = *std::max_element(power.begin(), power.end());
    if (loudest <= 0) return 0.0;
    double sum = 0; std::size_t n = 0;
    for (double p : power)
        if (p >= loudest * 1e-3) { sum += p; ++n; }
    return std::sqrt(sum / double(n));
}

Buffer trimSilence(const Buffer& x, double rate, double floorDb) {
    const double limit = peak(x) * dbToGain(floorDb);
    std::size_t first = 0, last = x.size();
    while (first < x.size() && std::fabs(x[first]) <= limit) ++first;
    while (last > first && std::fabs(x[last - 1]) <= limit) --last;
    const std::size_t margin = samples(0.005, rate);
    first = first > margin ? first - margin : 0;
    last = std::min(x.size(), last + margin);
    return Buffer(x.begin() + std::ptrdiff_t(first), x.begin() + std::ptrdiff_t(last));
}

void addInto(Buffer& into, const Buffer& x, double rate, double onsetS, double gain) {
    mixInto(into, x, samples(onsetS, rate), gain);
}

Buffer mixAtSnr(const Buffer& event, const Buffer& background, double rate, double onsetS, double snrDb) {
    Buffer out = background;
    const double e = activeRms(event, rate);
    const double b = rms(background);
    if (e <= 0.0) return out;
    // An all-zero background has no defined SNR: add the event at unit active level.
    const double gain = (b > 0.0 ? b * dbToGain(snrDb) : 1.0) / e;
    addInto(out, event, rate, onsetS, gain);
    return out;
}

// ------------------------------------------------------------------ filters
namespace kit {

namespace {
Biquad fromRbj(double b0, double b1, double b2, double a0, double a1, double a2) {
    Biquad q;
    q.b0 = b0 / a0; q.b1 = b1 / a0; q.b2 = b2 / a0; q.a1 = a1 / a0; q.a2 = a2 / a0;
    return q;
}
} // namespace

Biquad Biquad::lowpass(double rate, double hz, double q) {
    const double w = 2 * kPi * underNyquist(hz, rate) / rate, c = std::cos(w), a = std::sin(w) / (2 * q);
    return fromRbj((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + a, -2 * c, 1 - a);
}
Biquad Biquad::highpass(double rate, double hz, double q) {
    const double w = 2 * kPi * underNyquist(hz, rate) / rate, c = std::cos(w), a = std::sin(w) / (2 * q);
    return fromRbj((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + a, -2 * c, 1 - a);
}
Biquad Biquad::bandpass(double rate, double hz, double q) {
    const double w = 2 * kPi * underNyquist(hz, rate) / rate, c = std::cos(w), a = std::sin(w) / (2 * q);
    return fromRbj(a, 0, -a, 1 + a, -2 * c, 1 - a);
}
Biquad Biquad::peaking(double rate, double hz, double q, double gainDb) {
    const double A = std::pow(10.0, gainDb / 40.0);
    const double w = 2 * kPi * underNyquist(hz, rate) / rate, c = std::cos(w), a = std::sin(w) / (2 * q);
    return fromRbj(1 + a * A, -2 * c, 1 - a * A, 1 + a / A, -2 * c, 1 - a / A);
}

void lowpass(Buffer& b, double rate, double hz, int order) {
    for (int i = 0; i < order; i += 2) { auto f = Biquad::lowpass(rate, hz); f.process(b); }
}
void highpass(Buffer& b, double rate, double hz, int order) {
    for (int i = 0; i < order; i += 2) { auto f = Biquad::highpass(rate, hz); f.process(b); }
}
void bandpass(Buffer& b, double rate, double hz, double q) { auto f = Biquad::bandpass(rate, hz, q); f.process(b); }

void normalisePeak(Buffer& b, double target) {
    const double p = peak(b);
    if (p > 0) scale(b, target / p);
}
void scale(Buffer& b, double g) { for (auto& v : b) v = static_cast<float>(v * g); }
void fade(Buffer& b, double rate, double inS, double outS) {
    const std::size_t ni = std::min(b.size(), samples(inS, rate)), no = std::min(b.size(), samples(outS, rate));
    for (std::size_t i = 0; i < ni; ++i) b[i] = static_cast<float>(b[i] * double(i) / double(ni));
    for (std::size_t i = 0; i < no; ++i) b[b.size() - 1 - i] = static_cast<float>(b[b.size() - 1 - i] * double(i) / double(no));
}
void softClip(Buffer& b, double drive) {
    const double norm = std::tanh(drive);
    for (auto& v : b) v = static_cast<float>(std::tanh(drive * v) / norm);
}
void mixInto(Buffer& into, const Buffer& x, std::size_t at, double gain) {
    for (std::size_t i = 0; i < x.size() && at + i < into.size(); ++i)
        into[at + i] = static_cast<float>(into[at + i] + gain * x[i]);
}
Buffer concat(const std::vector<Buffer>& parts) {
    Buffer out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
void multiply(Buffer& b, const Buffer& env) {
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = i < env.size() ? b[i] * env[i] : 0.0f;
}

// ------------------------------------------------------------------ FFT convolution
namespace {
void fft(std::vector<std::complex<double>>& a, bool inverse) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double ang = 2 * kPi / double(len) * (inverse ? 1 : -1);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
    if (inverse)
        for (auto& v : a) v /= double(n);
}
} // namespace

Buffer convolve(const Buffer& x, const Buffer& h) {
    if (x.empty() || h.empty()) return {};
    const std::size_t outLen = x.size() + h.size() - 1;
    if (h.size() < 64) {
        Buffer y(outLen, 0.0f);
        for (std::size_t i = 0; i < x.size(); ++i)
            for (std::size_t k = 0; k < h.size(); ++k) y[i + k] += x[i] * h[k];
        return y;
    }
    std::size_t n = 1;
    while (n < outLen) n <<= 1;
    std::vector<std::complex<double>> a(n), b(n);
    for (std::size_t i = 0; i < x.size(); ++i) a[i] = x[i];
    for (std::size_t i = 0; i < h.size(); ++i) b[i] = h[i];
    fft(a, false);
    fft(b, false);
    for (std::size_t i = 0; i < n; ++i) a[i] *= b[i];
    fft(a, true);
    Buffer y(outLen);
    for (std::size_t i = 0; i < outLen; ++i) y[i] = static_cast<float>(a[i].real());
    return y;
}

// ------------------------------------------------------------------ sources
Buffer noise(Rng& rng, std::size_t n) {
    Buffer b(n);
    for (auto& v : b) v = static_cast<float>(rng.uniform(-1.0, 1.0));
    return b;
}
Buffer pinkNoiseN(Rng& rng, std::size_t n) {
    // Paul Kellet's economy filter: within 0.5 dB of -3 dB/octave above ~40 Hz at 16 kHz.
    Buffer b(n);
    double b0 = 0, b1 = 0, b2 = 0;
    for (auto& v : b) {
        const double w = rng.uniform(-1.0, 1.0);
        b0 = 0.99765 * b0 + w * 0.0990460;
        b1 = 0.96300 * b1 + w * 0.2965164;
        b2 = 0.57000 * b2 + w * 1.0526913;
        v = static_cast<float>((b0 + b1 + b2 + w * 0.1848) * 0.25);
    }
    return b;
}
Buffer brownNoiseN(Rng& rng, std::size_t n) {
    Buffer b(n);
    double s = 0;
    for (auto& v : b) {
        s = 0.998 * s + 0.05 * rng.uniform(-1.0, 1.0);   // leaky integrator: no drift
        v = static_cast<float>(s);
    }
    return b;
}

Buffer harmonicTone(const std::vector<double>& hz, double rate, const std::vector<double>& amps, double phase0) {
    Buffer out(hz.size(), 0.0f);
    double phase = phase0;
    for (std::size_t i = 0; i < hz.size(); ++i) {
        const double f = hz[i];
        double s = 0;
        for (std::size_t k = 0; k < amps.size(); ++k) {
            const double fk = f * double(k + 1);
            if (fk >= 0.45 * rate) break;
            s += amps[k] * std::sin(2 * kPi * phase * double(k + 1));
        }
        out[i] = static_cast<float>(s);
        phase += f / rate;
        phase -= std::floor(phase);
    }
    return out;
}

Buffer modes(Rng& rng, double rate, const std::vector<Mode>& m, double lengthS) {
    Buffer out(samples(lengthS, rate), 0.0f);
    for (const auto& mode : m) {
        if (mode.hz >= 0.45 * rate) continue;
        const double ph = rng.uniform(0, 2 * kPi);
        const double w = 2 * kPi * mode.hz / rate;
        const double d = std::exp(-1.0 / (mode.decayS * rate));
        double a = mode.amp;
        // Recurrence for a damped sinusoid: cheap and exact enough.
        double s1 = std::sin(ph), s0 = std::sin(ph - w);
        const double c2 = 2 * std::cos(w);
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<float>(out[i] + a * s1);
            const double s2 = c2 * s1 - s0;
            s0 = s1; s1 = s2;
            a *= d;
            if (a < 1e-6 * mode.amp) break;
        }
    }
    return out;
}

Buffer expEnvelope(double rate, double attackS, double decayS, double lengthS) {
    Buffer env(samples(lengthS, rate));
    const std::size_t na = std::max<std::size_t>(1, samples(attackS, rate));
    for (std::size_t i = 0; i < env.size(); ++i) {
        const double t = double(i) / rate;
        env[i] = static_cast<float>(i < na ? double(i) / double(na) : std::exp(-(t - attackS) / decayS));
    }
    return env;
}

Buffer thump(Rng& rng, double rate, double lowHz, double highHz, double decayS, double lengthS) {
    Buffer b = noise(rng, samples(lengthS, rate));
    if (highHz < 0.45 * rate) lowpass(b, rate, highHz, 4);
    if (lowHz > 0) highpass(b, rate, lowHz, 2);
    multiply(b, expEnvelope(rate, 0.0005, decayS, lengthS));
    return b;
}

// ------------------------------------------------------------------ voice engine
void VoiceTracks::resize(std::size_t n) {
    f0.assign(n, 0.0f); voice.assign(n, 0.0f); aspiration.assign(n, 0.0f);
    frication.assign(n, 0.0f); fricHz.assign(n, 4000.0f);
    formants.assign(n, {700.0f, 1200.0f, 2500.0f, 3500.0f});
}

std::array<float, 4> vowel(int index, double s) {
    static const float table[kVowels][4] = {
        {730, 1090, 2440, 3400},  // a
        {530, 1840, 2480, 3500},  // e
        {270, 2290, 3010, 3700},  // i
        {570, 840, 2410, 3400},   // o
        {300, 870, 2240, 3300},   // u
        {660, 1720, 2410, 3400},  // ae
        {520, 1190, 2390, 3400},  // uh
        {490, 1350, 1690, 3300},  // er
    };
    const auto& v = table[((index % kVowels) + kVowels) % kVowels];
    return {float(v[0] * s), float(v[1] * s), float(v[2] * s), float(v[3] * s)};
}

void smoothFormants(std::vector<std::array<float, 4>>& f, double rate, double tauS) {
    if (f.empty()) return;
    const float a = static_cast<float>(std::exp(-1.0 / (tauS * rate)));
    auto state = f[0];
    for (auto& v : f)
        for (int k = 0; k < 4; ++k) { state[k] = a * state[k] + (1 - a) * v[k]; v[k] = state[k]; }
}
void smoothTrack(std::vector<float>& v, double rate, double tauS) {
    if (v.empty()) return;
    const float a = static_cast<float>(std::exp(-1.0 / (tauS * rate)));
    float s = v[0];
    for (auto& x : v) { s = a * s + (1 - a) * x; x = s; }
}

Buffer renderVoice(Rng& rng, double rate, const VoiceTracks& t, const VoiceQuality& q) {
    const std::size_t n = t.f0.size();
    Buffer src(n, 0.0f);
    // Glottal flow: Rosenberg pulses; the radiated source is its derivative.
    // The pulses are made at four times the rate and low-passed before
    // decimation: sampled directly, a 400 Hz cry's harmonics fold back
    // below Nyquist.
    constexpr int os = 4;
    const double osRate = rate * os;
    Biquad aa[4];
    for (auto& b : aa) b = Biquad::lowpass(osRate, 0.45 * rate, 0.7071);
    double phase = 0, prevFlow = 0, periodMul = 1, ampMul = 1;
    bool odd = false;
    for (std::size_t i = 0; i < n; ++i) {
        const double f0 = t.f0[i];
        double d = 0;
        for (int j = 0; j < os; ++j) {
            double flow = 0;
            if (f0 > 0) {
                const double tp = q.openQuotient * 0.6, tn = q.openQuotient * 0.4;
                if (phase < tp) flow = 0.5 * (1 - std::cos(kPi * phase / tp));
                else if (phase < tp + tn) flow = std::cos(0.5 * kPi * (phase - tp) / tn);
                flow *= ampMul;
                phase += f0 * periodMul / osRate;
                if (phase >= 1.0) {
                    phase -= std::floor(phase);
                    odd = !odd;
                    periodMul = 1.0 / (1.0 + q.jitter * rng.normal()) * (1.0 + (odd ? 0.5 : -0.5) * q.subharmonic);
                    ampMul = std::max(0.0, 1.0 + q.shimmer * rng.normal()) * (1.0 + (odd ? 1.0 : -1.0) * q.subharmonic);
                }
            }
            // The derivative grows with f0; scale it back so level follows t.voice.
            d = (flow - prevFlow) * osRate / std::max(80.0, f0 > 0 ? f0 : 80.0) * 0.15;
            prevFlow = flow;
            for (auto& b : aa) d = b(d);
        }
        src[i] = static_cast<float>(d * t.voice[i] + 0.3 * t.aspiration[i] * rng.uniform(-1.0, 1.0));
    }
    // Cascade of four time-varying two-pole resonators (unity gain at DC).
    Buffer out = src;
    // Coefficients follow the tracks every few samples: coarser steps ring
    // audibly in the high, sharp resonances. A formant nearing Nyquist is
    // widened until it hardly shapes anything, and held below 0.42 * rate:
    // switching it off would click, keeping it sharp would whistle.
    const std::size_t block = 4;
    for (int k = 0; k < 4; ++k) {
        double y1 = 0, y2 = 0, A = 1, B = 0, C = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i % block == 0) {
                const double f = std::min<double>(t.formants[i][static_cast<std::size_t>(k)], 0.42 * rate);
                const double bw = (50.0 + 0.06 * f) * q.bandwidthScale + 4.0 * std::max(0.0, f - 0.35 * rate);
                C = -std::exp(-2 * kPi * bw / rate);
                B = 2 * std::exp(-kPi * bw / rate) * std::cos(2 * kPi * f / rate);
                A = 1 - B - C;
            }
            const double y = A * out[i] + B * y1 + C * y2;
            y2 = y1; y1 = y;
            out[i] = static_cast<float>(y);
        }
    }
    // Frication: noise through a band around fricHz, added after the tract.
    Biquad bp;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % block == 0) bp.retune(Biquad::bandpass(rate, t.fricHz[i], q.fricQ));
        const double fr = bp(rng.uniform(-1.0, 1.0));
        out[i] = static_cast<float>(out[i] + 0.5 * t.frication[i] * fr);
    }
    return out;
}

} // namespace kit

// ------------------------------------------------------------------ rooms and motion
Buffer reverberate(Rng& rng, const Buffer& x, double rate, double rt60, double wetDb) {
    const std::size_t len = std::max<std::size_t>(64, samples(rt60 * 1.1, rate));
    Buffer h(len, 0.0f);
    // Late tail: noise decaying by 60 dB over rt60, darker as it decays.
    Buffer tail = noise(rng, len);
    const double k = std::log(1000.0) / rt60;
    double lpState = 0;
    const std::size_t pre = samples(rng.uniform(0.004, 0.015), rate);
    double tailEnergy = 0;
    for (std::size_t i = pre; i < len; ++i) {
        const double t = double(i) / rate;
        const double a = 0.25 + 0.7 * std::exp(-t * 6.0);   // lowpass opens less over time
        lpState = a * tail[i] + (1 - a) * lpState;
        h[i] = static_cast<float>(lpState * std::exp(-k * t));
        tailEnergy += double(h[i]) * h[i];
    }
    // Early reflections: a few discrete taps in the first 40 ms.
    const int taps = rng.integer(4, 9);
    for (int i = 0; i < taps; ++i) {
        const std::size_t at = samples(rng.uniform(0.002, 0.04), rate);
        if (at < len) h[at] += static_cast<float>((rng.chance(0.5) ? 1 : -1) * rng.uniform(0.1, 0.4));
    }
    // Direct path at 1, tail scaled to wetDb relative to it.
    const double g = tailEnergy > 0 ? dbToGain(wetDb) / std::sqrt(tailEnergy) : 0.0;
    for (std::size_t i = pre; i < len; ++i) h[i] = static_cast<float>(h[i] * g);
    h[0] = 1.0f;
    return convolve(x, h);
}

Buffer doppler(const Buffer& x, double rate, double speedMps, double closestM) {
    const double c = 343.0;
    const double mid = double(x.size()) / rate / 2.0;
    auto dist = [&](double te) {
        const double along = speedMps * (te - mid);
        return std::sqrt(along * along + closestM * closestM);
    };
    Buffer y(x.size(), 0.0f);
    const double delay0 = closestM / c;
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double t = double(i) / rate + delay0;   // listener time, aligned at the closest point
        double te = t - dist(t) / c;                  // emission time: te + r(te)/c = t
        for (int it = 0; it < 3; ++it) te = t - dist(te) / c;
        const double pos = te * rate;
        if (pos < 0 || pos >= double(x.size() - 1)) continue;
        const auto j = static_cast<std::size_t>(pos);
        const double fr = pos - double(j);
        const double s = x[j] * (1 - fr) + x[j + 1] * fr;
        y[i] = static_cast<float>(s * closestM / dist(te));
    }
    return y;
}

Buffer resample(const Buffer& x, double fromRate, double toRate) {
    if (fromRate == toRate || x.empty()) return x;
    const double ratio = toRate / fromRate;
    const double cutoff = std::min(1.0, ratio) * 0.92;  // of the source's Nyquist
    constexpr int half = 16, phases = 512;
    // Hann-windowed sinc tabulated at `phases` fractional positions; the
    // nearest phase is used (error far below 16-bit resolution for speech).
    std::vector<double> table(static_cast<std::size_t>(phases + 1) * 2 * half);
    for (int p = 0; p <= phases; ++p) {
        const double frac = double(p) / phases;
        double sum = 0;
        for (int k = 0; k < 2 * half; ++k) {
            const double d = frac + double(half - 1 - k);   // pos - tap
            const double arg = kPi * d * cutoff;
            const double sinc = std::fabs(arg) < 1e-9 ? 1.0 : std::sin(arg) / arg;
            const double win = std::fabs(d) >= half ? 0.0 : 0.5 * (1 + std::cos(kPi * d / half));
            sum += table[static_cast<std::size_t>(p * 2 * half + k)] = sinc * win;
        }
        for (int k = 0; k < 2 * half; ++k) table[static_cast<std::size_t>(p * 2 * half + k)] /= sum;
    }
    const std::size_t n = static_cast<std::size_t>(std::floor(double(x.size()) * ratio));
    Buffer y(n);
    const auto len = static_cast<long>(x.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double pos = double(i) / ratio;
        const auto c = static_cast<long>(std::floor(pos));
        const auto p = static_cast<std::size_t>(std::lround((pos - double(c)) * phases));
        const double* w = &table[p * 2 * half];
        double s = 0;
        for (int k = 0; k < 2 * half; ++k) {
            const long j = c - half + 1 + k;
            if (j >= 0 && j < len) s += x[static_cast<std::size_t>(j)] * w[k];
        }
        y[i] = static_cast<float>(s);
    }
    return y;
}

} // namespace zv::synth
