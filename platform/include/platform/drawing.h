/* The painting the drivers' popup does (stands for BeginPaint, EndPaint,
 * GetDC, ReleaseDC, CreateSolidBrush, CreatePen, SelectObject, DeleteObject,
 * MoveToEx, LineTo, SetBkColor, DrawTextA). */
#ifndef PLATFORM_DRAWING_H
#define PLATFORM_DRAWING_H

#include <stdint.h>

#include "platform/calling.h"
#include "platform/messages.h"
#include "platform/window_placement.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PfDCTag* PfDC;
/* Brushes and pens are both drawing objects (HGDIOBJ). */
typedef struct PfGdiObjectTag* PfGdiObject;
typedef PfGdiObject PfBrush;
typedef PfGdiObject PfPen;

/* COLORREF: red in the low byte, then green, then blue. */
typedef uint32_t PfColour;
#define PF_RGB(r, g, b) \
    ((PfColour)(((uint32_t)(uint8_t)(r)) | ((uint32_t)(uint8_t)(g) << 8) | ((uint32_t)(uint8_t)(b) << 16)))
#define PF_CLR_INVALID ((PfColour)0xFFFFFFFFu)

enum {
    PF_PS_SOLID = 0,
    PF_DT_CENTER = 0x0001,
    PF_DT_VCENTER = 0x0004,
    PF_DT_SINGLELINE = 0x0020,
};

/* Same layout as PAINTSTRUCT on 32-bit Windows. */
typedef struct PfPaintStruct {
    PfDC dc;
    int32_t erase;
    PfRect paint;
    int32_t restore;
    int32_t incUpdate;
    uint8_t reserved[32];
} PfPaintStruct;

/* BeginPaint / EndPaint */
PfDC pfBeginPaint(PfWindow window, PfPaintStruct* paint);
int pfEndPaint(PfWindow window, const PfPaintStruct* paint);
/* GetDC / ReleaseDC: a device context of the window's client area; 1 when released. */
PfDC pfGetDC(PfWindow window);
int pfReleaseDC(PfWindow window, PfDC dc);

/* CreateSolidBrush, CreatePen: null on failure. */
PfBrush pfCreateSolidBrush(PfColour colour);
PfPen pfCreatePen(int style, int width, PfColour colour);
/* SelectObject: the object selected before, null on failure. */
PfGdiObject pfSelectObject(PfDC dc, PfGdiObject object);
/* DeleteObject: nonzero on success. */
int pfDeleteObject(PfGdiObject object);

/* MoveToEx: previous may be null. */
int pfMoveToEx(PfDC dc, int32_t x, int32_t y, PfPoint* previous);
int pfLineTo(PfDC dc, int32_t x, int32_t y);
/* SetBkColor: the previous background colour, PF_CLR_INVALID on failure. */
PfColour pfSetBkColor(PfDC dc, PfColour colour);
/* DrawTextA: count -1 means zero-terminated; the height of the text drawn, 0 on failure. */
int pfDrawText(PfDC dc, const char* text, int count, PfRect* rect, uint32_t format);

#ifdef __cplusplus
}
#endif

#endif
