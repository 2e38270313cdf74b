// CIEDE2000 after Sharma, Wu and Dalal; Bradford after the ICC's chromatic
// adaptation annex.
#include "colour_maths/colour_maths.h"

#include <cmath>

#include "colour_maths/same_bits.h"

namespace colour_maths {

namespace {

namespace sb = same_bits;

double f(double t) { return t > 216.0 / 24389.0 ? sb::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; }
constexpr double kPi = 3.14159265358979323846;
double deg(double r) { return r * 180.0 / kPi; }
double rad(double d) { return d * kPi / 180.0; }
double pow7(double v) { return v * v * v * v * v * v * v; }
}  // namespace

Lab3 labFromXyz(const Xyz3& xyz, const Xyz3& white) {
    const double fx = f(xyz[0] / white[0]), fy = f(xyz[1] / white[1]), fz = f(xyz[2] / white[2]);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Xyz3 xyzFromLab(const Lab3& lab, const Xyz3& white) {
    const double fy = (lab[0] + 16.0) / 116.0, fx = fy + lab[1] / 500.0, fz = fy - lab[2] / 200.0;
    auto inv = [](double t) { return t > 6.0 / 29.0 ? t * t * t : 3.0 * (6.0 / 29.0) * (6.0 / 29.0) * (t - 4.0 / 29.0); };
    return {white[0] * inv(fx), white[1] * inv(fy), white[2] * inv(fz)};
}

double deltaE76(const Lab3& a, const Lab3& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// CIEDE2000 with kL = kC = kH = 1 (Sharma, Wu and Dalal's formulation).
double deltaE2000(const Lab3& x, const Lab3& y) {
    const double c1 = sb::hypot(x[1], x[2]), c2 = sb::hypot(y[1], y[2]);
    const double cm = (c1 + c2) / 2.0;
    const double g = 0.5 * (1.0 - std::sqrt(pow7(cm) / (pow7(cm) + pow7(25.0))));
    const double a1 = (1.0 + g) * x[1], a2 = (1.0 + g) * y[1];
    const double cp1 = sb::hypot(a1, x[2]), cp2 = sb::hypot(a2, y[2]);
    double h1 = (a1 == 0 && x[2] == 0) ? 0 : deg(sb::atan2(x[2], a1));
    double h2 = (a2 == 0 && y[2] == 0) ? 0 : deg(sb::atan2(y[2], a2));
    if (h1 < 0) h1 += 360;
    if (h2 < 0) h2 += 360;
    const double dL = y[0] - x[0], dC = cp2 - cp1;
    double dh = 0;
    if (cp1 * cp2 != 0) {
        dh = h2 - h1;
        if (dh > 180) dh -= 360;
        if (dh < -180) dh += 360;
    }
    const double dH = 2.0 * std::sqrt(cp1 * cp2) * sb::sin(rad(dh / 2.0));
    const double lm = (x[0] + y[0]) / 2.0, cpm = (cp1 + cp2) / 2.0;
    double hm = h1 + h2;
    if (cp1 * cp2 != 0) {
        if (std::fabs(h1 - h2) > 180) hm += (h1 + h2 < 360) ? 360 : -360;
        hm /= 2.0;
    }
    const double t = 1 - 0.17 * sb::cos(rad(hm - 30)) + 0.24 * sb::cos(rad(2 * hm)) + 0.32 * sb::cos(rad(3 * hm + 6)) -
                     0.20 * sb::cos(rad(4 * hm - 63));
    const double dTheta = 30 * sb::exp(-((hm - 275) / 25) * ((hm - 275) / 25));
    const double rc = 2 * std::sqrt(pow7(cpm) / (pow7(cpm) + pow7(25.0)));
    const double sl = 1 + 0.015 * (lm - 50) * (lm - 50) / std::sqrt(20 + (lm - 50) * (lm - 50));
    const double sc = 1 + 0.045 * cpm, sh = 1 + 0.015 * cpm * t;
    const double rt = -sb::sin(rad(2 * dTheta)) * rc;
    return std::sqrt((dL / sl) * (dL / sl) + (dC / sc) * (dC / sc) + (dH / sh) * (dH / sh) + rt * (dC / sc) * (dH / sh));
}

Matrix3 multiply(const Matrix3& a, const Matrix3& b) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}

Xyz3 applyMatrix(const Matrix3& m, const Xyz3& v) {
    Xyz3 r{0, 0, 0};
    for (int i = 0; i < 3; ++i) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return r;
}

bool invert(const Matrix3& m, Matrix3* out) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) return false;
    Matrix3& r = *out;
    r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}

Xyz3 normalised(const Xyz3& w) { return {w[0] / w[1], 1.0, w[2] / w[1]}; }

Matrix3 bradford(const Xyz3& from, const Xyz3& to) {
    static const Matrix3 kCone{{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
    Matrix3 inverse{};
    invert(kCone, &inverse);
    const Xyz3 a = applyMatrix(kCone, from), b = applyMatrix(kCone, to);
    Matrix3 scale{};
    for (int i = 0; i < 3; ++i) scale[i][i] = b[i] / a[i];
    return multiply(inverse, multiply(scale, kCone));
}

}  // namespace colour_maths
