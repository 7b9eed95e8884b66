#include "AudioInput.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ExitStatus.h"

namespace OrqHost {

void DecodePcm(const std::uint8_t* bytes, std::size_t size, const PcmFormat& format, std::vector<float>& out)
{
    // A float holds 24 significant bits: 32-bit samples within 64 of full
    // scale would round up to 1.0, so the wide widths are capped below it.
    constexpr float kBelowOne = 1.0f - 1.0f / 16777216.0f;
    const std::uint32_t width = format.bitsPerSample / 8;
    if (width == 0)
        return;
    const std::size_t count = size / width;
    out.reserve(out.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes + i * width;
        switch (width) {
        case 1: out.push_back((static_cast<int>(p[0]) - 128) / 128.0f); break;
        case 2: out.push_back(static_cast<std::int16_t>(p[0] | (p[1] << 8)) / 32768.0f); break;
        case 3: {
            const std::int32_t v = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                                             static_cast<std::uint32_t>(p[1]) << 16 |
                                                             static_cast<std::uint32_t>(p[2]) << 24);
            out.push_back(std::min(static_cast<float>(v / 2147483648.0), kBelowOne));
            break;
        }
        default: {
            const std::int32_t v = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
            out.push_back(std::min(static_cast<float>(v / 2147483648.0), kBelowOne));
            break;
        }
        }
    }
}

namespace {

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, std::uint32_t width)
{
    for (std::uint32_t b = 0; b < width; ++b)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
}

class SoundFileSource : public AudioSource {
public:
    SoundFileSource(SNDFILE* file, const SF_INFO& info, std::string path) : file(file), info(info), path(std::move(path))
    {
        switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: bits = 8; break;
        case SF_FORMAT_PCM_24: bits = 24; break;
        case SF_FORMAT_PCM_32: bits = 32; break;
        default: bits = 16; break;  // PCM 16, and what has no integer width of its own
        }
    }
    ~SoundFileSource() override { sf_close(file); }

    PcmFormat Format() const override
    {
        return {static_cast<std::uint32_t>(info.samplerate), static_cast<std::uint32_t>(info.channels), bits};
    }
    std::uint64_t TotalFrames() const override { return info.frames > 0 ? static_cast<std::uint64_t>(info.frames) : 0; }

    std::size_t Read(std::vector<std::uint8_t>& out, std::size_t frames) override
    {
        out.clear();
        const std::size_t channels = static_cast<std::size_t>(info.channels);
        sf_count_t got = 0;
        if (bits == 16) {
            shorts.resize(frames * channels);
            got = sf_readf_short(file, shorts.data(), static_cast<sf_count_t>(frames));
            for (sf_count_t i = 0; i < got * static_cast<sf_count_t>(channels); ++i)
                PutLe(out, static_cast<std::uint16_t>(shorts[static_cast<std::size_t>(i)]), 2);
        } else {
            // libsndfile scales integer reads to the full 32-bit range: the
            // file's own bits are the top ones.
            ints.resize(frames * channels);
            got = sf_readf_int(file, ints.data(), static_cast<sf_count_t>(frames));
            for (sf_count_t i = 0; i < got * static_cast<sf_count_t>(channels); ++i) {
                const auto v = static_cast<std::uint32_t>(ints[static_cast<std::size_t>(i)]);
                if (bits == 8)
                    out.push_back(static_cast<std::uint8_t>((v >> 24) ^ 0x80u));
                else if (bits == 24)
                    PutLe(out, v >> 8, 3);
                else
                    PutLe(out, v, 4);
            }
        }
        if (got < 0 || (got == 0 && sf_error(file) != SF_ERR_NO_ERROR))
            throw HostError(ExitInputUnreadable, "cannot read " + path + ": " + sf_strerror(file));
        return static_cast<std::size_t>(got);
    }

private:
    SNDFILE* file;
    SF_INFO info;
    std::string path;
    std::uint32_t bits = 16;
    std::vector<short> shorts;
    std::vector<int> ints;
};

class RawSource : public AudioSource {
public:
    RawSource(std::FILE* stream, bool owned, PcmFormat format, std::string path)
        : stream(stream), owned(owned), format(format), path(std::move(path))
    {
    }
    ~RawSource() override
    {
        if (owned)
            std::fclose(stream);
    }

    PcmFormat Format() const override { return format; }
    std::uint64_t TotalFrames() const override { return 0; }

    std::size_t Read(std::vector<std::uint8_t>& out, std::size_t frames) override
    {
        const std::size_t frameBytes = format.BytesPerFrame();
        out.resize(frames * frameBytes);
        const std::size_t got = std::fread(out.data(), 1, out.size(), stream);
        // A signal (Ctrl-C on a live stream) interrupts the read: the stream
        // ends there, so the run can close with its summary and report.
        if (got < out.size() && std::ferror(stream) && errno != EINTR)
            throw HostError(ExitInputUnreadable, "cannot read " + path + ": " + std::strerror(errno));
        // A partial frame at the very end of the stream is dropped.
        out.resize(got - got % frameBytes);
        return out.size() / frameBytes;
    }

private:
    std::FILE* stream;
    bool owned;
    PcmFormat format;
    std::string path;
};

// Reads the inner source, mixes and resamples with libsamplerate's streaming
// interface, and delivers 16-bit PCM. The inner source is read in blocks as
// large as the caller's request, so the delay the converter adds stays small.
class ConvertingSource : public AudioSource {
public:
    ConvertingSource(std::unique_ptr<AudioSource> inner, bool mono, std::uint32_t rate) : inner(std::move(inner))
    {
        const PcmFormat in = this->inner->Format();
        format.numChannels = mono ? 1 : in.numChannels;
        format.sampleRate = rate != 0 ? rate : in.sampleRate;
        format.bitsPerSample = 16;
        ratio = static_cast<double>(format.sampleRate) / in.sampleRate;
        int error = 0;
        // Medium-quality sinc: clean enough for classification, and several
        // times real time on one core.
        state = src_new(SRC_SINC_MEDIUM_QUALITY, static_cast<int>(format.numChannels), &error);
        if (state == nullptr)
            throw HostError(ExitInternal, std::string("cannot start rate conversion: ") + src_strerror(error));
    }
    ~ConvertingSource() override { src_delete(state); }

    PcmFormat Format() const override { return format; }
    std::uint64_t TotalFrames() const override
    {
        return static_cast<std::uint64_t>(std::llround(static_cast<double>(inner->TotalFrames()) * ratio));
    }

    std::size_t Read(std::vector<std::uint8_t>& out, std::size_t frames) override
    {
        out.clear();
        const std::size_t channels = format.numChannels;
        while (pending.size() < frames * channels && !finished)
            Pump(frames);
        const std::size_t take = std::min(frames, pending.size() / channels);
        out.reserve(take * channels * 2);
        for (std::size_t i = 0; i < take * channels; ++i) {
            const float v = std::clamp(pending[i], -1.0f, 1.0f);
            PutLe(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lrint(v * 32767.0f))), 2);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(take * channels));
        return take;
    }

private:
    // Reads one block of the inner source and runs it through the converter.
    void Pump(std::size_t frames)
    {
        const PcmFormat in = inner->Format();
        const std::size_t got = inner->Read(bytes, std::max<std::size_t>(frames, 256));
        decoded.clear();
        DecodePcm(bytes.data(), bytes.size(), in, decoded);
        if (format.numChannels == 1 && in.numChannels > 1) {
            for (std::size_t f = 0; f < got; ++f) {
                float sum = 0;
                for (std::uint32_t c = 0; c < in.numChannels; ++c)
                    sum += decoded[f * in.numChannels + c];
                decoded[f] = sum / static_cast<float>(in.numChannels);
            }
            decoded.resize(got);
        }
        const bool last = got == 0;
        std::size_t offset = 0;
        const std::size_t channels = format.numChannels;
        do {
            converted.resize(static_cast<std::size_t>((got - offset / channels) * ratio + 64) * channels);
            SRC_DATA data{};
            data.data_in = decoded.data() + offset;
            data.input_frames = static_cast<long>(got - offset / channels);
            data.data_out = converted.data();
            data.output_frames = static_cast<long>(converted.size() / channels);
            data.src_ratio = ratio;
            data.end_of_input = last ? 1 : 0;
            const int error = src_process(state, &data);
            if (error != 0)
                throw HostError(ExitInternal, std::string("rate conversion failed: ") + src_strerror(error));
            pending.insert(pending.end(), converted.begin(),
                           converted.begin() + static_cast<std::ptrdiff_t>(data.output_frames_gen * channels));
            offset += static_cast<std::size_t>(data.input_frames_used) * channels;
            if (last && data.output_frames_gen == 0)
                finished = true;
        } while (offset < got * channels || (last && !finished));
    }

    std::unique_ptr<AudioSource> inner;
    PcmFormat format;
    double ratio = 1.0;
    SRC_STATE* state = nullptr;
    bool finished = false;
    std::vector<std::uint8_t> bytes;
    std::vector<float> decoded;
    std::vector<float> converted;
    std::vector<float> pending;
};

}  // namespace

std::unique_ptr<AudioSource> OpenSoundFile(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        throw HostError(ExitInputUnreadable, "cannot read " + path + ": " + sf_strerror(nullptr));
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file);
        throw HostError(ExitInputUnreadable, "cannot read " + path + ": no audio in it");
    }
    return std::make_unique<SoundFileSource>(file, info, path);
}

std::unique_ptr<AudioSource> OpenRawPcm(const std::string& path, PcmFormat format)
{
    if (path == "-")
        return std::make_unique<RawSource>(stdin, false, format, "standard input");
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr)
        throw HostError(ExitInputUnreadable, "cannot read " + path + ": " + std::strerror(errno));
    return std::make_unique<RawSource>(stream, true, format, path);
}

std::unique_ptr<AudioSource> Converted(std::unique_ptr<AudioSource> source, bool mono, std::uint32_t rate)
{
    const PcmFormat in = source->Format();
    const bool changesChannels = mono && in.numChannels != 1;
    const bool changesRate = rate != 0 && rate != in.sampleRate;
    if (!changesChannels && !changesRate)
        return source;
    return std::make_unique<ConvertingSource>(std::move(source), mono, rate);
}

}  // namespace OrqHost
