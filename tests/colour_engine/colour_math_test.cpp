// Colour math: the solver's pivoting, free unknowns and float remainder, the
// 3x3 inverse, the monitor matrix and the CIELAB conversions with their
// six-decimal cube root and linear branches.
#include <gtest/gtest.h>

#include <cmath>

#include "colour_math.h"
#include "engine_state.h"

namespace {

using qel::SolveNormalEquations;

TEST(SolveNormalEquations, IdentityGivesTheRightHandSides) {
    float a[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float b[12] = {1, 2, 3, 4, -5, 6.5f, 7, 8, 0.25f, 0, -1, 1e6f};
    const float expected[12] = {1, 2, 3, 4, -5, 6.5f, 7, 8, 0.25f, 0, -1, 1e6f};
    float x[12] = {};
    ASSERT_EQ(SolveNormalEquations(4, a, b, x), 1);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(x[i], expected[i]) << i;
}

TEST(SolveNormalEquations, SolvesSystemsThatNeedRowExchanges) {
    // Zero in the first pivot position: only a row exchange can solve it.
    float a[9] = {0, 2, 1, 1, 1, 1, 2, 0, 3};
    // Solutions (1, 2, 3), (-1, 0, 4), (0.5, 0.5, 0.5).
    float b[9] = {7, 6, 11, 4, 3, 10, 1.5f, 1.5f, 2.5f};
    float x[9] = {};
    ASSERT_EQ(SolveNormalEquations(3, a, b, x), 1);
    const float expected[9] = {1, 2, 3, -1, 0, 4, 0.5f, 0.5f, 0.5f};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(x[i], expected[i], 1e-5) << i;
}

TEST(SolveNormalEquations, SolvesAWellConditionedTenByTen) {
    float a[100], b[30], x[30] = {};
    double truth[3][10];
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) a[i * 10 + j] = (i == j) ? 20.0f : static_cast<float>((i * 7 + j * 3) % 5) - 2.0f;
    for (int m = 0; m < 3; ++m)
        for (int j = 0; j < 10; ++j) truth[m][j] = (m + 1) * 0.5 + j * (m - 1);
    for (int m = 0; m < 3; ++m)
        for (int i = 0; i < 10; ++i) {
            double s = 0;
            for (int j = 0; j < 10; ++j) s += a[i * 10 + j] * truth[m][j];
            b[m * 10 + i] = static_cast<float>(s);
        }
    ASSERT_EQ(SolveNormalEquations(10, a, b, x), 1);
    for (int m = 0; m < 3; ++m)
        for (int j = 0; j < 10; ++j) EXPECT_NEAR(x[m * 10 + j], truth[m][j], 1e-4) << m << "," << j;
}

TEST(SolveNormalEquations, BackSubstitutionRoundsTheRemainderToFloatAtEveryStep) {
    // Upper triangular with unit diagonal: no elimination happens, and the
    // first unknown is 1 - x1 - x2 formed in float steps.
    float a[9] = {1, 1, 1, 0, 1, 0, 0, 0, 1};
    float b[9] = {1, 3e-8f, 3e-8f, 0, 0, 0, 0, 0, 0};
    float x[9] = {};
    ASSERT_EQ(SolveNormalEquations(3, a, b, x), 1);
    float stepwise = static_cast<float>(1.0 - static_cast<double>(3e-8f));
    stepwise = static_cast<float>(stepwise - static_cast<double>(3e-8f));
    const float inDouble = static_cast<float>(1.0 - 2.0 * static_cast<double>(3e-8f));
    ASSERT_NE(stepwise, inDouble);  // the case tells the two apart
    EXPECT_EQ(x[0], stepwise);
    EXPECT_EQ(x[1], 3e-8f);
    EXPECT_EQ(x[2], 3e-8f);
}

TEST(SolveNormalEquations, SingularSystems) {
    {   // Zero pivot meeting a nonzero remainder.
        float a[4] = {1, 1, 1, 1};
        float b[6] = {1, 2, 1, 1, 1, 1};
        float x[6] = {};
        EXPECT_EQ(SolveNormalEquations(2, a, b, x), 0);
    }
    {   // Only the third right-hand side is inconsistent: still singular.
        float a[4] = {1, 1, 1, 1};
        float b[6] = {2, 2, 3, 3, 1, 5};
        float x[6] = {};
        EXPECT_EQ(SolveNormalEquations(2, a, b, x), 0);
        EXPECT_FLOAT_EQ(x[0], 1.2f);  // the first right-hand sides were solved before
        EXPECT_EQ(x[1], 0.8f);
    }
    {   // Exactly zero remainder: the free unknown takes 0.8.
        float a[4] = {2, 2, 1, 1};
        float b[6] = {4, 2, 2, 1, 0, 0};
        float x[6] = {};
        ASSERT_EQ(SolveNormalEquations(2, a, b, x), 1);
        EXPECT_EQ(x[1], 0.8f);
        EXPECT_FLOAT_EQ(x[0], 1.2f);
        EXPECT_EQ(x[3], 0.8f);
        EXPECT_FLOAT_EQ(x[2], 0.2f);
        EXPECT_EQ(x[5], 0.8f);
        EXPECT_FLOAT_EQ(x[4], -0.8f);
    }
    {   // An all-zero system: every unknown is free, nothing divides 0 by 0.
        float a[9] = {};
        float b[9] = {};
        float x[9] = {};
        ASSERT_EQ(SolveNormalEquations(3, a, b, x), 1);
        for (float v : x) EXPECT_EQ(v, 0.8f);
    }
}

TEST(SolveNormalEquations, ZeroColumnBringsForwardTheRowSmallestInTheNextColumn) {
    // Column 0 is zero. The rows are then ordered so that the one with the
    // smallest scaled entry in column 1 (row 1: 0) stands first; the system
    // is singular in x0 with zero remainder, so x0 is free.
    float a[9] = {0, 4, 1, 0, 0, 2, 0, 1, 3};
    // x1, x2 from rows 0 and 2 with x0 = 0.8 free: rows read 4 x1 + x2, 2 x2, x1 + 3 x2.
    float b[9] = {9, 4, 7.75f, 0, 0, 0, 5, 2, 4};
    float x[9] = {};
    ASSERT_EQ(SolveNormalEquations(3, a, b, x), 1);
    EXPECT_EQ(x[0], 0.8f);
    EXPECT_NEAR(x[1], 1.75f, 1e-6);  // 4 x1 + 2 = 9
    EXPECT_NEAR(x[2], 2.0f, 1e-6);
    EXPECT_EQ(x[3], 0.8f);
    EXPECT_EQ(x[4], 0.0f);
    EXPECT_NEAR(x[7], 1.0f, 1e-6);
    EXPECT_NEAR(x[8], 1.0f, 1e-6);
}

TEST(SolveNormalEquations, EqualPivotRatiosTakeTheLaterRow) {
    // Column 0: rows 0 and 2 both have the ratio 1. Eliminating with row 2
    // rounds differently from eliminating with row 0; the values below are
    // those of the later row (the earlier one gives -3.80000019, 6.80000019).
    float a[9] = {1, 0, 1, -1, 2, 0, -3, -1, -1};
    float b[9] = {3, 3, 5, 2, 1, -1, 3, 2, 5};
    float x[9] = {};
    ASSERT_EQ(SolveNormalEquations(3, a, b, x), 1);
    EXPECT_EQ(x[0], -3.79999995f);
    EXPECT_EQ(x[1], -0.399999976f);
    EXPECT_EQ(x[2], 6.79999971f);
    EXPECT_NEAR(x[0], -3.8, 1e-6);  // the solution itself: (-3.8, -0.4, 6.8)
}

TEST(SolveNormalEquations, ZeroPivotWithNoRatioBelowOneUndoesItsSwap) {
    // Column 1 has a zero pivot (row 2, chosen on the equal ratio 0 over the
    // all-zero row 0). In column 2 row 2 has the ratio 1, not below 1, and
    // row 0 none: the swap is undone, row 2 solves x2 = 2 and row 0 then meets
    // its nonzero remainder.
    float a[9] = {0, 0, 0, -1, 1, -3, 0, 0, 2};
    float b[9] = {-3, 4, 4, 2, 3, -3, -4, -3, 5};
    float x[9] = {};
    EXPECT_EQ(SolveNormalEquations(3, a, b, x), 0);
    EXPECT_EQ(x[2], 2.0f);
    EXPECT_EQ(x[1], 0.0f);
}

TEST(SolveNormalEquations, RejectsSizesOutsideOneToTen) {
    float a[121] = {1}, b[33] = {1}, x[33] = {};
    EXPECT_EQ(SolveNormalEquations(0, a, b, x), 0);
    EXPECT_EQ(SolveNormalEquations(11, a, b, x), 0);
    EXPECT_EQ(SolveNormalEquations(1, a, b, x), 1);
    EXPECT_EQ(x[0], 1.0f);
}

TEST(InvertMatrix3, InvertsInPlace) {
    float m[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4};
    const float original[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4};
    qel::InvertMatrix3(m);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += static_cast<double>(original[r * 3 + k]) * m[k * 3 + c];
            EXPECT_NEAR(s, r == c ? 1.0 : 0.0, 1e-6) << r << "," << c;
        }
    EXPECT_FLOAT_EQ(m[0], 12.0f / 25.0f);  // det 25, cofactor 12
}

TEST(InvertMatrix3, SingularMatrixGivesNonFiniteEntries) {
    float m[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};
    qel::InvertMatrix3(m);
    EXPECT_FALSE(std::isfinite(m[0]) && std::isfinite(m[4]) && std::isfinite(m[8]));
}

TEST(MonitorMatrix, DefaultPhosphorsMapTheD65WhiteToFullDrive) {
    const qel::PhosphorChromaticities saved = qel::g_engine.phosphors;
    qel::g_engine.phosphors = qel::PhosphorChromaticities{};
    float m[9];
    qel::MonitorMatrixFromPhosphors(m);
    const double white[3] = {95.04697f, 100.0, 108.88268f};
    for (int r = 0; r < 3; ++r) {
        const double v = m[r * 3] * white[0] + m[r * 3 + 1] * white[1] + m[r * 3 + 2] * white[2];
        EXPECT_NEAR(v, 1.0, 1e-5) << r;
    }
    // The red primary's chromaticity gives pure red drive.
    double X, Z;
    qel::XyYToXyz(0.635, 0.333, 10.0, &X, &Z);
    const double g = m[3] * X + m[4] * 10.0 + m[5] * Z;
    const double b = m[6] * X + m[7] * 10.0 + m[8] * Z;
    EXPECT_NEAR(g, 0.0, 1e-5);
    EXPECT_NEAR(b, 0.0, 1e-5);
    qel::g_engine.phosphors = saved;
}

TEST(WorkingRgb, UsesTheFixedMatrixRows) {
    float rgb[3];
    qel::XyzToWorkingRgb(1, 0, 0, rgb);
    EXPECT_EQ(rgb[0], 1.9709f);
    EXPECT_EQ(rgb[1], -0.9538f);
    EXPECT_EQ(rgb[2], 0.0638f);
    qel::XyzToWorkingRgb(0, 0, 1, rgb);
    EXPECT_EQ(rgb[0], -0.2974f);
    EXPECT_EQ(rgb[1], -0.0274f);
    EXPECT_EQ(rgb[2], 0.9814f);
    qel::XyzToWorkingRgb(95.04697, 100, 108.88268, rgb);
    EXPECT_NEAR(rgb[0], 100.0, 0.1);
    EXPECT_NEAR(rgb[1], 100.0, 0.1);
    EXPECT_NEAR(rgb[2], 100.0, 0.1);
}

TEST(LabToXyz, WhiteOfEachObserver) {
    float xyz[3];
    qel::LabToXyzD65(2, 100, 0, 0, xyz);
    EXPECT_NEAR(xyz[0], 95.04697f, 2e-4);
    EXPECT_EQ(xyz[1], 100.0f);
    EXPECT_NEAR(xyz[2], 108.88268f, 2e-4);
    for (int observer : {10, 0, 3}) {
        qel::LabToXyzD65(observer, 100, 0, 0, xyz);
        EXPECT_NEAR(xyz[0], 94.81099f, 2e-4) << observer;
        EXPECT_NEAR(xyz[2], 107.30449f, 2e-4) << observer;
    }
}

TEST(LabToXyz, LinearBranchUpToTheLimitCubicAbove) {
    float xyz[3];
    qel::LabToXyzD65(2, 7.9996, 0, 0, xyz);
    EXPECT_EQ(xyz[1], static_cast<float>(7.9996 * 100.0 / 903.3));
    qel::LabToXyzD65(2, 7.9997, 0, 0, xyz);
    const double fy = static_cast<float>((7.9997 + 16.0) / 116.0);
    EXPECT_EQ(xyz[1], static_cast<float>(fy * fy * fy * 100.0));
    EXPECT_NE(static_cast<float>(fy * fy * fy * 100.0), static_cast<float>(7.9997 * 100.0 / 903.3));
}

TEST(LabToXyz, ChromaticChannelsUseBothBranches) {
    float xyz[3];
    // fy = 0.5: fx = 0.7 (cubic), fz = 0.5 - 0.4 = 0.1 (linear).
    const double L = 0.5 * 116.0 - 16.0;
    qel::LabToXyzD65(2, L, 100, 80, xyz);
    const double t = static_cast<float>(xyz[1] / 100.0);
    const double fy = std::pow(t, 0.333333);
    const double fx = 100.0 / 500.0 + fy, fz = fy - 80.0 / 200.0;
    EXPECT_EQ(xyz[0], static_cast<float>(fx * fx * fx * static_cast<double>(95.04697f)));
    EXPECT_EQ(xyz[2], static_cast<float>((fz - 0.13793103448275862) / 7.787 * static_cast<double>(108.88268f)));
}

TEST(XyzToLab, SixDecimalCubeRootAndLinearBranch) {
    float lab[3];
    qel::XyzToLab(100, 100, 100, 50, 50, 50, lab);
    const float expected = static_cast<float>(116.0 * std::pow(0.5, 0.333333) - 16.0);
    EXPECT_EQ(lab[0], expected);
    EXPECT_NE(lab[0], static_cast<float>(116.0 * std::cbrt(0.5) - 16.0));
    EXPECT_EQ(lab[1], 0.0f);
    EXPECT_EQ(lab[2], 0.0f);

    qel::XyzToLab(100, 100, 100, 0.8, 0.8, 0.0, lab);
    EXPECT_EQ(lab[0], static_cast<float>(903.3 * 0.8 / 100.0));
    const double f0 = 7.787 * 0.0 + 0.13793103448275862;
    const double f8 = 7.787 * (0.8 / 100.0) + 0.13793103448275862;
    EXPECT_EQ(lab[2], static_cast<float>(200.0 * (f8 - f0)));
}

TEST(XyzToLab, WhiteIsRoundedToFloatFirst) {
    float lab[3];
    const double xn = 95.047, zn = 108.883;  // not float values
    qel::XyzToLab(xn, 100, zn, xn, 100, zn, lab);
    // Against the unrounded white the colour would be the white itself, a* = 0.
    const double fx = std::pow(xn / static_cast<float>(xn), 0.333333);
    EXPECT_EQ(lab[1], static_cast<float>(500.0 * (fx - 1.0)));
    EXPECT_NE(lab[1], 0.0f);
    EXPECT_EQ(lab[0], 100.0f);
}

TEST(XyYToXyz, ZeroYChromaticityScalesByY) {
    double X, Z;
    qel::XyYToXyz(0.3, 0.0, 20.0, &X, &Z);
    EXPECT_DOUBLE_EQ(X, 0.3 * 20.0);
    EXPECT_DOUBLE_EQ(Z, 0.7 * 20.0);
    qel::XyYToXyz(0.3127, 0.329, 100.0, &X, &Z);
    EXPECT_NEAR(X, 95.04, 0.01);
    EXPECT_NEAR(Z, 108.9, 0.01);
}

TEST(GammaCurve, ClampsMidAndHitsTheEnds) {
    for (int level : {1, 64, 128, 200, 254}) {
        EXPECT_EQ(qel::GammaCurveValue(level, 0), qel::GammaCurveValue(level, 5)) << level;
        EXPECT_EQ(qel::GammaCurveValue(level, 255), qel::GammaCurveValue(level, 250)) << level;
    }
    for (int mid : {0, 5, 100, 186, 250, 255}) {
        EXPECT_EQ(qel::GammaCurveValue(0, mid), 0.0) << mid;
        EXPECT_EQ(qel::GammaCurveValue(255, mid), 1.0) << mid;
    }
}

TEST(GammaCurve, DriveShowsTheRequestedLuminance) {
    const int mid = 186;
    const double gamma = std::log(0.5) / std::log(mid / 255.0);
    for (int level : {10, 128, 240}) {
        const double drive = qel::GammaCurveValue(level, mid);
        EXPECT_NEAR(std::pow(drive, gamma), level / 255.0, 1e-12) << level;
    }
    // Half luminance is shown at the matched drive level.
    EXPECT_NEAR(std::pow(mid / 255.0, gamma), 0.5, 1e-12);
    EXPECT_LT(qel::GammaCurveValue(128, 100), qel::GammaCurveValue(128, 200));
}

}  // namespace
