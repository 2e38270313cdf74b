// The warm-up popup of a driver library: dialog 300 of the library's own
// resources, placed, painted (a sunken frame around the warming-up text) and
// coloured by the popup procedure.
#include "popup.h"

#include <algorithm>

#include "driver_resources.h"
#include "platform/window_placement.h"

namespace drv {
namespace {

constexpr PfColour kFaceColour = PF_RGB(192, 192, 192);
constexpr PfColour kShadowColour = PF_RGB(0, 0, 0);
constexpr PfColour kLightColour = PF_RGB(255, 255, 255);

// Centred across the screen, one third of the free height from the top.
void placePopup(PfWindow dialog) {
    PfRect r{};
    if (!pfGetWindowRect(dialog, &r)) return;
    const std::int32_t width = r.right - r.left;
    const std::int32_t height = r.bottom - r.top;
    const std::int32_t x = (pfGetSystemMetrics(PF_SM_CXSCREEN) - width) / 2;
    const std::int32_t y = (pfGetSystemMetrics(PF_SM_CYSCREEN) - height) / 3;
    pfSetWindowPos(dialog, nullptr, x, y, 0, 0, PF_SWP_NOSIZE | PF_SWP_NOZORDER);
}

// Two lines from `from` through `corner` to `to` with a 1-pixel solid pen.
void drawEdge(PfDC dc, PfColour colour, PfPoint from, PfPoint corner, PfPoint to) {
    PfPen pen = pfCreatePen(PF_PS_SOLID, 1, colour);
    if (pen == nullptr) return;
    PfGdiObject previous = pfSelectObject(dc, pen);
    if (previous != nullptr) {
        pfMoveToEx(dc, from.x, from.y, nullptr);
        pfLineTo(dc, corner.x, corner.y);
        pfLineTo(dc, to.x, to.y);
        pfSelectObject(dc, previous);
    }
    pfDeleteObject(pen);
}

// A sunken frame: shadow along the left and top edges, light along the
// bottom and right edges, both starting at the bottom-left corner.
void drawSunkenFrame(PfWindow dialog, const PfRect& r) {
    PfDC dc = pfGetDC(dialog);
    if (dc == nullptr) return;
    drawEdge(dc, kShadowColour, PfPoint{r.left, r.bottom}, PfPoint{r.left, r.top}, PfPoint{r.right, r.top});
    drawEdge(dc, kLightColour, PfPoint{r.left, r.bottom}, PfPoint{r.right, r.bottom}, PfPoint{r.right, r.top});
    pfReleaseDC(dialog, dc);
}

// The rectangle of the frame item in the popup's client coordinates.
bool frameRect(PfWindow dialog, PfRect& out) {
    PfWindow item = pfGetDlgItem(dialog, DRV_IDC_POPUP_FRAME);
    PfRect r{};
    if (item == nullptr || !pfGetWindowRect(item, &r)) return false;
    PfPoint topLeft{r.left, r.top};
    PfPoint bottomRight{r.right, r.bottom};
    if (!pfScreenToClient(dialog, &topLeft) || !pfScreenToClient(dialog, &bottomRight)) return false;
    out = PfRect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    return true;
}

void paintPopup(PfWindow dialog) {
    PfPaintStruct paint{};
    PfDC dc = pfBeginPaint(dialog, &paint);
    if (dc == nullptr) return;
    PfRect r{};
    // A dialog without the frame item (a host's own template) gets no frame
    // and no text rather than a drawing at an undefined place.
    if (frameRect(dialog, r)) {
        drawSunkenFrame(dialog, r);
        pfSetBkColor(dc, kFaceColour);
        pfDrawText(dc, popupState().text, -1, &r, PF_DT_CENTER | PF_DT_VCENTER | PF_DT_SINGLELINE);
    }
    pfEndPaint(dialog, &paint);
}

void openPopup(PfWindow dialog) {
    PopupState& s = popupState();
    placePopup(dialog);
    if (std::find(s.open.begin(), s.open.end(), dialog) == s.open.end())
        s.open.push_back(dialog);
    // One brush serves every open popup, so a second popup neither leaks the
    // first one's brush nor loses its own when the first closes.
    if (s.faceBrush == nullptr) s.faceBrush = pfCreateSolidBrush(kFaceColour);
    pfLoadString(driverInstance(),
                 static_cast<std::uint16_t>(blockBase() + static_cast<std::uint16_t>(Text::WarmingUp)), s.text,
                 static_cast<int>(sizeof s.text));
}

void closePopup(PfWindow dialog) {
    PopupState& s = popupState();
    s.open.erase(std::remove(s.open.begin(), s.open.end(), dialog), s.open.end());
    if (s.open.empty() && s.faceBrush != nullptr) {
        pfDeleteObject(s.faceBrush);
        s.faceBrush = nullptr;
    }
}

}  // namespace

PopupState& popupState() {
    static PopupState state;
    return state;
}

Popup::Popup(PfWindow owner, PfDialogProc procedure)
    : window_(pfCreateDialogParam(driverInstance(), PF_MAKEINTRESOURCE(DRV_IDD_POPUP), owner, procedure, 0)) {}

Popup::~Popup() { destroy(); }

void Popup::destroy() {
    if (window_ == nullptr) return;
    // The host may have destroyed it already (with its owner).
    if (pfIsWindow(window_)) pfDestroyWindow(window_);
    window_ = nullptr;
}

intptr_t PF_STDCALL popupProcedure(PfWindow dialog, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t /*lParam: not used*/) {
    switch (message & 0xFFFFu) {
        case PF_WM_INITDIALOG: openPopup(dialog); return 1;
        case PF_WM_PAINT: paintPopup(dialog); return 1;
        case PF_WM_CTLCOLORMSGBOX:
        case PF_WM_CTLCOLOREDIT:
        case PF_WM_CTLCOLORLISTBOX:
        case PF_WM_CTLCOLORBTN:
        case PF_WM_CTLCOLORDLG:
        case PF_WM_CTLCOLORSTATIC: {
            PfBrush brush = popupState().faceBrush;
            if (brush == nullptr) return 0;  // not opened: the default colours apply
            pfSetBkColor(reinterpret_cast<PfDC>(wParam), kFaceColour);
            return reinterpret_cast<intptr_t>(brush);
        }
        case PF_WM_DESTROY: closePopup(dialog); return 1;
        case PF_WM_MOVE: return 1;
        default: return 0;  // WM_CTLCOLORSCROLLBAR among them
    }
}

}  // namespace drv
