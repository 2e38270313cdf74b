// The export of the vexa driver library.
#include "scan_driver.h"
#include "vexa_steps.h"
#include "popup.h"
#include "scan_run.h"

extern "C" PF_EXPORT int32_t PF_STDCALL Scan_Image(uint32_t window, const char* fileName, ScanProgressCallback callback,
                                                   uint32_t type, uint32_t language) {
    return drv::runScanImage(drv::vexaRecord(), drv::vexaSteps(), &drv::popupProcedure, window, fileName, callback, type, language);
}
