// Drawing on the POSIX desktop: nothing reaches a screen, but every device
// context, pen and brush is accounted for and every line and text drawn is
// recorded, so tests see what a window procedure painted and what it left
// behind.
#include "platform/drawing.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "desktop_state.h"
#include "desktop_windows.h"
#include "platform/desktop_posix.h"

namespace pf_posix {
namespace {

enum class Kind { Pen, Brush };

struct GdiObject {
    Kind kind;
    PfColour colour;
    bool stock;
};

struct DeviceContext {
    PfWindow window = nullptr;
    bool paint = false;
    PfGdiObject pen = nullptr;
    PfGdiObject brush = nullptr;
    PfColour background = PF_RGB(255, 255, 255);
    PfPoint position{0, 0};
};

struct Drawing {
    std::map<PfGdiObject, GdiObject> objects;
    std::map<PfDC, DeviceContext> contexts;
    std::vector<PfdDrawOp> ops;
    std::uintptr_t nextObject = 0x10000;
    std::uintptr_t nextContext = 0x20000;
    uint64_t created = 0;
    PfGdiObject blackPen = nullptr;
    PfGdiObject whiteBrush = nullptr;
};

Drawing& drawing() {
    static Drawing d;
    return d;
}

PfGdiObject addObject(Kind kind, PfColour colour, bool stock) {
    Drawing& d = drawing();
    auto handle = reinterpret_cast<PfGdiObject>(d.nextObject);
    d.nextObject += 4;
    d.objects[handle] = GdiObject{kind, colour, stock};
    if (!stock) ++d.created;
    return handle;
}

// The stock objects a new device context starts with.
void ensureStock() {
    Drawing& d = drawing();
    if (d.blackPen == nullptr) d.blackPen = addObject(Kind::Pen, PF_RGB(0, 0, 0), true);
    if (d.whiteBrush == nullptr) d.whiteBrush = addObject(Kind::Brush, PF_RGB(255, 255, 255), true);
}

PfDC addContext(PfWindow window, bool paint) {
    ensureStock();
    Drawing& d = drawing();
    auto handle = reinterpret_cast<PfDC>(d.nextContext);
    d.nextContext += 4;
    DeviceContext& c = d.contexts[handle];
    c.window = window;
    c.paint = paint;
    c.pen = d.blackPen;
    c.brush = d.whiteBrush;
    return handle;
}

DeviceContext* findContext(PfDC dc) {
    auto it = drawing().contexts.find(dc);
    return it == drawing().contexts.end() ? nullptr : &it->second;
}

PfdDrawOp opFor(int kind, const DeviceContext& c) {
    PfdDrawOp op{};
    op.kind = kind;
    op.window = c.window;
    op.paintContext = c.paint ? 1 : 0;
    return op;
}

}  // namespace

void resetDrawing() {
    Drawing& d = drawing();
    d.contexts.clear();
    d.ops.clear();
}

}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT PfDC pfBeginPaint(PfWindow window, PfPaintStruct* paint) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(window);
    if (w == nullptr || paint == nullptr) return nullptr;
    std::memset(paint, 0, sizeof *paint);
    paint->dc = addContext(window, true);
    paint->paint = PfRect{0, 0, w->rect.right - w->rect.left - w->frame.left - w->frame.right,
                          w->rect.bottom - w->rect.top - w->frame.top - w->frame.bottom};
    return paint->dc;
}

PF_EXPORT int pfEndPaint(PfWindow window, const PfPaintStruct* paint) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    if (paint == nullptr) return 0;
    DeviceContext* c = findContext(paint->dc);
    if (c == nullptr || !c->paint || c->window != window) return 0;
    drawing().contexts.erase(paint->dc);
    return 1;
}

PF_EXPORT PfDC pfGetDC(PfWindow window) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    // Null asks for the screen.
    if (window != nullptr && findWindow(window) == nullptr) return nullptr;
    return addContext(window, false);
}

PF_EXPORT int pfReleaseDC(PfWindow window, PfDC dc) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    DeviceContext* c = findContext(dc);
    if (c == nullptr || c->paint || c->window != window) return 0;
    drawing().contexts.erase(dc);
    return 1;
}

PF_EXPORT PfBrush pfCreateSolidBrush(PfColour colour) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return addObject(Kind::Brush, colour & 0x00FFFFFFu, false);
}

PF_EXPORT PfPen pfCreatePen(int style, int /*width*/, PfColour colour) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    if (style < 0 || style > 6) return nullptr;  // PS_SOLID .. PS_INSIDEFRAME
    return addObject(Kind::Pen, colour & 0x00FFFFFFu, false);
}

PF_EXPORT PfGdiObject pfSelectObject(PfDC dc, PfGdiObject object) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    DeviceContext* c = findContext(dc);
    auto it = drawing().objects.find(object);
    if (c == nullptr || it == drawing().objects.end()) return nullptr;
    PfGdiObject& slot = it->second.kind == Kind::Pen ? c->pen : c->brush;
    PfGdiObject previous = slot;
    slot = object;
    return previous;
}

PF_EXPORT int pfDeleteObject(PfGdiObject object) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    Drawing& d = drawing();
    auto it = d.objects.find(object);
    if (it == d.objects.end()) return 0;
    if (it->second.stock) return 1;
    // An object still selected into a device context must not be deleted.
    for (auto& [handle, c] : d.contexts)
        if (c.pen == object || c.brush == object) return 0;
    d.objects.erase(it);
    return 1;
}

PF_EXPORT int pfMoveToEx(PfDC dc, int32_t x, int32_t y, PfPoint* previous) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    DeviceContext* c = findContext(dc);
    if (c == nullptr) return 0;
    if (previous != nullptr) *previous = c->position;
    c->position = PfPoint{x, y};
    PfdDrawOp op = opFor(PFD_DRAW_MOVE, *c);
    op.x = x;
    op.y = y;
    drawing().ops.push_back(op);
    return 1;
}

PF_EXPORT int pfLineTo(PfDC dc, int32_t x, int32_t y) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    DeviceContext* c = findContext(dc);
    if (c == nullptr) return 0;
    c->position = PfPoint{x, y};
    PfdDrawOp op = opFor(PFD_DRAW_LINE, *c);
    op.x = x;
    op.y = y;
    op.colour = drawing().objects.at(c->pen).colour;
    drawing().ops.push_back(op);
    return 1;
}

PF_EXPORT PfColour pfSetBkColor(PfDC dc, PfColour colour) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    DeviceContext* c = findContext(dc);
    if (c == nullptr) return PF_CLR_INVALID;
    PfColour previous = c->background;
    c->background = colour;
    return previous;
}

PF_EXPORT int pfDrawText(PfDC dc, const char* text, int count, PfRect* rect, uint32_t format) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    DeviceContext* c = findContext(dc);
    if (c == nullptr || text == nullptr || rect == nullptr) return 0;
    size_t n = count < 0 ? std::strlen(text) : static_cast<size_t>(count);
    PfdDrawOp op = opFor(PFD_DRAW_TEXT, *c);
    op.colour = c->background;
    op.rect = *rect;
    op.format = format;
    std::memcpy(op.text, text, std::min(n, sizeof op.text - 1));
    drawing().ops.push_back(op);
    return 13;  // one line of an 8-point font
}

PF_EXPORT size_t pfdLiveGdiObjects(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return static_cast<size_t>(std::count_if(drawing().objects.begin(), drawing().objects.end(),
                                             [](const auto& o) { return !o.second.stock; }));
}

PF_EXPORT uint64_t pfdGdiObjectsCreated(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return drawing().created;
}

PF_EXPORT PfColour pfdObjectColour(PfGdiObject object) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    auto it = drawing().objects.find(object);
    return it == drawing().objects.end() ? PF_CLR_INVALID : it->second.colour;
}

PF_EXPORT PfDC pfdCreateDC(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return addContext(nullptr, false);
}

PF_EXPORT void pfdDeleteDC(PfDC dc) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    drawing().contexts.erase(dc);
}

PF_EXPORT size_t pfdLiveDCs(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return drawing().contexts.size();
}

PF_EXPORT PfColour pfdBackgroundColour(PfDC dc) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    const DeviceContext* c = findContext(dc);
    return c == nullptr ? PF_CLR_INVALID : c->background;
}

PF_EXPORT size_t pfdDrawOpCount(void) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return drawing().ops.size();
}

PF_EXPORT int pfdGetDrawOp(size_t index, PfdDrawOp* op) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    if (op == nullptr || index >= drawing().ops.size()) return 0;
    *op = drawing().ops[index];
    return 1;
}
}
