// Run-time library loading: direct calls to kernel32.
#include <windows.h>

#include "platform/library.h"

extern "C" {

PfLibrary pfLoadLibrary(const char* path) { return reinterpret_cast<PfLibrary>(LoadLibraryA(path)); }

PfProcedure pfGetProcAddress(PfLibrary library, const char* name) {
    return reinterpret_cast<PfProcedure>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

int pfFreeLibrary(PfLibrary library) { return FreeLibrary(reinterpret_cast<HMODULE>(library)); }
}
