// A ScannerModel of a known, well-behaved scanner, for the tests of the
// monitor and printer steps that take a model: tone curves (v / 255)^2, a
// polynomial that is linear in the linearised channels (sRGB-like primaries
// scaled so that full drive gives the target white), the matching raw-level
// linear matrix, and the CIELAB grid of that polynomial against the target
// white.
#ifndef TESTS_COLOUR_ENGINE_SYNTHETIC_MODEL_H
#define TESTS_COLOUR_ENGINE_SYNTHETIC_MODEL_H

#include <cmath>
#include <vector>

#include "colour_math.h"
#include "qel_cms.h"
#include "qel_layout.h"

namespace testsupport {

constexpr double kTargetWhite[3] = {qel::kTargetWhite[0], qel::kTargetWhite[1], qel::kTargetWhite[2]};

// XYZ of full red, green, blue on the target white's scale.
inline void syntheticPrimaries(double p[3][3]) {
    const double srgb[3][3] = {{41.24, 35.76, 18.05}, {21.26, 71.52, 7.22}, {1.93, 11.92, 95.05}};
    const double rowSum[3] = {95.05, 100.0, 108.9};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) p[r][c] = srgb[r][c] * kTargetWhite[r] / rowSum[r];
}

inline std::vector<float> syntheticModel() {
    std::vector<float> m(QEL_MODEL_FLOATS, 0.0f);
    for (int ch = 0; ch < 3; ++ch)
        for (int v = 0; v < 256; ++v) m[256 * ch + v] = static_cast<float>((v / 255.0) * (v / 255.0));
    double p[3][3];
    syntheticPrimaries(p);
    for (int out = 0; out < 3; ++out) {
        for (int t = 0; t < 3; ++t) m[qel::scanner_model::polynomialIndex(out, t)] = static_cast<float>(p[out][t]);
        // Raw levels to XYZ / target white, a straight-line fit of (v / 255)^2.
        m[qel::scanner_model::linearMatrixIndex(out, 0)] = -0.02f;
        for (int c = 0; c < 3; ++c)
            m[qel::scanner_model::linearMatrixIndex(out, 1 + c)] = static_cast<float>(p[out][c] / kTargetWhite[out] / 255.0);
    }
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                const int idx[3] = {i0, i1, i2};
                double lin[3];
                for (int c = 0; c < 3; ++c) {
                    const double u = static_cast<int>(255.0 * idx[c] / 16.0 + 0.5) / 255.0;
                    lin[c] = u * u;
                }
                double xyz[3];
                for (int r = 0; r < 3; ++r) xyz[r] = p[r][0] * lin[0] + p[r][1] * lin[1] + p[r][2] * lin[2];
                qel::XyzToLab(kTargetWhite[0], kTargetWhite[1], kTargetWhite[2], xyz[0], xyz[1], xyz[2],
                              &m[qel::scanner_model::gridIndex(i0, i1, i2)]);
            }
    return m;
}

}  // namespace testsupport

#endif
