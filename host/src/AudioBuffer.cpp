#include "AudioBuffer.h"

#include <cstring>

namespace OrqHost {

PcmBuffer::PcmBuffer(std::uint64_t timestamp, PcmFormat format, std::vector<std::uint8_t> data, std::string name)
    : timestamp(timestamp), format(format), data(std::move(data)), name(std::move(name))
{
}

void* PcmBuffer::DoGetContract(const char* key)
{
    if (key == nullptr)
        return nullptr;
    if (std::strcmp(key, ORQ8::ContractKey<ORQ8::MFF::IAudioBufferPcm>()) == 0)
        return static_cast<ORQ8::MFF::IAudioBufferPcm*>(this);
    if (std::strcmp(key, ORQ8::ContractKey<ORQ8::MFF::IMultimediaBuffer>()) == 0 ||
        std::strcmp(key, ORQ8::ContractKey<ORQ8::IContract>()) == 0)
        return static_cast<ORQ8::MFF::IMultimediaBuffer*>(this);
    return nullptr;
}

}  // namespace OrqHost
