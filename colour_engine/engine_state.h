// All module state of the engine, in one place. Zero at load (but for the
// phosphor defaults), lasting until the library is unloaded. Each subject
// keeps its part here; working storage of one call that nothing later relies
// on stays local to that call.
#ifndef QEL_ENGINE_STATE_H
#define QEL_ENGINE_STATE_H

#include <cstdint>

#include "correction.h"
#include "platform/memory.h"
#include "platform/messages.h"

namespace qel {

// Flags of the engine's global memory blocks.
constexpr unsigned kFixedShareZeroed = PF_GMEM_FIXED | PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT;
constexpr unsigned kMovableZeroed = PF_GMEM_MOVEABLE | PF_GMEM_ZEROINIT;

enum class CorrectionMode : std::int32_t { Matrix = 0, Lookup = 1 };

struct CorrectionState {
    CorrectionMode mode = CorrectionMode::Matrix;
    PfGlobal blockHandle = nullptr;           // the engine's copy of the loaded block
    const std::uint8_t* matrixSlot = nullptr; // stays set after ReleaseCorrect
    const std::uint8_t* lookupSlot = nullptr; // cleared by ReleaseCorrect
    std::uint8_t tables[3][256] = {};         // matrix mode: output tables
    std::int32_t matrix[3][4] = {};           // matrix mode: factors in 1/64 units
    PreparedCorrection prepared;              // tables and kernels chosen by InitCorrect
};

// Monitor phosphor chromaticities (x, y of red, green, blue).
struct PhosphorChromaticities {
    double xr = 0.635, yr = 0.333;
    double xg = 0.28, yg = 0.595;
    double xb = 0.152, yb = 0.063;
};

struct ProgressCounters {
    std::int32_t total = 0;
    std::int32_t done = 0;
    std::int32_t stopFlag = 0;
};

// Mean R, G, B (0..255) of each cell of the IT8 target frame: 16 cell rows by
// 24 cell columns; rows 1..12 are IT8 rows A..L, row 14 the grey scale.
struct TargetPatchTable {
    std::int32_t cell[16][24][3] = {};
};

// Printer chart analysis. Mark boxes are inclusive pixel bounds in file
// order; in a table, the entry whose x0 is 0x7fff ends it. Of the 192 top
// and 384 side entries at most 189 and 381 hold boxes. Patch windows and the
// patch table are 32 patch rows by 16 patch columns; a table entry is the
// mean R, G, B (0..255) of its window and the number of pixels averaged.
struct MarkBox {
    std::int32_t x0, y0, x1, y1;
};
constexpr int kTopMarkEntries = 192;
constexpr int kTopMarkSearchLimit = 189;
constexpr int kSideMarkEntries = 384;
constexpr int kSideMarkSearchLimit = 381;

struct PrinterPatchEntry {
    std::int32_t r, g, b, count;
};

struct PrinterAnalysisState {
    MarkBox topMarks[kTopMarkEntries] = {};
    MarkBox sideMarks[kSideMarkEntries] = {};
    MarkBox patchWindows[32][16] = {};          // PrinterPatchWindows
    PrinterPatchEntry patchTable[32][16] = {};  // PrinterPatchTable
    std::int32_t lastThreshold = 0;             // dark threshold of the last pass run
    std::int32_t passesRun = 0;                 // passes of the last search (1..10)
};

// Printer model working storage, rebuilt by every call of the printer model
// (nothing in it matters from one call to the next). Patch index
// p = 64 i + 8 j + k with i, j, k the red, green, blue chart level numbers.
struct PrinterModelState {
    float xyz[512][3] = {};            // PrinterXyz
    float lab[512][3] = {};            // PrinterLab, against the paper white
    float paperWhite[3] = {};          // XYZ of patch 511 (blank paper)
    float lightnessScale = 0.0f;       // (100 - L* of patch 0) / 78.6
    float table[17][17][17][3] = {};   // the host's printer table, as floats
};

struct EngineState {
    CorrectionState correction;
    PhosphorChromaticities phosphors;
    ProgressCounters progress;
    PfMessage lastPolledMessage = {};
    TargetPatchTable targetPatches;
    PrinterAnalysisState printerAnalysis;
    PrinterModelState printerModel;
};

extern EngineState g_engine;

}  // namespace qel

#endif
