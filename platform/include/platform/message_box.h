/* Message boxes (stands for MessageBoxA). Texts and titles are 8-bit strings
 * of the current ANSI code page. */
#ifndef PLATFORM_MESSAGE_BOX_H
#define PLATFORM_MESSAGE_BOX_H

#include <stdint.h>

#include "platform/calling.h"
#include "platform/messages.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    PF_MB_OK = 0x0000,
    PF_MB_OKCANCEL = 0x0001,
    PF_MB_ICONSTOP = 0x0010,
    PF_MB_ICONEXCLAMATION = 0x0030,
    PF_MB_ICONINFORMATION = 0x0040,
    PF_IDOK = 1,
    PF_IDCANCEL = 2,
};

/* MessageBoxA: shows the box owned by owner and waits; the button pressed
 * (PF_IDOK...), 0 when no box could be shown. */
int pfMessageBox(PfWindow owner, const char* text, const char* title, uint32_t style);

#ifdef __cplusplus
}
#endif

#endif
