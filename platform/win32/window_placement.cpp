// Window rectangles, placement and screen metrics: direct calls to user32.
#include "platform/window_placement.h"

#include <windows.h>

#include <cstddef>

static_assert(sizeof(PfRect) == sizeof(RECT) && offsetof(PfRect, bottom) == offsetof(RECT, bottom));
static_assert(sizeof(PfPoint) == sizeof(POINT) && offsetof(PfPoint, y) == offsetof(POINT, y));

extern "C" {

int pfGetWindowRect(PfWindow window, PfRect* rect) {
    return GetWindowRect(reinterpret_cast<HWND>(window), reinterpret_cast<RECT*>(rect)) ? 1 : 0;
}

int pfGetClientRect(PfWindow window, PfRect* rect) {
    return GetClientRect(reinterpret_cast<HWND>(window), reinterpret_cast<RECT*>(rect)) ? 1 : 0;
}

int pfScreenToClient(PfWindow window, PfPoint* point) {
    return ScreenToClient(reinterpret_cast<HWND>(window), reinterpret_cast<POINT*>(point)) ? 1 : 0;
}

int pfSetWindowPos(PfWindow window, PfWindow insertAfter, int32_t x, int32_t y, int32_t cx, int32_t cy,
                   uint32_t flags) {
    return SetWindowPos(reinterpret_cast<HWND>(window), reinterpret_cast<HWND>(insertAfter), x, y, cx, cy, flags) ? 1
                                                                                                                  : 0;
}

int32_t pfGetSystemMetrics(int index) { return GetSystemMetrics(index); }
}
