// The printer chart locator: finds the black marks of a scanned printer chart
// (a top row of 17 marks, a left column of 32), derives the 32 x 16 patch
// windows from them and averages each window into PrinterPatchTable
// (qel::g_engine.printerAnalysis). Images are read one row (or one window
// row) at a time through the platform's handle files.
#ifndef QEL_PRINTER_TARGET_IMAGE_H
#define QEL_PRINTER_TARGET_IMAGE_H

#include <cstdint>

#include "engine_state.h"

namespace qel {

// Result of ReadPrinterTargetImage and of the mark checks; the codes that
// PrinterTargetAnalysis passes on to the host.
enum class ChartStatus : std::int32_t {
    Found = 0,
    UnreadableOrFewTopMarks = 1,  // file not opened / not a complete 24-bit Targa, or 16 top marks or fewer
    TooManyTopMarks = 2,          // 18 top marks or more
    NoTopBox = 3,                 // no dark box collected for the top row
    FewSideMarks = 4,             // fewer than 32 side marks after the alignment test
    ManySideMarks = 5,            // more than 32
    FewSideBoxes = 6,             // fewer than 3 side boxes before the alignment test
    NoMemory = 9,                 // the row buffer could not be allocated
};

constexpr std::int32_t kMarkEnd = 0x7fff;        // x0 of the entry that ends a mark table
constexpr int kTopMarkCount = 17;
constexpr int kSideMarkCount = 32;
constexpr int kFirstThreshold = 38;              // dark: all three bytes at most this
constexpr int kThresholdStep = 10;
constexpr int kMaxPasses = 10;                   // thresholds 38, 48, ..., 128

// A mark table of the module state: at most `limit` of its entries hold
// boxes (the table has room for a few more, so the end marker always fits);
// the entry after the last box has x0 == kMarkEnd.
struct MarkTableRef {
    MarkBox* boxes;
    int limit;
};

inline MarkTableRef topMarkTable() {
    return {g_engine.printerAnalysis.topMarks, kTopMarkSearchLimit};
}
inline MarkTableRef sideMarkTable() {
    return {g_engine.printerAnalysis.sideMarks, kSideMarkSearchLimit};
}

// Every field of every entry set to kMarkEnd.
void ClearMarkTable(MarkBox* boxes, int capacity);
// Number of boxes before the end marker.
int MarkCount(const MarkTableRef& table);

// A run of dark pixels from a to b (inclusive, b > a) on file row y, into the
// top table: extends the first box it touches (within 2 pixels), else opens
// a new box in left-to-right order when the run is longer than 4 pixels and
// the table has room.
void AddTopRun(const MarkTableRef& table, int a, int b, int y);
// The same for the side table: new boxes are appended, merging also grows
// the box upwards.
void AddSideRun(const MarkTableRef& table, int a, int b, int y);

// Merge pass, size filter and count of the top row (0, 1, 2 or 3).
ChartStatus CheckTopMarks(const MarkTableRef& table);
// Merge pass, size filter, alignment against the top marks and count of the
// side column (0, 4, 5 or 6). topTable must hold the 17 checked top marks.
ChartStatus CheckSideMarks(const MarkTableRef& table, const MarkTableRef& topTable);

// Box centre in integer division.
struct MarkCentre {
    std::int32_t x, y;
};
MarkCentre CentreOf(const MarkBox& box);

// PrinterPatchWindows from the checked top and side marks; every window is
// clipped to the width x height image (an empty window keeps x1 < x0).
void ComputePrinterPatchWindows(const MarkTableRef& topTable, const MarkTableRef& sideTable, int width,
                                int height);

// Knobs of the search, for tests and tools; the analysis uses the defaults.
struct ChartSearchOptions {
    int firstThreshold = kFirstThreshold;
    int maxPasses = kMaxPasses;
};

// Finds, checks and samples the chart in the Targa file at path. On 0,
// PrinterPatchTable holds all 512 patches; on any other code it is left as
// it was. The mark tables keep what the last pass left in them.
ChartStatus ReadPrinterTargetImage(const char* path);
ChartStatus ReadPrinterTargetImage(const char* path, const ChartSearchOptions& options);

}  // namespace qel

#endif
