// The warm-up popup (dialog 300 of the driver library), modeless, owned by
// the host window. Compiled into each driver, so each library has its own
// popup state.
#ifndef SCANNER_DRIVER_COMMON_POPUP_H
#define SCANNER_DRIVER_COMMON_POPUP_H

#include <cstdint>
#include <vector>

#include "messages.h"
#include "platform/dialogs.h"
#include "platform/drawing.h"

namespace drv {

// The popups of this library.
struct PopupState {
    PfBrush faceBrush = nullptr;   // popup face, alive while any popup is open
    std::vector<PfWindow> open;    // popups that opened and are not destroyed yet
    char text[66] = {};            // position 18, at most 65 bytes
};
PopupState& popupState();

// The warm-up popup: dialog 300 of this library, modeless, owned by the host
// window, with the given procedure; destroyed by destroy() or at the latest
// when the object goes. A failed creation leaves window() null; the run goes on.
class Popup {
public:
    Popup(PfWindow owner, PfDialogProc procedure);
    ~Popup();
    Popup(const Popup&) = delete;
    Popup& operator=(const Popup&) = delete;
    void destroy();
    PfWindow window() const { return window_; }
private:
    PfWindow window_ = nullptr;
};

// The popup procedure of scan and vexa (prescan exports the same procedure
// as WarmUpProc).
intptr_t PF_STDCALL popupProcedure(PfWindow dialog, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam);

}  // namespace drv

#endif
