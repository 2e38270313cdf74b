// The steps of the printer model, pinned against values worked out by hand:
// the float sums of PrinterXyz, the input curves, the paper-white CIELAB and
// lightness scale, the target compression, the nearest patch and its tie
// rule, the interpolated printer, the pattern search, and the open analysis's
// encoding and table interpolation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "colour_math.h"
#include "engine_state.h"
#include "printer_model.h"
#include "scanner_model_eval.h"
#include "qel_cms.h"
#include "qel_layout.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kStep = 36.4286;

qel::PrinterModelState& printer() { return qel::g_engine.printerModel; }

class PrinterModelSteps : public testing::Test {
protected:
    void SetUp() override { printer() = qel::PrinterModelState{}; }
    std::vector<float> model = std::vector<float>(QEL_MODEL_FLOATS, 0.0f);
    std::vector<float> measured = std::vector<float>(3 * 512, 255.0f);
    const qel::PrinterRgb* patches() const { return reinterpret_cast<const qel::PrinterRgb*>(measured.data()); }
};

// An affine printer: XYZ of the RGB point (0..255 per channel). Trilinear
// interpolation reproduces it exactly, so its inverse is known.
void affinePrinter(double r, double g, double b, double xyz[3]) {
    const double m[3][3] = {{36.0, 31.0, 16.0}, {19.0, 62.0, 6.5}, {1.7, 10.5, 84.0}};
    for (int c = 0; c < 3; ++c) xyz[c] = 3.0 + (m[c][0] * r + m[c][1] * g + m[c][2] * b) / 255.0;
}

void loadAffinePrinter() {
    for (int p = 0; p < 512; ++p) {
        double xyz[3];
        affinePrinter(kStep * (p / 64), kStep * ((p / 8) % 8), kStep * (p % 8), xyz);
        for (int c = 0; c < 3; ++c) printer().xyz[p][c] = static_cast<float>(xyz[c]);
    }
    qel::ComputePrinterLab();
}

void labOfAffine(double r, double g, double b, float lab[3]) {
    double xyz[3];
    affinePrinter(r, g, b, xyz);
    const float* w = printer().paperWhite;
    qel::XyzToLab(w[0], w[1], w[2], xyz[0], xyz[1], xyz[2], lab);
}

TEST_F(PrinterModelSteps, PrinterXyzSumsInFloatsInTermOrder) {
    for (int ch = 0; ch < 3; ++ch) model[256 * ch + 255] = 1.0f;
    // X: 1e8 + 1 is lost in a float sum, so the -1e8 that follows gives 0
    // (a double sum, or another order, would give 1).
    const float x[9] = {1e8f, 1.0f, -1e8f, 0, 0, 0, 0, 0, 0};
    const float y[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const float z[9] = {-1.0f, 0, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(&model[qel::scanner_model::kPolynomial], x, sizeof x);
    std::memcpy(&model[777], y, sizeof y);
    std::memcpy(&model[786], z, sizeof z);
    qel::ComputePrinterXyz(patches(), model.data());
    EXPECT_EQ(printer().xyz[5][0], 0.0f);
    EXPECT_EQ(printer().xyz[5][1], 45.0f);
    EXPECT_EQ(printer().xyz[5][2], 0.0f);  // negative becomes 0
}

TEST_F(PrinterModelSteps, PrinterXyzRoundsTheMeasuredLevelAndUsesEachChannelsCurve) {
    for (int ch = 0; ch < 3; ++ch) model[256 * ch + 255] = 1.0f;
    model[127] = 0.25f;
    model[128] = 0.5f;
    model[512 + 10] = 0.125f;
    const float y[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::memcpy(&model[777], y, sizeof y);
    measured[3 * 3 + 0] = 127.5f;  // rounds to 128
    measured[3 * 4 + 2] = 10.4f;   // rounds to 10, on blue's curve
    qel::ComputePrinterXyz(patches(), model.data());
    // r = 0.5, g = b = 1: 0.5 + 2 + 3 + 4 (0.25) + 5 + 6 + 7 (0.5) + 8 + 9 (0.5)
    EXPECT_EQ(printer().xyz[3][1], 33.5f);
    // b = 0.125: 1 + 2 + 0.375 + 4 + 5 + 6 (1/64) + 7 + 8 (0.125) + 9 (0.125)
    EXPECT_EQ(printer().xyz[4][1], 1 + 2 + 0.375f + 4 + 5 + 0.09375f + 7 + 1 + 1.125f);
}

TEST_F(PrinterModelSteps, PrinterXyzOfADegenerateModelIsZeroNotNan) {
    for (float& v : model) v = kNaN;
    measured[0] = kNaN;
    qel::ComputePrinterXyz(patches(), model.data());
    for (int p = 0; p < 512; ++p)
        for (int c = 0; c < 3; ++c) ASSERT_EQ(printer().xyz[p][c], 0.0f);
}

TEST_F(PrinterModelSteps, InputCurvesAreTheRoundedSquareRootAndLimited) {
    for (int v = 0; v < 256; ++v) model[v] = static_cast<float>((v / 255.0) * (v / 255.0));
    model[256 + 0] = 0.25f;   // 255 x 0.5 + 0.5 = 128
    model[256 + 1] = -0.5f;   // NaN square root: 0
    model[256 + 2] = 2.0f;    // 361: limited to 255
    model[256 + 3] = kNaN;
    model[256 + 4] = std::numeric_limits<float>::infinity();
    model[256 + 5] = 0.0001f; // 2.55 + 0.5: 3
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0xEE);
    qel::WritePrinterInputCurves(block.data(), model.data());
    for (int v = 0; v < 256; ++v) ASSERT_EQ(block[v], v);
    const std::uint8_t expected[6] = {128, 0, 255, 0, 255, 3};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(block[256 + i], expected[i]) << i;
    EXPECT_EQ(block[qel::scanner_model::kPolynomial], 0xEE);  // nothing past the curves
}

TEST_F(PrinterModelSteps, PaperWhiteAndEqualPatchesHaveLightness100) {
    for (int p = 0; p < 512; ++p)
        for (int c = 0; c < 3; ++c) printer().xyz[p][c] = 10.0f + p * 0.1f;
    const float white[3] = {80.0f, 84.0f, 70.0f};
    std::memcpy(printer().xyz[511], white, sizeof white);
    std::memcpy(printer().xyz[200], white, sizeof white);
    qel::ComputePrinterLab();
    EXPECT_EQ(printer().paperWhite[1], 84.0f);
    for (int p : {200, 511}) {
        EXPECT_EQ(printer().lab[p][0], 100.0f);
        EXPECT_EQ(printer().lab[p][1], 0.0f);
        EXPECT_EQ(printer().lab[p][2], 0.0f);
    }
    EXPECT_LT(printer().lab[0][0], 60.0f);
}

// Y of patch 0 (paper white Y = 100) that gives the lightness L, through the
// same cube root as the conversion.
float yForLightness(double L) { return static_cast<float>(100.0 * std::pow((L + 16.0) / 116.0, 1.0 / 0.333333)); }

TEST_F(PrinterModelSteps, LightnessScaleFromTheBlackPatch) {
    for (int c = 0; c < 3; ++c) printer().xyz[511][c] = 100.0f;
    for (int c = 0; c < 3; ++c) printer().xyz[0][c] = yForLightness(21.4);
    qel::ComputePrinterLab();
    EXPECT_NEAR(printer().lab[0][0], 21.4, 1e-4);
    EXPECT_NEAR(printer().lightnessScale, 1.0, 2e-6);

    for (int c = 0; c < 3; ++c) printer().xyz[0][c] = yForLightness(30.0);
    qel::ComputePrinterLab();
    EXPECT_NEAR(printer().lightnessScale, 0.8906, 1e-4);
}

TEST_F(PrinterModelSteps, CompressTargetLab) {
    float lab[3] = {50.0f, 20.0f, -30.0f};
    qel::CompressTargetLab(1.0f, lab);  // a black of L* 21.4: unchanged
    EXPECT_EQ(lab[0], 50.0f);
    EXPECT_EQ(lab[1], 20.0f);
    EXPECT_EQ(lab[2], -30.0f);

    float lighter[3] = {50.0f, 20.0f, -30.0f};
    qel::CompressTargetLab(0.8906f, lighter);  // a black of L* 30
    EXPECT_NEAR(lighter[0], 55.47, 1e-4);
    EXPECT_NEAR(lighter[1], 20.0 * 0.9453, 1e-4);
    EXPECT_NEAR(lighter[2], -30.0 * 0.9453, 1e-4);

    float deeper[3] = {50.0f, 20.0f, -30.0f};
    qel::CompressTargetLab(1.2f, deeper);  // above 1: chroma by (3 - s) / 2
    EXPECT_NEAR(deeper[0], 40.0, 1e-4);
    EXPECT_NEAR(deeper[1], 18.0, 1e-4);
    EXPECT_NEAR(deeper[2], -27.0, 1e-4);
}

TEST_F(PrinterModelSteps, NearestPatchTakesTheFirstOfEqualDistances) {
    for (int p = 0; p < 512; ++p) {
        printer().lab[p][0] = 1000.0f;  // far away: distance 1e6 and more
        printer().lab[p][1] = printer().lab[p][2] = 0.0f;
    }
    const float target[3] = {50.0f, 0.0f, 0.0f};
    printer().lab[300][0] = 53.0f;
    printer().lab[97][0] = 47.0f;  // as close as 300, and earlier
    EXPECT_EQ(qel::NearestPrinterPatch(target), 97);
    printer().lab[301][0] = 52.9f;  // strictly closer wins
    EXPECT_EQ(qel::NearestPrinterPatch(target), 301);
}

TEST_F(PrinterModelSteps, NearestPatchWithNothingWithin1e9OrNanIsPatchZero) {
    for (int p = 0; p < 512; ++p) printer().lab[p][0] = 1e6f;
    printer().lab[400][0] = 40000.0f + 50.0f;  // 1.6e9 away: still too far
    const float target[3] = {50.0f, 0.0f, 0.0f};
    EXPECT_EQ(qel::NearestPrinterPatch(target), 0);
    const float nan[3] = {kNaN, 0.0f, 0.0f};
    printer().lab[400][0] = 50.0f;
    EXPECT_EQ(qel::NearestPrinterPatch(nan), 0);
}

TEST_F(PrinterModelSteps, ModelLabAtChartPointsIsThePatchLab) {
    loadAffinePrinter();
    for (int p : {0, 9, 73, 292, 446, 511}) {
        float lab[3];
        qel::PrinterModelLab(kStep * (p / 64), kStep * ((p / 8) % 8), kStep * (p % 8), lab);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(lab[c], printer().lab[p][c], 1e-4) << p;
    }
}

TEST_F(PrinterModelSteps, Channel255InterpolatesJustBelowTheTopLevel) {
    loadAffinePrinter();
    // 255 / 36.4286 = 6.999994...: cell 6, fraction just below 1, so the
    // lightness sits a little under that of the top level (255.0002).
    float at255[3], top[3];
    qel::PrinterModelLab(255.0, 0.0, 0.0, at255);
    labOfAffine(255.0, 0.0, 0.0, top);
    EXPECT_NEAR(at255[0], top[0], 1e-3);
    float level7[3];
    qel::PrinterModelLab(kStep * 7, 0.0, 0.0, level7);
    EXPECT_LT(at255[0], level7[0]);
}

TEST_F(PrinterModelSteps, RefineKeepsTheStartWhenTheTargetIsThatPatch) {
    loadAffinePrinter();
    for (int p : {0, 7, 63, 219, 365, 511}) {
        const double start[3] = {kStep * (p / 64), kStep * ((p / 8) % 8), kStep * (p % 8)};
        double rgb[3];
        qel::RefinePrinterRgb(printer().lab[p], start, rgb);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(rgb[c], start[c]) << "patch " << p << " channel " << c;
    }
}

TEST_F(PrinterModelSteps, RefineFindsTheInverseOfAnAffinePrinter) {
    loadAffinePrinter();
    const int points[][3] = {{100, 150, 200}, {12, 240, 37}, {181, 181, 181}, {250, 5, 130}};
    for (const auto& q : points) {
        float target[3];
        labOfAffine(q[0], q[1], q[2], target);
        const int p = qel::NearestPrinterPatch(target);
        const double start[3] = {kStep * (p / 64), kStep * ((p / 8) % 8), kStep * (p % 8)};
        double rgb[3];
        qel::RefinePrinterRgb(target, start, rgb);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(rgb[c], q[c], 1.0) << q[0] << "," << q[1] << "," << q[2] << " channel " << c;
            EXPECT_EQ(rgb[c], std::floor(rgb[c]));  // moved: integer levels
        }
    }
}

TEST_F(PrinterModelSteps, RefineStaysInsideTheCube) {
    loadAffinePrinter();
    // Beyond the printer's white and black: the search presses against the
    // cube's faces and stops there.
    const float brighter[3] = {120.0f, 0.0f, 0.0f};
    const double top[3] = {kStep * 7, kStep * 7, kStep * 7};
    double rgb[3];
    qel::RefinePrinterRgb(brighter, top, rgb);
    for (double v : rgb) EXPECT_LE(v, 255.0002);
    const float darker[3] = {-20.0f, 0.0f, 0.0f};
    const double mid[3] = {kStep * 3, kStep * 3, kStep * 3};
    qel::RefinePrinterRgb(darker, mid, rgb);
    for (double v : rgb) {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 3.0);
    }
}

TEST(PrinterOpenSteps, EncodeWorkingChannel) {
    EXPECT_EQ(qel::EncodeWorkingChannel(0.0f), 0);
    EXPECT_EQ(qel::EncodeWorkingChannel(100.0f), 255);
    EXPECT_EQ(qel::EncodeWorkingChannel(50.0f), 186);  // 0.5^(1/2.2) = 0.72974: 186.58
    EXPECT_EQ(qel::EncodeWorkingChannel(1.0f), 31);    // 0.01^(1/2.2) = 0.12328: 31.94
    EXPECT_EQ(qel::EncodeWorkingChannel(150.0f), 255);
    EXPECT_EQ(qel::EncodeWorkingChannel(-5.0f), 0);
    EXPECT_EQ(qel::EncodeWorkingChannel(kNaN), 0);
}

TEST(PrinterOpenSteps, TableInterpolationReachesTheTopNodeAt255) {
    auto& table = printer().table;
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                table[i0][i1][i2][0] = static_cast<float>(static_cast<int>(15.9375 * i0 + 0.5));
                table[i0][i1][i2][1] = static_cast<float>(static_cast<int>(15.9375 * i1 + 0.5));
                table[i0][i1][i2][2] = 7.0f * i0 + i2;
            }
    double out[3];
    qel::InterpolatePrinterTable(255, 0, 255, out);
    EXPECT_NEAR(out[0], 255.0, 1e-9);
    EXPECT_NEAR(out[1], 0.0, 1e-9);
    EXPECT_NEAR(out[2], 7.0 * 16 + 16, 1e-9);
    // 128 / 15.9375 = 8.0314: node 8 (128) towards node 9 (143).
    qel::InterpolatePrinterTable(128, 64, 0, out);
    EXPECT_NEAR(out[0], 128.0 + (128 / 15.9375 - 8) * 15.0, 1e-9);
    EXPECT_NEAR(out[1], 64.0 + (64 / 15.9375 - 4) * 16.0, 1e-9);
    printer() = qel::PrinterModelState{};
}

}  // namespace
