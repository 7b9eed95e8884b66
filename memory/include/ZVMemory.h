/* libzv_memory: 64-byte-aligned memory blocks for the vendor SDK.
 *
 * The library keeps no state and does not log. Any thread may call any of
 * the functions at any time; they are exactly as thread-safe as the system
 * allocator. Calls follow the x86-64 System V conventions. */
#ifndef ZV_MEMORY_H
#define ZV_MEMORY_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define ZV_MEMORY_API __attribute__((visibility("default")))
#else
#define ZV_MEMORY_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Alignment, and size granularity, of every block. */
#define ZV_MEMORY_ALIGNMENT 64u

/* Filled by zvMemoryGetUsageInfo. The library counts nothing, so every field
 * it writes reads 0; the names say what a counting allocator would report.
 * `reserved` is a member rather than implicit padding because the library
 * must leave bytes 4 to 7 as the caller had them, and C lets a store to a
 * member clobber padding bytes. */
typedef struct MemoryUsageInfo {
    int32_t blockCount;      /* offset 0: set to 0 */
    uint32_t reserved;       /* offset 4: never written */
    uint64_t bytesInUse;     /* offset 8: set to 0 */
    uint64_t peakBytesInUse; /* offset 16: set to 0 */
} MemoryUsageInfo;

/* A block of at least `size` bytes (rounded up to a multiple of 64) whose
 * address is a multiple of 64, owned by the caller until zvMemoryFree; or
 * null when the system has no such block or the rounded size would not fit
 * in 64 bits. A size of 0 asks the system for 0 bytes: the result is null or
 * a block that zvMemoryFree accepts. */
ZV_MEMORY_API void* zvMemoryAlloc(uint64_t size);

/* Gives back a block from zvMemoryAlloc; null is ignored. */
ZV_MEMORY_API void zvMemoryFree(void* block);

/* Writes zeros into the three counters of `info` and leaves `reserved` as
 * it was; null is ignored. */
ZV_MEMORY_API void zvMemoryGetUsageInfo(MemoryUsageInfo* info);

#ifdef __cplusplus
} /* extern "C" */
#define ZV_MEMORY_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define ZV_MEMORY_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif

ZV_MEMORY_STATIC_ASSERT(sizeof(MemoryUsageInfo) == 24, "MemoryUsageInfo layout");
ZV_MEMORY_STATIC_ASSERT(offsetof(MemoryUsageInfo, blockCount) == 0, "MemoryUsageInfo layout");
ZV_MEMORY_STATIC_ASSERT(offsetof(MemoryUsageInfo, reserved) == 4, "MemoryUsageInfo layout");
ZV_MEMORY_STATIC_ASSERT(offsetof(MemoryUsageInfo, bytesInUse) == 8, "MemoryUsageInfo layout");
ZV_MEMORY_STATIC_ASSERT(offsetof(MemoryUsageInfo, peakBytesInUse) == 16, "MemoryUsageInfo layout");
ZV_MEMORY_STATIC_ASSERT(sizeof(uint64_t) == sizeof(size_t), "64-bit sizes");

#endif /* ZV_MEMORY_H */
