/* posix_memalign is POSIX, not ISO C. */
#define _POSIX_C_SOURCE 200112L

#include "ZVMemory.h"

#include <stdlib.h>

void* zvMemoryAlloc(uint64_t size)
{
    const uint64_t slack = ZV_MEMORY_ALIGNMENT - 1u;
    void* block = NULL;
    /* Rounding such a size up would wrap past zero and hand out a block far
     * smaller than asked for; refuse it like any failed allocation. */
    if (size > UINT64_MAX - slack)
        return NULL;
    if (posix_memalign(&block, ZV_MEMORY_ALIGNMENT, (size_t)((size + slack) & ~slack)) != 0)
        return NULL;
    return block;
}

void zvMemoryFree(void* block)
{
    /* Every block comes from posix_memalign, which free accepts. */
    if (block != NULL)
        free(block);
}

void zvMemoryGetUsageInfo(MemoryUsageInfo* info)
{
    if (info == NULL)
        return;
    info->blockCount = 0;
    info->bytesInUse = 0;
    info->peakBytesInUse = 0;
}
