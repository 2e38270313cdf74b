// Focus and message queue: direct calls to user32.
#include <windows.h>

#include "platform/messages.h"

namespace {

MSG toMsg(const PfMessage& m) {
    MSG msg{};
    msg.hwnd = reinterpret_cast<HWND>(m.window);
    msg.message = m.message;
    msg.wParam = m.wParam;
    msg.lParam = m.lParam;
    msg.time = m.time;
    return msg;
}

}  // namespace

extern "C" {

PfWindow pfGetFocus(void) { return reinterpret_cast<PfWindow>(GetFocus()); }

int pfPeekMessage(PfMessage* message, PfWindow window, uint32_t filterMin, uint32_t filterMax,
                  uint32_t removeFlags) {
    MSG msg{};
    BOOL found = PeekMessageA(&msg, reinterpret_cast<HWND>(window), filterMin, filterMax, removeFlags);
    if (found && message != nullptr) {
        message->window = reinterpret_cast<PfWindow>(msg.hwnd);
        message->message = msg.message;
        message->wParam = msg.wParam;
        message->lParam = msg.lParam;
        message->time = msg.time;
    }
    return found ? 1 : 0;
}

int pfTranslateMessage(const PfMessage* message) {
    if (message == nullptr) return 0;
    MSG msg = toMsg(*message);
    return TranslateMessage(&msg);
}

intptr_t pfDispatchMessage(const PfMessage* message) {
    if (message == nullptr) return 0;
    MSG msg = toMsg(*message);
    return DispatchMessageA(&msg);
}
}
