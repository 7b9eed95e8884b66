#include "FrontEnd.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace zvsdk {
namespace {

// FFTW's planner keeps global state; plans are made and destroyed under this
// lock only, from any handle's Init or release.
std::mutex& PlannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

constexpr float kPi = 3.14159265358979f;
constexpr float kTiny = 1e-12f;  // -120 dB: the power of silence


float HzToMel(float hz) noexcept { return 2595.0f * std::log10(1.0f + hz / 700.0f); }
float MelToHz(float mel) noexcept { return 700.0f * (std::pow(10.0f, mel / 2595.0f) - 1.0f); }

// Natural log for the flatness sum, to within 1e-4: the exponent from the
// float's bits, the mantissa's log from a short series. A library log per
// bin would cost more than the transform.
float FastLn(float x) noexcept
{
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int exponent = static_cast<int>((bits >> 23) & 0xFF) - 127;
    bits = (bits & 0x007FFFFFu) | 0x3F800000u;  // mantissa in [1, 2)
    float m;
    std::memcpy(&m, &bits, sizeof m);
    // ln(m) = 2 atanh((m - 1) / (m + 1))
    const float t = (m - 1.0f) / (m + 1.0f);
    const float t2 = t * t;
    const float lnM = 2.0f * t * (1.0f + t2 * (1.0f / 3.0f + t2 * (0.2f + t2 * (1.0f / 7.0f))));
    return static_cast<float>(exponent) * 0.69314718f + lnM;
}

// dB of a power, through FastLn: some eighty of these per hop. The floor at
// kTiny is taken on the bits as signed integers (which order like the
// values, negatives below every positive) and without a conditional, so
// that the loops over the bands vectorise.
float PowerDb(float power) noexcept
{
    std::int32_t bits;
    std::int32_t tiny;
    std::memcpy(&bits, &power, sizeof bits);
    std::memcpy(&tiny, &kTiny, sizeof tiny);
    const std::int32_t below = -static_cast<std::int32_t>(bits < tiny);
    bits ^= (bits ^ tiny) & below;
    std::memcpy(&power, &bits, sizeof power);
    return 4.34294482f * FastLn(power);
}

// `value` where `keep` is all ones, +0 where it is 0: a select the compiler
// vectorises where a conditional expression over a division or a
// comparison would stay a branch (floating-point exceptions being honoured).
float KeepIf(float value, std::uint32_t keep) noexcept
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits &= keep;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint32_t Mask(bool condition) noexcept { return condition ? ~0u : 0u; }

// The first index in [from, to) holding the largest of `values`, 0 when
// all are 0: what a running "greater than" scan from 0 finds. The values
// are non-negative floats (never -0), whose bit patterns order like the
// values, so the maximum is taken on the bits, which vectorises; the
// detectors' peak and pitch searches write 0 where nothing may win.
std::uint32_t FirstLargest(const float* values, std::uint32_t from, std::uint32_t to) noexcept
{
    std::uint32_t largest = 0;
    for (std::uint32_t i = from; i < to; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        largest = std::max(largest, bits);
    }
    if (largest == 0) {
        return 0;
    }
    for (std::uint32_t i = from; i < to; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        if (bits == largest) {
            return i;
        }
    }
    return 0;
}

}  // namespace

FrontEnd::~FrontEnd()
{
    std::lock_guard<std::mutex> lock(PlannerMutex());
    if (forwardPlan_ != nullptr) {
        fftwf_destroy_plan(static_cast<fftwf_plan>(forwardPlan_));
    }
    if (acfPlan_ != nullptr) {
        fftwf_destroy_plan(static_cast<fftwf_plan>(acfPlan_));
    }
}

void FrontEnd::Init(std::uint32_t sampleRate)
{
    rate_ = sampleRate;
    hop_ = sampleRate * kHopMs / 1000;
    window_ = sampleRate * kWindowMs / 1000;
    bins_ = window_ / 2 + 1;
    block_ = sampleRate / 1000;
    const float nyquist = static_cast<float>(sampleRate) / 2.0f;
    topBin_ = static_cast<std::uint32_t>(std::min(nyquist, kBandHighHz) / kBinHz);
    topBin_ = std::min(topBin_, bins_ - 1);

    // Four bins of margin on both sides for the nine-bin mean.
    partialFirst_ = static_cast<std::uint32_t>(3000.0f / kBinHz) + 4;
    partialEnd_ = sampleRate >= 16000 ? std::min(static_cast<std::uint32_t>(8000.0f / kBinHz), topBin_) - 4
                                      : partialFirst_;
    partialEnd_ = std::min(partialEnd_, partialFirst_ + kPartialBins);
    partialPos_ = 0;
    std::memset(partialMask_, 0, sizeof partialMask_);
    history_.assign(window_, 0.0f);
    hann_.resize(window_);
    frame_.assign(window_, 0.0f);
    spectrum_.assign(2 * bins_, 0.0f);
    power_.assign(bins_, 0.0f);
    binBand_.assign(bins_, static_cast<std::uint8_t>(kBandCount));
    acfSpectrum_.assign(2 * (kAcfSize / 2 + 1), 0.0f);
    acf_.assign(kAcfSize, 0.0f);
    windowAcf_.assign(kAcfSize / 2, 0.0f);

    double sumSquares = 0.0;
    for (std::uint32_t i = 0; i < window_; ++i) {
        // Periodic Hann: overlapping hops sum to a constant.
        hann_[i] = 0.5f - 0.5f * std::cos(2.0f * kPi * static_cast<float>(i) / static_cast<float>(window_));
        sumSquares += static_cast<double>(hann_[i]) * hann_[i];
    }

    // Band edges on the mel scale; every bin from 50 Hz to the top goes to
    // exactly one band, and a band narrower than a bin takes the next bin.
    const float melLow = HzToMel(kBandLowHz);
    const float melHigh = HzToMel(kBandHighHz);
    features_.bandCount = 0;
    std::uint32_t bin = static_cast<std::uint32_t>(std::ceil(kBandLowHz / kBinHz));
    for (int band = 0; band < kBandCount; ++band) {
        const float upperHz =
            MelToHz(melLow + (melHigh - melLow) * static_cast<float>(band + 1) / static_cast<float>(kBandCount));
        const float lowerHz =
            MelToHz(melLow + (melHigh - melLow) * static_cast<float>(band) / static_cast<float>(kBandCount));
        features_.bandHz[band] = 0.5f * (lowerHz + upperHz);
        const std::uint32_t first = bin;
        while (bin <= topBin_ && (static_cast<float>(bin) * kBinHz < upperHz || bin == first)) {
            binBand_[bin] = static_cast<std::uint8_t>(band);
            ++bin;
        }
        bandBins_[band] = static_cast<float>(bin - first);
        bandFirstBin_[band] = first;
        bandFirstBin_[band + 1] = bin;
        if (bin > first) {
            features_.bandCount = band + 1;
        }
    }
    for (int band = 0; band < kBandCount; ++band) {
        features_.bandDb[band] = kSilenceDb;
        features_.floorDb[band] = kSilenceDb;
        previousBandDb_[band] = kSilenceDb;
        smoothed_[band] = kTiny;
        floorPower_[band] = kTiny;
        currentMin_[band] = 1e30f;
        for (auto& slot : slotMin_) {
            slot[band] = 1e30f;
        }
    }
    floorPrimed_ = false;

    {
        std::lock_guard<std::mutex> lock(PlannerMutex());
        forwardPlan_ = fftwf_plan_dft_r2c_1d(static_cast<int>(window_), frame_.data(),
                                             reinterpret_cast<fftwf_complex*>(spectrum_.data()), FFTW_ESTIMATE);
        acfPlan_ = fftwf_plan_dft_c2r_1d(kAcfSize, reinterpret_cast<fftwf_complex*>(acfSpectrum_.data()),
                                         acf_.data(), FFTW_ESTIMATE);
    }
    if (forwardPlan_ == nullptr || acfPlan_ == nullptr) {
        throw std::runtime_error("FFT plan");
    }

    // Scale so that the one-sided bin powers of a sine sum to its mean
    // square: a full-scale sine reads -3 dB, like the RMS level.
    powerScale_ = static_cast<float>(2.0 / (static_cast<double>(window_) * sumSquares));

    // The window's autocorrelation at the pitch lags, from its own power
    // spectrum through the same path as the signal's, so the pitch measure
    // can undo the window's taper.
    std::copy(hann_.begin(), hann_.end(), frame_.begin());
    fftwf_execute_dft_r2c(static_cast<fftwf_plan>(forwardPlan_), frame_.data(),
                          reinterpret_cast<fftwf_complex*>(spectrum_.data()));
    std::fill(acfSpectrum_.begin(), acfSpectrum_.end(), 0.0f);
    for (std::uint32_t k = 0; k < std::min<std::uint32_t>(bins_, kAcfSize / 2); ++k) {
        acfSpectrum_[2 * k] = spectrum_[2 * k] * spectrum_[2 * k] + spectrum_[2 * k + 1] * spectrum_[2 * k + 1];
    }
    fftwf_execute_dft_c2r(static_cast<fftwf_plan>(acfPlan_), reinterpret_cast<fftwf_complex*>(acfSpectrum_.data()),
                          acf_.data());
    for (int lag = 0; lag < kAcfSize / 2; ++lag) {
        windowAcf_[lag] = 1.0f / std::max(acf_[lag] / acf_[0], 1e-3f);  // kept as its reciprocal
    }
    std::fill(frame_.begin(), frame_.end(), 0.0f);
    features_.hop = 0;
}

const Features& FrontEnd::PushHop(const float* samples) noexcept
{
    std::memmove(history_.data(), history_.data() + hop_, (window_ - hop_) * sizeof(float));
    std::memcpy(history_.data() + (window_ - hop_), samples, hop_ * sizeof(float));
    MeasureWaveform(samples);
    MeasureSpectrum();
    TrackFloor();
    FindPeak();
    TrackPartials();
    EstimatePitch();
    ++features_.hop;
    return features_;
}

void FrontEnd::MeasureWaveform(const float* samples) noexcept
{
    // The peak and the clipped count compare magnitudes as the bits of
    // non-negative floats, which order like the values: the loop then
    // vectorises (a float max would not, for NaN's sake). The samples come
    // from PCM and are always finite.
    std::uint32_t peakBits = 0;
    std::uint32_t clipped = 0;
    {
        constexpr std::uint32_t kClipBits = 0x3F7D70A4u;  // 0.99f
        const float* __restrict x = samples;
        for (std::uint32_t i = 0; i < hop_; ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &x[i], sizeof bits);
            bits &= 0x7FFFFFFFu;
            peakBits = std::max(peakBits, bits);
            clipped += bits >= kClipBits ? 1u : 0u;
        }
    }
    float peak;
    std::memcpy(&peak, &peakBits, sizeof peak);
    float sum = 0.0f;
    float onset = 0.0f;
    for (std::uint32_t start = 0; start < hop_; start += block_) {
        float energy = 0.0f;
        for (std::uint32_t i = start; i < start + block_; ++i) {
            energy += samples[i] * samples[i];
        }
        sum += energy;
        energy /= static_cast<float>(block_);
        // Rise of this block over the mean of the 20 ms before it; a floor
        // of -90 dB keeps near-silence from making huge ratios.
        const float before = blockSum_ / static_cast<float>(kOnsetBlocks) + 1e-9f;
        onset = std::max(onset, (energy + 1e-9f) / before);
        blockSum_ += energy - blockEnergy_[blockPos_];
        blockEnergy_[blockPos_] = energy;
        blockPos_ = (blockPos_ + 1) % kOnsetBlocks;
    }
    blockSum_ = std::max(blockSum_, 0.0f);
    features_.levelDb = PowerDb(sum / static_cast<float>(hop_));
    features_.peakDb = 20.0f * std::log10(std::max(peak, 1e-6f));
    features_.onsetDb = std::max(0.0f, 10.0f * std::log10(onset));
    features_.clippedFraction = static_cast<float>(clipped) / static_cast<float>(hop_);
}

void FrontEnd::MeasureSpectrum() noexcept
{
    // The loops below run in passes of their own, over restrict-qualified
    // pointers, so that the compiler can vectorise the element-wise ones.
    // Every sum still adds its terms one after another in bin order, as a
    // single loop would: a float sum in another order could differ in its
    // last bits, and the detectors' thresholds were fitted on these values.
    {
        const float* __restrict x = history_.data();
        const float* __restrict hann = hann_.data();
        float* __restrict w = frame_.data();
        const std::uint32_t n = window_;
        for (std::uint32_t i = 0; i < n; ++i) {
            w[i] = x[i] * hann[i];
        }
    }
    fftwf_execute_dft_r2c(static_cast<fftwf_plan>(forwardPlan_), frame_.data(),
                          reinterpret_cast<fftwf_complex*>(spectrum_.data()));

    const std::uint32_t top = topBin_;
    float* __restrict power = power_.data();
    {
        const float* __restrict spectrum = spectrum_.data();
        const float scale = powerScale_;
        const std::size_t bins = top + 1;
        for (std::size_t k = 0; k < bins; ++k) {
            const float re = spectrum[2 * k];
            const float im = spectrum[2 * k + 1];
            power[k] = (re * re + im * im) * scale + 1e-14f;
        }
    }

    // Each band's bins are one run (Init), so a band's sum needs no lookup
    // per bin.
    float* bandPower = bandPower_;
    std::fill(bandPower, bandPower + kBandCount, 0.0f);
    for (int band = 0; band < features_.bandCount; ++band) {
        float sum = 0.0f;
        for (std::uint32_t k = bandFirstBin_[band]; k < bandFirstBin_[band + 1]; ++k) {
            sum += power[k];
        }
        bandPower[band] = sum;
    }

    // The flatness's log-sum takes one log per eight bins, of their product
    // in double (bin powers are >= 1e-14, so eight never underflow).
    const std::uint32_t firstFlatBin = static_cast<std::uint32_t>(100.0f / kBinHz) + 1;
    const std::uint32_t bin1k = static_cast<std::uint32_t>(1000.0f / kBinHz);
    const std::uint32_t bin4k = static_cast<std::uint32_t>(4000.0f / kBinHz);
    float total = 0.0f;
    float weighted = 0.0f;
    double logSum = 0.0;
    int k = static_cast<int>(firstFlatBin);
    const int bins = static_cast<int>(top) + 1;
    float binIndex = static_cast<float>(k);  // k as a float, counted (exact this far below 2^24)
    for (; k + 8 <= bins; k += 8) {
        double product = 1.0;
        for (int j = k; j < k + 8; ++j) {
            const float p = power[j];
            total += p;
            weighted += p * binIndex;
            binIndex += 1.0f;
            product *= static_cast<double>(p);
        }
        logSum += std::log(product);
    }
    double product = 1.0;
    for (; k < bins; ++k) {
        const float p = power[k];
        total += p;
        weighted += p * binIndex;
        binIndex += 1.0f;
        product *= static_cast<double>(p);
    }
    logSum += std::log(product);
    float mid = 0.0f;
    for (std::uint32_t bin = std::max(bin1k + 1, firstFlatBin); bin <= std::min(bin4k, top); ++bin) {
        mid += power[bin];
    }
    float high = 0.0f;
    for (std::uint32_t bin = std::max(bin4k + 1, firstFlatBin); bin <= top; ++bin) {
        high += power[bin];
    }
    const float count = static_cast<float>(top + 1 - firstFlatBin);
    const float mean = total / count;
    features_.flatness = std::min(1.0f, static_cast<float>(std::exp(logSum / count)) / mean);
    features_.centroidHz = total > 0.0f ? weighted / total * kBinHz : 0.0f;
    features_.highRatio = high / total;
    features_.midRatio = mid / total;
    features_.lowRatio = std::max(0.0f, 1.0f - features_.highRatio - features_.midRatio);

    const int bands = features_.bandCount;
    for (int band = 0; band < bands; ++band) {
        features_.bandDb[band] = PowerDb(bandPower[band]);
        smoothed_[band] = 0.9f * smoothed_[band] + 0.1f * bandPower[band];
    }
    float flux = 0.0f;
    for (int band = 0; band < bands; ++band) {
        flux += std::max(0.0f, features_.bandDb[band] - previousBandDb_[band]);
    }
    std::memcpy(previousBandDb_, features_.bandDb, sizeof previousBandDb_);
    features_.fluxDb = features_.bandCount > 0 ? flux / static_cast<float>(features_.bandCount) : 0.0f;
}

void FrontEnd::TrackFloor() noexcept
{
    const int bands = features_.bandCount;
    // The first full window is the best guess of the background until the
    // minimum has had time to form (earlier hops still hold the zeros the
    // window started with).
    const bool windowFull = features_.hop * hop_ + hop_ >= window_;
    if (!floorPrimed_ && windowFull) {
        for (int band = 0; band < bands; ++band) {
            smoothed_[band] = std::max(bandPower_[band], kTiny);
            floorPower_[band] = smoothed_[band];
            currentMin_[band] = smoothed_[band];
            for (auto& slot : slotMin_) {
                slot[band] = smoothed_[band];
            }
        }
        floorPrimed_ = true;
    }
    // Slot by slot across the bands, which vectorises; a minimum is the
    // same whatever the order it is taken in.
    float minimum[kBandCount];
    for (int band = 0; band < bands; ++band) {
        currentMin_[band] = std::min(currentMin_[band], smoothed_[band]);
        minimum[band] = currentMin_[band];
    }
    for (const auto& slot : slotMin_) {
        for (int band = 0; band < bands; ++band) {
            minimum[band] = std::min(minimum[band], slot[band]);
        }
    }
    for (int band = 0; band < bands; ++band) {
        // The minimum of a smoothed noise power sits below its mean; 1.5
        // (1.8 dB) brings it back to about the mean for the band widths here.
        floorPower_[band] = 1.5f * minimum[band];
    }
    if (++slotHop_ == kFloorSlotHops) {
        slotHop_ = 0;
        std::memcpy(slotMin_[slot_], currentMin_, sizeof currentMin_);
        slot_ = (slot_ + 1) % kFloorSlots;
        for (int band = 0; band < bands; ++band) {
            currentMin_[band] = smoothed_[band];
        }
    }

    for (int band = 0; band < bands; ++band) {
        features_.floorDb[band] = PowerDb(floorPower_[band]);
    }
    std::memcpy(features_.bandPower, bandPower_, static_cast<std::size_t>(bands) * sizeof(float));
    std::memcpy(features_.floorPower, floorPower_, static_cast<std::size_t>(bands) * sizeof(float));
    float bandSum = 0.0f;
    float floorSum = 0.0f;
    for (int band = 0; band < bands; ++band) {
        bandSum += bandPower_[band];
        floorSum += floorPower_[band];
    }
    features_.levelOverFloorDb = std::max(0.0f, PowerDb(bandSum) - PowerDb(floorSum));
    features_.floorLevelDb = PowerDb(floorSum);
}

void FrontEnd::FindPeak() noexcept
{
    const std::uint32_t low = static_cast<std::uint32_t>(250.0f / kBinHz);
    const std::uint32_t high = std::min(static_cast<std::uint32_t>(5000.0f / kBinHz), topBin_ - 11);
    const std::uint32_t highLow = static_cast<std::uint32_t>(2000.0f / kBinHz);
    float* floorPerBin = floorPerBin_;
    for (int band = 0; band < features_.bandCount; ++band) {
        floorPerBin[band] = floorPower_[band] / bandBins_[band];
    }
    // Every bin's score against the background where it is a local
    // maximum, 0 where not; computed band by band without a branch (so it
    // vectorises), then the best taken, the first of equals as before.
    // Every bin from 250 Hz to the top belongs to a band.
    constexpr std::uint32_t kTop = static_cast<std::uint32_t>(5000.0f / kBinHz);
    float score[kTop + 1] = {};
    const float* __restrict power = power_.data();
    for (int band = 0; band < features_.bandCount; ++band) {
        const std::uint32_t from = std::max(bandFirstBin_[band], low);
        const std::uint32_t to = std::min(bandFirstBin_[band + 1], high + 1);
        const float floor = floorPerBin[band];
        for (std::uint32_t k = from; k < to; ++k) {
            const float p = power[k];
            score[k] = KeepIf(p / floor, Mask(p >= std::max(power[k - 1], power[k + 1])));
        }
    }
    const std::uint32_t best = FirstLargest(score, low, high + 1);
    const std::uint32_t bestHigh = FirstLargest(score, std::max(low, highLow), high + 1);
    float total = 0.0f;
    for (int band = 0; band < features_.bandCount; ++band) {
        total += bandPower_[band];
    }
    const Peak peak = DescribePeak(best);
    features_.peakHz = peak.hz;
    features_.peakLevelDb = peak.levelDb;
    features_.peakProminenceDb = peak.prominenceDb;
    features_.peakOverFloorDb = peak.overFloorDb;
    features_.peakShare = best == 0 ? 0.0f : std::min(1.0f, peak.power / std::max(total, kTiny));
    const Peak upper = DescribePeak(bestHigh);
    features_.highPeakHz = upper.hz;
    features_.highPeakLevelDb = upper.levelDb;
    features_.highPeakProminenceDb = upper.prominenceDb;
    features_.highPeakOverFloorDb = upper.overFloorDb;

    const std::uint32_t modeLow = static_cast<std::uint32_t>(180.0f / kBinHz) + 1;
    const std::uint32_t modeHigh = static_cast<std::uint32_t>(700.0f / kBinHz);
    float modeScore = 0.0f;
    std::uint32_t modeBin = 0;
    for (int band = 0; band < features_.bandCount && bandFirstBin_[band] <= modeHigh; ++band) {
        const std::uint32_t from = std::max(bandFirstBin_[band], modeLow);
        const std::uint32_t to = std::min(bandFirstBin_[band + 1], modeHigh + 1);
        for (std::uint32_t k = from; k < to; ++k) {
            const float over = power[k] / floorPerBin[band];
            if (over > modeScore) {
                modeScore = over;
                modeBin = k;
            }
        }
    }
    float side = 0.0f;
    for (std::uint32_t d = 3; d <= 5 && modeBin != 0; ++d) {
        side += power[modeBin - d] + power[modeBin + d];
    }
    features_.lowPeakOverFloorDb = modeBin == 0 ? 0.0f : PowerDb(modeScore);
    features_.lowPeakPurityDb = modeBin == 0 ? 0.0f : PowerDb(6.0f * power[modeBin] / std::max(side, kTiny));
}

void FrontEnd::TrackPartials() noexcept
{
    if (partialEnd_ <= partialFirst_) {
        return;
    }
    const std::uint32_t count = partialEnd_ - partialFirst_;
    // Each pass is a plain loop over independent bins, so the compiler
    // vectorises it; a running sum over the nine bins would chain every bin
    // to the one before.
    const float* power = power_.data() + partialFirst_;
    float around[kPartialBins];
    for (std::uint32_t i = 0; i < count; ++i) {
        const float* p = power + i - 4;
        around[i] = p[0] + p[1] + p[2] + p[3] + p[4] + p[5] + p[6] + p[7] + p[8];
    }
    std::uint8_t* before = partialMask_[partialPos_];  // kPartialLag hops ago
    std::uint32_t now = 0;
    std::uint32_t then = 0;
    std::uint32_t both = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t peak = 9.0f * power[i] > around[i] ? 1 : 0;
        now += peak;
        then += before[i];
        both += peak & before[i];
        before[i] = peak;
    }
    partialPos_ = (partialPos_ + 1) % kPartialLag;
    features_.highPartialsKept =
        now > 0 && then > 0 ? static_cast<float>(both) / std::sqrt(static_cast<float>(now) * static_cast<float>(then))
                            : 0.0f;
}

FrontEnd::Peak FrontEnd::DescribePeak(std::uint32_t bin) const noexcept
{
    Peak peak;
    if (bin == 0) {
        return peak;
    }
    const float left = power_[bin - 1];
    const float centre = power_[bin];
    const float right = power_[bin + 1];
    // Parabola through the log powers of the peak bin and its neighbours.
    const float a = FastLn(left);
    const float b = FastLn(centre);
    const float c = FastLn(right);
    const float denominator = a - 2.0f * b + c;
    const float offset = denominator < 0.0f ? 0.5f * (a - c) / denominator : 0.0f;
    peak.hz = (static_cast<float>(bin) + std::clamp(offset, -0.5f, 0.5f)) * kBinHz;
    peak.power = left + centre + right;
    float side = 0.0f;
    float sideBins = 0.0f;
    for (std::uint32_t d = 4; d <= 10; ++d) {
        if (bin > d) {
            side += power_[bin - d];
            sideBins += 1.0f;
        }
        side += power_[bin + d];
        sideBins += 1.0f;
    }
    side /= sideBins;
    peak.levelDb = PowerDb(peak.power);
    peak.prominenceDb = std::max(0.0f, PowerDb(centre) - PowerDb(side));
    peak.overFloorDb = std::max(0.0f, peak.levelDb - PowerDb(3.0f * floorPerBin_[binBand_[bin]]));
    return peak;
}

void FrontEnd::EstimatePitch() noexcept
{
    // Autocorrelation of the 80 Hz .. 5 kHz part of the spectrum; below
    // 80 Hz lies rumble, above 5 kHz little of any voice's periodicity.
    const std::uint32_t lowBin = static_cast<std::uint32_t>(80.0f / kBinHz);
    const std::uint32_t highBin = std::min(static_cast<std::uint32_t>(5000.0f / kBinHz), topBin_);
    // The tracked background is taken out first, so a steady noise under a
    // voice or a siren does not wash out its periodicity.
    // Rewritten whole every hop, in one pass: the inverse transform
    // overwrites its input.
    // Band by band: lowBin (80 Hz) lies above the lowest band's 50 Hz and
    // highBin at or below the top bin, so every bin between belongs to one.
    float* __restrict spectrum = acfSpectrum_.data();
    const float* __restrict power = power_.data();
    std::fill(spectrum, spectrum + 2 * lowBin, 0.0f);
    constexpr float kNoEnergy = 1e-10f;
    std::uint32_t energetic = 0;  // bins that alone reach kNoEnergy
    for (int band = 0; band < features_.bandCount; ++band) {
        const std::uint32_t from = std::max(bandFirstBin_[band], lowBin);
        const std::uint32_t to = std::min(bandFirstBin_[band + 1], highBin + 1);
        const float floor = floorPerBin_[band];
        for (std::size_t k = from; k < to; ++k) {
            const float clean = power[k] - floor;
            spectrum[2 * k] = std::max(0.0f, clean);
            spectrum[2 * k + 1] = 0.0f;
            energetic += clean >= kNoEnergy ? 1u : 0u;
        }
    }
    std::fill(spectrum + 2 * (highBin + 1), spectrum + acfSpectrum_.size(), 0.0f);
    features_.f0Hz = 0.0f;
    features_.harmonicity = 0.0f;
    features_.harmonicsDb = -60.0f;
    // A sum of non-negative floats is at least its largest term in any
    // order, so the bin-order sum is needed only when no bin alone decides.
    if (energetic == 0) {
        float energy = 0.0f;
        for (std::uint32_t k = lowBin; k <= highBin; ++k) {
            energy += spectrum[2 * k];
        }
        if (energy < kNoEnergy) {
            return;
        }
    }
    fftwf_execute_dft_c2r(static_cast<fftwf_plan>(acfPlan_), reinterpret_cast<fftwf_complex*>(acfSpectrum_.data()),
                          acf_.data());
    // Lags at the effective 16 kHz: 2.3 kHz (a siren's top) .. 80 Hz.
    constexpr int kMinLag = 7;
    constexpr int kMaxLag = 200;
    // The window-corrected correlation at each local maximum, 0 elsewhere
    // and where it is not positive (neither could be the best, nor pass
    // the test against a positive best below); in one branch-free pass.
    const float zero = acf_[0];
    float candidate[kMaxLag + 1] = {};
    {
        const float* __restrict acf = acf_.data();
        const float* __restrict windowAcf = windowAcf_.data();
        for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
            const float x = acf[lag];
            const float r = x * windowAcf[lag];
            candidate[lag] = KeepIf(r, Mask(x >= std::max(acf[lag - 1], acf[lag + 1])) & Mask(r > 0.0f));
        }
    }
    int bestLag = static_cast<int>(FirstLargest(candidate, kMinLag, kMaxLag + 1));
    if (bestLag == 0) {
        return;
    }
    // The shortest lag that is nearly as good is the period; its multiples
    // (the octaves and fifths below) correlate just as well.
    const float best = candidate[bestLag];
    for (int lag = kMinLag; lag < bestLag; ++lag) {
        if (candidate[lag] > 0.85f * best) {
            bestLag = lag;
            break;
        }
    }
    const float a = acf_[bestLag - 1];
    const float b = acf_[bestLag];
    const float c = acf_[bestLag + 1];
    const float denominator = a - 2.0f * b + c;
    const float offset = denominator < 0.0f ? std::clamp(0.5f * (a - c) / denominator, -0.5f, 0.5f) : 0.0f;
    features_.f0Hz = 16000.0f / (static_cast<float>(bestLag) + offset);
    features_.harmonicity = std::clamp(b * windowAcf_[bestLag] / zero, 0.0f, 1.0f);

    // Overtones 2 to 6 against the fundamental: a voice, a siren or a horn
    // has them, a whistle or a piezo tone hardly.
    // Up to the top of the analysed range, so a high siren keeps its third.
    const float f0Bins = features_.f0Hz / kBinHz;
    auto partial = [&](float harmonic) {
        const auto centre = static_cast<std::uint32_t>(harmonic * f0Bins + 0.5f);
        if (centre < 1 || centre + 1 > topBin_) {
            return 0.0f;
        }
        float sum = 0.0f;
        for (std::uint32_t k = centre - 1; k <= centre + 1; ++k) {
            sum += std::max(0.0f, power_[k] - floorPerBin_[binBand_[k]]);
        }
        return sum;
    };
    float overtones = 0.0f;
    for (int harmonic = 2; harmonic <= 6; ++harmonic) {
        overtones += partial(static_cast<float>(harmonic));
    }
    features_.harmonicsDb = std::clamp(PowerDb(overtones) - PowerDb(partial(1.0f)), -60.0f, 60.0f);
}

}  // namespace zvsdk
