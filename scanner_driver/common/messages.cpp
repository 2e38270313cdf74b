// Texts, status texts, message boxes, cursors and the warm-up popup of a
// driver library. The resources are found through the module that holds this
// code, so each driver reads its own copy of the string table and dialogs.
#include "messages.h"

#include <algorithm>
#include <cstring>

#include "driver_resources.h"
#include "platform/message_box.h"
#include "platform/profile.h"
#include "platform/window_placement.h"

namespace drv {
namespace {

// Any object of this library: its address names the library's module.
const char kModuleAnchor = 0;

#if !defined(_WIN32)
// On POSIX the table generated from the resource script is handed to the
// desktop while the library is loaded.
struct ResourceRegistration {
    ResourceRegistration() { pfdRegisterResources(&drvResourceTable, &kModuleAnchor); }
    ~ResourceRegistration() { pfdUnregisterResources(&drvResourceTable); }
    ResourceRegistration(const ResourceRegistration&) = delete;
    ResourceRegistration& operator=(const ResourceRegistration&) = delete;
};
const ResourceRegistration gResourceRegistration;
#endif

constexpr PfColour kFaceColour = PF_RGB(192, 192, 192);
constexpr PfColour kShadowColour = PF_RGB(0, 0, 0);
constexpr PfColour kLightColour = PF_RGB(255, 255, 255);
constexpr std::uint32_t kProfileBytes = 256;

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
        char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

// A missing key reads as one blank. GetProfileStringA may strip trailing
// blanks from its default, which would turn that blank into nothing on some
// systems; so the default passed is a text no profile value holds, replaced
// here.
std::string profileText(const char* key) {
    static const char kMissing[] = "\x01";
    char value[kProfileBytes];
    pfGetProfileString("AUCAL", key, kMissing, value, sizeof value);
    if (std::strcmp(value, kMissing) == 0) return " ";
    return value;
}

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
        pfDrawText(dc, messagesState().popupText, -1, &r, PF_DT_CENTER | PF_DT_VCENTER | PF_DT_SINGLELINE);
    }
    pfEndPaint(dialog, &paint);
}

void openPopup(PfWindow dialog) {
    MessagesState& s = messagesState();
    placePopup(dialog);
    if (std::find(s.openPopups.begin(), s.openPopups.end(), dialog) == s.openPopups.end())
        s.openPopups.push_back(dialog);
    // One brush serves every open popup, so a second popup neither leaks the
    // first one's brush nor loses its own when the first closes.
    if (s.faceBrush == nullptr) s.faceBrush = pfCreateSolidBrush(kFaceColour);
    pfLoadString(driverInstance(),
                 static_cast<std::uint16_t>(s.blockBase + static_cast<std::uint16_t>(Text::WarmingUp)), s.popupText,
                 static_cast<int>(sizeof s.popupText));
}

void closePopup(PfWindow dialog) {
    MessagesState& s = messagesState();
    s.openPopups.erase(std::remove(s.openPopups.begin(), s.openPopups.end(), dialog), s.openPopups.end());
    if (s.openPopups.empty() && s.faceBrush != nullptr) {
        pfDeleteObject(s.faceBrush);
        s.faceBrush = nullptr;
    }
}

}  // namespace

MessagesState& messagesState() {
    static MessagesState state;
    return state;
}

PfInstance driverInstance() { return pfModuleOf(&kModuleAnchor); }

void setLanguage(std::uint16_t languageIndex) {
    messagesState().blockBase = static_cast<std::uint16_t>(languageIndex * DRV_LANGUAGE_BLOCK_SIZE);
}

std::uint16_t blockBase() { return messagesState().blockBase; }

std::string loadText(std::uint16_t position) {
    char text[512];
    const auto id = static_cast<std::uint16_t>(messagesState().blockBase + position);
    int n = pfLoadString(driverInstance(), id, text, static_cast<int>(sizeof text));
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string loadText(Text position) { return loadText(static_cast<std::uint16_t>(position)); }

void setStatusText(PfWindow host, Text position) {
    pfSetDlgItemText(host, DRV_IDC_HOST_STATUS, loadText(position).c_str());
}

std::string messageTitle() {
    const std::string brand = profileText("Brand");
    if (equalsIgnoringCase(brand.c_str(), "NULL")) return "Calibrator";
    return brand + " " + profileText("Package") + " " + "Calibrator";
}

std::string messageText(Text position) {
    if (position != Text::ScannerNotReady && position != Text::ScannerNotFound) return loadText(position);
    // Both show the same check list: cables, power, switch-on order.
    std::string text;
    for (auto p = static_cast<std::uint16_t>(Text::CheckListFirst);
         p <= static_cast<std::uint16_t>(Text::CheckListLast); ++p)
        text += loadText(p);
    return text;
}

void showMessage(PfWindow owner, Text position) {
    const std::string title = messageTitle();
    const std::string text = messageText(position);
    pfMessageBox(owner, text.c_str(), title.c_str(), PF_MB_OK | PF_MB_ICONINFORMATION);
}

WaitCursor::WaitCursor() { pfSetCursor(pfLoadSystemCursor(PF_IDC_WAIT)); }

WaitCursor::~WaitCursor() { restore(); }

void WaitCursor::restore() {
    if (!held_) return;
    held_ = false;
    pfSetCursor(pfLoadSystemCursor(PF_IDC_ARROW));
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
            PfBrush brush = messagesState().faceBrush;
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
