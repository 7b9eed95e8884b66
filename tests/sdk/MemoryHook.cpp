#include "MemoryHook.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "ZVMemory.h"

namespace {

std::mutex mutex;
SdkTest::MemoryUse use;
std::unordered_map<void*, std::uint64_t>& Sizes()
{
    static auto* sizes = new std::unordered_map<void*, std::uint64_t>();
    return *sizes;
}

template <typename Function>
Function Next(const char* name)
{
    void* symbol = ::dlsym(RTLD_NEXT, name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("no next definition of ") + name);
    }
    return reinterpret_cast<Function>(symbol);
}

}  // namespace

extern "C" void* zvMemoryAlloc(uint64_t size)
{
    static const auto next = Next<void* (*)(uint64_t)>("zvMemoryAlloc");
    void* block = next(size);
    if (block != nullptr) {
        std::lock_guard<std::mutex> lock(mutex);
        ++use.allocations;
        use.liveBytes += size;
        Sizes()[block] = size;
    }
    return block;
}

extern "C" void zvMemoryFree(void* block)
{
    static const auto next = Next<void (*)(void*)>("zvMemoryFree");
    if (block != nullptr) {
        std::lock_guard<std::mutex> lock(mutex);
        ++use.frees;
        const auto found = Sizes().find(block);
        if (found != Sizes().end()) {
            use.liveBytes -= found->second;
            Sizes().erase(found);
        }
    }
    next(block);
}

namespace SdkTest {

MemoryUse CurrentMemoryUse()
{
    std::lock_guard<std::mutex> lock(mutex);
    return use;
}

}  // namespace SdkTest
