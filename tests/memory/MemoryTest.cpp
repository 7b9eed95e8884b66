// libzv_memory through its exported calls. The test executable defines
// posix_memalign itself, so the library's calls land here first (the
// executable precedes libc in symbol lookup): that shows exactly what the
// library asks of the system, and lets a test make the system refuse.
#include <dlfcn.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "ZVMemory.h"

namespace {

struct SystemRequest {
    std::size_t alignment;
    std::size_t size;
};

struct SystemAllocator {
    bool recording = false;
    bool refuseNext = false;
    std::vector<SystemRequest> requests;
};

SystemAllocator& systemAllocator()
{
    static SystemAllocator allocator;
    return allocator;
}

using PosixMemalign = int (*)(void**, std::size_t, std::size_t);

}  // namespace

extern "C" int posix_memalign(void** block, std::size_t alignment, std::size_t size) noexcept
{
    static const auto next = reinterpret_cast<PosixMemalign>(::dlsym(RTLD_NEXT, "posix_memalign"));
    SystemAllocator& allocator = systemAllocator();
    if (allocator.recording) {
        allocator.requests.push_back({alignment, size});
        if (allocator.refuseNext) {
            allocator.refuseNext = false;
            return ENOMEM;
        }
    }
    return next(block, alignment, size);
}

namespace {

class ZvMemory : public ::testing::Test {
protected:
    void SetUp() override
    {
        systemAllocator() = SystemAllocator{};
        systemAllocator().recording = true;
    }
    void TearDown() override { systemAllocator().recording = false; }

    static const std::vector<SystemRequest>& Requests() { return systemAllocator().requests; }
};

TEST_F(ZvMemory, RoundsEveryRequestUpToAWholeNumberOf64ByteUnits)
{
    const std::pair<std::uint64_t, std::size_t> cases[] = {
        {1, 64}, {63, 64}, {64, 64}, {65, 128}, {128, 128}, {129, 192}, {1000, 1024}, {4096, 4096}};
    for (const auto& [asked, expected] : cases) {
        SCOPED_TRACE(asked);
        systemAllocator().requests.clear();
        void* block = zvMemoryAlloc(asked);
        ASSERT_NE(block, nullptr);
        ASSERT_EQ(Requests().size(), 1u);
        EXPECT_EQ(Requests()[0].alignment, 64u);
        EXPECT_EQ(Requests()[0].size, expected);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 64, 0u);
        // The whole rounded block is the caller's (a sanitizer build would
        // report a write past a shorter block).
        std::memset(block, 0x5A, expected);
        zvMemoryFree(block);
    }
}

TEST_F(ZvMemory, BlocksAreDistinctAndIndependent)
{
    void* first = zvMemoryAlloc(1);
    void* second = zvMemoryAlloc(1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    std::memset(first, 0x11, 64);
    std::memset(second, 0x22, 64);
    EXPECT_EQ(static_cast<unsigned char*>(first)[63], 0x11);
    zvMemoryFree(first);
    EXPECT_EQ(static_cast<unsigned char*>(second)[0], 0x22);
    zvMemoryFree(second);
}

TEST_F(ZvMemory, ZeroBytesAsksTheSystemForZeroBytes)
{
    void* block = zvMemoryAlloc(0);
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].size, 0u);
    EXPECT_EQ(Requests()[0].alignment, 64u);
    zvMemoryFree(block);  // null or a block; either is accepted
}

TEST_F(ZvMemory, RefusedSystemAllocationGivesNull)
{
    systemAllocator().refuseNext = true;
    EXPECT_EQ(zvMemoryAlloc(100), nullptr);
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].size, 128u);
}

TEST_F(ZvMemory, SizesWhoseRoundingWouldOverflowAreRefusedWithoutAskingTheSystem)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(zvMemoryAlloc(kMax), nullptr);
    EXPECT_EQ(zvMemoryAlloc(kMax - 62), nullptr);
    EXPECT_TRUE(Requests().empty());

    // The largest size that still rounds goes to the system unchanged; it
    // refuses here, as a real system would.
    systemAllocator().refuseNext = true;
    EXPECT_EQ(zvMemoryAlloc(kMax - 63), nullptr);
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].size, kMax - 63);
}

TEST_F(ZvMemory, UsageInfoReadsZeroAndLeavesBytes4To7Alone)
{
    MemoryUsageInfo info;
    std::memset(&info, 0xAB, sizeof info);
    zvMemoryGetUsageInfo(&info);

    unsigned char bytes[sizeof info];
    std::memcpy(bytes, &info, sizeof info);
    for (std::size_t i = 0; i < sizeof info; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bytes[i], (i >= 4 && i < 8) ? 0xAB : 0x00);
    }
}

TEST_F(ZvMemory, NullArgumentsAreIgnored)
{
    zvMemoryFree(nullptr);
    zvMemoryGetUsageInfo(nullptr);
    EXPECT_TRUE(Requests().empty());
}

}  // namespace
