// prescan exports the popup procedure of the drivers by name, so that a host
// can also open dialog 300 of prescan's resources with it.
#include "popup.h"
#include "scan_driver.h"

extern "C" PF_EXPORT intptr_t PF_STDCALL WarmUpProc(void* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return drv::popupProcedure(static_cast<PfWindow>(dialog), message, wParam, lParam);
}
