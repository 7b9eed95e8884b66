// The frame assembler's own promises, beyond the bytes the detector tests
// see reach the SDK: frames inside a block are handed out in place, a frame
// that spans two blocks is assembled apart, and unreadable input gives none.
#include <cstdint>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "AudioSampleFake.h"
#include "FrameAssembler.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using TestSupport::CountingBytes;
using ZVAudioAnalytics::FrameAssembler;

bool Inside(const std::uint8_t* p, const Bytes& block)
{
    const std::less_equal<const std::uint8_t*> le;
    return le(block.data(), p) && !le(block.data() + block.size(), p);
}

TEST(FrameAssembler, FramesInsideABlockAreNotCopiedAndASpanningFrameIs)
{
    FrameAssembler assembler;
    assembler.SetFrameSize(1280);
    const Bytes first = CountingBytes(3200);
    assembler.SetInput(first.data(), 3200);
    for (std::uint32_t offset : {0u, 1280u}) {
        ASSERT_TRUE(assembler.Next());
        EXPECT_EQ(assembler.Frame(), first.data() + offset);
    }
    EXPECT_FALSE(assembler.Next());  // 640 bytes wait

    const Bytes second = CountingBytes(2000, 77);
    assembler.SetInput(second.data(), 2000);
    ASSERT_TRUE(assembler.Next());
    EXPECT_FALSE(Inside(assembler.Frame(), second));
    Bytes expected(first.begin() + 2560, first.end());
    expected.insert(expected.end(), second.begin(), second.begin() + 640);
    EXPECT_EQ(Bytes(assembler.Frame(), assembler.Frame() + 1280), expected);
    ASSERT_TRUE(assembler.Next());
    EXPECT_EQ(assembler.Frame(), second.data() + 640);
    EXPECT_FALSE(assembler.Next());
    EXPECT_EQ(assembler.Frame(), nullptr);
}

TEST(FrameAssembler, UnreadableInputOrNoFrameSizeGiveNoFrame)
{
    FrameAssembler assembler;
    const Bytes block = CountingBytes(100);
    assembler.SetInput(block.data(), 100);
    EXPECT_FALSE(assembler.Next()) << "no frame size yet";

    // A block without bytes is empty, whatever size it claims.
    assembler.SetFrameSize(64);
    assembler.SetInput(nullptr, 5000);
    EXPECT_FALSE(assembler.Next());
    assembler.SetInput(block.data(), 100);
    ASSERT_TRUE(assembler.Next());
    EXPECT_EQ(assembler.Frame(), block.data());
}

TEST(FrameAssembler, ASmallerFrameSizeGivesTheExcessStorageBack)
{
    FrameAssembler assembler;
    assembler.SetFrameSize(7680);
    assembler.SetFrameSize(640);
    EXPECT_EQ(assembler.CarryCapacity(), 640u);
    // The smaller buffer still joins a frame across blocks.
    const Bytes block = CountingBytes(1000);
    assembler.SetInput(block.data(), 1000);
    ASSERT_TRUE(assembler.Next());
    EXPECT_FALSE(assembler.Next());
    assembler.SetInput(block.data(), 1000);
    ASSERT_TRUE(assembler.Next());
    Bytes expected(block.begin() + 640, block.end());
    expected.insert(expected.end(), block.begin(), block.begin() + 280);
    EXPECT_EQ(Bytes(assembler.Frame(), assembler.Frame() + 640), expected);
    EXPECT_EQ(assembler.CarryCapacity(), 640u);
}

}  // namespace
