/* Run-time library loading (stands for LoadLibraryA, GetProcAddress,
 * FreeLibrary). On POSIX a path names the shared object at that path
 * (backslashes become slashes), whatever its file name ends in. */
#ifndef PLATFORM_LIBRARY_H
#define PLATFORM_LIBRARY_H

#include "platform/calling.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PfLibraryTag* PfLibrary;
typedef void (*PfProcedure)(void);

PfLibrary pfLoadLibrary(const char* path);
PfProcedure pfGetProcAddress(PfLibrary library, const char* name);
int pfFreeLibrary(PfLibrary library);

#ifdef __cplusplus
}
#endif

#endif
