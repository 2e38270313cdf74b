// A deliberately changed scan driver for the replay tests: byte 16 of its
// set-window block is 4 instead of the 3 its record says. Everything else is
// the scan driver's own code.
#include "classic_steps.h"
#include "popup.h"
#include "scan_driver.h"
#include "scan_run.h"

extern "C" PF_EXPORT int32_t PF_STDCALL Scan_Image(uint32_t window, const char* fileName, ScanProgressCallback callback,
                                                   uint32_t type, uint32_t language) {
    static drv::DriverRecord altered = drv::scanRecord();
    altered.setWindowByte16 = 4;
    return drv::runScanImage(altered, drv::scanSteps(), &drv::popupProcedure, window, fileName, callback, type,
                             language);
}
