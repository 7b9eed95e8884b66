#include "Report.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <map>

#include <fmt/format.h>

#include "AudioInput.h"
#include "ExitStatus.h"
#include "Logger.h"
#include "Options.h"

namespace OrqHost {
namespace {

constexpr double kPi = 3.14159265358979323846;

// In-place iterative radix-2 FFT; `data.size()` is a power of two.
void Fft(std::vector<std::complex<float>>& data)
{
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * kPi / static_cast<double>(len);
        const std::complex<float> step(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<float> w(1, 0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<float> u = data[i + k];
                const std::complex<float> v = data[i + k + len / 2] * w;
                data[i + k] = u + v;
                data[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

struct Rgb {
    double r, g, b;
};

// The class colours of the picture and the page, in class-code order.
const Rgb kClassColours[7] = {{0.12, 0.47, 0.71}, {1.00, 0.50, 0.05}, {0.84, 0.15, 0.16}, {0.58, 0.40, 0.74},
                              {0.89, 0.47, 0.76}, {0.09, 0.75, 0.81}, {0.55, 0.34, 0.29}};

std::string HexColour(const Rgb& c)
{
    return fmt::format("#{:02x}{:02x}{:02x}", static_cast<int>(c.r * 255), static_cast<int>(c.g * 255),
                       static_cast<int>(c.b * 255));
}

int ClassIndex(const std::string& name)
{
    for (std::size_t i = 0; i < kSoundClasses.size(); ++i)
        if (kSoundClasses[i] == name)
            return static_cast<int>(i);
    return -1;
}

// Dark to bright, for levels 0..255 of the spectrogram.
std::uint32_t LevelColour(std::uint8_t level)
{
    static const Rgb stops[] = {{0, 0, 4}, {59, 15, 112}, {140, 41, 129}, {222, 73, 104}, {252, 253, 191}};
    const double x = level / 255.0 * 4;
    const int i = std::min(3, static_cast<int>(x));
    const double f = x - i;
    auto mix = [&](double a, double b) { return static_cast<std::uint32_t>(a + (b - a) * f); };
    return 0xFF000000u | mix(stops[i].r, stops[i + 1].r) << 16 | mix(stops[i].g, stops[i + 1].g) << 8 |
           mix(stops[i].b, stops[i + 1].b);
}

std::string TimeLabel(double seconds, double span)
{
    if (span >= 60) {
        const long total = std::lround(seconds);
        return fmt::format("{}:{:02}", total / 60, total % 60);
    }
    return fmt::format("{:g} s", std::round(seconds * 10) / 10);
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string Base64(const std::string& bytes)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t v = static_cast<std::uint8_t>(bytes[i]) << 16 | static_cast<std::uint8_t>(bytes[i + 1]) << 8 |
                                static_cast<std::uint8_t>(bytes[i + 2]);
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i < bytes.size()) {
        std::uint32_t v = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

InputTrace::InputTrace(std::string name_, const PcmFormat& format_, std::uint64_t start_,
                       ClassificationLibrary* library, const std::array<float, 7>& thresholds)
    : name(std::move(name_)), format(format_), start(start_), probe(library, format_, thresholds)
{
    // About 32 ms per transform: 512 points at 16 kHz.
    while (fftSize < 4096 && fftSize < format.sampleRate * 32 / 1000)
        fftSize *= 2;
    window.resize(fftSize);
    for (std::size_t i = 0; i < fftSize; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / fftSize));
}

double InputTrace::ColumnSeconds() const
{
    return static_cast<double>(fftSize / 2) * hopsPerColumn / format.sampleRate;
}

void InputTrace::Feed(const std::uint8_t* data, std::size_t size)
{
    probe.Feed(data, size);
    const std::uint32_t channels = std::max<std::uint32_t>(1, format.numChannels);
    decoded.clear();
    DecodePcm(data, size, format, decoded);
    const std::size_t frames = decoded.size() / channels;
    for (std::size_t f = 0; f < frames; ++f) {
        float sum = 0;
        for (std::uint32_t c = 0; c < channels; ++c)
            sum += decoded[f * channels + c];
        mono.push_back(sum / static_cast<float>(channels));
    }
    framesFed += frames;
    Transform();
}

void InputTrace::AddEvent(const CommittedEvent& event) { events.push_back(event); }

void InputTrace::Transform()
{
    const std::size_t hop = fftSize / 2;
    std::size_t offset = 0;
    std::vector<std::complex<float>> spectrum(fftSize);
    float windowSum = 0;
    for (const float w : window)
        windowSum += w;
    while (mono.size() - offset >= fftSize) {
        for (std::size_t i = 0; i < fftSize; ++i)
            spectrum[i] = {mono[offset + i] * window[i], 0.0f};
        Fft(spectrum);
        if (partial.empty())
            partial.assign(Bins(), 0);
        for (std::size_t k = 0; k < Bins(); ++k) {
            const double magnitude = 2.0 * std::abs(spectrum[k]) / windowSum;
            const double db = 20 * std::log10(magnitude + 1e-9);
            const auto level = static_cast<std::uint8_t>(std::clamp((db + 100) / 100 * 255, 0.0, 255.0));
            partial[k] = std::max(partial[k], level);
        }
        offset += hop;
        if (++partialCount < hopsPerColumn)
            continue;
        columns.push_back(std::move(partial));
        partial.clear();
        partialCount = 0;
        if (columns.size() >= 2 * kMaxColumns) {
            for (std::size_t c = 0; c < columns.size() / 2; ++c) {
                std::vector<std::uint8_t> merged(Bins());
                for (std::size_t k = 0; k < Bins(); ++k)
                    merged[k] = std::max(columns[2 * c][k], columns[2 * c + 1][k]);
                columns[c] = std::move(merged);
            }
            columns.resize(columns.size() / 2);
            hopsPerColumn *= 2;
        }
    }
    mono.erase(mono.begin(), mono.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string RenderInputPng(const InputTrace& trace)
{
    const int left = 96, right = 16, plotW = 960;
    const int specTop = 8, specH = 200;
    const int laneTop = specTop + specH + 6, laneRow = 14, laneH = laneRow * 7;
    const int confTop = laneTop + laneH + 6, confH = 150;
    const int axisTop = confTop + confH;
    const int width = left + plotW + right, height = axisTop + 30;
    const double duration = std::max(trace.Seconds(), 0.001);
    auto xOf = [&](double seconds) { return left + seconds / duration * plotW; };

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);
    auto text = [&](double x, double y, const std::string& s, bool alignRight) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, s.c_str(), &extents);
        cairo_move_to(cr, alignRight ? x - extents.x_advance : x, y);
        cairo_show_text(cr, s.c_str());
    };

    // Spectrogram: the columns as an image, lowest frequency at the bottom,
    // stretched over the plot.
    const auto& columns = trace.Columns();
    const double columnsSpan = columns.size() * trace.ColumnSeconds();
    if (!columns.empty()) {
        const int cols = static_cast<int>(columns.size());
        const int bins = static_cast<int>(trace.Bins());
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cols, bins);
        cairo_surface_flush(image);
        unsigned char* pixels = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (int c = 0; c < cols; ++c)
            for (int b = 0; b < bins; ++b)
                reinterpret_cast<std::uint32_t*>(pixels + (bins - 1 - b) * stride)[c] =
                    LevelColour(columns[static_cast<std::size_t>(c)][static_cast<std::size_t>(b)]);
        cairo_surface_mark_dirty(image);
        cairo_save(cr);
        cairo_rectangle(cr, left, specTop, xOf(columnsSpan) - left, specH);
        cairo_clip(cr);
        cairo_translate(cr, left, specTop);
        cairo_scale(cr, (xOf(columnsSpan) - left) / cols, static_cast<double>(specH) / bins);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
        // Edge pixels are repeated, so the filter does not fade the borders.
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    const double nyquist = trace.Format().sampleRate / 2000.0;
    text(left - 6, specTop + 10, fmt::format("{:g} kHz", nyquist), true);
    text(left - 6, specTop + specH / 2.0 + 4, fmt::format("{:g} kHz", nyquist / 2), true);
    text(left - 6, specTop + specH, "0", true);

    // Event lanes, one row per class, and a line through the spectrogram at
    // every event.
    cairo_set_line_width(cr, 1);
    for (int row = 0; row < 7; ++row) {
        const double y = laneTop + row * laneRow;
        cairo_set_source_rgb(cr, row % 2 ? 0.97 : 0.93, row % 2 ? 0.97 : 0.93, row % 2 ? 0.97 : 0.93);
        cairo_rectangle(cr, left, y, plotW, laneRow);
        cairo_fill(cr);
        const Rgb& c = kClassColours[row];
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        text(left - 6, y + 11, kSoundClasses[static_cast<std::size_t>(row)], true);
    }
    for (const CommittedEvent& event : trace.Events()) {
        const int row = ClassIndex(event.name);
        const double seconds = event.timestamp >= trace.Start() ? (event.timestamp - trace.Start()) / 1000.0 : 0;
        const double x = xOf(std::min(seconds, duration));
        const Rgb c = row >= 0 ? kClassColours[row] : Rgb{0.4, 0.4, 0.4};
        cairo_set_source_rgba(cr, c.r, c.g, c.b, 0.85);
        cairo_move_to(cr, x + 0.5, specTop);
        cairo_line_to(cr, x + 0.5, specTop + specH);
        cairo_stroke(cr);
        if (row >= 0) {
            cairo_rectangle(cr, x - 1.5, laneTop + row * laneRow + 2, 4, laneRow - 4);
            cairo_fill(cr);
        }
    }

    // Confidence curves, 0 to 1.
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    for (const double v : {0.0, 0.5, 1.0}) {
        const double y = confTop + (1 - v) * confH;
        cairo_move_to(cr, left, y + 0.5);
        cairo_line_to(cr, left + plotW, y + 0.5);
        cairo_stroke(cr);
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    text(left - 6, confTop + 10, "1", true);
    text(left - 6, confTop + confH / 2.0 + 4, "0.5", true);
    text(left - 6, confTop + confH, "0", true);
    const ConfidenceProbe& probe = trace.Confidence();
    if (!probe.Frames().empty()) {
        const double entrySeconds = probe.FramesPerEntry() * 0.040;
        cairo_set_line_width(cr, 1.3);
        for (std::size_t cls = 0; cls < 7; ++cls) {
            const Rgb& c = kClassColours[cls];
            cairo_set_source_rgb(cr, c.r, c.g, c.b);
            const auto& frames = probe.Frames();
            for (std::size_t i = 0; i < frames.size(); ++i) {
                const double x = xOf((i + 0.5) * entrySeconds);
                const double y = confTop + (1 - std::clamp(static_cast<double>(frames[i][cls]), 0.0, 1.0)) * confH;
                if (i == 0)
                    cairo_move_to(cr, x, y);
                else
                    cairo_line_to(cr, x, y);
            }
            cairo_stroke(cr);
        }
    } else {
        cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
        const std::string why = probe.Unavailable().empty() ? "no frames were classified" : probe.Unavailable();
        text(left + 12, confTop + confH / 2.0 + 4, "no confidence curves: " + why, false);
    }

    // Time axis.
    static const double steps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    double step = steps[std::size(steps) - 1];
    for (const double s : steps)
        if (duration / s <= 12) {
            step = s;
            break;
        }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, left, axisTop + 0.5);
    cairo_line_to(cr, left + plotW, axisTop + 0.5);
    cairo_stroke(cr);
    for (double t = 0; t <= duration + 1e-9; t += step) {
        const double x = std::round(xOf(t)) + 0.5;
        cairo_move_to(cr, x, axisTop);
        cairo_line_to(cr, x, axisTop + 5);
        cairo_stroke(cr);
        text(x - 10, axisTop + 18, TimeLabel(t, duration), false);
    }

    cairo_destroy(cr);
    std::string png;
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, AppendPng, &png);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw HostError(ExitInternal, std::string("cannot draw the report picture: ") + cairo_status_to_string(status));
    return png;
}

void WriteReport(const std::string& path, const ReportRun& run, const std::vector<const InputTrace*>& traces)
{
    std::string page;
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<title>orq8-host report</title>\n<style>\n"
            "body{font-family:sans-serif;margin:1.5em;color:#222;max-width:1120px}\n"
            "h1{font-size:1.4em}h2{font-size:1.1em;margin-top:2em;border-bottom:1px solid #ccc}\n"
            "table{border-collapse:collapse;margin:.5em 0}td,th{padding:2px 8px;border:1px solid #ddd;"
            "text-align:right}td:first-child,th:first-child{text-align:left}\n"
            ".meta{color:#555}.swatch{display:inline-block;width:.9em;height:.9em;margin:0 .3em 0 1em;"
            "vertical-align:middle}\nimg{max-width:100%;border:1px solid #ddd}\n</style>\n</head>\n<body>\n";
    page += "<h1>Audio analytics report</h1>\n";
    page += fmt::format(
        "<p class=\"meta\">Written {} by orq8-host. Plug-in folder {}. Settings: {}. {} input(s), {:.1f} s of audio "
        "analysed in {:.2f} s with {} job(s).</p>\n",
        IsoTimeUtc(NowMilliseconds()), Escape(run.pluginFolder), Escape(run.settings.empty() ? "none" : run.settings),
        traces.size(), run.audioSeconds, run.wallSeconds, run.jobs);

    page += "<table>\n<tr><th>input</th><th>duration</th>";
    for (const std::string& name : kSoundClasses)
        page += "<th>" + name + "</th>";
    page += "</tr>\n";
    for (const InputTrace* trace : traces) {
        std::map<std::string, int> counts;
        for (const CommittedEvent& event : trace->Events())
            ++counts[event.name];
        page += fmt::format("<tr><td>{}</td><td>{:.1f} s</td>", Escape(trace->Name()), trace->Seconds());
        for (const std::string& name : kSoundClasses)
            page += fmt::format("<td>{}</td>", counts[name]);
        page += "</tr>\n";
    }
    page += "</table>\n<p>";
    for (std::size_t i = 0; i < kSoundClasses.size(); ++i)
        page += fmt::format("<span class=\"swatch\" style=\"background:{}\"></span>{}", HexColour(kClassColours[i]),
                            kSoundClasses[i]);
    page += "</p>\n<p class=\"meta\">Each picture: the spectrogram (0 Hz at the bottom), the events on their "
            "class's row and as lines through the spectrogram, and each class's confidence (0 to 1) as read from "
            "the classification library, on one time axis from the input's start.</p>\n";

    for (const InputTrace* trace : traces) {
        const PcmFormat& f = trace->Format();
        page += fmt::format("<section>\n<h2>{}</h2>\n", Escape(trace->Name()));
        page += fmt::format("<p class=\"meta\">{} Hz, {} channel(s), {} bit; {:.1f} s from {}; {} event(s).</p>\n",
                            f.sampleRate, f.numChannels, f.bitsPerSample, trace->Seconds(), IsoTimeUtc(trace->Start()),
                            trace->Events().size());
        page += fmt::format("<img alt=\"spectrogram, events and confidence of {}\" src=\"data:image/png;base64,{}\">\n",
                            Escape(trace->Name()), Base64(RenderInputPng(*trace)));
        if (!trace->Confidence().Available() || trace->Confidence().Frames().empty())
            page += fmt::format("<p class=\"meta\">No confidence curves: {}.</p>\n",
                                Escape(trace->Confidence().Unavailable().empty() ? "no frame was classified"
                                                                                 : trace->Confidence().Unavailable()));
        if (!trace->Events().empty()) {
            page += "<details><summary>events</summary>\n<table>\n<tr><th>time</th><th>offset</th><th>event</th></tr>\n";
            for (const CommittedEvent& event : trace->Events()) {
                const double offset =
                    event.timestamp >= trace->Start() ? (event.timestamp - trace->Start()) / 1000.0 : 0.0;
                page += fmt::format("<tr><td>{}</td><td>{:.2f} s</td><td>{}</td></tr>\n", IsoTimeUtc(event.timestamp),
                                    offset, Escape(event.name));
            }
            page += "</table>\n</details>\n";
        }
        page += "</section>\n";
    }
    page += "</body>\n</html>\n";

    // The pictures are drawn: cairo's and fontconfig's process-wide caches
    // (fonts, configuration) are given back, so a leak checker sees none.
    cairo_debug_reset_static_data();
    FcFini();

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file)
        file.write(page.data(), static_cast<std::streamsize>(page.size()));
    file.close();
    if (!file)
        throw HostError(ExitOutputFailed, "cannot write the report " + path);
}

}  // namespace OrqHost
