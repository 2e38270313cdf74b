/* host_example.c: a small Windows host for the aucal libraries.
 *
 * It does what a calibration application does: loads qel_cms.dll and
 * scan.dll with LoadLibrary, takes their exports by name, scans the IT8.7/2
 * target with the scan driver and characterises the scanner from that scan.
 * The driver uses the pass-through library installed under
 * C:\Windows\TWAIN_32\KVSC_PRO\KASPI_SP.DLL: the scanner's own, or for a trial
 * without a scanner the simulated one of this zip (simulated-scanner\).
 *
 *   host_example [dll-folder [output-folder]]      (both default to ".")
 *
 * writes it8.tga (the scan) and scanner.mdl (the ScannerModel's 62184 bytes).
 *
 * Build (32-bit):
 *   i686-w64-mingw32-gcc -O2 -Iinclude -o host_example.exe example/host_example.c
 *   cl /I include example\host_example.c user32.lib      (MSVC, x86)
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "qel_cms.h"
#include "scan_driver.h"

/* The engine's exports are __cdecl; the driver's are __stdcall (scan_driver.h). */
typedef int32_t(QEL_CDECL* ScannerIT8AnalysisFn)(int32_t, const char*, float*, int32_t*, const char*,
                                                 ProgressRecord*, ProgressCallback);

/* Item 1017 of the host window receives the driver's status texts. */
enum { kStatusItem = 1017 };

static int32_t QEL_STDCALL onScanProgress(ScanProgressRecord* record, int32_t total) {
    if (total > 1 && (record->count == total || record->count % 200 == 0))
        printf("  line %u of %d\n", (unsigned)record->count, (int)total);
    return 0;
}

static int32_t QEL_STDCALL onEngineProgress(ProgressRecord* record, int32_t total) {
    if (record->count % 25 == 0) printf("  %u of %d\n", (unsigned)record->count, (int)total);
    return 0;
}

static HMODULE load(const char* folder, const char* name) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    HMODULE module = LoadLibraryA(path);
    if (module == NULL) fprintf(stderr, "cannot load %s (error %lu)\n", path, (unsigned long)GetLastError());
    return module;
}

int main(int argc, char** argv) {
    const char* dlls = argc > 1 ? argv[1] : ".";
    const char* out = argc > 2 ? argv[2] : ".";
    char scanPath[MAX_PATH], modelPath[MAX_PATH];
    snprintf(scanPath, sizeof scanPath, "%s\\it8.tga", out);
    snprintf(modelPath, sizeof modelPath, "%s\\scanner.mdl", out);

    HMODULE engine = load(dlls, "qel_cms.dll");
    HMODULE driver = load(dlls, "scan.dll");
    if (engine == NULL || driver == NULL) return 1;
    ScanImageProc scanImage = (ScanImageProc)(void*)GetProcAddress(driver, "Scan_Image");
    ScannerIT8AnalysisFn analyse = (ScannerIT8AnalysisFn)(void*)GetProcAddress(engine, "ScannerIT8Analysis");
    if (scanImage == NULL || analyse == NULL) {
        fprintf(stderr, "an export is missing: is this the right DLL?\n");
        return 1;
    }

    /* The host window: the driver writes its status texts into item 1017 and
     * owns its popup and message boxes by it. */
    HINSTANCE instance = GetModuleHandleA(NULL);
    HWND window = CreateWindowExA(0, "STATIC", "aucal host example", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                                  80, NULL, NULL, instance, NULL);
    CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 8, 8, 380, 20, window, (HMENU)(INT_PTR)kStatusItem,
                    instance, NULL);
    if (window == NULL) {
        fprintf(stderr, "cannot create the host window\n");
        return 1;
    }

    /* 1. Scan: reflective target (type 0), English texts (language 0). */
    printf("scanning to %s\n", scanPath);
    int32_t status = scanImage((uint32_t)(UINT_PTR)window, scanPath, onScanProgress, 0, 0);
    if (status != SCAN_IMAGE_WRITTEN || GetFileAttributesA(scanPath) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "Scan_Image failed: %d\n", (int)status);
        return 1;
    }

    /* 2. Characterise the scanner, here with the engine's built-in reference
     * table (0); with the target's reference file pass 1 and its path. */
    float* model = (float*)calloc(QEL_MODEL_FLOATS, sizeof(float));
    int32_t modelSize = 0;
    ProgressRecord progress = {(uint32_t)(UINT_PTR)window, 0, 0};
    printf("characterising the scanner\n");
    status = analyse(0, scanPath, model, &modelSize, NULL, &progress, onEngineProgress);
    if (status != QEL_SCANNER_OK) {
        fprintf(stderr, "ScannerIT8Analysis failed: %d\n", (int)status);
        return 1;
    }
    FILE* file = fopen(modelPath, "wb");
    const size_t bytes = QEL_MODEL_FLOATS * sizeof(float);
    if (file == NULL || fwrite(model, 1, bytes, file) != bytes || fclose(file) != 0) {
        fprintf(stderr, "cannot write %s\n", modelPath);
        return 1;
    }
    printf("scanner model written to %s (%d bytes reported)\n", modelPath, (int)modelSize);

    free(model);
    DestroyWindow(window);
    FreeLibrary(driver);
    FreeLibrary(engine);
    return 0;
}
