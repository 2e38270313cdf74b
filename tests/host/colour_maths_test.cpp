// The report's colour differences against published reference pairs.
#include <gtest/gtest.h>

#include <cmath>

#include "colour_maths.h"
#include "colour_maths/same_bits.h"

namespace {

TEST(ColourDifference, Ciede2000MatchesPublishedPairs) {
    // Pairs 1, 7, 13, 17 and 25 of Sharma, Wu and Dalal's test data.
    struct Pair {
        aucal::Lab3 a, b;
        double de;
    } pairs[] = {
        {{50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}, 2.0425},
        {{50.0, 0.0, 0.0}, {50.0, -1.0, 2.0}, 2.3669},
        {{50.0, 2.4900, -0.0010}, {50.0, -2.4900, 0.0011}, 7.2195},
        {{50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}, 27.1492},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
    };
    for (const Pair& p : pairs) EXPECT_NEAR(aucal::deltaE2000(p.a, p.b), p.de, 5e-5);
}

// The functions that give the same bits on Linux and Windows stay within a
// few units in the last place of the C library's, over the arguments colour
// maths meets (CIELAB's cube roots, hue angles in degrees as radians, the
// hue rotation's exponent) and at the edges of their reductions.
TEST(ColourDifference, SameBitsFunctionsAgreeWithTheCLibrary) {
    namespace sb = colour_maths::same_bits;
    const struct {
        const char* name;
        double (*ours)(double);
        double (*libc)(double);
        double x;
    } rows[] = {
        {"cbrt", sb::cbrt, [](double x) { return std::cbrt(x); }, 0.0088565},
        {"cbrt", sb::cbrt, [](double x) { return std::cbrt(x); }, 0.5},
        {"cbrt", sb::cbrt, [](double x) { return std::cbrt(x); }, 0.999999},
        {"cbrt", sb::cbrt, [](double x) { return std::cbrt(x); }, 1.0},
        {"cbrt", sb::cbrt, [](double x) { return std::cbrt(x); }, 1.7e3},
        {"cbrt", sb::cbrt, [](double x) { return std::cbrt(x); }, -27.5},
        {"exp", sb::exp, [](double x) { return std::exp(x); }, 0.0},
        {"exp", sb::exp, [](double x) { return std::exp(x); }, -0.3465},
        {"exp", sb::exp, [](double x) { return std::exp(x); }, -1.0},
        {"exp", sb::exp, [](double x) { return std::exp(x); }, -132.25},
        {"exp", sb::exp, [](double x) { return std::exp(x); }, 12.5},
        {"sin", sb::sin, [](double x) { return std::sin(x); }, 0.7853981},
        {"sin", sb::sin, [](double x) { return std::sin(x); }, 0.7853982},
        {"sin", sb::sin, [](double x) { return std::sin(x); }, -2.5},
        {"sin", sb::sin, [](double x) { return std::sin(x); }, 3.14159},
        {"sin", sb::sin, [](double x) { return std::sin(x); }, 1e-9},
        {"cos", sb::cos, [](double x) { return std::cos(x); }, 0.0},
        {"cos", sb::cos, [](double x) { return std::cos(x); }, 1.5},
        {"cos", sb::cos, [](double x) { return std::cos(x); }, -4.0},
        {"cos", sb::cos, [](double x) { return std::cos(x); }, 24.9},
        {"atan2(x, 1)", [](double y) { return sb::atan2(y, 1.0); }, [](double y) { return std::atan2(y, 1.0); }, 0.2679},
        {"atan2(x, 1)", [](double y) { return sb::atan2(y, 1.0); }, [](double y) { return std::atan2(y, 1.0); }, 0.268},
        {"atan2(x, 1)", [](double y) { return sb::atan2(y, 1.0); }, [](double y) { return std::atan2(y, 1.0); }, 1.0},
        {"atan2(x, -3)", [](double y) { return sb::atan2(y, -3.0); }, [](double y) { return std::atan2(y, -3.0); }, -40.0},
        {"atan2(x, -3)", [](double y) { return sb::atan2(y, -3.0); }, [](double y) { return std::atan2(y, -3.0); }, 0.5},
        {"atan2(1, x)", [](double x) { return sb::atan2(1.0, x); }, [](double x) { return std::atan2(1.0, x); }, 0.0},
        {"hypot(x, 3)", [](double x) { return sb::hypot(x, 3.0); }, [](double x) { return std::hypot(x, 3.0); }, -4.0},
    };
    for (const auto& row : rows) {
        const double want = row.libc(row.x), got = row.ours(row.x);
        EXPECT_NEAR(got, want, 8e-16 * std::fabs(want) + 1e-300) << row.name << " of " << row.x;
    }
}

TEST(ColourDifference, LabOfTheWhiteIs100AndNeutral) {
    const aucal::Xyz3 white = aucal::kTargetWhite;
    const aucal::Lab3 lab = aucal::labFromXyz(white, white);
    EXPECT_NEAR(lab[0], 100.0, 1e-9);
    EXPECT_NEAR(lab[1], 0.0, 1e-9);
    EXPECT_NEAR(lab[2], 0.0, 1e-9);
    EXPECT_NEAR(aucal::deltaE76({50, 3, 4}, {50, 0, 0}), 5.0, 1e-12);
}

}  // namespace
