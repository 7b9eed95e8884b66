// One hop's features: what the front end (FrontEnd.cpp) measures every
// 10 ms and every detector reads. Plain data, written by the front end and
// read by the detectors of the same handle on the same thread.
//
// Levels are in dB relative to a full-scale sine's power spread the same way,
// so a tone at -20 dBFS gives a band (or peak) level near -20 dB whatever the
// sample rate. Anything not measurable at a rate (a band above Nyquist) reads
// kSilenceDb and counts as absent.
#pragma once

#include <cstdint>

namespace zvsdk {

constexpr float kSilenceDb = -120.0f;

// The analysis grid, fixed in time so that every rate sees the same sound the
// same way: a 10 ms hop and a 32 ms Hann window (256, 512, 1024 and 1536
// samples at 8, 16, 32 and 48 kHz), which gives 31.25 Hz bins at every rate:
// fine enough to follow a siren's glide or part a voice's harmonics, short
// enough that a 50 ms bark still fills a window. Transients are timed from the
// waveform itself, in 1 ms blocks, not from the window.
constexpr int kHopMs = 10;
constexpr int kHopsPerSecond = 1000 / kHopMs;
constexpr int kWindowMs = 32;
constexpr float kBinHz = 1000.0f / static_cast<float>(kWindowMs);

// Perceptual bands: mel-spaced, non-overlapping, 50 Hz to 12 kHz (or to
// Nyquist at 8 and 16 kHz, where the upper bands stay absent). Above 12 kHz
// sounds of interest add little that the bands below do not already show.
constexpr int kBandCount = 32;
constexpr float kBandLowHz = 50.0f;
constexpr float kBandHighHz = 12000.0f;

struct Features {
    std::uint64_t hop = 0;  // index of this hop since Init

    // Waveform of the hop itself.
    float levelDb = kSilenceDb;     // RMS of the hop, dBFS (full-scale sine = -3 dB)
    float peakDb = kSilenceDb;      // largest |sample| of the hop, dBFS
    float onsetDb = 0.0f;           // steepest rise of a 1 ms block over the 20 ms before it, dB (>= 0)
    float clippedFraction = 0.0f;   // share of samples at or beyond 0.99 full scale

    // Perceptual bands and their background.
    int bandCount = 0;                    // bands below Nyquist at this rate
    float bandHz[kBandCount] = {};        // centre of each band
    float bandDb[kBandCount] = {};        // band power, dB
    float floorDb[kBandCount] = {};       // tracked background of the band, dB
    float bandPower[kBandCount] = {};     // the same two as powers (10^(dB/10)), for sums
    float floorPower[kBandCount] = {};    //   without converting back per band
    float floorLevelDb = kSilenceDb;      // the summed floor of all bands, dB
    float levelOverFloorDb = 0.0f;        // band-summed power over the summed floor, dB (>= 0)

    // Spectral shape over 100 Hz .. min(Nyquist, 12 kHz).
    float flatness = 0.0f;    // geometric over arithmetic mean of bin power, 0 (tone) .. 1 (white)
    float fluxDb = 0.0f;      // mean rise of the band levels since the last hop, dB (>= 0)
    float centroidHz = 0.0f;  // power-weighted mean frequency
    float highRatio = 0.0f;   // share of the power above 4 kHz
    float midRatio = 0.0f;    // share of the power in 1 .. 4 kHz (vocal effort)
    float lowRatio = 0.0f;    // share of the power below 1 kHz

    // The most prominent narrow peak between 250 Hz and 5 kHz, chosen against
    // the background (the bin furthest above its band's floor), so a rumble
    // or a hiss does not win by its colour.
    float peakHz = 0.0f;            // its frequency, interpolated between bins
    float peakLevelDb = kSilenceDb; // its power (three bins), dB
    float peakProminenceDb = 0.0f;  // over the bins 4 to 10 away on both sides, dB
    float peakOverFloorDb = 0.0f;   // over the background at that frequency, dB
    float peakShare = 0.0f;         // share of the hop's power within +-1 bin of it

    // The same for the most prominent peak between 2 and 5 kHz, where
    // piezo alarms, whistles and ringing glass sit above most of a voice.
    float highPeakHz = 0.0f;
    float highPeakLevelDb = kSilenceDb;
    float highPeakProminenceDb = 0.0f;
    float highPeakOverFloorDb = 0.0f;

    // The bin of 180-700 Hz furthest over its band's background, where a
    // struck skin rings, and how far it stands over the bins 3 to 5 away on
    // both sides (a sinusoid's window lobe is 2 bins wide; noise's strongest
    // bin hardly stands over its neighbours).
    float lowPeakOverFloorDb = 0.0f;
    float lowPeakPurityDb = 0.0f;

    // How steady the fine structure of 3..8 kHz is: of the bins that stand
    // over the mean of the nine around them (partials, or the chance peaks
    // of noise), the share that stood so 100 ms before too (matches over the
    // geometric mean of the two counts). A cymbal's partials ring on for
    // seconds; noise and short shards put their peaks elsewhere each time.
    // 0 below 16 kHz.
    float highPartialsKept = 0.0f;

    // Pitch: the fundamental between 80 Hz and 2.3 kHz from the
    // autocorrelation of the 80 Hz .. 5 kHz spectrum, background taken out.
    float f0Hz = 0.0f;           // 0 when nothing periodic
    float harmonicity = 0.0f;    // normalised autocorrelation at the period, 0 (noise) .. 1 (periodic)
    float harmonicsDb = -60.0f;  // power of overtones 2..6 over the fundamental's, dB
};

}  // namespace zvsdk
