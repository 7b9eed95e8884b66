#include "Pcm.h"

namespace zvsdk {

std::uint32_t SampleWidth(std::uint32_t frameBytes, std::uint32_t samplesPerChannel,
                          std::uint32_t channels) noexcept
{
    const std::uint64_t samples = static_cast<std::uint64_t>(samplesPerChannel) * channels;
    if (samples == 0 || frameBytes % samples != 0) {
        return 0;
    }
    const std::uint64_t width = frameBytes / samples;
    return width >= 1 && width <= 4 ? static_cast<std::uint32_t>(width) : 0;
}

namespace {

// One sample of `Width` bytes, scaled to [-1, 1).
template <std::uint32_t Width>
inline float Sample(const std::uint8_t* p) noexcept
{
    if constexpr (Width == 1) {
        return (static_cast<float>(p[0]) - 128.0f) * (1.0f / 128.0f);
    } else if constexpr (Width == 2) {
        const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
        return static_cast<float>(v) * (1.0f / 32768.0f);
    } else if constexpr (Width == 3) {
        // Place the 24 bits at the top of a 32-bit word so the sign comes along.
        const std::uint32_t u = (static_cast<std::uint32_t>(p[0]) << 8) | (static_cast<std::uint32_t>(p[1]) << 16) |
                                (static_cast<std::uint32_t>(p[2]) << 24);
        return static_cast<float>(static_cast<std::int32_t>(u)) * (1.0f / 2147483648.0f);
    } else {
        const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        return static_cast<float>(static_cast<std::int32_t>(u)) * (1.0f / 2147483648.0f);
    }
}

template <std::uint32_t Width>
void Mix(const std::uint8_t* data, std::uint32_t count, std::uint32_t channels, float* mono) noexcept
{
    if (channels == 1) {
        for (std::uint32_t i = 0; i < count; ++i) {
            mono[i] = Sample<Width>(data + static_cast<std::size_t>(i) * Width);
        }
        return;
    }
    const float scale = 1.0f / static_cast<float>(channels);
    const std::size_t stride = static_cast<std::size_t>(channels) * Width;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* p = data + i * stride;
        float sum = 0.0f;
        for (std::uint32_t c = 0; c < channels; ++c) {
            sum += Sample<Width>(p + static_cast<std::size_t>(c) * Width);
        }
        mono[i] = sum * scale;
    }
}

}  // namespace

void MixToMono(const std::uint8_t* data, std::uint32_t width, std::uint32_t samplesPerChannel,
               std::uint32_t channels, float* mono) noexcept
{
    switch (width) {
    case 1: Mix<1>(data, samplesPerChannel, channels, mono); break;
    case 2: Mix<2>(data, samplesPerChannel, channels, mono); break;
    case 3: Mix<3>(data, samplesPerChannel, channels, mono); break;
    case 4: Mix<4>(data, samplesPerChannel, channels, mono); break;
    default: break;
    }
}

}  // namespace zvsdk
