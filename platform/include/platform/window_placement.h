/* Window rectangles and placement, and the screen size (stands for
 * GetWindowRect, GetClientRect, ScreenToClient, SetWindowPos,
 * GetSystemMetrics). Coordinates are pixels; screen coordinates have their
 * origin at the top-left corner of the screen. */
#ifndef PLATFORM_WINDOW_PLACEMENT_H
#define PLATFORM_WINDOW_PLACEMENT_H

#include <stdint.h>

#include "platform/calling.h"
#include "platform/messages.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Same layout as RECT and POINT (32-bit members). */
typedef struct PfRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} PfRect;

typedef struct PfPoint {
    int32_t x;
    int32_t y;
} PfPoint;

enum {
    PF_SWP_NOSIZE = 0x0001,
    PF_SWP_NOMOVE = 0x0002,
    PF_SWP_NOZORDER = 0x0004,
    PF_SWP_NOACTIVATE = 0x0010,
    PF_SM_CXSCREEN = 0,
    PF_SM_CYSCREEN = 1,
};

/* GetWindowRect: the window's rectangle in screen coordinates. */
int pfGetWindowRect(PfWindow window, PfRect* rect);
/* GetClientRect: the client area, origin (0, 0). */
int pfGetClientRect(PfWindow window, PfRect* rect);
/* ScreenToClient: converts a point in place. */
int pfScreenToClient(PfWindow window, PfPoint* point);
/* SetWindowPos: insertAfter is ignored with PF_SWP_NOZORDER; cx, cy with
 * PF_SWP_NOSIZE; x, y with PF_SWP_NOMOVE. */
int pfSetWindowPos(PfWindow window, PfWindow insertAfter, int32_t x, int32_t y, int32_t cx, int32_t cy,
                   uint32_t flags);
/* GetSystemMetrics */
int32_t pfGetSystemMetrics(int index);

#ifdef __cplusplus
}
#endif

#endif
