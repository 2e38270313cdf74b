// The export of the prescan driver library.
#include "scan_driver.h"
#include "prescan_steps.h"
#include "scan_run.h"

namespace {

// The popup goes through the procedure this library exports.
intptr_t PF_STDCALL warmUpPopup(PfWindow dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    return WarmUpProc(reinterpret_cast<void*>(dialog), message, wParam, lParam);
}

}  // namespace

extern "C" PF_EXPORT int32_t PF_STDCALL Scan_Image(uint32_t window, const char* fileName, ScanProgressCallback callback,
                                                   uint32_t type, uint32_t language) {
    return drv::runScanImage(drv::prescanRecord(), drv::prescanSteps(), &warmUpPopup, window, fileName, callback, type,
                             language);
}
