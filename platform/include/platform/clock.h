/* Sleep (stands for Sleep). On POSIX the desktop may run it on a virtual clock. */
#ifndef PLATFORM_CLOCK_H
#define PLATFORM_CLOCK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void pfSleep(uint32_t milliseconds);

#ifdef __cplusplus
}
#endif

#endif
