// The target image reader: finds the IT8.7/2 target's dark frame in a scanned
// Targa image, checks its orientation and averages a window in the middle of
// every cell into g_engine.targetPatches (cell rows 1..12 = IT8 rows A..L,
// cell row 14 = grey scale GS1..GS22, cell columns 1..22).
#ifndef QEL_IT8_TARGET_IMAGE_H
#define QEL_IT8_TARGET_IMAGE_H

#include <cstdint>

#include "platform/files.h"

namespace qel {

// One traced vertical edge of the frame, in pixels: (x0, y0) is the end with
// the smaller file row index, (x1, y1) the end with the larger.
struct EdgeTrace {
    std::int32_t x0 = 0, y0 = 0;
    std::int32_t x1 = 0, y1 = 0;
};

// Result of averaging one cell's window.
struct PatchSample {
    std::int32_t r = 0, g = 0, b = 0;
    std::int32_t count = 0;  // pixels averaged; 0 leaves R, G, B at 0
};

// 0 when the target was found, passed the orientation check and was sampled
// into g_engine.targetPatches; 1 when the file cannot be opened or is not an
// uncompressed 24-bit Targa image with all its pixel rows, when no frame is
// found, or when the orientation check fails (the table then holds only GS1
// and GS22). The table is left unchanged when no frame is found.
int ReadIt8TargetImage(const char* path);

// Averages the window of cell (cellRow, cellColumn) of the frame given by the
// two edges, stores the mean in g_engine.targetPatches and returns it. The
// window is clipped to the width x height image; pixels outside are not
// counted. Reads through the open file (one seek and one read per row).
PatchSample SamplePatch(PfFile file, const EdgeTrace& left, const EdgeTrace& right, int width,
                        int height, int cellRow, int cellColumn);

// Frame cell numbering.
constexpr int kFrameCellColumns = 24;
constexpr int kFrameCellRows = 16;
constexpr int kGreyScaleCellRow = 14;

}  // namespace qel

#endif
