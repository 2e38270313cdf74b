/* Dialogs made from resource templates and their items (stands for
 * CreateDialogParamA, DestroyWindow, IsWindow, GetDlgItem, SetDlgItemTextA,
 * GetDlgItemTextA, SendMessageA), and the window messages the drivers'
 * popup handles. */
#ifndef PLATFORM_DIALOGS_H
#define PLATFORM_DIALOGS_H

#include <stdint.h>

#include "platform/calling.h"
#include "platform/messages.h"
#include "platform/resources.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A dialog procedure (DLGPROC): nonzero when it handled the message; for the
 * colour messages the result is the brush to paint with. Callee-cleans on
 * 32-bit Windows. */
typedef intptr_t(PF_STDCALL* PfDialogProc)(PfWindow dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

enum {
    PF_WM_DESTROY = 0x0002,
    PF_WM_MOVE = 0x0003,
    PF_WM_SETTEXT = 0x000C,
    PF_WM_PAINT = 0x000F,
    PF_WM_CLOSE = 0x0010,
    PF_WM_INITDIALOG = 0x0110,
    PF_WM_COMMAND = 0x0111,
    PF_WM_CTLCOLORMSGBOX = 0x0132,
    PF_WM_CTLCOLOREDIT = 0x0133,
    PF_WM_CTLCOLORLISTBOX = 0x0134,
    PF_WM_CTLCOLORBTN = 0x0135,
    PF_WM_CTLCOLORDLG = 0x0136,
    PF_WM_CTLCOLORSCROLLBAR = 0x0137,
    PF_WM_CTLCOLORSTATIC = 0x0138,
};

/* CreateDialogParamA: a modeless dialog from template (a name, or
 * PF_MAKEINTRESOURCE(id)) of instance, owned by owner. The procedure receives
 * PF_WM_INITDIALOG with initParam before this returns. Null on failure (no
 * such template). */
PfWindow pfCreateDialogParam(PfInstance instance, const char* templateName, PfWindow owner,
                             PfDialogProc procedure, intptr_t initParam);
/* DestroyWindow: destroys the windows it owns, sends PF_WM_DESTROY, destroys
 * its items. Nonzero on success, 0 for a window that does not exist. */
int pfDestroyWindow(PfWindow window);
/* IsWindow */
int pfIsWindow(PfWindow window);
/* GetDlgItem: the item window of the dialog, null when there is none. */
PfWindow pfGetDlgItem(PfWindow dialog, int item);
/* SetDlgItemTextA: nonzero on success. */
int pfSetDlgItemText(PfWindow dialog, int item, const char* text);
/* GetDlgItemTextA: copies at most bufferSize - 1 bytes and a zero; returns
 * the bytes copied (0 and an empty buffer for a missing item). */
uint32_t pfGetDlgItemText(PfWindow dialog, int item, char* buffer, int bufferSize);
/* SendMessageA: runs the window's procedure at once; its result. */
intptr_t pfSendMessage(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);

#ifdef __cplusplus
}
#endif

#endif
