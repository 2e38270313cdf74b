// A ScannerModel computed from the true scanner response instead of fitted
// from a scanned target: the exact description the printer analysis can be
// judged with, free of any fitting error. Layout: qel_layout.h.
#include <algorithm>
#include <cmath>

#include "colour_maths/colour_maths.h"
#include "qel_layout.h"
#include "virtual_printer/virtual_printer.h"

namespace printsim {
namespace {

namespace sm = qel::scanner_model;
constexpr Xyz kTargetWhite{qel::kTargetWhiteXyz[0], qel::kTargetWhiteXyz[1], qel::kTargetWhiteXyz[2]};

using colour_maths::Matrix3;

// The scanner's signal as a linear map of XYZ (sensor and crosstalk),
// measured as differences around a mid grey where nothing clamps.
Matrix3 signalMatrix(const it8sim::ScannerResponse& scanner) {
    const Xyz base{kD50.x / 2, kD50.y / 2, kD50.z / 2};
    const auto s0 = it8sim::scannerSignal(base, scanner);
    Matrix3 m{};
    for (int axis = 0; axis < 3; ++axis) {
        Xyz p = base;
        (axis == 0 ? p.x : axis == 1 ? p.y : p.z) += 1.0;
        const auto s = it8sim::scannerSignal(p, scanner);
        for (int c = 0; c < 3; ++c) m[c][axis] = s[c] - s0[c];
    }
    return m;
}

// Least squares of y on (1, l0, l1, l2): the 4 x 4 normal equations solved
// by elimination with partial pivoting.
std::array<double, 4> fitRow(const std::vector<std::array<double, 4>>& x, const std::vector<double>& y) {
    double a[4][5] = {};
    for (std::size_t k = 0; k < x.size(); ++k) {
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) a[i][j] += x[k][i] * x[k][j];
            a[i][4] += x[k][i] * y[k];
        }
    }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        std::swap(a[col], a[pivot]);
        for (int r = col + 1; r < 4; ++r) {
            const double f = a[r][col] / a[col][col];
            for (int j = col; j < 5; ++j) a[r][j] -= f * a[col][j];
        }
    }
    std::array<double, 4> out{};
    for (int i = 3; i >= 0; --i) {
        double s = a[i][4];
        for (int j = i + 1; j < 4; ++j) s -= a[i][j] * out[j];
        out[i] = s / a[i][i];
    }
    return out;
}

}  // namespace

std::vector<float> idealScannerModel(const it8sim::ScannerResponse& scanner) {
    std::vector<float> model(sm::kFloats, 0.0f);
    // Tone curves, normalised to 1 at level 255; the polynomial takes the
    // normalisation back.
    double full[3];
    for (int c = 0; c < 3; ++c) {
        full[c] = it8sim::signalOfLevel(255, c, scanner);
        for (int n = 0; n < sm::kLevels; ++n)
            model[sm::toneIndex(c, n)] = static_cast<float>(it8sim::signalOfLevel(n, c, scanner) / full[c]);
    }
    // XYZ = S^-1 diag(full) t for tone-curve values t, S the signal per unit
    // of XYZ.
    // (A scanner whose signal matrix is singular gets a zero polynomial.)
    Matrix3 toXyz{};
    colour_maths::invert(signalMatrix(scanner), &toXyz);
    double poly[3][3];
    for (int row = 0; row < 3; ++row) {
        for (int c = 0; c < 3; ++c) {
            poly[row][c] = toXyz[row][c] * full[c];
            model[sm::polynomialIndex(row, c)] = static_cast<float>(poly[row][c]);
        }
    }
    auto xyzOfTone = [&](const double t[3]) {
        double v[3];
        for (int row = 0; row < 3; ++row) v[row] = poly[row][0] * t[0] + poly[row][1] * t[1] + poly[row][2] * t[2];
        return Xyz{v[0], v[1], v[2]};
    };

    // Linear matrix: levels to XYZ over the target white, fitted as the
    // scanner fit does, over the colours of an IT8.7/2 target.
    std::vector<std::array<double, 4>> samples;
    std::vector<double> target[3];
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    auto addSample = [&](const Xyz& xyz) {
        const it8sim::Rgb8 rgb = it8sim::trueScannerRgb(xyz, scanner);
        samples.push_back({1.0, double(rgb.r), double(rgb.g), double(rgb.b)});
        target[0].push_back(xyz.x / kTargetWhite.x);
        target[1].push_back(xyz.y / kTargetWhite.y);
        target[2].push_back(xyz.z / kTargetWhite.z);
    };
    for (const auto& row : refs.colour)
        for (const Xyz& xyz : row) addSample(xyz);
    for (const Xyz& xyz : refs.grey) addSample(xyz);
    for (int row = 0; row < 3; ++row) {
        const auto coef = fitRow(samples, target[row]);
        for (int k = 0; k < 4; ++k) model[sm::linearMatrixIndex(row, k)] = static_cast<float>(coef[k]);
    }

    // Grid: node k stands for level round(255 k / 16), linearised as
    // (level / 255)^2.
    for (int i0 = 0; i0 < sm::kGridNodes; ++i0)
        for (int i1 = 0; i1 < sm::kGridNodes; ++i1)
            for (int i2 = 0; i2 < sm::kGridNodes; ++i2) {
                const int idx[3] = {i0, i1, i2};
                double t[3];
                for (int c = 0; c < 3; ++c) {
                    const double level = sm::gridNodeLevel(idx[c]);
                    t[c] = (level / 255.0) * (level / 255.0);
                }
                const Lab lab = xyzToLab(xyzOfTone(t), kTargetWhite);
                float* node = &model[sm::gridIndex(i0, i1, i2)];
                node[0] = static_cast<float>(std::clamp(lab.l, 0.0, 100.0));
                node[1] = static_cast<float>(std::clamp(lab.a, -150.0, 150.0));
                node[2] = static_cast<float>(std::clamp(lab.b, -150.0, 150.0));
            }
    return model;
}

Lab modelGridLab(const std::vector<float>& model, int i0, int i1, int i2) {
    const float* node = &model[sm::gridIndex(i0, i1, i2)];
    return {node[0], node[1], node[2]};
}

}  // namespace printsim
