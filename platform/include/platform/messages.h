/* Focus window and the calling thread's message queue (stands for GetFocus,
 * PeekMessageA, TranslateMessage, DispatchMessageA). */
#ifndef PLATFORM_MESSAGES_H
#define PLATFORM_MESSAGES_H

#include <stdint.h>

#include "platform/calling.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PfWindowTag* PfWindow;

typedef struct PfMessage {
    PfWindow window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t time;
} PfMessage;

enum {
    PF_WM_KEYDOWN = 0x0100,
    PF_WM_KEYUP = 0x0101,
    PF_WM_CHAR = 0x0102,
    PF_PM_NOREMOVE = 0,
    PF_PM_REMOVE = 1,
    PF_VK_ESCAPE = 0x1B,
};

/* GetFocus: the window with the keyboard focus in the calling thread, or null. */
PfWindow pfGetFocus(void);
/* PeekMessageA: nonzero when a message was found (and removed with PF_PM_REMOVE).
 * window null means any window of the thread; filterMin = filterMax = 0 means no filter. */
int pfPeekMessage(PfMessage* message, PfWindow window, uint32_t filterMin, uint32_t filterMax,
                  uint32_t removeFlags);
/* TranslateMessage */
int pfTranslateMessage(const PfMessage* message);
/* DispatchMessageA */
intptr_t pfDispatchMessage(const PfMessage* message);

#ifdef __cplusplus
}
#endif

#endif
