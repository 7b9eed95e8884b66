// A host audio sample for tests: an IAudioBufferPcm over bytes the test
// chooses. The test owns the object (on the stack or in a vector); Destroy()
// only counts, so a test can check that the code under test destroyed the
// sample exactly once, and the fake notes every read made after Destroy().
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "MultimediaBuffer.h"

namespace TestSupport {

// Mono 16 kHz 16-bit: the stream every detector test starts from.
struct AudioFormat {
    std::uint32_t sampleRate = 16000;
    std::uint32_t numChannels = 1;
    std::uint32_t bitsPerSample = 16;
};

// `size` bytes counting up from `first` (wrapping at 256), so every byte of
// a stream can be told apart from its neighbours.
inline std::vector<std::uint8_t> CountingBytes(std::size_t size, std::uint8_t first = 0)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

class AudioSampleFake : public ORQ8::MFF::IAudioBufferPcm {
public:
    AudioSampleFake(std::uint64_t timestamp, std::vector<std::uint8_t> data, AudioFormat format = {},
                    std::string name = "sample")
        : timestamp(timestamp), data(std::move(data)), format(format), name(std::move(name))
    {
    }

    // Not copied: the code under test holds its address.
    AudioSampleFake(const AudioSampleFake&) = delete;
    AudioSampleFake& operator=(const AudioSampleFake&) = delete;

    // --- IContract ---
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override
    {
        Touch();
        if (key == nullptr)
            return nullptr;
        if (answersPcm && std::strcmp(key, ORQ8::ContractKey<ORQ8::MFF::IAudioBufferPcm>()) == 0)
            return static_cast<ORQ8::MFF::IAudioBufferPcm*>(this);
        if (std::strcmp(key, ORQ8::ContractKey<ORQ8::MFF::IMultimediaBuffer>()) == 0 ||
            std::strcmp(key, ORQ8::ContractKey<ORQ8::IContract>()) == 0)
            return static_cast<ORQ8::MFF::IMultimediaBuffer*>(this);
        return nullptr;
    }

    // --- IMultimediaBuffer ---
    std::uint64_t GetTimestamp() override { return Touch(), timestamp; }
    const char* GetBufferName() override { return Touch(), nullName ? nullptr : name.c_str(); }
    std::uint32_t GetFlags() override { return Touch(), 0; }
    void Destroy() override { ++destroyCount; }

    // --- IAudioBufferPcm ---
    const std::uint8_t* GetData() override { return Touch(), data.empty() ? nullptr : data.data(); }
    std::uint32_t GetDataSize() override { return Touch(), static_cast<std::uint32_t>(data.size()); }
    std::uint32_t GetNumChannels() override { return Touch(), format.numChannels; }
    std::uint32_t GetSampleRate() override { return Touch(), format.sampleRate; }
    std::uint32_t GetBitsPerSample() override { return Touch(), format.bitsPerSample; }

    // --- Test controls and observations ---
    std::uint64_t timestamp;
    std::vector<std::uint8_t> data;
    AudioFormat format;
    std::string name;
    bool nullName = false;    // GetBufferName returns null
    bool answersPcm = true;   // false: the IAudioBufferPcm query yields null
    int destroyCount = 0;
    int readsAfterDestroy = 0;

private:
    void Touch()
    {
        if (destroyCount > 0)
            ++readsAfterDestroy;
    }
};

}  // namespace TestSupport
