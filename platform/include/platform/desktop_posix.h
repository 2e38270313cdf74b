/* The POSIX desktop: what hosts and tests use to drive the platform stand-in
 * (Linux only; on Windows the real desktop is driven through user32).
 * One desktop per process, shared by the host and every library it loads. */
#ifndef PLATFORM_DESKTOP_POSIX_H
#define PLATFORM_DESKTOP_POSIX_H

#include <stddef.h>
#include <stdint.h>

#include "platform/calling.h"
#include "platform/messages.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Windows: a top-level host window. Handles are small integers, so they fit the
 * 32-bit window field of a ProgressRecord. */
PfWindow pfdCreateWindow(const char* title);
void pfdDestroyWindow(PfWindow window);
int pfdIsWindow(PfWindow window);
/* SetFocus from the host's side; null clears the focus. */
void pfdSetFocus(PfWindow window);
/* PostMessage: appends to the thread's queue. */
int pfdPostMessage(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
/* A key press: WM_KEYDOWN with the virtual key code (lParam repeat count 1). */
int pfdPostKeyDown(PfWindow window, uint32_t virtualKey);
/* Number of messages queued for window (null: all). */
size_t pfdQueuedMessages(PfWindow window);
/* Drop every queued message and every window. */
void pfdResetDesktop(void);

/* Fault injection. pfdFailAllocationAfter(n): the n-th allocation from now
 * (1 = the next one) fails; 0 turns it off. pfdFailWriteAfter(n): the n-th
 * file write from now comes up short (writes half the bytes, at least one
 * fewer than asked); 0 turns it off. */
void pfdFailAllocationAfter(uint32_t n);
void pfdFailWriteAfter(uint32_t n);
/* Allocations made so far (counts attempts, failed ones included). */
uint64_t pfdAllocationCount(void);
/* Global memory blocks currently allocated and not freed. */
size_t pfdLiveGlobalBlocks(void);
/* Files currently open through pfLopen/pfLcreat. */
size_t pfdOpenFiles(void);

/* Virtual clock: when on, pfSleep advances a counter instead of sleeping. */
void pfdUseVirtualClock(int on);
uint64_t pfdVirtualMilliseconds(void);
/* Number of pfSleep calls since start (either clock). */
uint64_t pfdSleepCalls(void);

#ifdef __cplusplus
}
#endif

#endif
