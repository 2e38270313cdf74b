/* qel_cms: the colour engine of the calibration package.
 *
 * A host application loads the library at run time and calls these exports
 * (plain names, caller removes the arguments). Every export but
 * DonePercentage returns a 32-bit status, 0 for success. Buffers are the
 * host's: the engine fills them and reports their size; the engine copies a
 * correction block at InitCorrect and frees its copy at ReleaseCorrect.
 *
 * Calling order: ScannerIT8Analysis first (its ScannerModel feeds the rest);
 * SetPhosphorType any time before VisualMatch; CreatTargetImage, print and scan
 * the chart, PrinterTargetAnalysis (or PrinterTargetOpenAnalysis with a
 * printer table); then InitCorrect, CorrectImage as often as needed,
 * ReleaseCorrect. One call at a time, from the host's user-interface thread.
 */
#ifndef QEL_CMS_H
#define QEL_CMS_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QEL_CDECL __cdecl
#define QEL_STDCALL __stdcall
#else
#define QEL_CDECL
#define QEL_STDCALL
#endif

#if defined(_WIN32)
#define QEL_API
#elif defined(QEL_CMS_BUILDING)
#define QEL_API __attribute__((visibility("default")))
#else
#define QEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Shared records ---------------------------------------------------- */

/* The host's progress record: a 32-bit window handle at offset 0 and the
 * 16-bit count at offset 4. The engine writes only the count (a percentage,
 * 0 to 100). */
typedef struct ProgressRecord {
    uint32_t window;
    uint16_t count;
    uint16_t reserved;
} ProgressRecord;

/* The host's progress callback (callee removes the arguments). The engine
 * always passes 100 as the total; the result is not used. */
typedef int32_t(QEL_STDCALL* ProgressCallback)(ProgressRecord* record, int32_t total);

/* An image to correct in place: lineCount x pixelsPerLine pixels of three
 * bytes (channel 0, 1, 2 = red, green, blue), no padding between lines. */
typedef struct ImageBuffer {
    int32_t lineCount;
    int32_t pixelsPerLine;
    uint8_t* pixels;
} ImageBuffer;

/* Sizes that the producing exports report; each is 2 more than the bytes the
 * block's layout fills. */
enum {
    QEL_MATRIX_BLOCK_SIZE = 818,   /* MatrixCorrectionBlock (layout: 816 bytes) */
    QEL_LUT_BLOCK_SIZE = 15509,    /* LutCorrectionBlock (layout: 15507 bytes) */
    QEL_MODEL_SIZE = 62186,        /* ScannerModel (15546 floats, 62184 bytes) */
    QEL_MODEL_FLOATS = 15546,
    QEL_MATRIX_MODE_MAX_SIZE = 818 /* InitCorrect: sizes up to this load a matrix block */
};

/* ---- Status codes ------------------------------------------------------ */

enum QelInitCorrectStatus { QEL_INIT_OK = 0, QEL_INIT_NO_MEMORY = 1 };
enum QelCorrectImageStatus { QEL_CORRECT_OK = 0, QEL_CORRECT_NOTHING_LOADED = 1 };
enum QelReleaseCorrectStatus { QEL_RELEASE_OK = 0, QEL_RELEASE_NOTHING_LOADED = 1 };

enum QelScannerStatus {
    QEL_SCANNER_OK = 0,
    QEL_SCANNER_IMAGE_UNREADABLE = 1,  /* image not opened, target not found, orientation wrong */
    QEL_SCANNER_NO_MEMORY = 2,
    QEL_SCANNER_REFERENCE_UNOPENED = 3,
    QEL_SCANNER_REFERENCE_INVALID = 4,
    QEL_SCANNER_CANCELLED = 5,         /* Escape during the grid stage */
    QEL_SCANNER_FIT_FAILED = 6         /* singular fit, or a grey scale without a tone curve */
};

enum QelPhosphorStatus { QEL_PHOSPHOR_OK = 0, QEL_PHOSPHOR_OUT_OF_RANGE = 1 };
enum QelVisualMatchStatus { QEL_VISUAL_OK = 0, QEL_VISUAL_NO_MODEL = 2 };
enum QelChartStatus { QEL_CHART_OK = 0, QEL_CHART_WRITE_FAILED = 1 };

enum QelPrinterStatus {
    QEL_PRINTER_OK = 0,
    QEL_PRINTER_UNREADABLE_OR_FEW_TOP_MARKS = 1, /* image not opened, or 16 top marks or fewer */
    QEL_PRINTER_TOO_MANY_TOP_MARKS = 2,          /* 18 top marks or more */
    QEL_PRINTER_NO_TOP_BOX = 3,
    QEL_PRINTER_FEW_SIDE_MARKS = 4,              /* fewer than 32 side marks */
    QEL_PRINTER_MANY_SIDE_MARKS = 5,             /* more than 32 side marks */
    QEL_PRINTER_FEW_SIDE_BOXES = 6,              /* fewer than 3 side boxes before alignment */
    QEL_PRINTER_CANCELLED = 7,                   /* Escape during the printer model */
    QEL_PRINTER_NO_MODEL = 8,                    /* model is null */
    QEL_PRINTER_NO_MEMORY = 9                    /* a working block could not be allocated */
};

enum QelPrinterOpenStatus { QEL_PRINTER_OPEN_OK = 0, QEL_PRINTER_OPEN_FAILED = 2 };

/* ---- Exports ----------------------------------------------------------- */

/* Loads a correction block: size up to 818 selects matrix mode, 819 or more
 * lookup mode. A block already loaded is released first. */
QEL_API int32_t QEL_CDECL InitCorrect(const void* block, int32_t size);
/* Corrects every pixel of image in place with the loaded block. */
QEL_API int32_t QEL_CDECL CorrectImage(ImageBuffer* image);
/* Unloads the block. Matrix mode keeps correcting with its last tables. */
QEL_API int32_t QEL_CDECL ReleaseCorrect(void);

/* Characterises the scanner from a scanned IT8.7/2 target. model must hold
 * QEL_MODEL_FLOATS floats; modelSize receives QEL_MODEL_SIZE on success.
 * referencePath is read only when useReferenceFile is nonzero; otherwise the
 * built-in reference table is used. progress and callback may be null. */
QEL_API int32_t QEL_CDECL ScannerIT8Analysis(int32_t useReferenceFile, const char* imagePath, float* model,
                                             int32_t* modelSize, const char* referencePath,
                                             ProgressRecord* progress, ProgressCallback callback);

/* Sets the monitor phosphor chromaticities used by VisualMatch. */
QEL_API int32_t QEL_CDECL SetPhosphorType(float xr, float yr, float xg, float yg, float xb, float yb);

/* Builds a MatrixCorrectionBlock (block: at least 818 bytes) from three
 * visually matched half-luminance levels and the scanner model. */
QEL_API int32_t QEL_CDECL VisualMatch(int32_t levelR, int32_t levelG, int32_t levelB, void* block,
                                      int32_t* blockSize, const float* model);

/* Writes the printer test chart as a Targa file. */
QEL_API int32_t QEL_CDECL CreatTargetImage(const char* path);

/* Builds a LutCorrectionBlock (block: at least 15509 bytes) from a scan of
 * the printed chart and the scanner model. unused is ignored. */
QEL_API int32_t QEL_CDECL PrinterTargetAnalysis(const char* imagePath, void* block, int32_t* blockSize,
                                                const float* model, int32_t unused, ProgressRecord* progress,
                                                ProgressCallback callback);

/* Builds a LutCorrectionBlock from a host printer table held at the start of
 * data; data receives the block. unused is ignored. */
QEL_API int32_t QEL_CDECL PrinterTargetOpenAnalysis(void* data, int32_t* blockSize, const float* model,
                                                    int32_t unused, ProgressRecord* progress,
                                                    ProgressCallback callback);

/* Fraction done of the current job, 0.0 to 1.0. */
QEL_API float QEL_CDECL DonePercentage(void);
/* Sets the stop flag; always 0. Running analyses stop only on Escape. */
QEL_API int32_t QEL_CDECL StopExecution(void);

#ifdef __cplusplus
}
#endif

#endif
