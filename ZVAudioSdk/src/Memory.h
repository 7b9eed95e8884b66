// Working memory of the classification library. Every block a handle uses
// comes from libzv_memory (64-byte aligned, which also suits the FFT), is
// taken while the handle is made and given back when it is released, so
// zvAudio_Process never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "ZVMemory.h"

namespace zvsdk {

// A standard allocator over libzv_memory. Containers that use it are sized
// at zvAudio_Init and never grow afterwards.
template <typename T>
struct ZvAllocator {
    using value_type = T;
    ZvAllocator() noexcept = default;
    template <typename U>
    ZvAllocator(const ZvAllocator<U>&) noexcept {}

    T* allocate(std::size_t count)
    {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        void* block = zvMemoryAlloc(static_cast<std::uint64_t>(count * sizeof(T)));
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t) noexcept { zvMemoryFree(block); }

    template <typename U>
    bool operator==(const ZvAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const ZvAllocator<U>&) const noexcept { return false; }
};

template <typename T>
using ZvVector = std::vector<T, ZvAllocator<T>>;

// Makes and ends single objects in libzv_memory blocks.
template <typename T, typename... Args>
T* ZvNew(Args&&... args)
{
    void* block = ZvAllocator<T>().allocate(1);
    try {
        return new (block) T(std::forward<Args>(args)...);
    } catch (...) {
        zvMemoryFree(block);
        throw;
    }
}

template <typename T>
void ZvDelete(T* object) noexcept
{
    if (object != nullptr) {
        object->~T();
        zvMemoryFree(object);
    }
}

}  // namespace zvsdk
