// The target image reader: finds the IT8.7/2 target's dark frame in a scanned
// Targa image, checks its orientation and averages a window in the middle of
// every cell into g_engine.targetPatches (cell rows 1..12 = IT8 rows A..L,
// cell row 14 = grey scale GS1..GS22, cell columns 1..22).
#ifndef QEL_IT8_TARGET_IMAGE_H
#define QEL_IT8_TARGET_IMAGE_H

#include <cstdint>

#include "engine_state.h"
#include "it8_reference.h"
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
    bool noMemory = false;   // the cell's row buffer could not be had: not sampled
};

// A cell's sample window: inclusive pixel bounds, y in file rows, clipped to
// the image. Empty (nothing sampled) when x0 > x1 or y0 > y1.
struct PatchWindow {
    std::int32_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    bool empty() const { return x0 > x1 || y0 > y1; }
};

// The target as the reader found it: the image size and the two traced
// edges of the frame. found is false when no plausible frame was traced.
struct It8Frame {
    bool found = false;
    int width = 0, height = 0;
    EdgeTrace left, right;
};

// 0 when the target was found, passed the orientation check and was sampled
// into g_engine.targetPatches; 1 when the file cannot be opened or is not an
// uncompressed 24-bit Targa image with all its pixel rows, when no frame is
// found, when the orientation check fails (the table then holds only GS1
// and GS22), or when a cell's row buffer cannot be allocated. The table is
// left unchanged when no frame is found.
// When frame is not null it receives the image size and the traced edges
// (found only when a frame passed the plausibility check).
int ReadIt8TargetImage(const char* path, It8Frame* frame = nullptr);

// The window of cell (cellRow, cellColumn) of the frame given by the two
// edges, in a width x height image: a square of side 2 h + 1 around the cell
// centre, h = a third of the cell size (truncated), clipped to the image.
PatchWindow It8PatchWindow(const EdgeTrace& left, const EdgeTrace& right, int width, int height, int cellRow,
                           int cellColumn);

// Copies the sampled means into the measured record in reference patch index
// order: cell rows 1..12 at the used columns, then cell row 14 columns 1..22.
void FillMeasuredRecord(const TargetPatchTable& table, PatchRecord* measured);

// Averages the window of cell (cellRow, cellColumn) of the frame given by the
// two edges, stores the mean in g_engine.targetPatches and returns it. The
// window is clipped to the width x height image; pixels outside are not
// counted. Reads through the open file (one seek and one read per row).
PatchSample SamplePatch(PfFile file, const EdgeTrace& left, const EdgeTrace& right, int width,
                        int height, int cellRow, int cellColumn);

// The steps of locating the frame, open for white-box tests.

// The scan rows tried, in order (height / 2, / 4, / 8 while the row stays
// above 0); returns how many of `rows` were filled.
int It8ScanRows(int height, int rows[3]);

// Traces both edges from their points on the scan row: forwards on the end
// points (x1, y1), then backwards on the start points (x0, y0). Reads rows
// of the width x height image through the open file.
void TraceFrameEdges(PfFile file, int width, int height, EdgeTrace& left, EdgeTrace& right);

// The frame check: edge lengths within 30 pixels, left edge and start side
// perpendicular within a cosine of 0.09, side-to-edge ratio in (1.3, 1.7).
bool It8FrameIsPlausible(const EdgeTrace& left, const EdgeTrace& right);

// Finds, traces and checks the frame on the scan rows in turn; true with the
// two traced edges of the first frame that passes. On a scan row the right
// edge must lie at least 10 pixels right of the left edge.
bool LocateIt8Frame(PfFile file, int width, int height, EdgeTrace& left, EdgeTrace& right);

// Frame cell numbering.
constexpr int kFrameCellColumns = 24;
constexpr int kFrameCellRows = 16;
constexpr int kGreyScaleCellRow = 14;

}  // namespace qel

#endif
