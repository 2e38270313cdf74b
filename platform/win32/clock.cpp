// Sleep: a direct call to kernel32.
#include <windows.h>

#include "platform/clock.h"

extern "C" void pfSleep(uint32_t milliseconds) { Sleep(milliseconds); }
