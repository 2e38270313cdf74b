#include <mutex>

#include "desktop_state.h"
#include "desktop_windows.h"
#include "platform/desktop_posix.h"
#include "platform/messages.h"

namespace pf_posix {

Desktop& desktop() {
    static Desktop d;
    return d;
}

WindowRecord* findWindow(PfWindow window) {
    auto it = desktop().windows.find(key(window));
    return it == desktop().windows.end() ? nullptr : &it->second;
}

PfWindow newWindow(const std::string& title, PfWindow parent) {
    Desktop& d = desktop();
    auto handle = reinterpret_cast<PfWindow>(d.nextHandle);
    d.nextHandle += 4;  // window handles are multiples of 4, as on Windows
    WindowRecord& w = d.windows[key(handle)];
    w.title = title;
    w.parent = parent;
    return handle;
}

namespace {

bool matches(const PfMessage& m, PfWindow window, uint32_t filterMin, uint32_t filterMax) {
    if (window != nullptr && m.window != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return m.message >= filterMin && m.message <= filterMax;
}

}  // namespace
}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT PfWindow pfGetFocus(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return desktop().focus;
}

PF_EXPORT int pfPeekMessage(PfMessage* message, PfWindow window, uint32_t filterMin, uint32_t filterMax,
                            uint32_t removeFlags) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    auto& queue = desktop().queue;
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!matches(*it, window, filterMin, filterMax)) continue;
        if (message != nullptr) *message = *it;
        if ((removeFlags & PF_PM_REMOVE) != 0) queue.erase(it);
        return 1;
    }
    return 0;
}

PF_EXPORT int pfTranslateMessage(const PfMessage* message) {
    // A key press of a character key would add WM_CHAR on Windows; the system
    // reads only WM_KEYDOWN, so nothing is generated here.
    return message != nullptr && message->message == PF_WM_KEYDOWN;
}

PF_EXPORT intptr_t pfDispatchMessage(const PfMessage* message) {
    if (message == nullptr) return 0;
    WindowProcedure procedure = nullptr;
    PfDialogProc dialogProcedure = nullptr;
    {
        std::lock_guard<std::mutex> lock(desktopMutex());
        WindowRecord* w = findWindow(message->window);
        if (w != nullptr) {
            procedure = w->procedure;
            dialogProcedure = w->dialogProcedure;
        }
    }
    // A dialog's messages go to its dialog procedure, as the dialog manager's
    // window procedure passes them on.
    if (dialogProcedure != nullptr)
        return dialogProcedure(message->window, message->message, message->wParam, message->lParam);
    return procedure != nullptr ? procedure(message->window, message->message, message->wParam, message->lParam) : 0;
}

PF_EXPORT PfWindow pfdCreateWindow(const char* title) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    PfWindow window = newWindow(title != nullptr ? title : "", nullptr);
    findWindow(window)->rect = PfRect{100, 100, 740, 580};  // a host window somewhere on the screen
    return window;
}

PF_EXPORT void pfdDestroyWindow(PfWindow window) { destroyWindowTree(window); }

PF_EXPORT int pfdIsWindow(PfWindow window) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return findWindow(window) != nullptr;
}

PF_EXPORT void pfdSetFocus(PfWindow window) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    desktop().focus = (window == nullptr || findWindow(window) != nullptr) ? window : nullptr;
}

PF_EXPORT int pfdPostMessage(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    Desktop& d = desktop();
    if (window != nullptr && findWindow(window) == nullptr) return 0;
    d.queue.push_back(PfMessage{window, message, wParam, lParam, ++d.tick});
    return 1;
}

PF_EXPORT int pfdPostKeyDown(PfWindow window, uint32_t virtualKey) {
    return pfdPostMessage(window, PF_WM_KEYDOWN, virtualKey, 1);
}

PF_EXPORT std::size_t pfdQueuedMessages(PfWindow window) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    std::size_t n = 0;
    for (const PfMessage& m : desktop().queue)
        if (window == nullptr || m.window == window) ++n;
    return n;
}

PF_EXPORT void pfdResetDesktop(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    Desktop& d = desktop();
    d.windows.clear();
    d.queue.clear();
    d.focus = nullptr;
    d.screenWidth = 1024;
    d.screenHeight = 768;
    resetDrawing();
    resetMessageBoxes();
    resetCursor();
    resetProfile();
}
}
