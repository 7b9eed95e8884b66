// Fuzzes the detector's FrameAssembler against a plain reference.
//
// Input: a sequence of steps: set a frame size (0 to 65535 bytes, or 40 ms of
// a common format); hand in a block of up to 65535 stream bytes (or a null
// block claiming a size), then take some or all of its frames; set a frame
// size or a new block in the middle of a block.
//
// Checks: every frame handed out equals the next frame-size bytes of the
// stream since the last SetFrameSize (the reference keeps those bytes in a
// plain queue), nothing skipped or repeated; Next answers false exactly when
// less than one frame is left; FrameSize reports the size set; the carry
// buffer holds exactly one frame of storage and never grows between two
// SetFrameSize calls. Each block lives in its own heap allocation, freed as
// soon as the assembler may no longer read it, so a read of a stale block
// is caught by AddressSanitizer.
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "FrameAssembler.h"
#include "FuzzInput.h"

namespace {

// Byte `position` of the stream: no short period, so a frame cut from the
// wrong place does not match by chance.
std::uint8_t StreamByte(std::uint64_t position)
{
    return static_cast<std::uint8_t>((position * 0x9E3779B97F4A7C15ull) >> 56);
}

constexpr std::uint32_t kCommonFrameSizes[] = {640, 1280, 2560, 3840, 320, 1920, 7680, 5120};

struct Reference {
    std::deque<std::uint8_t> pending;  // stream bytes since SetFrameSize, not yet in a frame
    std::uint32_t frameSize = 0;
    std::size_t blockLeft = 0;         // the bytes at the end of `pending` still in the input block

    // The assembler would hand out a frame now.
    bool HasFrame() const { return frameSize != 0 && pending.size() >= frameSize; }
};

class Run {
public:
    explicit Run(Fuzz::Input& in) : in(in) {}

    void Step()
    {
        switch (in.Below(6)) {
        case 0:
            SetFrameSize();
            break;
        case 1:
            // A null block: no bytes, whatever size it claims.
            NewBlock(nullptr, in.U16());
            TakeFrames(true);
            break;
        default: {
            const std::uint32_t size = in.U16() % (in.Bool() ? 65536u : 4096u);
            auto block = std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size);
            for (std::uint32_t i = 0; i < size; ++i)
                block[i] = StreamByte(position + i);
            position += size;
            NewBlock(std::move(block), size);
            // Some of its frames, a frame size or block change in the
            // middle, then the rest.
            if (in.Bool()) {
                TakeFrames(false);
                if (in.Bool()) {
                    SetFrameSize();
                } else if (in.Bool()) {
                    NewBlock(nullptr, 0);
                }
            }
            TakeFrames(true);
        }
        }
    }

private:
    void SetFrameSize()
    {
        const std::uint32_t size = in.Bool() ? kCommonFrameSizes[in.Below(8)] : in.U16();
        assembler.SetFrameSize(size);
        // Only the input block's bytes not yet framed remain in the stream.
        while (ref.pending.size() > ref.blockLeft)
            ref.pending.pop_front();
        ref.frameSize = size;
        FUZZ_CHECK(assembler.FrameSize() == size);
        FUZZ_CHECK(assembler.CarryCapacity() == size);
        capacity = assembler.CarryCapacity();
    }

    // Replaces the input block (the old one's unframed bytes leave the
    // stream); `size` bytes of `bytes`, or a null block.
    void NewBlock(std::unique_ptr<std::uint8_t[]> bytes, std::uint32_t size)
    {
        for (; ref.blockLeft > 0; --ref.blockLeft)
            ref.pending.pop_back();
        block = std::move(bytes);
        assembler.SetInput(block.get(), size);
        if (block) {
            ref.pending.insert(ref.pending.end(), block.get(), block.get() + size);
            ref.blockLeft = size;
        }
    }

    // Takes frames while the reference has one (all of them, or a few when
    // not `toEnd`); at the end, Next must answer false and the block goes.
    void TakeFrames(bool toEnd)
    {
        std::uint32_t limit = toEnd ? UINT32_MAX : in.Below(8);
        while (ref.HasFrame() && limit-- > 0) {
            FUZZ_CHECK(assembler.Next());
            FUZZ_CHECK(assembler.FrameSize() == ref.frameSize);
            const std::uint8_t* frame = assembler.Frame();
            FUZZ_CHECK(frame != nullptr);
            for (std::uint32_t i = 0; i < ref.frameSize; ++i)
                FUZZ_CHECK(frame[i] == ref.pending[i]);
            const std::size_t carried = ref.pending.size() - ref.blockLeft;
            const std::size_t fromBlock = ref.frameSize > carried ? ref.frameSize - carried : 0;
            ref.blockLeft -= fromBlock;
            ref.pending.erase(ref.pending.begin(), ref.pending.begin() + ref.frameSize);
        }
        if (!toEnd)
            return;
        FUZZ_CHECK(!assembler.Next());
        // The remainder waits in the carry buffer; the block may go.
        ref.blockLeft = 0;
        block.reset();
        FUZZ_CHECK(assembler.CarryCapacity() == capacity);
    }

    Fuzz::Input& in;
    ZVAudioAnalytics::FrameAssembler assembler;
    Reference ref;
    std::unique_ptr<std::uint8_t[]> block;
    std::uint64_t position = 0;
    std::size_t capacity = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input in(data, size);
    Run run(in);
    for (int steps = 0; steps < 64 && !in.Empty(); ++steps)
        run.Step();
    return 0;
}
