// The signal front end of one handle: mono samples in, one Features row per
// 10 ms hop out.
//
// Threads: owned by one Classifier and called only from its handle's calls,
// which never overlap. Init and the destructor make and destroy FFT plans
// under a process-wide mutex (the FFT library's planner is not thread-safe);
// executing a plan on the front end's own arrays needs no lock.
//
// FFT: FFTW3 in single precision. Measured against KissFFT (both from the
// distribution's archive) on a real transform of one window, FFTW took 0.26,
// 0.60, 1.05 and 2.1 us at 256, 512, 1024 and 1536 points and KissFFT 1.5,
// 2.4, 7.0 and 9.7 us: at 48 kHz KissFFT alone would spend most of the time
// the library may take per hop, so FFTW it is. Plans are made with
// FFTW_ESTIMATE, which does not time trial runs, so Init stays quick and
// deterministic; measured plans gained under 20 % here.
#pragma once

#include <cstdint>

#include "Features.h"
#include "Memory.h"

namespace zvsdk {

class FrontEnd {
public:
    FrontEnd() = default;
    ~FrontEnd();
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;

    // Sizes every buffer and makes the FFT plans for `sampleRate` (8000,
    // 16000, 32000 or 48000). Throws std::bad_alloc, or std::runtime_error
    // when a plan cannot be made.
    void Init(std::uint32_t sampleRate);

    std::uint32_t HopSamples() const noexcept { return hop_; }

    // Stops measuring Features::highPartialsKept (it then reads 0) for a
    // stream none of whose detectors reads it. Call after Init, before the
    // first hop.
    void SkipHighPartials() noexcept { partialEnd_ = partialFirst_; }

    // Analyses the next hop: exactly HopSamples() samples in [-1, 1]. The
    // returned row stays valid until the next call. Allocates nothing.
    const Features& PushHop(const float* samples) noexcept;

private:
    void MeasureWaveform(const float* samples) noexcept;
    void MeasureSpectrum() noexcept;
    void TrackFloor() noexcept;
    void FindPeak() noexcept;
    void TrackPartials() noexcept;
    struct Peak {
        float hz = 0.0f;
        float power = 0.0f;
        float levelDb = kSilenceDb;
        float prominenceDb = 0.0f;
        float overFloorDb = 0.0f;
    };
    Peak DescribePeak(std::uint32_t bin) const noexcept;  // bin 0: no peak
    void EstimatePitch() noexcept;

    std::uint32_t rate_ = 0;
    std::uint32_t hop_ = 0;       // samples per hop
    std::uint32_t window_ = 0;    // samples per window (= FFT size)
    std::uint32_t bins_ = 0;      // window_ / 2 + 1
    std::uint32_t topBin_ = 0;    // last bin analysed: min(Nyquist, kBandHighHz)
    std::uint32_t block_ = 0;     // samples per 1 ms block

    ZvVector<float> history_;     // the last window_ samples, oldest first
    ZvVector<float> hann_;
    ZvVector<float> frame_;       // windowed samples, the transform's input
    ZvVector<float> spectrum_;    // interleaved re/im, the transform's output
    ZvVector<float> power_;       // bin power, scaled so a sine's bins sum to its mean square
    ZvVector<std::uint8_t> binBand_;  // band of each bin (kBandCount: none)
    float bandBins_[kBandCount] = {};
    // First bin of each band; a band's bins run to the next band's first
    // (the last entry: one past the top band's last bin).
    std::uint32_t bandFirstBin_[kBandCount + 1] = {};

    // Autocorrelation for pitch: the power spectrum's lowest 256 bins
    // (0..8 kHz) transformed back at a 512-point size, i.e. at an effective
    // 16 kHz whatever the input rate, so the pitch search costs the same at
    // every rate.
    static constexpr int kAcfSize = 512;
    ZvVector<float> acfSpectrum_;   // interleaved re/im input
    ZvVector<float> acf_;           // lag domain output
    ZvVector<float> windowAcf_;     // 1 / the window's own autocorrelation, normalised

    void* forwardPlan_ = nullptr;   // fftwf_plan
    void* acfPlan_ = nullptr;       // fftwf_plan

    // 1 ms block energies of the last 20 ms, for the onset measure.
    static constexpr int kOnsetBlocks = 20;
    float blockEnergy_[kOnsetBlocks] = {};
    int blockPos_ = 0;
    float blockSum_ = 0.0f;

    // Minimum statistics per band: the smoothed band power's minimum over
    // kFloorSlots sub-windows of kFloorSlotHops hops each (about 3 s), the
    // oldest dropped as a new one opens. A steady background is the floor
    // within that time; a sound that comes and goes never becomes it.
    static constexpr int kFloorSlots = 8;
    static constexpr int kFloorSlotHops = 40;
    float smoothed_[kBandCount] = {};
    float slotMin_[kFloorSlots][kBandCount] = {};
    float currentMin_[kBandCount] = {};
    float floorPower_[kBandCount] = {};
    int slotHop_ = 0;
    int slot_ = 0;

    // Fine peaks of 3..8 kHz as 0/1 flags per bin of the last kPartialLag hops (see
    // Features::highPartialsKept); partialEnd_ == partialFirst_: not measured.
    static constexpr int kPartialLag = 10;
    static constexpr std::uint32_t kPartialBins = 160;
    std::uint8_t partialMask_[kPartialLag][kPartialBins] = {};
    int partialPos_ = 0;
    std::uint32_t partialFirst_ = 0;
    std::uint32_t partialEnd_ = 0;

    bool floorPrimed_ = false;
    float powerScale_ = 1.0f;
    float bandPower_[kBandCount] = {};
    float floorPerBin_[kBandCount + 1] = {};  // background per bin of each band (last: bins below the bands)
    float previousBandDb_[kBandCount] = {};
    Features features_;
};

}  // namespace zvsdk
