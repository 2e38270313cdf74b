// Colour math shared by the characterisations. Every routine computes in
// double and rounds to a 32-bit float exactly where a value is stored; the
// stored results are part of the models and blocks, so the rounding points and
// the order of every sum are deliberate and must not be rearranged.
#include "colour_math.h"

#include <cmath>
#include <utility>

#include "engine_state.h"

namespace qel {

namespace {

constexpr int kMaxUnknowns = 10;
constexpr double kZeroPivot = 1e-200;     // below the smallest float: a pivot is zero only when exactly 0
constexpr double kZeroRemainder = 1e-250; // likewise for the remainder of a zero pivot
constexpr float kFreeUnknown = 0.8f;      // value given to an unknown left free by a singular system

constexpr double kSixteenBy116 = 0.13793103448275862;
constexpr double kCubeRootPower = 0.333333;  // six decimals: the stored blocks carry its results
constexpr double kLabEpsilon = 0.008856;
constexpr double kLabKappa = 903.3;
constexpr double kLabSlope = 7.787;
constexpr double kLabFxEpsilon = 0.206893;
constexpr double kLinearLimitL = 7.9996;

constexpr float kD65TwoX = 95.04697f, kD65TwoZ = 108.88268f;
constexpr float kD65TenX = 94.81099f, kD65TenZ = 107.30449f;

// |A[row][col]| / scale[row] for the pivot search. A row whose scale is 0 has
// no ratio (0/0): it never compares true, so it is never chosen.
bool pivotRatio(const float* a, int n, const float* scale, int row, int col, double* ratio) {
    if (scale[row] == 0.0f) return false;
    *ratio = std::fabs(static_cast<double>(a[row * n + col])) / static_cast<double>(scale[row]);
    return !std::isnan(*ratio);
}

double labF(double t) {
    return t > kLabEpsilon ? std::pow(t, kCubeRootPower) : kLabSlope * t + kSixteenBy116;
}

// Inverse of labF for the a* and b* channels, times the white's component.
double labFInverseTimes(double f, double white) {
    return f > kLabFxEpsilon ? f * f * f * white : (f - kSixteenBy116) / kLabSlope * white;
}

}  // namespace

int SolveNormalEquations(int n, float* a, float* b, float* x) {
    if (n < 1 || n > kMaxUnknowns || a == nullptr || b == nullptr || x == nullptr) return 0;

    int perm[kMaxUnknowns];
    float scale[kMaxUnknowns];
    for (int i = 0; i < n; ++i) {
        perm[i] = i;
        float largest = 0.0f;
        for (int j = 0; j < n; ++j) {
            const float v = std::fabs(a[i * n + j]);
            if (v > largest) largest = v;
        }
        scale[i] = largest;
    }

    for (int k = 0; k + 1 < n; ++k) {
        // Largest scaled pivot; ">=" lets the later row win on equal ratios.
        double best = 0.0;
        int found = k;
        for (int i = k; i < n; ++i) {
            double ratio;
            if (pivotRatio(a, n, scale, perm[i], k, &ratio) && ratio >= best) {
                best = ratio;
                found = i;
            }
        }
        std::swap(perm[found], perm[k]);
        const int pivot = perm[k];
        const double pivotValue = a[pivot * n + k];

        if (std::fabs(pivotValue) > kZeroPivot) {
            for (int i = k + 1; i < n; ++i) {
                const int r = perm[i];
                const double factor = static_cast<double>(a[r * n + k]) / pivotValue;
                for (int j = k + 1; j < n; ++j)
                    a[r * n + j] = static_cast<float>(a[r * n + j] - factor * a[pivot * n + j]);
                for (int m = 0; m < 3; ++m)
                    b[m * n + r] = static_cast<float>(b[m * n + r] - factor * b[m * n + pivot]);
                a[r * n + k] = 0.0f;
            }
        } else {
            // No elimination for this column: bring forward the row with the
            // smallest scaled entry below 1 in the next column (the earliest on
            // equal ratios), or undo the pivot swap when there is none.
            double smallest = 1.0;
            int chosen = -1;
            for (int i = k; i < n; ++i) {
                double ratio;
                if (pivotRatio(a, n, scale, perm[i], k + 1, &ratio) && ratio < smallest) {
                    smallest = ratio;
                    chosen = i;
                }
            }
            std::swap(perm[chosen >= 0 ? chosen : found], perm[k]);
        }
    }

    for (int m = 0; m < 3; ++m) {
        float* xm = x + m * n;
        for (int i = n - 1; i >= 0; --i) {
            const int row = perm[i];
            // The running remainder is a float: each step is rounded to it.
            float s = b[m * n + row];
            for (int j = i + 1; j < n; ++j)
                s = static_cast<float>(s - static_cast<double>(xm[j]) * a[row * n + j]);
            const double diagonal = a[row * n + i];
            if (std::fabs(diagonal) > kZeroPivot) {
                xm[i] = static_cast<float>(s / diagonal);
            } else if (std::fabs(static_cast<double>(s)) >= kZeroRemainder) {
                return 0;
            } else {
                xm[i] = kFreeUnknown;
            }
        }
    }
    return 1;
}

void InvertMatrix3(float m[9]) {
    const double a = m[0], b = m[1], c = m[2];
    const double d = m[3], e = m[4], f = m[5];
    const double g = m[6], h = m[7], i = m[8];
    // Rule of Sarrus. A singular matrix is not caught: its entries become
    // infinite or not-a-number, and callers pass only invertible ones.
    const double det = a * e * i + b * f * g + c * d * h - c * e * g - a * f * h - b * d * i;
    m[0] = static_cast<float>((e * i - f * h) / det);
    m[1] = static_cast<float>((c * h - b * i) / det);
    m[2] = static_cast<float>((b * f - c * e) / det);
    m[3] = static_cast<float>((f * g - d * i) / det);
    m[4] = static_cast<float>((a * i - c * g) / det);
    m[5] = static_cast<float>((c * d - a * f) / det);
    m[6] = static_cast<float>((d * h - e * g) / det);
    m[7] = static_cast<float>((b * g - a * h) / det);
    m[8] = static_cast<float>((a * e - b * d) / det);
}

void MonitorMatrixFromPhosphors(float out[9]) {
    const PhosphorChromaticities& ph = g_engine.phosphors;
    // Primaries in the columns: x, y and z = 1 - x - y of red, green, blue.
    const double xs[3] = {ph.xr, ph.xg, ph.xb};
    const double ys[3] = {ph.yr, ph.yg, ph.yb};
    float p[9];
    for (int j = 0; j < 3; ++j) {
        p[0 + j] = static_cast<float>(xs[j]);
        p[3 + j] = static_cast<float>(ys[j]);
        p[6 + j] = static_cast<float>(1.0 - xs[j] - ys[j]);
    }
    float inverse[9] = {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]};
    InvertMatrix3(inverse);

    const double white[3] = {kD65TwoX, 100.0, kD65TwoZ};
    float s[3];
    for (int r = 0; r < 3; ++r)
        s[r] = static_cast<float>(inverse[r * 3 + 0] * white[0] + inverse[r * 3 + 1] * white[1] +
                                  inverse[r * 3 + 2] * white[2]);

    for (int r = 0; r < 3; ++r)
        for (int j = 0; j < 3; ++j) out[r * 3 + j] = static_cast<float>(static_cast<double>(p[r * 3 + j]) * s[j]);
    InvertMatrix3(out);
}

void XyzToWorkingRgb(double X, double Y, double Z, float rgb[3]) {
    rgb[0] = static_cast<float>(1.9709 * X - 0.5494 * Y - 0.2974 * Z);
    rgb[1] = static_cast<float>(-0.9538 * X + 1.9364 * Y - 0.0274 * Z);
    rgb[2] = static_cast<float>(0.0638 * X - 0.1294 * Y + 0.9814 * Z);
}

void LabToXyzD65(int observer, double L, double a, double b, float xyz[3]) {
    const double xn = observer == 2 ? kD65TwoX : kD65TenX;
    const double zn = observer == 2 ? kD65TwoZ : kD65TenZ;

    double Y;
    if (L > kLinearLimitL) {
        const double fy = static_cast<float>((L + 16.0) / 116.0);
        Y = fy * fy * fy * 100.0;
    } else {
        Y = L * 100.0 / kLabKappa;
    }
    const double t = static_cast<float>(Y / 100.0);
    const double fy = labF(t);
    const double fx = a / 500.0 + fy;
    const double fz = fy - b / 200.0;
    xyz[0] = static_cast<float>(labFInverseTimes(fx, xn));
    xyz[1] = static_cast<float>(Y);
    xyz[2] = static_cast<float>(labFInverseTimes(fz, zn));
}

void XyzToLab(double Xn, double Yn, double Zn, double X, double Y, double Z, float lab[3]) {
    const double xn = static_cast<float>(Xn);
    const double yn = static_cast<float>(Yn);
    const double zn = static_cast<float>(Zn);
    const double ty = Y / yn;
    const double fy = labF(ty);
    const double fx = labF(X / xn);
    const double fz = labF(Z / zn);
    lab[0] = static_cast<float>(ty > kLabEpsilon ? 116.0 * fy - 16.0 : kLabKappa * Y / yn);
    lab[1] = static_cast<float>(500.0 * (fx - fy));
    lab[2] = static_cast<float>(200.0 * (fy - fz));
}

void XyYToXyz(double x, double y, double Y, double* X, double* Z) {
    const double k = y == 0.0 ? Y : Y / y;
    *X = x * k;
    *Z = (1.0 - x - y) * k;
}

double GammaCurveValue(int level, int mid) {
    if (mid <= 5) mid = 5;
    if (mid >= 250) mid = 250;
    // Levels outside 0..255 would raise a negative base to a fractional power.
    if (level < 0) level = 0;
    if (level > 255) level = 255;
    const double gamma = std::log(0.5) / std::log(mid / 255.0);
    return std::pow(level / 255.0, 1.0 / gamma);
}

}  // namespace qel
