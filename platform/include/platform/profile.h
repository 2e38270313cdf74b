/* The user's Windows profile and the Windows directory (stands for
 * GetProfileStringA, which reads win.ini, and GetWindowsDirectoryA). */
#ifndef PLATFORM_PROFILE_H
#define PLATFORM_PROFILE_H

#include <stdint.h>

#include "platform/calling.h"

#ifdef __cplusplus
extern "C" {
#endif

/* GetProfileStringA: the value of key in section of win.ini (names compared
 * without regard to case), or defaultValue (null: empty) when the section or
 * key is missing; leading and trailing blanks of the value and one pair of
 * quotes around it are dropped. Copies at most bufferSize - 1 bytes and a
 * zero; returns the bytes copied. Section and key must be given (the listing
 * forms with a null name are not offered): with either null the result is 0
 * and the buffer empty. */
uint32_t pfGetProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                            uint32_t bufferSize);

/* GetWindowsDirectoryA: when the path and its zero fit in bufferSize bytes,
 * copies them and returns the path's length; otherwise leaves the buffer
 * alone and returns the size needed, zero included (so a result >= bufferSize
 * means "does not fit"). 0 on failure. No trailing separator. */
uint32_t pfGetWindowsDirectory(char* buffer, uint32_t bufferSize);

#ifdef __cplusplus
}
#endif

#endif
