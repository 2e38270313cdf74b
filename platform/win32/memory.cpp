// Global memory blocks: direct calls to kernel32.
#include <windows.h>

#include "platform/memory.h"

extern "C" {

PfGlobal pfGlobalAlloc(unsigned flags, size_t bytes) {
    return reinterpret_cast<PfGlobal>(GlobalAlloc(flags, bytes));
}
void* pfGlobalLock(PfGlobal block) { return GlobalLock(reinterpret_cast<HGLOBAL>(block)); }
int pfGlobalUnlock(PfGlobal block) { return GlobalUnlock(reinterpret_cast<HGLOBAL>(block)); }
size_t pfGlobalSize(PfGlobal block) { return GlobalSize(reinterpret_cast<HGLOBAL>(block)); }
PfGlobal pfGlobalFree(PfGlobal block) {
    return reinterpret_cast<PfGlobal>(GlobalFree(reinterpret_cast<HGLOBAL>(block)));
}
}
