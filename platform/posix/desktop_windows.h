// Windows and the message queue of the POSIX desktop. The desktop is driven
// from one user-interface thread, as the system's callers are: there is one
// queue, in posting order, and the focus is one window.
//
// Geometry: a top-level window's rect is in screen coordinates, an item's in
// its dialog's client coordinates. The client area is the rect minus the
// frame insets (dialog frame and caption).
#ifndef PLATFORM_POSIX_DESKTOP_WINDOWS_H
#define PLATFORM_POSIX_DESKTOP_WINDOWS_H

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/window_placement.h"

namespace pf_posix {

using WindowProcedure = intptr_t (*)(PfWindow, uint32_t, uintptr_t, intptr_t);

struct WindowRecord {
    std::string title;
    PfWindow parent = nullptr;            // the dialog of an item
    WindowProcedure procedure = nullptr;  // null: messages are dropped on dispatch
    PfWindow owner = nullptr;             // the owner of a dialog
    PfDialogProc dialogProcedure = nullptr;
    int32_t itemId = 0;
    uint32_t templateId = 0;
    uint32_t style = 0;
    bool isDialog = false;
    bool destroying = false;
    PfRect rect{0, 0, 0, 0};
    PfRect frame{0, 0, 0, 0};  // insets of the client area: left, top, right, bottom
};

struct Desktop {
    std::map<std::uintptr_t, WindowRecord> windows;
    std::deque<PfMessage> queue;
    PfWindow focus = nullptr;
    std::uintptr_t nextHandle = 0x100;
    std::uint32_t tick = 0;
    int32_t screenWidth = 1024;
    int32_t screenHeight = 768;
};

// Callers hold desktopMutex().
Desktop& desktop();
WindowRecord* findWindow(PfWindow window);
PfWindow newWindow(const std::string& title, PfWindow parent);
// The item of a dialog with that id, or null.
PfWindow findItem(PfWindow dialog, int32_t item);
// Screen position of the client area's top-left corner.
PfPoint clientOrigin(const WindowRecord& w);
PfRect screenRect(const WindowRecord& w);

// Destroys a window with what it owns and its items, sending WM_DESTROY to
// those that have a procedure. Called without the lock.
bool destroyWindowTree(PfWindow window);
// Forget the device contexts and drawn operations, the message box handler,
// the cursor and the Windows directory (called by pfdResetDesktop, under the
// lock).
void resetDrawing();
void resetMessageBoxes();
void resetCursor();
void resetProfile();

inline std::uintptr_t key(PfWindow window) { return reinterpret_cast<std::uintptr_t>(window); }

}  // namespace pf_posix

#endif
