// Windows and the message queue of the POSIX desktop. The desktop is driven
// from one user-interface thread, as the system's callers are: there is one
// queue, in posting order, and the focus is one window.
#ifndef PLATFORM_POSIX_DESKTOP_WINDOWS_H
#define PLATFORM_POSIX_DESKTOP_WINDOWS_H

#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "platform/messages.h"

namespace pf_posix {

using WindowProcedure = intptr_t (*)(PfWindow, uint32_t, uintptr_t, intptr_t);

struct WindowRecord {
    std::string title;
    PfWindow parent = nullptr;
    WindowProcedure procedure = nullptr;  // null: messages are dropped on dispatch
};

struct Desktop {
    std::map<std::uintptr_t, WindowRecord> windows;
    std::deque<PfMessage> queue;
    PfWindow focus = nullptr;
    std::uintptr_t nextHandle = 0x100;
    std::uint32_t tick = 0;
};

// Callers hold desktopMutex().
Desktop& desktop();
WindowRecord* findWindow(PfWindow window);
PfWindow newWindow(const std::string& title, PfWindow parent);

inline std::uintptr_t key(PfWindow window) { return reinterpret_cast<std::uintptr_t>(window); }

}  // namespace pf_posix

#endif
