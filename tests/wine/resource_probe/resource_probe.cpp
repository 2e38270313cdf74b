// A DLL with resources and one export per calling convention: the Windows host
// checks the resource compiler's output and its own convention probe with it,
// and, through the kernel32 calls below, what it counts and redirects in the
// libraries it loads (global memory blocks, handle files, Sleep).
#include <windows.h>

#include <stdint.h>

#include "platform/calling.h"

extern "C" {

// Callee cleans: removes its 8 bytes of arguments.
int32_t PF_STDCALL ProbeAddStdcall(int32_t a, int32_t b) { return a + b; }
// Caller cleans.
int32_t PF_CDECL ProbeAddCdecl(int32_t a, int32_t b) { return a + b; }

void* PF_CDECL ProbeAllocBlock(uint32_t bytes) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes); }
int32_t PF_CDECL ProbeFreeBlock(void* block) { return GlobalFree(static_cast<HGLOBAL>(block)) == nullptr; }
int32_t PF_CDECL ProbeOpenFile(const char* path) { return _lcreat(path, 0); }
int32_t PF_CDECL ProbeCloseFile(int32_t file) { return _lclose(file); }
void PF_CDECL ProbeSleep(uint32_t milliseconds) { Sleep(milliseconds); }
}
