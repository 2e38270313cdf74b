// Locating the IT8.7/2 target in a scanned Targa image and sampling its cells.
//
// The image is never held whole: the locator reads one file row at a time,
// the sampler one window row at a time, each with one seek. Coordinates are
// in pixels and file rows (row 0 is the first row stored in the file, which
// the scanner drivers fill with the last scanned line).
#include "it8_target_image.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "engine_state.h"
#include "numeric.h"
#include "platform/raii.hpp"
#include "targa.h"

namespace qel {
namespace {

// Pixel classes on the three channel bytes of one pixel.
constexpr int kDarkMax = 38;
constexpr int kMediumMax = 139;

bool isDark(const std::uint8_t* p) { return p[0] <= kDarkMax && p[1] <= kDarkMax && p[2] <= kDarkMax; }
bool isMedium(const std::uint8_t* p) {
    return !isDark(p) && p[0] <= kMediumMax && p[1] <= kMediumMax && p[2] <= kMediumMax;
}

// The open image: its size and one row buffer of width x 3 bytes.
struct ImageRows {
    PfFile file;
    int width;
    int height;
    std::uint8_t* row;  // width x 3 bytes

    const std::uint8_t* pixel(int x) const { return row + 3 * static_cast<std::size_t>(x); }
    bool dark(std::int64_t x) const { return x >= 0 && x < width && isDark(pixel(static_cast<int>(x))); }

    bool read(int y) const {
        if (y < 0 || y >= height) return false;
        const std::int64_t offset = targaPixelOffset(width, 0, y);
        if (pfLlseek(file, static_cast<std::int32_t>(offset), PF_FILE_BEGIN) != offset) return false;
        const std::uint32_t bytes = 3u * static_cast<std::uint32_t>(width);
        return pfLread(file, row, bytes) == bytes;
    }
};

// Left edge of the scan row: the first x >= 4 that is dark after three medium
// pixels. -1 when there is none.
int findLeftEdge(const ImageRows& img) {
    for (int x = 4; x < img.width; ++x) {
        if (isDark(img.pixel(x)) && isMedium(img.pixel(x - 3)) && isMedium(img.pixel(x - 2)) &&
            isMedium(img.pixel(x - 1)))
            return x;
    }
    return -1;
}

// Right edge: the first x <= width - 5, scanning down from the right, that is
// dark before three medium pixels. -1 when there is none.
int findRightEdge(const ImageRows& img) {
    for (int x = img.width - 5; x >= 0; --x) {
        if (isDark(img.pixel(x)) && isMedium(img.pixel(x + 1)) && isMedium(img.pixel(x + 2)) &&
            isMedium(img.pixel(x + 3)))
            return x;
    }
    return -1;
}

// One row's step of a trace: moves (x, y) to the nearest dark pixel within
// reach on row `row`, as long as the edge's last point is at most two rows
// away (so a one-row gap is bridged). Ties go to the later k of the sweep
// from `kFirst` to `kLast`. True when the point moved.
bool traceStep(const ImageRows& img, int row, int kFirst, int kLast, std::int32_t& x, std::int32_t& y) {
    if (std::abs(static_cast<std::int64_t>(row) - y) > 2) return false;
    const std::int64_t startX = x;
    const int dir = kFirst < kLast ? 1 : -1;
    int best = 5;
    bool moved = false;
    for (int k = kFirst;; k += dir) {
        if (img.dark(startX + k)) {
            const int a = std::abs(k);
            if (a < best) best = a;
            if (a == best) {
                x = static_cast<std::int32_t>(startX + k);
                y = row;
                moved = true;
            }
            if (k == 0) break;
        }
        if (k == kLast) break;
    }
    return moved;
}

double length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// Orientation check on the two ends of the grey scale: no pair of channels
// more than 80 apart; GS1 light (every channel at least 140), GS22 dark
// (every channel at most 120).
bool isNeutral(const PatchSample& s) {
    return std::abs(s.r - s.g) <= 80 && std::abs(s.r - s.b) <= 80 && std::abs(s.g - s.b) <= 80;
}
bool isLightNeutral(const PatchSample& s) { return s.r >= 140 && s.g >= 140 && s.b >= 140 && isNeutral(s); }
bool isDarkNeutral(const PatchSample& s) { return s.r <= 120 && s.g <= 120 && s.b <= 120 && isNeutral(s); }

}  // namespace

int It8ScanRows(int height, int rows[3]) {
    int count = 0;
    for (int v = height; count < 3 && v > 1;) {
        v /= 2;
        rows[count++] = v;
    }
    return count;
}

// The traced frame must be a plausible IT8 frame: edges of nearly equal
// length, the left edge nearly perpendicular to the start side, and the
// width-to-height ratio near 24:16.
bool It8FrameIsPlausible(const EdgeTrace& left, const EdgeTrace& right) {
    const double ex = static_cast<double>(left.x1) - left.x0;
    const double ey = static_cast<double>(left.y1) - left.y0;
    const double leftLength = length(ex, ey);
    const double rightLength = length(static_cast<double>(right.x1) - right.x0,
                                      static_cast<double>(right.y1) - right.y0);
    if (truncToInt32(std::fabs(leftLength - rightLength)) > 30) return false;

    const double sx = static_cast<double>(right.x0) - left.x0;
    const double sy = static_cast<double>(right.y0) - left.y0;
    const double sideLength = length(sx, sy);
    if (leftLength == 0.0 || sideLength == 0.0) return false;
    const double cosine = (ex * sx + ey * sy) / (leftLength * sideLength);
    if (cosine < -0.09 || cosine > 0.09) return false;

    const double ratio = sideLength / leftLength;
    return ratio > 1.3 && ratio < 1.7;
}

namespace {

// Traces both edges row by row from the scan row: forwards (to larger file
// rows) on the end points with reach 4, then backwards on the start points
// with reach 2. A direction ends when neither edge moved on two rows running.
void traceEdges(const ImageRows& img, EdgeTrace& left, EdgeTrace& right) {
    bool movedBefore = true;
    const int firstForward = left.y1 < 0 ? 0 : left.y1 >= img.height ? img.height : left.y1 + 1;
    for (int y = firstForward; y < img.height; ++y) {
        if (!img.read(y)) break;
        const bool l = traceStep(img, y, -4, 4, left.x1, left.y1);
        const bool r = traceStep(img, y, 4, -4, right.x1, right.y1);
        const bool moved = l || r;
        if (!moved && !movedBefore) break;
        movedBefore = moved;
    }
    movedBefore = true;
    const int firstBackward = left.y0 <= 0 ? -1 : left.y0 > img.height ? img.height - 1 : left.y0 - 1;
    for (int y = firstBackward; y >= 0; --y) {
        if (!img.read(y)) break;
        const bool l = traceStep(img, y, -2, 2, left.x0, left.y0);
        const bool r = traceStep(img, y, 2, -2, right.x0, right.y0);
        const bool moved = l || r;
        if (!moved && !movedBefore) break;
        movedBefore = moved;
    }
}

// Looks for the frame on up to three scan rows: height / 2, / 4, / 8.
bool locateFrame(const ImageRows& img, EdgeTrace& left, EdgeTrace& right) {
    int rows[3];
    const int tries = It8ScanRows(img.height, rows);
    for (int attempt = 0; attempt < tries; ++attempt) {
        const int v = rows[attempt];
        left = EdgeTrace{};
        right = EdgeTrace{};
        if (!img.read(v)) continue;
        const int lx = findLeftEdge(img);
        const int rx = findRightEdge(img);
        // The right edge must lie right of the left one: edges found the
        // other way round would be traced and sampled as a mirrored target.
        if (lx < 0 || rx < 0 || rx - lx < 10) continue;
        left = EdgeTrace{lx, v, lx, v};
        right = EdgeTrace{rx, v, rx, v};
        traceEdges(img, left, right);
        if (It8FrameIsPlausible(left, right)) return true;
    }
    return false;
}

}  // namespace

void TraceFrameEdges(PfFile file, int width, int height, EdgeTrace& left, EdgeTrace& right) {
    if (width <= 0 || height <= 0) return;
    pf::LockedGlobal rowBuffer(kMovableZeroed, 3u * static_cast<std::size_t>(width));
    if (!rowBuffer.ok()) return;
    traceEdges(ImageRows{file, width, height, rowBuffer.as<std::uint8_t>()}, left, right);
}

bool LocateIt8Frame(PfFile file, int width, int height, EdgeTrace& left, EdgeTrace& right) {
    if (width <= 0 || height <= 0) return false;
    pf::LockedGlobal rowBuffer(kMovableZeroed, 3u * static_cast<std::size_t>(width));
    if (!rowBuffer.ok()) return false;
    return locateFrame(ImageRows{file, width, height, rowBuffer.as<std::uint8_t>()}, left, right);
}

PatchWindow It8PatchWindow(const EdgeTrace& left, const EdgeTrace& right, int width, int height, int cellRow,
                           int cellColumn) {
    PatchWindow window;
    if (width <= 0 || height <= 0) return window;
    const double colX = (static_cast<double>(right.x1) - left.x1) / 24.0;
    const double colY = (static_cast<double>(right.y1) - left.y1) / 24.0;
    const double rowX = (static_cast<double>(left.x0) - left.x1) / 16.0;
    const double rowY = (static_cast<double>(left.y0) - left.y1) / 16.0;
    const double originX = truncToInt32(left.x1 + (rowX + colX) / 2.0);
    const double originY = truncToInt32(left.y1 + (rowY + colY) / 2.0);
    // From the integer end points, not the column step: (d / 24) x 24 need
    // not give d back, and a whole cell size must truncate to itself.
    const int cellSize = truncToInt32(length(static_cast<double>(right.x1) - left.x1,
                                             static_cast<double>(right.y1) - left.y1) /
                                      24.0);
    const int h = (2 * cellSize) / 6;

    const double cx = originX + cellRow * rowX + cellColumn * colX;
    const double cy = originY + cellRow * rowY + cellColumn * colY;
    // The window, clipped to the image: a frame that passed the check lies
    // inside a real scan, but a crafted one need not.
    std::int64_t x0 = truncToInt32(cx - h), x1 = truncToInt32(cx + h);
    std::int64_t y0 = truncToInt32(cy - h), y1 = truncToInt32(cy + h);
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > width - 1) x1 = width - 1;
    if (y1 > height - 1) y1 = height - 1;
    window.x0 = static_cast<std::int32_t>(x0);
    window.y0 = static_cast<std::int32_t>(y0);
    window.x1 = static_cast<std::int32_t>(x1);
    window.y1 = static_cast<std::int32_t>(y1);
    return window;
}

PatchSample SamplePatch(PfFile file, const EdgeTrace& left, const EdgeTrace& right, int width, int height,
                        int cellRow, int cellColumn) {
    PatchSample out;
    if (cellRow < 0 || cellRow >= kFrameCellRows || cellColumn < 0 || cellColumn >= kFrameCellColumns) return out;
    std::int32_t* cell = g_engine.targetPatches.cell[cellRow][cellColumn];
    cell[0] = cell[1] = cell[2] = 0;
    const PatchWindow window = It8PatchWindow(left, right, width, height, cellRow, cellColumn);
    if (window.empty()) return out;
    const std::int64_t x0 = window.x0, x1 = window.x1, y0 = window.y0, y1 = window.y1;

    pf::LockedGlobal buffer(kMovableZeroed, 3u * static_cast<std::size_t>(width));
    if (!buffer.ok()) {
        out.noMemory = true;
        return out;
    }
    auto* row = buffer.as<std::uint8_t>();
    const std::uint32_t bytes = static_cast<std::uint32_t>(3 * (x1 - x0 + 1));
    std::uint64_t sum[3] = {0, 0, 0};  // blue, green, red as stored
    std::int64_t count = 0;
    for (std::int64_t y = y0; y <= y1; ++y) {
        const std::int64_t offset = targaPixelOffset(width, x0, y);
        if (pfLlseek(file, static_cast<std::int32_t>(offset), PF_FILE_BEGIN) != offset) break;
        if (pfLread(file, row, bytes) != bytes) break;
        for (std::uint32_t i = 0; i < bytes; i += 3) {
            sum[0] += row[i];
            sum[1] += row[i + 1];
            sum[2] += row[i + 2];
        }
        count += x1 - x0 + 1;
    }
    if (count == 0) return out;
    out.r = static_cast<std::int32_t>(sum[2] / static_cast<std::uint64_t>(count));
    out.g = static_cast<std::int32_t>(sum[1] / static_cast<std::uint64_t>(count));
    out.b = static_cast<std::int32_t>(sum[0] / static_cast<std::uint64_t>(count));
    out.count = static_cast<std::int32_t>(count);
    cell[0] = out.r;
    cell[1] = out.g;
    cell[2] = out.b;
    return out;
}

int ReadIt8TargetImage(const char* path, It8Frame* frame) {
    if (path == nullptr) return 1;
    pf::FileHandle file(pfLopen(path, PF_OF_READ));
    if (!file.ok()) return 1;

    TargaImageFile header{};
    if (pfLread(file.get(), &header, kTargaHeaderBytes) != kTargaHeaderBytes) return 1;
    // Only the one layout the system writes: any other type or depth would be
    // misread as pixels.
    if (!header.isUncompressedTrueColour24()) return 1;
    const int width = header.width();
    const int height = header.height();
    if (width == 0 || height == 0) return 1;
    // Every pixel row must be in the file before any buffer is sized from the
    // declared width and height.
    const std::int32_t fileSize = pfLlseek(file.get(), 0, PF_FILE_END);
    if (fileSize < 0 || static_cast<std::int64_t>(fileSize) < targaPixelOffset(width, 0, height)) return 1;

    EdgeTrace left, right;
    if (!LocateIt8Frame(file.get(), width, height, left, right)) return 1;
    if (frame != nullptr) *frame = It8Frame{true, width, height, left, right};

    for (auto& row : g_engine.targetPatches.cell)
        for (auto& cell : row) cell[0] = cell[1] = cell[2] = 0;

    const PatchSample gs1 = SamplePatch(file.get(), left, right, width, height, kGreyScaleCellRow, 1);
    const PatchSample gs22 = SamplePatch(file.get(), left, right, width, height, kGreyScaleCellRow, 22);
    // A window with no pixels gives no evidence of either.
    if (gs1.count == 0 || gs22.count == 0 || !isLightNeutral(gs1) || !isDarkNeutral(gs22)) return 1;

    // A cell left unsampled for want of memory would go into the model as a
    // black patch: the target counts as unread.
    for (int r = 1; r <= 12; ++r)
        for (int c = 1; c <= 22; ++c)
            if (SamplePatch(file.get(), left, right, width, height, r, c).noMemory) return 1;
    for (int c = 1; c <= 22; ++c)
        if (SamplePatch(file.get(), left, right, width, height, kGreyScaleCellRow, c).noMemory) return 1;
    return 0;
}

void FillMeasuredRecord(const TargetPatchTable& table, PatchRecord* measured) {
    for (int row = 1; row <= 12; ++row)
        for (int k = 0; k < 9; ++k) {
            const int index = ChromaticPatchIndex(row, kUsedColumns[k]);
            for (int c = 0; c < 3; ++c)
                measured->entry[index][c] = static_cast<float>(table.cell[row][kUsedColumns[k]][c]);
        }
    for (int n = 1; n <= kGreyPatches; ++n)
        for (int c = 0; c < 3; ++c)
            measured->entry[GreyPatchIndex(n)][c] = static_cast<float>(table.cell[kGreyScaleCellRow][n][c]);
}

}  // namespace qel
