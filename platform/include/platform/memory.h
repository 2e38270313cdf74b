/* Global memory blocks (stands for GlobalAlloc and friends).
 * A block is allocated, locked to obtain its address, unlocked and freed.
 * Shareable blocks (PF_GMEM_DDESHARE) are the ones whose addresses go into
 * 32-bit fields of pass-through command blocks; on 64-bit POSIX they are
 * placed below 4 GiB. */
#ifndef PLATFORM_MEMORY_H
#define PLATFORM_MEMORY_H

#include <stddef.h>
#include <stdint.h>

#include "platform/calling.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PfGlobalTag* PfGlobal;

enum {
    PF_GMEM_FIXED = 0x0000,
    PF_GMEM_MOVEABLE = 0x0002,
    PF_GMEM_ZEROINIT = 0x0040,
    PF_GMEM_DDESHARE = 0x2000,
};

/* GlobalAlloc: null on failure. */
PfGlobal pfGlobalAlloc(unsigned flags, size_t bytes);
/* GlobalLock: the block's address, null on failure. Locks nest. */
void* pfGlobalLock(PfGlobal block);
/* GlobalUnlock: nonzero while the block stays locked. */
int pfGlobalUnlock(PfGlobal block);
/* GlobalSize: the block's size in bytes, 0 for a null or unknown handle. */
size_t pfGlobalSize(PfGlobal block);
/* GlobalFree: null on success, the handle on failure. */
PfGlobal pfGlobalFree(PfGlobal block);

#ifdef __cplusplus
}
#endif

#endif
