/* The scanner drivers' C interface (scan, vexa and prescan libraries), for
 * hosts that load a driver with LoadLibrary/GetProcAddress. */
#ifndef SCAN_DRIVER_H
#define SCAN_DRIVER_H

#include <stdint.h>

#include "platform/calling.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The progress record the driver hands to the host callback: the host window
 * at offset 0 (32 bits) and the current line or row number at offset 4. */
typedef struct ScanProgressRecord {
    uint32_t window;
    uint16_t count;
    uint16_t reserved;
} ScanProgressRecord;

/* Called with the record and the total (first 0 of 1, then each line of the
 * transfer and each row written, of the line count). Callee removes the
 * arguments; the result is not used. */
typedef int32_t(PF_STDCALL* ScanProgressCallback)(ScanProgressRecord* record, int32_t total);

/* Scan results. */
enum {
    SCAN_IMAGE_WRITTEN = 0,        /* the file was written (or the scanner had no lines) */
    SCAN_IMAGE_FAILED = 1,         /* failed; any message was already shown */
    SCAN_IMAGE_SHADING_MEMORY = 12 /* shading buffers unavailable during calibration */
};

/* Target types (low 16 bits): 0 reflective, 1 transparency, 2 transparency
 * through the adapter. Language: index 0 to 6 of the string table. */
typedef int32_t(PF_STDCALL* ScanImageProc)(uint32_t window, const char* fileName, ScanProgressCallback callback,
                                            uint32_t type, uint32_t language);

PF_EXPORT int32_t PF_STDCALL Scan_Image(uint32_t window, const char* fileName,
                                                    ScanProgressCallback callback, uint32_t type,
                                                    uint32_t language);

/* prescan only: the dialog procedure of its warm-up popup (dialog 300 of
 * the library's resources); callee removes the arguments. */
PF_EXPORT intptr_t PF_STDCALL WarmUpProc(void* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

#ifdef __cplusplus
}
#endif

#endif
