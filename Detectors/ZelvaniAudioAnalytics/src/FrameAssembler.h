// FrameAssembler: cuts a stream of PCM byte blocks into frames of one fixed
// size, back to back, with no overlap and no gap across blocks.
//
// Frames that lie wholly inside a block are handed out in place; only a frame
// that spans two blocks is assembled in the carry buffer, whose storage is
// reserved once per SetFrameSize, so the steady state does not allocate.
//
// Used by the detector's media thread only (Receive, never twice at once);
// it takes no lock. The carry buffer is the only state that lives across
// blocks: it holds less than one frame between two blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZVAudioAnalytics {

class FrameAssembler {
public:
    // Starts a new stream of `size`-byte frames: empties the carry buffer and
    // makes sure it can hold one frame without growing again; storage beyond
    // one frame, left by a larger earlier frame size, is given back. Leaves
    // the input block alone. If the reservation throws (std::bad_alloc), the
    // assembler is unchanged.
    void SetFrameSize(std::uint32_t size);

    // Makes `data`/`size` the input block (borrowed; it must stay alive until
    // Next returns false or the next SetInput). A null `data` counts as an
    // empty block. Leaves the carry buffer alone.
    void SetInput(const std::uint8_t* data, std::uint32_t size) noexcept;

    // True when a whole frame is available at Frame(). False when the input
    // block is used up; its remainder then waits in the carry buffer and the
    // block is forgotten. Never allocates after SetFrameSize.
    bool Next();

    // The current frame: valid until the next Next, SetInput or SetFrameSize
    // and, when it lies in the input block, only while that block lives.
    const std::uint8_t* Frame() const noexcept { return frame; }
    std::uint32_t FrameSize() const noexcept { return frameSize; }
    // Bytes of storage the carry buffer holds.
    std::size_t CarryCapacity() const noexcept { return carry.capacity(); }

private:
    void ForgetInput() noexcept;

    const std::uint8_t* frame = nullptr;
    std::uint32_t frameSize = 0;
    const std::uint8_t* input = nullptr;
    std::uint32_t inputSize = 0;
    std::uint32_t inputOffset = 0;
    std::vector<std::uint8_t> carry;
    // The last frame handed out was `carry` itself; empty it before the next.
    bool carryServed = false;
};

}  // namespace ZVAudioAnalytics
