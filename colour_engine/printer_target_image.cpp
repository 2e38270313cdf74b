#include "printer_target_image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "job.h"
#include "platform/files.h"
#include "platform/raii.hpp"
#include "targa.h"

namespace qel {

namespace {

constexpr int kTouchTolerance = 2;     // pixels: runs and boxes this close belong together
constexpr int kMinNewBoxSpan = 4;      // b - a: a run must be 5 pixels long to open a box
constexpr int kBandDarkPixels = 5;     // dark pixels in a row that start / end the top band
constexpr double kAlignmentCosine = 0.02;
constexpr int kPatchRows = 32;
constexpr int kPatchColumns = 16;

void removeBox(const MarkTableRef& t, int index, int count) {
    // Entries index+1 .. count (the end marker included) move one place down.
    std::memmove(&t.boxes[index], &t.boxes[index + 1], sizeof(MarkBox) * static_cast<std::size_t>(count - index));
}

void insertBox(const MarkTableRef& t, int index, int count, const MarkBox& box) {
    // Entries index .. count (the end marker included) move one place up;
    // the caller has checked that count < limit, so the end marker stays
    // inside the table.
    std::memmove(&t.boxes[index + 1], &t.boxes[index], sizeof(MarkBox) * static_cast<std::size_t>(count - index + 1));
    t.boxes[index] = box;
}

bool runTouches(const MarkBox& box, int a, int b, int y) {
    return std::abs(y - box.y1) <= kTouchTolerance && b + kTouchTolerance >= box.x0 &&
           box.x1 >= a - kTouchTolerance;
}

bool boxesNear(const MarkBox& box, const MarkBox& next) {
    return box.x1 + kTouchTolerance >= next.x0 && next.x1 >= box.x0 - kTouchTolerance &&
           box.y1 + kTouchTolerance >= next.y0 && next.y1 >= box.y0 - kTouchTolerance;
}

bool boxesOverlap(const MarkBox& box, const MarkBox& next) {
    return !(next.x1 < box.x0 || next.x0 > box.x1 || next.y1 < box.y0 || next.y0 > box.y1);
}

void mergeInto(MarkBox& box, const MarkBox& other) {
    box.x0 = std::min(box.x0, other.x0);
    box.y0 = std::min(box.y0, other.y0);
    box.x1 = std::max(box.x1, other.x1);
    box.y1 = std::max(box.y1, other.y1);
}

// After box k has grown: swallow the boxes that follow it while they lie
// within the tolerance on every side.
void mergeFollowers(const MarkTableRef& t, int k) {
    int count = MarkCount(t);
    while (k + 1 < count && boxesNear(t.boxes[k], t.boxes[k + 1])) {
        mergeInto(t.boxes[k], t.boxes[k + 1]);
        removeBox(t, k + 1, count);
        --count;
    }
}

// Merge pass of both checks: each box swallows its followers in the table
// for as long as they share a pixel with it (no tolerance).
int mergeOverlapping(const MarkTableRef& t) {
    int count = MarkCount(t);
    int k = 0;
    while (k + 1 < count) {
        if (boxesOverlap(t.boxes[k], t.boxes[k + 1])) {
            mergeInto(t.boxes[k], t.boxes[k + 1]);
            removeBox(t, k + 1, count);
            --count;
        } else {
            ++k;
        }
    }
    return count;
}

// Mean width and height (x1 - x0, y1 - y0) in integer division.
void meanSize(const MarkTableRef& t, int count, std::int32_t& w, std::int32_t& h) {
    std::int64_t sw = 0, sh = 0;
    for (int k = 0; k < count; ++k) {
        sw += static_cast<std::int64_t>(t.boxes[k].x1) - t.boxes[k].x0;
        sh += static_cast<std::int64_t>(t.boxes[k].y1) - t.boxes[k].y0;
    }
    w = count > 0 ? static_cast<std::int32_t>(sw / count) : 0;
    h = count > 0 ? static_cast<std::int32_t>(sh / count) : 0;
}

// Removes every box for which drop(box) holds; returns the boxes left.
template <class Pred>
int removeIf(const MarkTableRef& t, int count, Pred drop) {
    int k = 0;
    while (k < count) {
        if (drop(t.boxes[k])) {
            removeBox(t, k, count);
            --count;
        } else {
            ++k;
        }
    }
    return count;
}

// Keeps a side box when the line from the corner mark to it stands nearly
// perpendicular to the top bar (|cosine| at most 0.02). A box centred on the
// corner mark has no direction and is dropped.
bool misaligned(const MarkBox& box, MarkCentre corner, double barX, double barY, double barLength) {
    const MarkCentre c = CentreOf(box);
    const double vx = static_cast<double>(c.x) - corner.x;
    const double vy = static_cast<double>(c.y) - corner.y;
    const double length = std::sqrt(vx * vx + vy * vy);
    if (length == 0.0 || barLength == 0.0) return true;
    const double cosine = (vx * barX + vy * barY) / (length * barLength);
    return !(cosine >= -kAlignmentCosine && cosine <= kAlignmentCosine);
}

}  // namespace

void ClearMarkTable(MarkBox* boxes, int capacity) {
    for (int k = 0; k < capacity; ++k) boxes[k] = MarkBox{kMarkEnd, kMarkEnd, kMarkEnd, kMarkEnd};
}

int MarkCount(const MarkTableRef& table) {
    int n = 0;
    while (n < table.limit && table.boxes[n].x0 != kMarkEnd) ++n;
    return n;
}

MarkCentre CentreOf(const MarkBox& box) {
    return {static_cast<std::int32_t>((static_cast<std::int64_t>(box.x0) + box.x1) / 2),
            static_cast<std::int32_t>((static_cast<std::int64_t>(box.y0) + box.y1) / 2)};
}

void AddTopRun(const MarkTableRef& table, int a, int b, int y) {
    const int count = MarkCount(table);
    int k = 0;
    for (; k < count; ++k) {
        MarkBox& box = table.boxes[k];
        if (std::abs(y - box.y1) > kTouchTolerance) continue;
        if (runTouches(box, a, b, y)) {
            box.x0 = std::min(box.x0, a);
            box.x1 = std::max(box.x1, b);
            box.y1 = y;
            mergeFollowers(table, k);
            return;
        }
        if (b < box.x0) break;  // the new box goes before this one
    }
    if (b - a < kMinNewBoxSpan) return;
    if (count >= table.limit) return;  // no room: the run is dropped
    insertBox(table, k, count, MarkBox{a, y, b, y});
}

void AddSideRun(const MarkTableRef& table, int a, int b, int y) {
    const int count = MarkCount(table);
    for (int k = 0; k < count; ++k) {
        MarkBox& box = table.boxes[k];
        if (!runTouches(box, a, b, y)) continue;
        box.x0 = std::min(box.x0, a);
        box.x1 = std::max(box.x1, b);
        box.y0 = std::min(box.y0, y);
        box.y1 = std::max(box.y1, y);
        mergeFollowers(table, k);
        return;
    }
    if (b - a < kMinNewBoxSpan) return;
    if (count >= table.limit) return;
    insertBox(table, count, count, MarkBox{a, y, b, y});
}

ChartStatus CheckTopMarks(const MarkTableRef& table) {
    if (MarkCount(table) == 0) return ChartStatus::NoTopBox;
    int count = mergeOverlapping(table);
    std::int32_t w = 0, h = 0;
    meanSize(table, count, w, h);
    count = removeIf(table, count, [w, h](const MarkBox& b) { return b.x1 - b.x0 < w / 2 || b.y1 - b.y0 < h / 2; });
    if (count < kTopMarkCount) return ChartStatus::UnreadableOrFewTopMarks;
    if (count > kTopMarkCount) return ChartStatus::TooManyTopMarks;
    return ChartStatus::Found;
}

ChartStatus CheckSideMarks(const MarkTableRef& table, const MarkTableRef& topTable) {
    if (MarkCount(table) == 0) return ChartStatus::FewSideBoxes;
    int count = mergeOverlapping(table);
    std::int32_t w = 0, h = 0;
    meanSize(table, count, w, h);
    count = removeIf(table, count, [w, h](const MarkBox& b) { return b.x1 - b.x0 < w / 2 && b.y1 - b.y0 < h / 2; });
    if (count < 3) return ChartStatus::FewSideBoxes;
    // Without a checked top row there is no bar to align against.
    if (MarkCount(topTable) != kTopMarkCount) return ChartStatus::FewSideBoxes;

    const MarkCentre corner = CentreOf(topTable.boxes[0]);
    const MarkCentre first = CentreOf(topTable.boxes[1]);
    const MarkCentre last = CentreOf(topTable.boxes[15]);
    const double barX = static_cast<double>(last.x) - first.x;
    const double barY = static_cast<double>(last.y) - first.y;
    const double barLength = std::sqrt(barX * barX + barY * barY);
    count = removeIf(table, count,
                     [&](const MarkBox& b) { return misaligned(b, corner, barX, barY, barLength); });
    if (count < kSideMarkCount) return ChartStatus::FewSideMarks;
    if (count > kSideMarkCount) return ChartStatus::ManySideMarks;
    return ChartStatus::Found;
}

void ComputePrinterPatchWindows(const MarkTableRef& topTable, const MarkTableRef& sideTable, int width,
                                int height) {
    std::int32_t w = 0, h = 0;
    meanSize(topTable, kTopMarkCount, w, h);
    const MarkCentre corner = CentreOf(topTable.boxes[0]);
    for (int i = 0; i < kPatchRows; ++i) {
        const MarkCentre side = CentreOf(sideTable.boxes[i]);
        for (int j = 0; j < kPatchColumns; ++j) {
            const MarkCentre top = CentreOf(topTable.boxes[j + 1]);
            const std::int64_t cx = static_cast<std::int64_t>(top.x) + side.x - corner.x;
            const std::int64_t cy = static_cast<std::int64_t>(side.y) + top.y - corner.y;
            // Clipped to the image; a window wholly outside keeps x1 < x0
            // or y1 < y0 and samples nothing.
            const std::int64_t x0 = std::max<std::int64_t>(cx - w / 3, 0);
            const std::int64_t x1 = std::min<std::int64_t>(cx + w / 3, width - 1);
            const std::int64_t y0 = std::max<std::int64_t>(cy - h / 3, 0);
            const std::int64_t y1 = std::min<std::int64_t>(cy + h / 3, height - 1);
            MarkBox& win = g_engine.printerAnalysis.patchWindows[i][j];
            win.x0 = static_cast<std::int32_t>(std::min<std::int64_t>(x0, width));
            win.x1 = static_cast<std::int32_t>(std::max<std::int64_t>(x1, -1));
            win.y0 = static_cast<std::int32_t>(std::min<std::int64_t>(y0, height));
            win.y1 = static_cast<std::int32_t>(std::max<std::int64_t>(y1, -1));
        }
    }
}

namespace {

// The open chart file and its row buffer for one search.
struct ChartFile {
    PfFile file;
    int width;
    int height;
    std::uint8_t* row;  // width x 3 bytes
};

bool seekToPixelRow(const ChartFile& f, int y, int x) {
    const std::int64_t offset = targaPixelOffset(f.width, x, y);
    return pfLlseek(f.file, static_cast<std::int32_t>(offset), PF_FILE_BEGIN) == offset;
}

bool readBytes(const ChartFile& f, std::uint32_t bytes) {
    return pfLread(f.file, f.row, bytes) == bytes;
}

// Means of every patch window into table; false when a read failed.
bool samplePatches(const ChartFile& f, PrinterPatchEntry (&table)[kPatchRows][kPatchColumns]) {
    for (int i = 0; i < kPatchRows; ++i) {
        for (int j = 0; j < kPatchColumns; ++j) {
            const MarkBox& win = g_engine.printerAnalysis.patchWindows[i][j];
            std::int64_t sum[3] = {0, 0, 0};
            std::int32_t count = 0;
            if (win.x0 <= win.x1) {
                const int pixels = win.x1 - win.x0 + 1;
                for (int y = win.y0; y <= win.y1; ++y) {
                    if (!seekToPixelRow(f, y, win.x0)) return false;
                    if (!readBytes(f, static_cast<std::uint32_t>(pixels) * kTargaBytesPerPixel)) return false;
                    for (int x = 0; x < pixels; ++x) {
                        const std::uint8_t* p = f.row + 3 * x;
                        sum[0] += p[2];
                        sum[1] += p[1];
                        sum[2] += p[0];
                    }
                    count += pixels;
                }
            }
            PrinterPatchEntry& e = table[i][j];
            // An empty window (only from a window clipped away) reads as 0.
            e.r = count > 0 ? static_cast<std::int32_t>(sum[0] / count) : 0;
            e.g = count > 0 ? static_cast<std::int32_t>(sum[1] / count) : 0;
            e.b = count > 0 ? static_cast<std::int32_t>(sum[2] / count) : 0;
            e.count = count;
        }
    }
    return true;
}

enum class Phase { Top, Side };

// Runs of one row: every run of two dark pixels or more goes to the table of
// the phase. Returns the number of dark pixels in the row.
int scanRow(const ChartFile& f, int y, int threshold, Phase phase) {
    const std::uint8_t* p = f.row;
    const int t = threshold;
    int dark = 0;
    int x = 0;
    while (x < f.width) {
        const std::uint8_t* px = p + 3 * x;
        if (!(px[0] <= t && px[1] <= t && px[2] <= t)) {
            ++x;
            continue;
        }
        const int a = x;
        ++x;
        while (x < f.width) {
            const std::uint8_t* q = p + 3 * x;
            if (!(q[0] <= t && q[1] <= t && q[2] <= t)) break;
            ++x;
        }
        const int b = x - 1;
        dark += b - a + 1;
        if (b > a) {
            if (phase == Phase::Top) {
                AddTopRun(topMarkTable(), a, b, y);
            } else {
                AddSideRun(sideMarkTable(), a, b, y);
            }
        }
    }
    return dark;
}

ChartStatus searchChart(const ChartFile& f, const ChartSearchOptions& options) {
    PrinterAnalysisState& st = g_engine.printerAnalysis;
    const int passes = std::max(options.maxPasses, 1);
    int threshold = options.firstThreshold;
    int repeated = 0;
    st.lastThreshold = threshold;
    st.passesRun = 1;

    // Starts the next pass with a higher threshold; false when none is left.
    auto nextPass = [&]() {
        if (repeated == passes - 1) return false;
        ++repeated;
        threshold += kThresholdStep;
        st.lastThreshold = threshold;
        st.passesRun = repeated + 1;
        return true;
    };

    for (;;) {
        ClearMarkTable(st.topMarks, kTopMarkEntries);
        ClearMarkTable(st.sideMarks, kSideMarkEntries);
        Phase phase = Phase::Top;
        bool band = false;
        if (!seekToPixelRow(f, 0, 0)) return ChartStatus::UnreadableOrFewTopMarks;
        for (int y = 0; y < f.height; ++y) {
            if (!readBytes(f, static_cast<std::uint32_t>(f.width) * kTargaBytesPerPixel))
                return ChartStatus::UnreadableOrFewTopMarks;
            const int dark = scanRow(f, y, threshold, phase);
            if (dark >= kBandDarkPixels && phase == Phase::Top) band = true;
            if (dark <= kBandDarkPixels && band) {
                band = false;
                phase = Phase::Side;
                const ChartStatus top = CheckTopMarks(topMarkTable());
                if (top != ChartStatus::Found) {
                    if (!nextPass()) return top;
                    ClearMarkTable(st.topMarks, kTopMarkEntries);
                    phase = Phase::Top;
                    if (!seekToPixelRow(f, 0, 0)) return ChartStatus::UnreadableOrFewTopMarks;
                    y = -1;  // go on with row 0
                }
            }
        }
        const ChartStatus side = CheckSideMarks(sideMarkTable(), topMarkTable());
        if (side == ChartStatus::Found) break;
        if (!nextPass()) return side;
    }

    ComputePrinterPatchWindows(topMarkTable(), sideMarkTable(), f.width, f.height);
    // Sampled aside and taken over whole, so that a failed read leaves the
    // table of the previous call.
    PrinterPatchEntry sampled[kPatchRows][kPatchColumns];
    if (!samplePatches(f, sampled)) return ChartStatus::UnreadableOrFewTopMarks;
    std::memcpy(st.patchTable, sampled, sizeof sampled);
    return ChartStatus::Found;
}

}  // namespace

ChartStatus ReadPrinterTargetImage(const char* path) { return ReadPrinterTargetImage(path, ChartSearchOptions{}); }

ChartStatus ReadPrinterTargetImage(const char* path, const ChartSearchOptions& options) {
    if (path == nullptr) return ChartStatus::UnreadableOrFewTopMarks;
    pf::FileHandle file(pfLopen(path, PF_OF_READ));
    if (!file.ok()) return ChartStatus::UnreadableOrFewTopMarks;

    TargaImageFile header{};
    if (pfLread(file.get(), &header, kTargaHeaderBytes) != kTargaHeaderBytes) return ChartStatus::UnreadableOrFewTopMarks;
    if (!header.isUncompressedTrueColour24()) return ChartStatus::UnreadableOrFewTopMarks;
    const int width = header.width();
    const int height = header.height();
    if (width == 0 || height == 0) return ChartStatus::UnreadableOrFewTopMarks;
    // The pixel data must be complete (and addressable by a 32-bit seek)
    // before any row buffer is sized from the header.
    const std::int64_t needed = targaPixelOffset(width, 0, height);
    const std::int32_t size = pfLlseek(file.get(), 0, PF_FILE_END);
    if (size < 0 || needed > 0x7fffffff || size < needed) return ChartStatus::UnreadableOrFewTopMarks;

    pf::LockedGlobal row(kMovableZeroed, static_cast<std::size_t>(width) * kTargaBytesPerPixel);
    if (!row.ok()) return ChartStatus::NoMemory;
    const ChartFile f{file.get(), width, height, row.as<std::uint8_t>()};
    return searchChart(f, options);
}

}  // namespace qel
