// Buffers the host hands over by ownership: audio samples to a detector's
// Receive, event arguments to an event's argument store.
#pragma once

#include <cstdint>
#include <memory>

#include "Contract.h"

namespace ORQ8 {
namespace MFF {

// A host buffer. Whoever holds it owns it and ends its life with Destroy().
class IMultimediaBuffer : public IContract {
public:
    // Time stamp: milliseconds since 1970-01-01 00:00:00 UTC. Target lists
    // report their list value through this slot (ITargetList::GetListValue).
    virtual std::uint64_t GetTimestamp() = 0;
    // NUL-terminated name of the buffer, owned by the buffer; may be null.
    virtual const char* GetBufferName() = 0;
    // The host's third buffer operation is not used by plug-ins; here it
    // returns the buffer's host-defined flags.
    virtual std::uint32_t GetFlags() = 0;
    // Deletes the buffer. Called exactly once, by its current owner.
    virtual void Destroy() = 0;
};

// The PCM face of an audio sample (key "N4ORQ83MFF15IAudioBufferPcmE").
// Every pointer it returns is owned by the sample and valid only while the
// sample lives.
class IAudioBufferPcm : public IMultimediaBuffer {
public:
    // The PCM bytes, interleaved as captured.
    virtual const std::uint8_t* GetData() = 0;
    virtual std::uint32_t GetDataSize() = 0;
    virtual std::uint32_t GetNumChannels() = 0;
    // Samples per second per channel, in Hz.
    virtual std::uint32_t GetSampleRate() = 0;
    virtual std::uint32_t GetBitsPerSample() = 0;
};

// Ends a buffer's life when its owner lets go of it, so an owning pointer
// destroys a host buffer on every path.
struct BufferDestroyer {
    void operator()(IMultimediaBuffer* buffer) const noexcept
    {
        if (buffer != nullptr)
            buffer->Destroy();
    }
};

// An owning pointer to a host buffer.
template <class Buffer = IMultimediaBuffer>
using BufferHolder = std::unique_ptr<Buffer, BufferDestroyer>;

}  // namespace MFF
}  // namespace ORQ8
