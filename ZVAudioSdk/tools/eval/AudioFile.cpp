#include "AudioFile.h"

#include <sndfile.h>

#include <memory>
#include <stdexcept>

namespace zv::eval {

namespace {

constexpr int kFrameMs = 40;

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

}  // namespace

Audio ReadAudio(const std::string& path) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) throw std::runtime_error(path + ": " + sf_strerror(nullptr));
    if (info.channels <= 0 || info.samplerate <= 0) throw std::runtime_error(path + ": no audio");
    Audio audio;
    audio.sampleRate = static_cast<std::uint32_t>(info.samplerate);
    audio.channels = static_cast<std::uint32_t>(info.channels);
    const sf_count_t frameSamples = static_cast<sf_count_t>(info.samplerate) * kFrameMs / 1000;
    const sf_count_t wholeFrames = frameSamples > 0 ? info.frames / frameSamples * frameSamples : 0;
    std::vector<short> samples(static_cast<std::size_t>(wholeFrames) * audio.channels);
    const sf_count_t got = sf_readf_short(file.get(), samples.data(), wholeFrames);
    if (got != wholeFrames) throw std::runtime_error(path + ": short read");
    audio.pcm.resize(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        audio.pcm[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        audio.pcm[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    audio.durationS = static_cast<double>(wholeFrames) / info.samplerate;
    return audio;
}

}  // namespace zv::eval
