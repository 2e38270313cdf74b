#include "colour_difference.h"

#include <cmath>

namespace aucal {

namespace {
double f(double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; }
constexpr double kPi = 3.14159265358979323846;
double deg(double r) { return r * 180.0 / kPi; }
double rad(double d) { return d * kPi / 180.0; }
}  // namespace

Lab3 labFromXyz(const Xyz3& xyz, const Xyz3& white) {
    const double fx = f(xyz[0] / white[0]), fy = f(xyz[1] / white[1]), fz = f(xyz[2] / white[2]);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

double deltaE76(const Lab3& a, const Lab3& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// CIEDE2000 with kL = kC = kH = 1 (Sharma, Wu and Dalal's formulation).
double deltaE2000(const Lab3& x, const Lab3& y) {
    const double c1 = std::hypot(x[1], x[2]), c2 = std::hypot(y[1], y[2]);
    const double cm = (c1 + c2) / 2.0;
    const double g = 0.5 * (1.0 - std::sqrt(std::pow(cm, 7) / (std::pow(cm, 7) + std::pow(25.0, 7))));
    const double a1 = (1.0 + g) * x[1], a2 = (1.0 + g) * y[1];
    const double cp1 = std::hypot(a1, x[2]), cp2 = std::hypot(a2, y[2]);
    double h1 = (a1 == 0 && x[2] == 0) ? 0 : deg(std::atan2(x[2], a1));
    double h2 = (a2 == 0 && y[2] == 0) ? 0 : deg(std::atan2(y[2], a2));
    if (h1 < 0) h1 += 360;
    if (h2 < 0) h2 += 360;
    const double dL = y[0] - x[0], dC = cp2 - cp1;
    double dh = 0;
    if (cp1 * cp2 != 0) {
        dh = h2 - h1;
        if (dh > 180) dh -= 360;
        if (dh < -180) dh += 360;
    }
    const double dH = 2.0 * std::sqrt(cp1 * cp2) * std::sin(rad(dh / 2.0));
    const double lm = (x[0] + y[0]) / 2.0, cpm = (cp1 + cp2) / 2.0;
    double hm = h1 + h2;
    if (cp1 * cp2 != 0) {
        if (std::fabs(h1 - h2) > 180) hm += (h1 + h2 < 360) ? 360 : -360;
        hm /= 2.0;
    }
    const double t = 1 - 0.17 * std::cos(rad(hm - 30)) + 0.24 * std::cos(rad(2 * hm)) + 0.32 * std::cos(rad(3 * hm + 6)) -
                     0.20 * std::cos(rad(4 * hm - 63));
    const double dTheta = 30 * std::exp(-((hm - 275) / 25) * ((hm - 275) / 25));
    const double rc = 2 * std::sqrt(std::pow(cpm, 7) / (std::pow(cpm, 7) + std::pow(25.0, 7)));
    const double sl = 1 + 0.015 * (lm - 50) * (lm - 50) / std::sqrt(20 + (lm - 50) * (lm - 50));
    const double sc = 1 + 0.045 * cpm, sh = 1 + 0.015 * cpm * t;
    const double rt = -std::sin(rad(2 * dTheta)) * rc;
    return std::sqrt((dL / sl) * (dL / sl) + (dC / sc) * (dC / sc) + (dH / sh) * (dH / sh) + rt * (dC / sc) * (dH / sh));
}

}  // namespace aucal
