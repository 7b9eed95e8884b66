// The audio sample the host hands to a detector's Receive: PCM bytes with
// their format and time stamp, behind the IAudioBufferPcm face.
//
// Ownership passes to the receiver with Receive, which ends the sample with
// Destroy(); Destroy deletes it. Everything the sample returns is owned by it
// and valid until then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MultimediaBuffer.h"

namespace OrqHost {

struct PcmFormat {
    std::uint32_t sampleRate = 0;
    std::uint32_t numChannels = 0;
    std::uint32_t bitsPerSample = 0;  // 8 (unsigned), 16, 24 or 32 (signed), little-endian

    std::uint32_t BytesPerFrame() const { return numChannels * (bitsPerSample / 8); }
};

class PcmBuffer : public ORQ8::MFF::IAudioBufferPcm {
public:
    PcmBuffer(std::uint64_t timestamp, PcmFormat format, std::vector<std::uint8_t> data, std::string name);

    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char* key) override;

    std::uint64_t GetTimestamp() override { return timestamp; }
    const char* GetBufferName() override { return name.c_str(); }
    std::uint32_t GetFlags() override { return 0; }
    void Destroy() override { delete this; }

    const std::uint8_t* GetData() override { return data.data(); }
    std::uint32_t GetDataSize() override { return static_cast<std::uint32_t>(data.size()); }
    std::uint32_t GetNumChannels() override { return format.numChannels; }
    std::uint32_t GetSampleRate() override { return format.sampleRate; }
    std::uint32_t GetBitsPerSample() override { return format.bitsPerSample; }

private:
    ~PcmBuffer() override = default;

    const std::uint64_t timestamp;
    const PcmFormat format;
    const std::vector<std::uint8_t> data;
    const std::string name;
};

}  // namespace OrqHost
