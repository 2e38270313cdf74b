/* A library's own resources: its instance handle, strings from its string
 * table (stands for GetModuleHandleExA with FROM_ADDRESS, LoadStringA).
 * Texts are 8-bit strings exactly as stored (ANSI bytes; the Traditional
 * Chinese block is Big5 bytes). */
#ifndef PLATFORM_RESOURCES_H
#define PLATFORM_RESOURCES_H

#include <stdint.h>

#include "platform/calling.h"
#include "platform/library.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PfInstanceTag* PfInstance;

/* A resource named by number (MAKEINTRESOURCEA): ids below 0x10000 travel in
 * the pointer itself. */
#define PF_MAKEINTRESOURCE(id) ((const char*)(uintptr_t)(uint16_t)(id))
#define PF_IS_INTRESOURCE(name) (((uintptr_t)(name) >> 16) == 0)

/* The instance of the module (executable or library) that contains address:
 * a library passes the address of one of its own functions or objects to
 * find its own resources. Null when no module holds the address. */
PfInstance pfModuleOf(const void* address);
/* The instance of a library loaded with pfLoadLibrary (on Windows the module
 * handle is the instance). */
PfInstance pfInstanceOfLibrary(PfLibrary library);

/* LoadStringA: copies at most bufferSize - 1 bytes of string id and a
 * terminating zero; returns the bytes copied, 0 when the string is missing
 * or empty (the buffer then holds an empty text). */
int pfLoadString(PfInstance instance, uint32_t id, char* buffer, int bufferSize);

#ifdef __cplusplus
}
#endif

#endif
