/* The POSIX desktop: what hosts and tests use to drive the platform stand-in
 * (Linux only; on Windows the real desktop is driven through user32).
 * One desktop per process, shared by the host and every library it loads. */
#ifndef PLATFORM_DESKTOP_POSIX_H
#define PLATFORM_DESKTOP_POSIX_H

#include <stddef.h>
#include <stdint.h>

#include "platform/calling.h"
#include "platform/drawing.h"
#include "platform/messages.h"
#include "platform/window_placement.h"

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
/* Drop every queued message, window, device context and drawn operation,
 * remove the message box handler, and set the screen size, the Windows
 * directory and the cursor back to their defaults. Drawing objects stay
 * (counted by pfdLiveGdiObjects). */
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

/* Dialog windows of the host: a top-level window with one item (a static
 * text window) per id, e.g. item 1017 for the drivers' status texts. */
PfWindow pfdCreateDialogWindow(const char* title, const int32_t* itemIds, size_t itemCount);
/* The text of an item: copies at most bufferSize - 1 bytes and a zero and
 * returns the whole text's length; (size_t)-1 when there is no such item. */
size_t pfdGetItemText(PfWindow dialog, int32_t item, char* buffer, size_t bufferSize);

/* Message boxes reach the handler (text, title, style as given to
 * pfMessageBox); its result is the button pressed. Without a handler every
 * box is answered PF_IDOK. Null removes the handler. */
typedef int (*PfdMessageBoxHandler)(void* context, PfWindow owner, const char* text, const char* title,
                                    uint32_t style);
void pfdSetMessageBoxHandler(PfdMessageBoxHandler handler, void* context);
/* Boxes shown since the desktop was reset. */
size_t pfdMessageBoxCount(void);

/* Screen size in pixels (1024 x 768 unless set). */
void pfdSetScreenSize(int32_t width, int32_t height);
/* The Windows directory: this path when set (null: unset), otherwise the
 * environment variable AUCAL_WINDIR, otherwise the current directory. */
void pfdSetWindowsDirectory(const char* path);

/* Runs the window's procedure (a dialog's dialog procedure) with a message,
 * as SendMessage does; 0 for a window without procedure. */
intptr_t pfdSendMessage(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
/* Moves and sizes a window (screen coordinates). */
int pfdSetWindowRect(PfWindow window, const PfRect* rect);

/* The windows alive, top-level ones and items alike, in creation order:
 * fills at most capacity handles and returns how many there are. */
size_t pfdListWindows(PfWindow* windows, size_t capacity);
typedef struct PfdWindowInfo {
    PfWindow owner;       /* owner of a dialog or top-level window */
    PfWindow parent;      /* dialog of an item */
    int32_t itemId;       /* item id, 0 for a top-level window */
    uint32_t templateId;  /* dialog template number, 0 when not made from a numbered template */
    uint32_t style;
    PfRect rect;          /* screen coordinates */
    int isDialog;         /* made by pfCreateDialogParam or pfdCreateDialogWindow */
} PfdWindowInfo;
int pfdGetWindowInfo(PfWindow window, PfdWindowInfo* info);

/* The system cursor id shown now (PF_IDC_ARROW, PF_IDC_WAIT), 0 for none. */
uint32_t pfdCurrentCursor(void);

/* Drawing objects (brushes, pens, stock objects aside) alive now, and created
 * since the process started; the
 * colour of a brush or pen (PF_CLR_INVALID for an unknown object). */
size_t pfdLiveGdiObjects(void);
uint64_t pfdGdiObjectsCreated(void);
PfColour pfdObjectColour(PfGdiObject object);
/* A memory device context for tests, e.g. the wParam of a colour message;
 * pfdDeleteDC frees it. Device contexts from pfGetDC or pfBeginPaint still
 * held: pfdLiveDCs. */
PfDC pfdCreateDC(void);
void pfdDeleteDC(PfDC dc);
size_t pfdLiveDCs(void);
PfColour pfdBackgroundColour(PfDC dc);

/* What was drawn since the reset, in order. A line has the colour of the pen
 * selected, a text the background colour of its device context. */
enum { PFD_DRAW_MOVE = 1, PFD_DRAW_LINE = 2, PFD_DRAW_TEXT = 3 };
typedef struct PfdDrawOp {
    int kind;
    PfWindow window; /* window of the device context */
    int paintContext; /* drawn through the context of pfBeginPaint */
    int32_t x, y;     /* move and line */
    PfColour colour;
    PfRect rect;      /* text */
    uint32_t format;  /* text */
    char text[128];   /* text */
} PfdDrawOp;
size_t pfdDrawOpCount(void);
int pfdGetDrawOp(size_t index, PfdDrawOp* op);

#ifdef __cplusplus
}
#endif

#endif
