// The host's side of the stand-in desktop: its windows and message boxes are
// the stand-in's, and the Windows directory is whichever the host sets.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/desktop_posix.h"
#include "platform/host_desktop.h"

namespace {

PfHostMessageBoxHandler g_boxes = nullptr;

int onMessageBox(void* context, PfWindow, const char* text, const char* title, uint32_t) {
    return g_boxes(context, text, title);
}

}  // namespace

extern "C" {

PF_EXPORT size_t pfHostSystemWindowsDirectory(char* buffer, size_t size) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
}

PF_EXPORT int pfHostSetWindowsDirectory(const char* path) {
    pfdSetWindowsDirectory(path);
    return 1;
}

PF_EXPORT int pfHostPrivateWindowsDirectory(char* buffer, size_t size) {
    char name[] = "/tmp/aucal-win-XXXXXX";  // short enough for every driver
    if (size < sizeof name || ::mkdtemp(name) == nullptr) return -1;
    std::memcpy(buffer, name, sizeof name);
    return 1;
}

PF_EXPORT unsigned long pfHostUserId(void) { return static_cast<unsigned long>(::getuid()); }

PF_EXPORT PfWindow pfHostCreateWindow(const char* title) {
    PfWindow window = pfdCreateWindow(title);
    pfdSetFocus(window);
    return window;
}

PF_EXPORT PfWindow pfHostCreateDialogWindow(const char* title, const int32_t* itemIds, size_t itemCount) {
    return pfdCreateDialogWindow(title, itemIds, itemCount);
}

PF_EXPORT void pfHostDestroyWindow(PfWindow window) { pfdDestroyWindow(window); }
PF_EXPORT int pfHostIsWindow(PfWindow window) { return pfdIsWindow(window); }
PF_EXPORT void pfHostSetFocus(PfWindow window) { pfdSetFocus(window); }
PF_EXPORT int pfHostPostKeyDown(PfWindow window, uint32_t virtualKey) { return pfdPostKeyDown(window, virtualKey); }

PF_EXPORT void pfHostSetMessageBoxHandler(PfHostMessageBoxHandler handler, void* context) {
    g_boxes = handler;
    if (handler == nullptr)
        pfdSetMessageBoxHandler(nullptr, nullptr);
    else
        pfdSetMessageBoxHandler(onMessageBox, context);
}

PF_EXPORT void pfHostUseVirtualClock(int on) { pfdUseVirtualClock(on); }
}
