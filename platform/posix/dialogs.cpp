// Dialogs from resource templates, their items and message sending on the
// POSIX desktop. Dialog units become pixels with the base units of the
// dialog's font (6 x 13 pixels for an 8-point font, as at 96 dots per inch):
// x pixels = x units x 6 / 4, y pixels = y units x 13 / 8, rounded.
#include "platform/dialogs.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "desktop_state.h"
#include "desktop_windows.h"
#include "platform/desktop_posix.h"
#include "resource_registry.h"

namespace pf_posix {
namespace {

constexpr uint32_t kWsPopup = 0x80000000u;
constexpr uint32_t kWsChild = 0x40000000u;
constexpr uint32_t kWsVisible = 0x10000000u;
constexpr uint32_t kWsCaption = 0x00C00000u;
constexpr uint32_t kWsBorder = 0x00800000u;
constexpr uint32_t kWsDlgFrame = 0x00400000u;
constexpr uint32_t kDsModalFrame = 0x00000080u;
constexpr int32_t kDialogFrame = 3;  // SM_CXDLGFRAME, SM_CYDLGFRAME
constexpr int32_t kCaption = 18;     // SM_CYCAPTION

// MulDiv for the non-negative and small negative values of templates:
// rounded half away from zero.
int32_t mulDiv(int32_t value, int32_t numerator, int32_t denominator) {
    int64_t p = static_cast<int64_t>(value) * numerator;
    int64_t half = denominator / 2;
    return static_cast<int32_t>(p >= 0 ? (p + half) / denominator : (p - half) / denominator);
}

struct BaseUnits {
    int32_t x;
    int32_t y;
};

BaseUnits baseUnits(const PfDialogResource& t) {
    if (t.fontName == nullptr || t.fontPoints == 0) return BaseUnits{8, 16};  // the system font
    return BaseUnits{mulDiv(6, t.fontPoints, 8), mulDiv(13, t.fontPoints, 8)};
}

PfRect frameOf(uint32_t style) {
    if ((style & kWsCaption) == kWsCaption)
        return PfRect{kDialogFrame, kDialogFrame + kCaption, kDialogFrame, kDialogFrame};
    if ((style & kWsDlgFrame) != 0 || (style & kDsModalFrame) != 0)
        return PfRect{kDialogFrame, kDialogFrame, kDialogFrame, kDialogFrame};
    if ((style & kWsBorder) != 0) return PfRect{1, 1, 1, 1};
    return PfRect{0, 0, 0, 0};
}

PfDialogProc dialogProcedureOf(PfWindow window, WindowProcedure* plain) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(window);
    *plain = w != nullptr ? w->procedure : nullptr;
    return w != nullptr ? w->dialogProcedure : nullptr;
}

intptr_t send(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    WindowProcedure plain = nullptr;
    PfDialogProc procedure = dialogProcedureOf(window, &plain);
    if (procedure != nullptr) return procedure(window, message, wParam, lParam);
    return plain != nullptr ? plain(window, message, wParam, lParam) : 0;
}

size_t copyText(const std::string& text, char* buffer, size_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    size_t n = std::min(text.size(), bufferSize - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

}  // namespace

PfWindow findItem(PfWindow dialog, int32_t item) {
    if (dialog == nullptr) return nullptr;
    for (auto& [handle, w] : desktop().windows)
        if (w.parent == dialog && w.itemId == item) return reinterpret_cast<PfWindow>(handle);
    return nullptr;
}

bool destroyWindowTree(PfWindow window) {
    std::vector<PfWindow> owned;
    std::vector<PfWindow> children;
    {
        std::lock_guard<std::mutex> lock(desktopMutex());
        WindowRecord* w = findWindow(window);
        if (w == nullptr || w->destroying) return false;
        w->destroying = true;
        for (auto& [handle, other] : desktop().windows) {
            if (other.owner == window) owned.push_back(reinterpret_cast<PfWindow>(handle));
            if (other.parent == window) children.push_back(reinterpret_cast<PfWindow>(handle));
        }
    }
    // Owned windows go first; the window hears WM_DESTROY before its items.
    for (PfWindow o : owned) destroyWindowTree(o);
    send(window, PF_WM_DESTROY, 0, 0);
    for (PfWindow c : children) destroyWindowTree(c);
    std::lock_guard<std::mutex> lock(desktopMutex());
    Desktop& d = desktop();
    d.windows.erase(key(window));
    if (d.focus == window) d.focus = nullptr;
    for (auto it = d.queue.begin(); it != d.queue.end();) it = it->window == window ? d.queue.erase(it) : it + 1;
    return true;
}

}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT PfWindow pfCreateDialogParam(PfInstance instance, const char* templateName, PfWindow owner,
                                       PfDialogProc procedure, intptr_t initParam) {
    PfWindow dialog = nullptr;
    {
        std::lock_guard<std::mutex> lock(desktopMutex());
        const PfResourceTable* table = resourcesOf(instance);
        const PfDialogResource* t = table != nullptr ? findDialogTemplate(*table, templateName) : nullptr;
        if (t == nullptr) return nullptr;
        WindowRecord* ownerRecord = owner != nullptr ? findWindow(owner) : nullptr;
        if (owner != nullptr && ownerRecord == nullptr) return nullptr;
        // Without DS_ABSALIGN a dialog's position counts from its owner's client area.
        PfPoint base = ownerRecord != nullptr ? clientOrigin(*ownerRecord) : PfPoint{0, 0};
        BaseUnits units = baseUnits(*t);

        dialog = newWindow(t->caption != nullptr ? t->caption : "", nullptr);
        WindowRecord& w = *findWindow(dialog);
        w.owner = owner;
        w.dialogProcedure = procedure;
        w.isDialog = true;
        w.templateId = t->name == nullptr ? t->id : 0;
        w.style = t->style;
        w.frame = frameOf(t->style);
        int32_t left = base.x + mulDiv(t->x, units.x, 4);
        int32_t top = base.y + mulDiv(t->y, units.y, 8);
        w.rect = PfRect{left, top, left + w.frame.left + w.frame.right + mulDiv(t->cx, units.x, 4),
                        top + w.frame.top + w.frame.bottom + mulDiv(t->cy, units.y, 8)};
        for (uint32_t i = 0; i < t->itemCount; ++i) {
            const PfDialogItemResource& it = t->items[i];
            PfWindow item = newWindow(it.text != nullptr ? it.text : "", dialog);
            WindowRecord& r = *findWindow(item);
            r.itemId = it.id;
            r.style = it.style;
            int32_t x = mulDiv(it.x, units.x, 4);
            int32_t y = mulDiv(it.y, units.y, 8);
            r.rect = PfRect{x, y, x + mulDiv(it.cx, units.x, 4), y + mulDiv(it.cy, units.y, 8)};
        }
    }
    if (procedure != nullptr) procedure(dialog, PF_WM_INITDIALOG, 0, initParam);
    // The procedure may have destroyed its dialog while opening it.
    return pfIsWindow(dialog) ? dialog : nullptr;
}

PF_EXPORT int pfDestroyWindow(PfWindow window) { return destroyWindowTree(window) ? 1 : 0; }

PF_EXPORT int pfIsWindow(PfWindow window) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    // As on Windows, a window is still a window while it hears WM_DESTROY.
    return findWindow(window) != nullptr;
}

PF_EXPORT PfWindow pfGetDlgItem(PfWindow dialog, int item) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    return findItem(dialog, item);
}

PF_EXPORT int pfSetDlgItemText(PfWindow dialog, int item, const char* text) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    WindowRecord* w = findWindow(findItem(dialog, item));
    if (w == nullptr) return 0;
    w->title = text != nullptr ? text : "";
    return 1;
}

PF_EXPORT uint32_t pfGetDlgItemText(PfWindow dialog, int item, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return 0;
    buffer[0] = '\0';
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(findItem(dialog, item));
    if (w == nullptr) return 0;
    return static_cast<uint32_t>(copyText(w->title, buffer, static_cast<size_t>(bufferSize)));
}

PF_EXPORT intptr_t pfSendMessage(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return send(window, message, wParam, lParam);
}

PF_EXPORT intptr_t pfdSendMessage(PfWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return send(window, message, wParam, lParam);
}

PF_EXPORT PfWindow pfdCreateDialogWindow(const char* title, const int32_t* itemIds, size_t itemCount) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    PfWindow dialog = newWindow(title != nullptr ? title : "", nullptr);
    WindowRecord& w = *findWindow(dialog);
    w.isDialog = true;
    w.style = kWsPopup | kWsVisible | kWsCaption;
    w.frame = frameOf(w.style);
    w.rect = PfRect{100, 100, 740, 580};
    for (size_t i = 0; i < itemCount && itemIds != nullptr; ++i) {
        PfWindow item = newWindow("", dialog);
        WindowRecord& r = *findWindow(item);
        r.itemId = itemIds[i];
        r.style = kWsChild | kWsVisible;
        int32_t top = 10 + static_cast<int32_t>(i % 16) * 24;  // a column of text lines
        r.rect = PfRect{10, top, 600, top + 20};
    }
    return dialog;
}

PF_EXPORT size_t pfdGetItemText(PfWindow dialog, int32_t item, char* buffer, size_t bufferSize) {
    if (buffer != nullptr && bufferSize > 0) buffer[0] = '\0';
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(findItem(dialog, item));
    if (w == nullptr) return static_cast<size_t>(-1);
    copyText(w->title, buffer, bufferSize);
    return w->title.size();
}

PF_EXPORT size_t pfdListWindows(PfWindow* windows, size_t capacity) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    size_t n = 0;
    for (auto& [handle, w] : desktop().windows) {
        if (windows != nullptr && n < capacity) windows[n] = reinterpret_cast<PfWindow>(handle);
        ++n;
    }
    return n;
}

PF_EXPORT int pfdGetWindowInfo(PfWindow window, PfdWindowInfo* info) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    const WindowRecord* w = findWindow(window);
    if (w == nullptr || info == nullptr) return 0;
    info->owner = w->owner;
    info->parent = w->parent;
    info->itemId = w->itemId;
    info->templateId = w->templateId;
    info->style = w->style;
    info->rect = screenRect(*w);
    info->isDialog = w->isDialog ? 1 : 0;
    return 1;
}
}
