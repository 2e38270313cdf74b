// Window rectangles, placement and the screen size of the POSIX desktop.
#include "platform/window_placement.h"

#include <mutex>

#include "desktop_state.h"
#include "desktop_windows.h"
#include "platform/desktop_posix.h"

namespace pf_posix {

PfPoint clientOrigin(const WindowRecord& w) {
    PfPoint origin{w.rect.left + w.frame.left, w.rect.top + w.frame.top};
    if (w.parent != nullptr) {
        const WindowRecord* parent = findWindow(w.parent);
        if (parent != nullptr) {
            PfPoint p = clientOrigin(*parent);
            origin.x += p.x;
            origin.y += p.y;
        }
    }
    return origin;
}

PfRect screenRect(const WindowRecord& w) {
    PfRect r = w.rect;
    if (w.parent != nullptr) {
        const WindowRecord* parent = findWindow(w.parent);
        if (parent != nullptr) {
            PfPoint p = clientOrigin(*parent);
            r.left += p.x;
            r.right += p.x;
            r.top += p.y;
            r.bottom += p.y;
        }
    }
    return r;
}

}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT int pfGetWindowRect(PfWindow window, PfRect* rect) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(window);
    if (w == nullptr || rect == nullptr) return 0;
    *rect = screenRect(*w);
    return 1;
}

PF_EXPORT int pfGetClientRect(PfWindow window, PfRect* rect) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(window);
    if (w == nullptr || rect == nullptr) return 0;
    int32_t width = w->rect.right - w->rect.left - w->frame.left - w->frame.right;
    int32_t height = w->rect.bottom - w->rect.top - w->frame.top - w->frame.bottom;
    *rect = PfRect{0, 0, width > 0 ? width : 0, height > 0 ? height : 0};
    return 1;
}

PF_EXPORT int pfScreenToClient(PfWindow window, PfPoint* point) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(window);
    if (w == nullptr || point == nullptr) return 0;
    PfPoint origin = clientOrigin(*w);
    point->x -= origin.x;
    point->y -= origin.y;
    return 1;
}

PF_EXPORT int pfSetWindowPos(PfWindow window, PfWindow /*insertAfter: one layer, no z-order kept*/, int32_t x,
                             int32_t y, int32_t cx, int32_t cy, uint32_t flags) {
    PfDialogProc procedure = nullptr;
    PfPoint origin{0, 0};
    bool moved = false;
    {
        std::lock_guard<std::mutex> lock(desktopMutex());
        WindowRecord* w = findWindow(window);
        if (w == nullptr) return 0;
        int32_t width = w->rect.right - w->rect.left;
        int32_t height = w->rect.bottom - w->rect.top;
        if ((flags & PF_SWP_NOSIZE) == 0) {
            width = cx < 0 ? 0 : cx;
            height = cy < 0 ? 0 : cy;
        }
        if ((flags & PF_SWP_NOMOVE) == 0) {
            w->rect.left = x;
            w->rect.top = y;
        }
        w->rect.right = w->rect.left + width;
        w->rect.bottom = w->rect.top + height;
        moved = (flags & PF_SWP_NOMOVE) == 0;
        procedure = w->dialogProcedure;
        origin = clientOrigin(*w);
    }
    // WM_MOVE carries the new client origin: x in the low word, y in the high word.
    if (moved && procedure != nullptr)
        procedure(window, PF_WM_MOVE, 0,
                  static_cast<intptr_t>((static_cast<uint32_t>(origin.y) << 16) |
                                        (static_cast<uint32_t>(origin.x) & 0xFFFFu)));
    return 1;
}

PF_EXPORT int32_t pfGetSystemMetrics(int index) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    switch (index) {
        case PF_SM_CXSCREEN: return desktop().screenWidth;
        case PF_SM_CYSCREEN: return desktop().screenHeight;
        default: return 0;
    }
}

PF_EXPORT void pfdSetScreenSize(int32_t width, int32_t height) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    desktop().screenWidth = width;
    desktop().screenHeight = height;
}

PF_EXPORT int pfdSetWindowRect(PfWindow window, const PfRect* rect) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    WindowRecord* w = findWindow(window);
    if (w == nullptr || rect == nullptr) return 0;
    w->rect = *rect;
    return 1;
}
}
