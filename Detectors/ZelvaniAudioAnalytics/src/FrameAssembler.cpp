#include "FrameAssembler.h"

namespace ZVAudioAnalytics {

void FrameAssembler::SetFrameSize(std::uint32_t size)
{
    // Reserve first: if it throws, nothing has changed yet. A buffer larger
    // than one frame gives its excess back (a new one of exactly one frame
    // replaces it), so an earlier larger format does not keep its memory.
    if (carry.capacity() < size) {
        carry.reserve(size);
    } else if (carry.capacity() > size) {
        std::vector<std::uint8_t> fitted;
        fitted.reserve(size);
        carry.swap(fitted);
    }
    frameSize = size;
    frame = nullptr;
    carry.clear();
}

void FrameAssembler::SetInput(const std::uint8_t* data, std::uint32_t size) noexcept
{
    // A block without bytes cannot be read, whatever size it claims.
    input = data;
    inputSize = data != nullptr ? size : 0;
    inputOffset = 0;
}

void FrameAssembler::ForgetInput() noexcept
{
    input = nullptr;
    inputSize = 0;
    inputOffset = 0;
    frame = nullptr;
}

bool FrameAssembler::Next()
{
    if (carryServed) {
        carry.clear();
        carryServed = false;
    }
    const std::uint32_t remaining = inputSize - inputOffset;
    // Without a frame size there is no frame; never loop on empty frames.
    if (frameSize == 0) {
        ForgetInput();
        return false;
    }

    if (!carry.empty()) {
        // carry holds less than one frame, so the sum cannot overflow.
        const std::size_t missing = frameSize - carry.size();
        if (remaining >= missing) {
            carry.insert(carry.end(), input + inputOffset, input + inputOffset + missing);
            inputOffset += static_cast<std::uint32_t>(missing);
            carryServed = true;
            frame = carry.data();
            return true;
        }
        carry.insert(carry.end(), input + inputOffset, input + inputSize);
        ForgetInput();
        return false;
    }

    if (remaining >= frameSize) {
        frame = input + inputOffset;
        inputOffset += frameSize;
        return true;
    }
    if (remaining > 0)
        carry.insert(carry.end(), input + inputOffset, input + inputSize);
    ForgetInput();
    return false;
}

}  // namespace ZVAudioAnalytics
