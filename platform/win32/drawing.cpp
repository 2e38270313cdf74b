// Painting: direct calls to user32 and gdi32.
#include "platform/drawing.h"

#include <windows.h>

#include <cstddef>

#if !defined(_WIN64)
static_assert(sizeof(PfPaintStruct) == sizeof(PAINTSTRUCT));
static_assert(offsetof(PfPaintStruct, paint) == offsetof(PAINTSTRUCT, rcPaint));
static_assert(offsetof(PfPaintStruct, reserved) == offsetof(PAINTSTRUCT, rgbReserved));
#endif

namespace {

HDC dcOf(PfDC dc) { return reinterpret_cast<HDC>(dc); }

}  // namespace

extern "C" {

PfDC pfBeginPaint(PfWindow window, PfPaintStruct* paint) {
    return reinterpret_cast<PfDC>(BeginPaint(reinterpret_cast<HWND>(window), reinterpret_cast<PAINTSTRUCT*>(paint)));
}

int pfEndPaint(PfWindow window, const PfPaintStruct* paint) {
    return EndPaint(reinterpret_cast<HWND>(window), reinterpret_cast<const PAINTSTRUCT*>(paint)) ? 1 : 0;
}

PfDC pfGetDC(PfWindow window) { return reinterpret_cast<PfDC>(GetDC(reinterpret_cast<HWND>(window))); }

int pfReleaseDC(PfWindow window, PfDC dc) { return ReleaseDC(reinterpret_cast<HWND>(window), dcOf(dc)); }

PfBrush pfCreateSolidBrush(PfColour colour) { return reinterpret_cast<PfBrush>(CreateSolidBrush(colour)); }

PfPen pfCreatePen(int style, int width, PfColour colour) {
    return reinterpret_cast<PfPen>(CreatePen(style, width, colour));
}

PfGdiObject pfSelectObject(PfDC dc, PfGdiObject object) {
    return reinterpret_cast<PfGdiObject>(SelectObject(dcOf(dc), reinterpret_cast<HGDIOBJ>(object)));
}

int pfDeleteObject(PfGdiObject object) { return DeleteObject(reinterpret_cast<HGDIOBJ>(object)) ? 1 : 0; }

int pfMoveToEx(PfDC dc, int32_t x, int32_t y, PfPoint* previous) {
    return MoveToEx(dcOf(dc), x, y, reinterpret_cast<POINT*>(previous)) ? 1 : 0;
}

int pfLineTo(PfDC dc, int32_t x, int32_t y) { return LineTo(dcOf(dc), x, y) ? 1 : 0; }

PfColour pfSetBkColor(PfDC dc, PfColour colour) { return SetBkColor(dcOf(dc), colour); }

int pfDrawText(PfDC dc, const char* text, int count, PfRect* rect, uint32_t format) {
    return DrawTextA(dcOf(dc), text, count, reinterpret_cast<RECT*>(rect), format);
}
}
