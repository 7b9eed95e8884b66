// The frame assembler on its own: frames back to back across blocks, in place
// when they lie inside a block, copied only when they span two.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "AudioSampleFake.h"
#include "FrameAssembler.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using TestSupport::CountingBytes;
using ZVAudioAnalytics::FrameAssembler;

struct Drained {
    Bytes bytes;              // every frame's bytes, in order
    int frames = 0;
    int framesInPlace = 0;    // frames that pointed into the input block
};

// Feeds one block and collects the frames it completes.
void Feed(FrameAssembler& assembler, const Bytes& block, Drained& out)
{
    assembler.SetInput(block.empty() ? nullptr : block.data(), static_cast<std::uint32_t>(block.size()));
    while (assembler.Next()) {
        const std::uint8_t* frame = assembler.Frame();
        ++out.frames;
        if (!block.empty() && frame >= block.data() && frame < block.data() + block.size())
            ++out.framesInPlace;
        out.bytes.insert(out.bytes.end(), frame, frame + assembler.FrameSize());
    }
    EXPECT_EQ(assembler.Frame(), nullptr) << "no frame once the block is used up";
}

TEST(FrameAssembler, FramesLieBackToBackAcrossBlocksOfAnySize)
{
    // Uneven block sizes, all smaller and larger than a frame, against a
    // frame size that divides none of them.
    const Bytes stream = CountingBytes(10000, 3);
    const std::size_t sizes[] = {640, 1, 3200, 0, 1279, 2560, 999, 1280};
    FrameAssembler assembler;
    assembler.SetFrameSize(1280);
    Drained out;
    std::size_t offset = 0;
    for (std::size_t size : sizes) {
        const Bytes block(stream.begin() + offset, stream.begin() + offset + size);
        offset += size;
        Feed(assembler, block, out);
        EXPECT_EQ(assembler.CarriedBytes(), offset % 1280) << "after " << offset << " bytes";
    }
    ASSERT_EQ(offset, 9959u);
    EXPECT_EQ(out.frames, static_cast<int>(offset / 1280));
    EXPECT_EQ(out.bytes, Bytes(stream.begin(), stream.begin() + out.frames * 1280));
}

TEST(FrameAssembler, FramesInsideABlockAreNotCopiedAndASpanningFrameIs)
{
    FrameAssembler assembler;
    assembler.SetFrameSize(1280);
    Drained out;
    Feed(assembler, CountingBytes(3200), out);
    EXPECT_EQ(out.frames, 2);
    EXPECT_EQ(out.framesInPlace, 2);
    EXPECT_EQ(assembler.CarriedBytes(), 640u);

    // The next block's first frame is 640 carried bytes plus 640 new ones,
    // assembled outside the block; the rest of it lies in place.
    Drained next;
    const Bytes block = CountingBytes(1920, 200);
    Feed(assembler, block, next);
    EXPECT_EQ(next.frames, 2);
    EXPECT_EQ(next.framesInPlace, 1);
    Bytes expected = CountingBytes(3200);
    expected.erase(expected.begin(), expected.begin() + 2560);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(next.bytes, expected);
}

TEST(FrameAssembler, SetFrameSizeEmptiesTheCarryAndKeepsItsStorage)
{
    FrameAssembler assembler;
    assembler.SetFrameSize(3840);
    Drained out;
    Feed(assembler, CountingBytes(1000), out);
    EXPECT_EQ(assembler.CarriedBytes(), 1000u);

    // A smaller frame size: the partial audio of the old stream is gone, so
    // the next frame starts with the new block's first byte.
    assembler.SetFrameSize(640);
    EXPECT_EQ(assembler.CarriedBytes(), 0u);
    EXPECT_EQ(assembler.Frame(), nullptr);
    Drained after;
    const Bytes block = CountingBytes(700, 50);
    Feed(assembler, block, after);
    EXPECT_EQ(after.frames, 1);
    EXPECT_EQ(after.bytes, Bytes(block.begin(), block.begin() + 640));
}

TEST(FrameAssembler, ExactMultipleLeavesNothingAndEmptyOrNullBlocksGiveNoFrame)
{
    FrameAssembler assembler;
    assembler.SetFrameSize(1280);
    Drained out;
    Feed(assembler, CountingBytes(2560), out);
    EXPECT_EQ(out.frames, 2);
    EXPECT_EQ(assembler.CarriedBytes(), 0u);

    Feed(assembler, Bytes{}, out);
    EXPECT_EQ(out.frames, 2);

    // A block without bytes is empty, whatever size it claims.
    assembler.SetInput(nullptr, 5000);
    EXPECT_FALSE(assembler.Next());
    EXPECT_EQ(assembler.CarriedBytes(), 0u);
}

TEST(FrameAssembler, WithoutAFrameSizeThereIsNoFrame)
{
    FrameAssembler assembler;
    const Bytes block = CountingBytes(100);
    assembler.SetInput(block.data(), 100);
    EXPECT_FALSE(assembler.Next());
    assembler.SetFrameSize(0);
    assembler.SetInput(block.data(), 100);
    EXPECT_FALSE(assembler.Next());
}

}  // namespace
