// PCM frames as the host delivers them: interleaved little-endian samples of
// one width, which the caller does not name; it follows from the byte count.
#pragma once

#include <cstdint>

namespace zvsdk {

// The sample width in bytes (1 to 4) for which `frameBytes` holds exactly
// `samplesPerChannel` samples of each of `channels` channels, or 0 when no
// width fits.
std::uint32_t SampleWidth(std::uint32_t frameBytes, std::uint32_t samplesPerChannel,
                          std::uint32_t channels) noexcept;

// Mixes `samplesPerChannel` interleaved samples of `channels` channels and
// `width` bytes (1 unsigned 8-bit, 2 signed 16-bit, 3 signed 24-bit, 4 signed
// 32-bit) down to mono floats in [-1, 1) by averaging the channels. `mono`
// holds `samplesPerChannel` floats. Allocates nothing.
void MixToMono(const std::uint8_t* data, std::uint32_t width, std::uint32_t samplesPerChannel,
               std::uint32_t channels, float* mono) noexcept;

}  // namespace zvsdk
