/* The host's side of the desktop that it shares with the libraries it
 * loads: where the drivers look for the pass-through library, the windows
 * they report to, the message boxes they show. Paths are UTF-8 (see
 * host_system.h); the POSIX side drives the stand-in desktop
 * (desktop_posix.h), the Windows side the real one. */
#ifndef PLATFORM_HOST_DESKTOP_H
#define PLATFORM_HOST_DESKTOP_H

#include <stddef.h>
#include <stdint.h>

#include "platform/calling.h"
#include "platform/messages.h"

#ifdef __cplusplus
extern "C" {
#endif

/* --- Where the drivers look for the pass-through library --- */

/* GetWindowsDirectoryW: the Windows directory, which the drivers read
 * themselves; 0 on POSIX, where there is none and the host chooses one (copied
 * as pfHostProgramPath does). */
size_t pfHostSystemWindowsDirectory(char* buffer, size_t size);
/* POSIX: the Windows directory the libraries see from now on
 * (pfdSetWindowsDirectory); nonzero on success. Windows: nonzero only when
 * path is the system's own, which a program cannot move. */
int pfHostSetWindowsDirectory(const char* path);
/* A Windows directory of this run's own (mkdtemp under /tmp, short enough
 * for every driver): 1 when made (the caller removes it), 0 when the platform
 * has only the system's (GetWindowsDirectoryW, copied into buffer), -1 on
 * failure. */
int pfHostPrivateWindowsDirectory(char* buffer, size_t size);
/* getuid: the user the process runs as (POSIX only; 0 on Windows, whose
 * Windows directory is the system's). */
unsigned long pfHostUserId(void);

/* --- Windows and message boxes of the host --- */

/* CreateWindowExW: a top-level window of the host, shown and focused so
 * that key presses posted to it reach its queue. */
PfWindow pfHostCreateWindow(const char* title);
/* The same with one STATIC child window per item id (GetDlgItem finds
 * them), e.g. item 1017 for the drivers' status texts. */
PfWindow pfHostCreateDialogWindow(const char* title, const int32_t* itemIds, size_t itemCount);
/* DestroyWindow, IsWindow, SetFocus. */
void pfHostDestroyWindow(PfWindow window);
int pfHostIsWindow(PfWindow window);
void pfHostSetFocus(PfWindow window);
/* PostMessageW of WM_KEYDOWN with the virtual key (repeat count 1). */
int pfHostPostKeyDown(PfWindow window, uint32_t virtualKey);
/* The message boxes the libraries show (a WH_CBT hook of SetWindowsHookExW
 * sees each as it is activated): the handler gets text and title as the
 * library gave them (on Windows read back with GetWindowTextA, so in the
 * ANSI code page) and answers with the button; null removes the handler (boxes then wait
 * for the user on Windows, are answered OK on POSIX). */
typedef int (*PfHostMessageBoxHandler)(void* context, const char* text, const char* title);
void pfHostSetMessageBoxHandler(PfHostMessageBoxHandler handler, void* context);
/* POSIX: the libraries' Sleep on a virtual clock (the simulated scanner's
 * waits cost no time). Windows: nothing; Sleep sleeps. */
void pfHostUseVirtualClock(int on);

#ifdef __cplusplus
}
#endif

#endif
