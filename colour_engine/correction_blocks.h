// The two correction block layouts that the engine produces and InitCorrect
// loads. Both are plain byte layouts (little-endian floats in the matrix
// block), shared by their producers and by the correction.
#ifndef QEL_CORRECTION_BLOCKS_H
#define QEL_CORRECTION_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qel {

// Matrix block: three 256-entry output tables, then a 3x4 float matrix,
// row-major: row k = output channel k as constant, factor of input channel
// 0, 1, 2, on the 0..255 scale. Reported size 818 (2 trailing bytes unused).
struct MatrixCorrectionBlock {
    std::uint8_t table[3][256];
    float matrix[3][4];
};
static_assert(sizeof(MatrixCorrectionBlock) == 816);
static_assert(offsetof(MatrixCorrectionBlock, table) == 0);
static_assert(offsetof(MatrixCorrectionBlock, matrix) == 768);
constexpr std::size_t kMatrixBlockLayoutBytes = 816;
constexpr std::size_t kMatrixBlockReportedSize = 818;

// Lookup block: three 256-entry input tables giving the grid coordinate
// (0..255: node index = coordinate / 16, fraction = coordinate % 16 in
// sixteenths), then 17x17x17 nodes of three output bytes, node (i0, i1, i2)
// at 768 + 3 (289 i0 + 17 i1 + i2). Reported size 15509 (2 bytes unused).
constexpr int kGridNodes = 17;
struct LutCorrectionBlock {
    std::uint8_t input[3][256];
    std::uint8_t grid[kGridNodes][kGridNodes][kGridNodes][3];
};
static_assert(sizeof(LutCorrectionBlock) == 15507);
static_assert(offsetof(LutCorrectionBlock, input) == 0);
static_assert(offsetof(LutCorrectionBlock, grid) == 768);
constexpr std::size_t kLutBlockLayoutBytes = 15507;
constexpr std::size_t kLutBlockReportedSize = 15509;

constexpr std::size_t lutNodeOffset(int i0, int i1, int i2) {
    return 768 + 3 * static_cast<std::size_t>(289 * i0 + 17 * i1 + i2);
}
static_assert(lutNodeOffset(16, 16, 16) + 3 == kLutBlockLayoutBytes);

// Reads a little-endian 32-bit float from a byte layout.
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
