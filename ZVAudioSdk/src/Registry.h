// The live handles of the library. zvAudio_Init hands out an opaque token,
// not the handle's address: tokens count up and are never reused, so a
// released (stale) or foreign token is told apart from every live one by
// lookup alone and nothing is dereferenced before the lookup succeeds.
//
// Threads: every member takes the registry's mutex for the lookup or change
// only; the handle found is used after the lock is dropped, which is safe
// because calls on one handle never overlap (the caller's promise), so no
// Release runs while the same handle is processing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "Memory.h"

namespace zvsdk {

class Handle;

class Registry {
public:
    // The process-wide registry; constructed on first use.
    static Registry& Instance();

    // Registers `handle` (owned by the caller until Remove) and returns its
    // token, never null. Throws std::bad_alloc.
    void* Add(Handle* handle);
    // The live handle of `token`, or null.
    Handle* Find(const void* token) const;
    // Unregisters `token` and returns its handle (to be destroyed by the
    // caller), or null when it was not live.
    Handle* Remove(const void* token);

private:
    Registry() = default;
    using Map = std::map<std::uintptr_t, Handle*, std::less<>,
                         ZvAllocator<std::pair<const std::uintptr_t, Handle*>>>;
    mutable std::mutex mutex_;
    Map handles_;
    // Tokens start well away from small integers that a caller might pass
    // by mistake; the low bits keep them visibly not pointers to objects.
    std::uintptr_t nextToken_ = 0x5A56000000000001u;
};

}  // namespace zvsdk
