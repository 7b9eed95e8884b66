// A counting global allocator for tests of heap use. An executable that links
// CountingAllocator.cpp has its global operator new and delete replaced; an
// AllocationCounter counts the allocations made, on any thread, while it
// lives. The replacements live in their own unit so that the compiler never
// sees them inlined beside their callers.
#pragma once

namespace TestSupport {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // Allocations since construction.
    long Count() const;
};

}  // namespace TestSupport
