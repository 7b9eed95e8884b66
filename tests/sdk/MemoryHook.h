// Counts what the classification library takes from libzv_memory. An
// executable that links MemoryHook.cpp (and exports its symbols) answers the
// library's zvMemoryAlloc and zvMemoryFree itself, counts them, and hands
// them on to the real libzv_memory found after it.
#pragma once

#include <cstdint>

namespace SdkTest {

struct MemoryUse {
    long allocations = 0;          // zvMemoryAlloc calls that returned a block
    long frees = 0;                // zvMemoryFree calls with a block
    std::uint64_t liveBytes = 0;   // requested bytes not yet given back
};

// A snapshot of the counts since the program started, over all threads.
MemoryUse CurrentMemoryUse();

}  // namespace SdkTest
