// One complete scan run of Scan_Image, shared by the three drivers: the
// model's record and steps say what differs.
#ifndef SCANNER_DRIVER_SCAN_RUN_H
#define SCANNER_DRIVER_SCAN_RUN_H

#include <cstdint>

#include "scan_driver.h"
#include "driver_record.h"

namespace drv {

// Never throws; every exit releases what the run acquired.
std::int32_t runScanImage(const DriverRecord& record, DialectSteps& steps, PfDialogProc popupProcedure,
                          std::uint32_t window, const char* fileName,
                          ScanProgressCallback callback, std::uint32_t type, std::uint32_t language) noexcept;

}  // namespace drv

#endif
