// Reading a labelled folder's audio files into the bytes the plug-in hands
// the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv::eval {

// A WAV file as the plug-in would receive it.
struct Audio {
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::vector<std::uint8_t> pcm;  // 16-bit little-endian, interleaved, whole 40 ms frames only
    double durationS = 0.0;         // of the whole frames kept
};

// Reads a WAV (any format libsndfile reads; converted to 16 bits). A last
// partial frame is dropped, as the plug-in keeps it until more audio comes.
// Throws std::runtime_error on a file it cannot read.
Audio ReadAudio(const std::string& path);

}  // namespace zv::eval
