// The printer test chart: 512 patches sampling the printer's RGB cube on an
// 8 x 8 x 8 grid, framed by the black marks that the chart reader finds.
//
// Layout, in pixels of the written image: cells of 16 x 10 with gaps of 5,
// 17 cell columns by 35 cell rows. Cell row 0 holds the top marks (black),
// cell column 0 rows 3..34 the side marks (black); rows 1 and 2 are white;
// columns 1..16 of rows 3..34 hold patch p = 16 (row - 3) + (column - 1).
#ifndef QEL_PRINTER_CHART_H
#define QEL_PRINTER_CHART_H

#include <cstdint>

#include "platform/files.h"

namespace qel {

constexpr int kChartCellWidth = 16;
constexpr int kChartCellHeight = 10;
constexpr int kChartGap = 5;
constexpr int kChartCellColumns = 17;
constexpr int kChartCellRows = 512 / 16 + 3;
constexpr int kChartWidth = (kChartCellWidth + kChartGap) * kChartCellColumns - kChartGap;
constexpr int kChartHeight = (kChartCellHeight + kChartGap) * kChartCellRows - kChartGap;
constexpr int kChartRowBytes = kChartWidth * 3;
constexpr int kChartFirstPatchRow = 3;  // cell rows 0..2: top marks and white
static_assert(kChartWidth == 352 && kChartHeight == 520);

// Level k (0..7) of every channel: k * 256 / 7, limited to 255.
std::uint8_t chartLevel(int k);

// Red, green, blue of patch p (0..511): blue fastest, then green, then red.
void chartPatchColour(int p, std::uint8_t rgb[3]);

// Red, green, blue of the chart pixel (x, y), y in file rows.
void chartPixel(int x, int y, std::uint8_t rgb[3]);

// File row y of the chart: kChartRowBytes bytes, each pixel blue, green, red.
void fillChartRow(int y, std::uint8_t* row);

// Header and all rows into an open file; false at the first short write.
bool writeChart(PfFile file);

}  // namespace qel

#endif
