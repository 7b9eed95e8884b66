#include "CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

}  // namespace

// libstdc++'s array, nothrow and sized forms come here too.
void* operator new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size != 0 ? size : 1))
        return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace TestSupport {

AllocationCounter::AllocationCounter()
{
    allocations.store(0);
    counting.store(true);
}
AllocationCounter::~AllocationCounter() { counting.store(false); }
long AllocationCounter::Count() const { return allocations.load(); }

}  // namespace TestSupport
