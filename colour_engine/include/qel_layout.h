/* qel_layout.h: the byte and float layouts of the records that pass through
 * the engine's exports, for C++ hosts and tools (and the engine itself):
 * the ScannerModel, the two correction blocks, the host's printer table, and
 * the fixed values they are referred to. qel_cms.h declares the exports and
 * the sizes they report; this header says where everything lies inside.
 */
#ifndef QEL_LAYOUT_H
#define QEL_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qel_cms.h"

namespace qel {

/* ---- ScannerModel: QEL_MODEL_FLOATS 32-bit floats --------------------------- */
namespace scanner_model {
constexpr int kLevels = 256;            // scanner levels 0..255 per tone curve
constexpr int kToneCurves = 0;          // 3 x 256: relative luminance per level, channel-major
constexpr int kPolynomial = 768;        // 3 x 9: coefficients for X, Y, Z
constexpr int kPolynomialTerms = 9;     // r, g, b, r^2, g^2, b^2, rg, gb, rb of linearised levels
constexpr int kLinearMatrix = 795;      // 3 x 4: constant, channel 0, 1, 2 for X/82.22, Y/85.27, Z/70.37
constexpr int kLinearMatrixColumns = 4;
constexpr int kGrid = 807;              // 17^3 nodes of L*, a*, b*
constexpr int kGridNodes = 17;          // nodes per axis
constexpr int kFloats = QEL_MODEL_FLOATS;
constexpr std::size_t kLayoutBytes = sizeof(float) * kFloats;  // the reported size is 2 more
static_assert(kPolynomial == kToneCurves + 3 * kLevels);
static_assert(kLinearMatrix == kPolynomial + 3 * kPolynomialTerms);
static_assert(kGrid == kLinearMatrix + 3 * kLinearMatrixColumns);
static_assert(kGrid + 3 * kGridNodes * kGridNodes * kGridNodes == kFloats);
static_assert(kLayoutBytes + 2 == QEL_MODEL_SIZE);

constexpr int toneIndex(int channel, int level) { return kToneCurves + kLevels * channel + level; }
constexpr int polynomialIndex(int xyz, int term) { return kPolynomial + kPolynomialTerms * xyz + term; }
constexpr int linearMatrixIndex(int xyz, int column) { return kLinearMatrix + kLinearMatrixColumns * xyz + column; }
// Float index of grid node (i0, i1, i2).
constexpr int gridIndex(int i0, int i1, int i2) { return kGrid + 3 * (289 * i0 + 17 * i1 + i2); }
// The scanner level that grid node k (0..16) of an axis stands for: round(255 k / 16).
constexpr int gridNodeLevel(int k) { return (255 * k + 8) / 16; }
static_assert(gridNodeLevel(9) == 143 && gridNodeLevel(16) == 255);
}  // namespace scanner_model

/* The white to which the model is referred (XYZ, Y = 100 scale), the same for
 * every target and reference file. The engine computes with it as 32-bit
 * floats; kTargetWhiteXyz is the same white before that rounding. */
inline constexpr double kTargetWhiteXyz[3] = {82.22, 85.27, 70.37};
inline constexpr float kTargetWhite[3] = {static_cast<float>(kTargetWhiteXyz[0]), static_cast<float>(kTargetWhiteXyz[1]),
                                          static_cast<float>(kTargetWhiteXyz[2])};

/* ---- MatrixCorrectionBlock: reported size QEL_MATRIX_BLOCK_SIZE ------------- */
/* Three 256-entry output tables, then a 3x4 float matrix (little-endian),
 * row-major: row k = output channel k as constant, factor of input channel
 * 0, 1, 2, on the 0..255 scale. The 2 bytes after the layout are unused. */
struct MatrixCorrectionBlock {
    std::uint8_t table[3][256];
    float matrix[3][4];
};
static_assert(sizeof(MatrixCorrectionBlock) == 816);
static_assert(offsetof(MatrixCorrectionBlock, table) == 0);
static_assert(offsetof(MatrixCorrectionBlock, matrix) == 768);
constexpr std::size_t kMatrixBlockLayoutBytes = sizeof(MatrixCorrectionBlock);
constexpr std::size_t kMatrixBlockReportedSize = QEL_MATRIX_BLOCK_SIZE;
static_assert(kMatrixBlockLayoutBytes + 2 == kMatrixBlockReportedSize);
// Byte offset of matrix entry (row, column).
constexpr std::size_t matrixEntryOffset(int row, int column) {
    return offsetof(MatrixCorrectionBlock, matrix) + 4 * static_cast<std::size_t>(4 * row + column);
}

// Byte offset of entry `level` of the 256-entry table of `channel` that both
// correction blocks start with (output tables, input tables).
constexpr std::size_t blockTableOffset(int channel, int level) {
    return offsetof(MatrixCorrectionBlock, table) + 256 * static_cast<std::size_t>(channel) + level;
}

/* ---- LutCorrectionBlock: reported size QEL_LUT_BLOCK_SIZE ------------------- */
/* Three 256-entry input tables giving the grid coordinate (0..255: node index
 * = coordinate / 16, fraction = coordinate % 16 in sixteenths), then 17x17x17
 * nodes of three output bytes. The 2 bytes after the layout are unused. */
constexpr int kGridNodes = 17;
struct LutCorrectionBlock {
    std::uint8_t input[3][256];
    std::uint8_t grid[kGridNodes][kGridNodes][kGridNodes][3];
};
static_assert(sizeof(LutCorrectionBlock) == 15507);
static_assert(offsetof(LutCorrectionBlock, input) == 0);
static_assert(offsetof(LutCorrectionBlock, grid) == 768);
constexpr std::size_t kLutBlockGrid = offsetof(LutCorrectionBlock, grid);
constexpr std::size_t kLutBlockLayoutBytes = sizeof(LutCorrectionBlock);
constexpr std::size_t kLutBlockReportedSize = QEL_LUT_BLOCK_SIZE;
static_assert(kLutBlockLayoutBytes + 2 == kLutBlockReportedSize);

// Byte offset of node (i0, i1, i2) inside the grid part of a lookup block or
// inside a printer table.
constexpr std::size_t gridNodeOffset(int i0, int i1, int i2) {
    return 3 * static_cast<std::size_t>(289 * i0 + 17 * i1 + i2);
}
constexpr std::size_t lutNodeOffset(int i0, int i1, int i2) { return kLutBlockGrid + gridNodeOffset(i0, i1, i2); }
static_assert(lutNodeOffset(16, 16, 16) + 3 == kLutBlockLayoutBytes);
static_assert(offsetof(LutCorrectionBlock, input) == blockTableOffset(0, 0) &&
              offsetof(LutCorrectionBlock, grid) == blockTableOffset(3, 0));

/* ---- Printer table (PrinterTargetOpenAnalysis) ------------------------------ */
/* 17^3 nodes of printer R, G, B bytes at gridNodeOffset, in a buffer of the
 * lookup block's reported size (the export writes the block over it). */
constexpr std::size_t kPrinterTableBytes = gridNodeOffset(16, 16, 16) + 3;
constexpr std::size_t kPrinterTableBufferBytes = kLutBlockReportedSize;
static_assert(kPrinterTableBytes == 14739);

/* The lightness span that the printer aim is referred to: a printer whose
 * black prints at L* = 100 - 78.6 reproduces the model's lightness unscaled. */
inline constexpr double kPrinterLightnessRange = 78.6;

/* ---- Little-endian floats inside the byte layouts --------------------------- */
inline float loadFloatLE(const std::uint8_t* p) {
    std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline void storeFloatLE(std::uint8_t* p, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    p[0] = static_cast<std::uint8_t>(bits);
    p[1] = static_cast<std::uint8_t>(bits >> 8);
    p[2] = static_cast<std::uint8_t>(bits >> 16);
    p[3] = static_cast<std::uint8_t>(bits >> 24);
}

}  // namespace qel

#endif
