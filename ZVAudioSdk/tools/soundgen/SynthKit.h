// Building blocks shared by the synthesis sources of zv_soundsynth (not part
// of its public header): filters, oscillators, envelopes, the voice engine.
#pragma once

#include "SoundSynth.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace zv::synth::kit {

constexpr double kPi = 3.14159265358979323846;

inline std::size_t samples(double seconds, double rate) {
    return seconds <= 0.0 ? 0 : static_cast<std::size_t>(std::lround(seconds * rate));
}

// RBJ biquad, direct form I, coefficients in double.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double operator()(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1; x1 = x; y2 = y1; y1 = y;
        return y;
    }
    void process(Buffer& b) { for (auto& v : b) v = static_cast<float>((*this)(v)); }
    static Biquad lowpass(double rate, double hz, double q = 0.7071);
    static Biquad highpass(double rate, double hz, double q = 0.7071);
    static Biquad bandpass(double rate, double hz, double q);      // 0 dB at centre
    static Biquad peaking(double rate, double hz, double q, double gainDb);
    // Keeps the state, changes the coefficients (time-varying filters).
    void retune(const Biquad& c) { b0 = c.b0; b1 = c.b1; b2 = c.b2; a1 = c.a1; a2 = c.a2; }
};

// Clamps a filter frequency below Nyquist.
inline double underNyquist(double hz, double rate) { return std::min(hz, 0.45 * rate); }

void lowpass(Buffer& b, double rate, double hz, int order = 2);
void highpass(Buffer& b, double rate, double hz, int order = 2);
void bandpass(Buffer& b, double rate, double hz, double q);
void normalisePeak(Buffer& b, double target = 0.9);
void fade(Buffer& b, double rate, double inS, double outS);
void scale(Buffer& b, double g);
void softClip(Buffer& b, double drive);   // tanh, renormalised to unit peak drive
Buffer convolve(const Buffer& x, const Buffer& h);
Buffer concat(const std::vector<Buffer>& parts);
void mixInto(Buffer& into, const Buffer& x, std::size_t at, double gain = 1.0);

// Additive harmonic tone with a per-sample frequency track: partial k has
// amplitude amps[k-1]; partials above 0.45 * rate are left out (no aliasing).
Buffer harmonicTone(const std::vector<double>& hz, double rate, const std::vector<double>& amps, double phase0 = 0.0);
// Damped sinusoids (modes) struck at once: frequencies, amplitudes, decay times.
struct Mode { double hz, amp, decayS; };
Buffer modes(Rng& rng, double rate, const std::vector<Mode>& m, double lengthS);
Buffer noise(Rng& rng, std::size_t n);
Buffer pinkNoiseN(Rng& rng, std::size_t n);
Buffer brownNoiseN(Rng& rng, std::size_t n);
// Exponential decay envelope with a linear attack.
Buffer expEnvelope(double rate, double attackS, double decayS, double lengthS);
void multiply(Buffer& b, const Buffer& env);
// A noise burst with instant attack and exponential decay, band-shaped.
Buffer thump(Rng& rng, double rate, double lowHz, double highHz, double decayS, double lengthS);

// ---- voice engine: glottal pulses, jitter and shimmer, through a cascade
// of time-varying formant resonators, plus aspiration and frication noise.
struct VoiceTracks {
    std::vector<float> f0;          // Hz per sample; <= 0 means unvoiced
    std::vector<float> voice;       // amplitude of voicing per sample
    std::vector<float> aspiration;  // breath noise through the formants
    std::vector<float> frication;   // noise through the frication band
    std::vector<float> fricHz;      // centre of the frication band
    std::vector<std::array<float, 4>> formants;  // F1..F4 per sample
    void resize(std::size_t n);
};
struct VoiceQuality {
    double openQuotient = 0.6;  // smaller: pressed, brighter voice
    double jitter = 0.005;      // relative period perturbation
    double shimmer = 0.04;      // relative amplitude perturbation
    double subharmonic = 0.0;   // period-doubling depth (rough voice)
    double bandwidthScale = 1.0;
    double fricQ = 2.0;
};
Buffer renderVoice(Rng& rng, double rate, const VoiceTracks& t, const VoiceQuality& q);

// Vowel formant targets (adult male; scaled for women and children).
std::array<float, 4> vowel(int index, double scale);
constexpr int kVowels = 8;

// Fills [from, to) of a track with a value.
template <class V, class T> void fill(V& v, std::size_t from, std::size_t to, const T& value) {
    for (std::size_t i = from; i < to && i < v.size(); ++i) v[i] = value;
}
// Glides a formant track towards targets with a one-pole smoother (time constant tauS).
void smoothFormants(std::vector<std::array<float, 4>>& f, double rate, double tauS);
void smoothTrack(std::vector<float>& v, double rate, double tauS);

} // namespace zv::synth::kit
