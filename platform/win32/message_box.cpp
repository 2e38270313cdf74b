// Message boxes: a direct call to user32.
#include "platform/message_box.h"

#include <windows.h>

extern "C" {

int pfMessageBox(PfWindow owner, const char* text, const char* title, uint32_t style) {
    return MessageBoxA(reinterpret_cast<HWND>(owner), text, title, style);
}
}
