// Dialogs and their items: direct calls to user32.
#include "platform/dialogs.h"

#include <windows.h>

extern "C" {

PfWindow pfCreateDialogParam(PfInstance instance, const char* templateName, PfWindow owner, PfDialogProc procedure,
                             intptr_t initParam) {
    return reinterpret_cast<PfWindow>(CreateDialogParamA(reinterpret_cast<HINSTANCE>(instance), templateName,
                                                         reinterpret_cast<HWND>(owner),
                                                         reinterpret_cast<DLGPROC>(procedure), initParam));
}

int pfDestroyWindow(PfWindow window) { return DestroyWindow(reinterpret_cast<HWND>(window)) ? 1 : 0; }

int pfIsWindow(PfWindow window) { return IsWindow(reinterpret_cast<HWND>(window)) ? 1 : 0; }

PfWindow pfGetDlgItem(PfWindow dialog, int item) {
    return reinterpret_cast<PfWindow>(GetDlgItem(reinterpret_cast<HWND>(dialog), item));
}

int pfSetDlgItemText(PfWindow dialog, int item, const char* text) {
    return SetDlgItemTextA(reinterpret_cast<HWND>(dialog), item, text) ? 1 : 0;
}

uint32_t pfGetDlgItemText(PfWindow dialog, int item, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return 0;
    buffer[0] = '\0';
    return GetDlgItemTextA(reinterpret_cast<HWND>(dialog), item, buffer, bufferSize);
}

intptr_t pfSendMessage(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}
}
