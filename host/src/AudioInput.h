// Where audio comes from: sound files (read with libsndfile), raw PCM from a
// file or standard input, and a converter that mixes to mono and/or changes
// the rate (libsamplerate) when the user asks.
//
// A source delivers whole PCM frames (one sample of every channel) in its
// Format(): little-endian, channels interleaved, 8-bit unsigned or 16/24/32
// bit signed. A file keeps its own width where it has one (PCM 8, 16, 24, 32
// bits); compressed and floating-point files are delivered as 16-bit. The
// format goes to the plug-in as it is, so the plug-in's own checks answer.
//
// A source is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AudioBuffer.h"

namespace OrqHost {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual PcmFormat Format() const = 0;
    // Appends up to `frames` whole frames to `out` (cleared first); returns
    // the number of frames read, 0 at the end. Throws
    // HostError(ExitInputUnreadable) when reading fails.
    virtual std::size_t Read(std::vector<std::uint8_t>& out, std::size_t frames) = 0;
    // Frames in the whole input, or 0 when not known (a stream).
    virtual std::uint64_t TotalFrames() const = 0;
};

// Opens a sound file; throws HostError(ExitInputUnreadable) naming the file
// and libsndfile's reason.
std::unique_ptr<AudioSource> OpenSoundFile(const std::string& path);

// Raw PCM from `path`, or from standard input when `path` is "-". `format`
// must have a rate, 1 to 64 channels and 8, 16, 24 or 32 bits (the caller
// checks the arguments).
std::unique_ptr<AudioSource> OpenRawPcm(const std::string& path, PcmFormat format);

// Wraps `source` so that it delivers 16-bit PCM mixed to one channel (when
// `mono`) at `rate` Hz (when not 0). Returns `source` itself when it already
// has that format and nothing is to change.
std::unique_ptr<AudioSource> Converted(std::unique_ptr<AudioSource> source, bool mono, std::uint32_t rate);

// Decodes `bytes` of PCM in `format` (whole frames) and appends one float in
// [-1, 1) per sample, interleaved as given.
void DecodePcm(const std::uint8_t* bytes, std::size_t size, const PcmFormat& format, std::vector<float>& out);

}  // namespace OrqHost
