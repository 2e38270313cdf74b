#include "colour_maths/same_bits.h"

#include <cmath>

namespace colour_maths::same_bits {

namespace {

// pi/2 in three parts whose products with a small integer are exact
// (Cody and Waite's reduction); their sum is pi/2 to about 1e-32.
constexpr double kHalfPi1 = 1.57079632673412561417e+00;
constexpr double kHalfPi2 = 6.07710050630396597660e-11;
constexpr double kHalfPi3 = 2.02226624879595063154e-21;
constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kLn2Hi = 6.93147180369123816490e-01;  // ln 2 in two parts
constexpr double kLn2Lo = 1.90821492927058770002e-10;

// Taylor series of sin and cos for |r| <= pi/4: the last term left out is
// below 1e-19.
double sinSeries(double r) {
    const double r2 = r * r;
    double term = r, sum = r;
    for (int n = 1; n <= 10; ++n) {
        term = -term * r2 / ((2.0 * n) * (2.0 * n + 1.0));
        sum += term;
    }
    return sum;
}

double cosSeries(double r) {
    const double r2 = r * r;
    double term = 1.0, sum = 1.0;
    for (int n = 1; n <= 10; ++n) {
        term = -term * r2 / ((2.0 * n - 1.0) * (2.0 * n));
        sum += term;
    }
    return sum;
}

// x = k * pi/2 + r with |r| <= pi/4 (about); k's last two bits pick the branch.
double reduce(double x, long long* k) {
    const double n = std::nearbyint(x / kHalfPi);
    *k = static_cast<long long>(n);
    return ((x - n * kHalfPi1) - n * kHalfPi2) - n * kHalfPi3;
}

// atan for 0 <= t <= 1: near 1 through atan(t) = pi/6 + atan((t sqrt3 - 1) /
// (t + sqrt3)), which brings the argument below tan(pi/12); then the series.
double atanUnit(double t) {
    constexpr double kSqrt3 = 1.73205080756887729353;
    constexpr double kSixthPi = 0.52359877559829887308;
    constexpr double kTanTwelfthPi = 0.26794919243112270647;
    double offset = 0.0;
    if (t > kTanTwelfthPi) {
        t = (t * kSqrt3 - 1.0) / (t + kSqrt3);
        offset = kSixthPi;
    }
    const double t2 = t * t;
    double power = t, sum = t;
    for (int n = 1; n <= 16; ++n) {
        power = -power * t2;
        sum += power / (2.0 * n + 1.0);
    }
    return offset + sum;
}

}  // namespace

double cbrt(double x) {
    if (x == 0.0 || !std::isfinite(x)) return x;
    const bool negative = x < 0.0;
    int e = 0;
    double m = std::frexp(negative ? -x : x, &e);  // exact: x = m 2^e, 0.5 <= m < 1
    // Bring e to a multiple of three, m into [0.125, 1).
    while (e % 3 != 0) {
        m *= 0.5;
        ++e;
    }
    double y = 0.4 + 0.6 * m;  // within 15 % of m's cube root
    for (int i = 0; i < 6; ++i) y -= (y * y * y - m) / (3.0 * y * y);
    y = std::ldexp(y, e / 3);
    return negative ? -y : y;
}

double exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.0) return HUGE_VAL;
    if (x < -745.0) return 0.0;
    const double n = std::nearbyint(x / (kLn2Hi + kLn2Lo));
    const double r = (x - n * kLn2Hi) - n * kLn2Lo;  // |r| <= 0.35
    double term = 1.0, sum = 1.0;
    for (int i = 1; i <= 18; ++i) {
        term = term * r / i;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(n));
}

double sin(double x) {
    long long k = 0;
    const double r = reduce(x, &k);
    switch (k & 3) {
        case 0: return sinSeries(r);
        case 1: return cosSeries(r);
        case 2: return -sinSeries(r);
        default: return -cosSeries(r);
    }
}

double cos(double x) {
    long long k = 0;
    const double r = reduce(x, &k);
    switch (k & 3) {
        case 0: return cosSeries(r);
        case 1: return -sinSeries(r);
        case 2: return -cosSeries(r);
        default: return sinSeries(r);
    }
}

double atan2(double y, double x) {
    constexpr double kPi = 3.14159265358979323846;
    if (x == 0.0 && y == 0.0) return 0.0;
    const double ay = std::fabs(y), ax = std::fabs(x);
    double a = ay <= ax ? atanUnit(ay / ax) : kHalfPi - atanUnit(ax / ay);
    if (x < 0.0) a = kPi - a;
    return y < 0.0 ? -a : a;
}

double hypot(double x, double y) { return std::sqrt(x * x + y * y); }

}  // namespace colour_maths::same_bits
