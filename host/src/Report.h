// The --report page: one self-contained HTML file per run (no network, no
// external file), with, for every input, a picture of its spectrogram, the
// events on the time axis and the seven per-class confidence curves, drawn
// with cairo and embedded as base64 PNG.
//
// An InputTrace gathers what one input's picture needs while the input is
// fed: it is used by the thread that feeds the input (Feed, AddEvent) and
// read after that thread is done.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioBuffer.h"
#include "Confidence.h"
#include "Events.h"

namespace OrqHost {

class InputTrace {
public:
    InputTrace(std::string name, const PcmFormat& format, std::uint64_t start, ClassificationLibrary* library,
               const std::array<float, 7>& thresholds);

    // The PCM bytes delivered to the detector, in the input's format.
    void Feed(const std::uint8_t* data, std::size_t size);
    void AddEvent(const CommittedEvent& event);

    const std::string& Name() const { return name; }
    const PcmFormat& Format() const { return format; }
    std::uint64_t Start() const { return start; }
    double Seconds() const { return static_cast<double>(framesFed) / format.sampleRate; }
    const std::vector<CommittedEvent>& Events() const { return events; }
    const ConfidenceProbe& Confidence() const { return probe; }

    // Spectrogram: columns of Bins() levels (0 = -100 dBFS or less, 255 =
    // 0 dBFS), lowest frequency first, each column ColumnSeconds() long.
    // Folded like the confidence curves when the input is long.
    std::size_t Bins() const { return fftSize / 2; }
    double ColumnSeconds() const;
    const std::vector<std::vector<std::uint8_t>>& Columns() const { return columns; }

    static constexpr std::size_t kMaxColumns = 4096;

private:
    void Transform();

    std::string name;
    PcmFormat format;
    std::uint64_t start;
    ConfidenceProbe probe;
    std::uint64_t framesFed = 0;
    std::vector<CommittedEvent> events;

    std::size_t fftSize = 512;
    std::vector<float> window;
    std::vector<float> mono;  // samples not yet transformed
    std::vector<float> decoded;
    std::vector<std::vector<std::uint8_t>> columns;
    std::vector<std::uint8_t> partial;
    std::uint32_t partialCount = 0;
    std::uint32_t hopsPerColumn = 1;
};

// Run-level figures shown at the top of the page.
struct ReportRun {
    std::string pluginFolder;
    std::string settings;  // the settings as given, for the record
    double wallSeconds = 0;
    double audioSeconds = 0;
    unsigned jobs = 1;
};

// Renders one input's picture as PNG bytes.
std::string RenderInputPng(const InputTrace& trace);

// Writes the page, once per process: it ends with releasing the drawing
// libraries' process-wide caches. Throws HostError(ExitOutputFailed) when the file cannot
// be written.
void WriteReport(const std::string& path, const ReportRun& run, const std::vector<const InputTrace*>& traces);

std::string Base64(const std::string& bytes);

}  // namespace OrqHost
