// A DLL with resources and one export per calling convention: the Windows host
// checks the resource compiler's output and its own convention probe with it.
#include <stdint.h>

#include "platform/calling.h"

extern "C" {

// Callee cleans: removes its 8 bytes of arguments.
int32_t PF_STDCALL ProbeAddStdcall(int32_t a, int32_t b) { return a + b; }
// Caller cleans.
int32_t PF_CDECL ProbeAddCdecl(int32_t a, int32_t b) { return a + b; }
}
