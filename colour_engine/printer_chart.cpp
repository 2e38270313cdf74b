// CreatTargetImage: the printer chart written as a 24-bit Targa file, one
// write per pixel row.
#include "printer_chart.h"

#include <array>
#include <cstdint>

#include "platform/files.h"
#include "qel_cms.h"
#include "targa.h"

namespace qel {

namespace {

constexpr std::uint8_t kBlack[3] = {0, 0, 0};
constexpr std::uint8_t kWhite[3] = {255, 255, 255};

void copyRgb(const std::uint8_t* from, std::uint8_t rgb[3]) {
    rgb[0] = from[0];
    rgb[1] = from[1];
    rgb[2] = from[2];
}

// Writes everything or reports failure; a short count is a failure too.
bool writeAll(PfFile file, const void* bytes, std::uint32_t count) {
    return pfLwrite(file, bytes, count) == count;
}

}  // namespace

std::uint8_t chartLevel(int k) {
    const int v = k * 256 / 7;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

void chartPatchColour(int p, std::uint8_t rgb[3]) {
    rgb[0] = chartLevel(p / 64);
    rgb[1] = chartLevel((p / 8) % 8);
    rgb[2] = chartLevel(p % 8);
}

void chartPixel(int x, int y, std::uint8_t rgb[3]) {
    const bool inCell = y % (kChartCellHeight + kChartGap) < kChartCellHeight &&
                        x % (kChartCellWidth + kChartGap) < kChartCellWidth;
    if (!inCell) return copyRgb(kWhite, rgb);
    const int r = y / (kChartCellHeight + kChartGap);
    const int c = x / (kChartCellWidth + kChartGap);
    if (r == 0) return copyRgb(kBlack, rgb);
    if (r < kChartFirstPatchRow) return copyRgb(kWhite, rgb);
    if (c == 0) return copyRgb(kBlack, rgb);
    chartPatchColour((r - kChartFirstPatchRow) * 16 + (c - 1), rgb);
}

bool writeChart(PfFile file) {
    const TargaImageFile header = TargaImageFile::make(kChartWidth, kChartHeight);
    if (!writeAll(file, &header, kTargaHeaderBytes)) return false;
    std::array<std::uint8_t, kChartRowBytes> row;
    for (int y = 0; y < kChartHeight; ++y) {
        fillChartRow(y, row.data());
        if (!writeAll(file, row.data(), kChartRowBytes)) return false;
    }
    return true;
}

void fillChartRow(int y, std::uint8_t* row) {
    for (int x = 0; x < kChartWidth; ++x) {
        std::uint8_t rgb[3];
        chartPixel(x, y, rgb);
        row[3 * x + 0] = rgb[2];
        row[3 * x + 1] = rgb[1];
        row[3 * x + 2] = rgb[0];
    }
}

}  // namespace qel

extern "C" {

QEL_API int32_t QEL_CDECL CreatTargetImage(const char* path) {
    if (path == nullptr) return QEL_CHART_WRITE_FAILED;
    const PfFile file = pfLcreat(path, 0);
    if (file == PF_HFILE_ERROR) return QEL_CHART_WRITE_FAILED;
    // Straight line from create to close: the one handle is closed on every
    // path, and the close itself is checked (it may flush the last row).
    const bool written = qel::writeChart(file);
    const bool closed = pfLclose(file) == 0;
    if (written && closed) return QEL_CHART_OK;
    // A chart cut short (disk full, a failing device) is removed, so that no
    // partial chart is left to be printed.
    pfDeleteFile(path);
    return QEL_CHART_WRITE_FAILED;
}
}
