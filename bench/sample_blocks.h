// Correction blocks for the benchmarks: a plausible printer block (monotone
// input curves, a smooth grid) and a monitor block.
#ifndef AUCAL_BENCH_SAMPLE_BLOCKS_H
#define AUCAL_BENCH_SAMPLE_BLOCKS_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "qel_layout.h"

namespace {

// A plausible printer block: monotone input curves and a smooth grid.
inline std::vector<std::uint8_t> lutBlock() {
    std::vector<std::uint8_t> b(qel::kLutBlockReportedSize, 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) b[qel::blockTableOffset(c, i)] = static_cast<std::uint8_t>(255.0 * std::pow(i / 255.0, 0.8 + 0.1 * c));
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                std::uint8_t* n = &b[qel::lutNodeOffset(i0, i1, i2)];
                n[0] = static_cast<std::uint8_t>(std::min(255, 15 * i0 + i1));
                n[1] = static_cast<std::uint8_t>(std::min(255, 14 * i1 + i2 + 10));
                n[2] = static_cast<std::uint8_t>(std::min(255, 13 * i2 + i0 + 20));
            }
    return b;
}

inline std::vector<std::uint8_t> matrixBlock() {
    std::vector<std::uint8_t> b(qel::kMatrixBlockReportedSize, 0);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) b[qel::blockTableOffset(k, i)] = static_cast<std::uint8_t>(255.0 * std::pow(i / 255.0, 0.45));
    const float m[3][4] = {{2.0f, 0.9f, 0.05f, 0.05f}, {-1.0f, 0.1f, 0.8f, 0.1f}, {0.5f, 0.02f, 0.08f, 0.9f}};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) qel::storeFloatLE(&b[qel::matrixEntryOffset(k, j)], m[k][j]);
    return b;
}

}  // namespace

#endif
