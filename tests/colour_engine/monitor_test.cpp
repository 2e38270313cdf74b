// SetPhosphorType and VisualMatch: the stored phosphors, the gamma tables and
// the matrix of the MatrixCorrectionBlock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "colour_math.h"
#include "qel_layout.h"
#include "engine_state.h"
#include "monitor.h"
#include "qel_cms.h"
#include "synthetic_model.h"

namespace {

class Monitor : public testing::Test {
protected:
    void SetUp() override { qel::g_engine.phosphors = qel::PhosphorChromaticities{}; }
    void TearDown() override { qel::g_engine.phosphors = qel::PhosphorChromaticities{}; }

    std::vector<std::uint8_t> match(int r, int g, int b, const std::vector<float>& model) {
        std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0xA5);
        int32_t size = -1;
        EXPECT_EQ(VisualMatch(r, g, b, block.data(), &size, model.data()), QEL_VISUAL_OK);
        EXPECT_EQ(size, QEL_MATRIX_BLOCK_SIZE);
        return block;
    }
    static float matrixEntry(const std::vector<std::uint8_t>& block, int k, int j) {
        return qel::loadFloatLE(&block[qel::matrixEntryOffset(k, j)]);
    }
};

bool samePhosphors(const qel::PhosphorChromaticities& a, const qel::PhosphorChromaticities& b) {
    return a.xr == b.xr && a.yr == b.yr && a.xg == b.xg && a.yg == b.yg && a.xb == b.xb && a.yb == b.yb;
}

TEST_F(Monitor, PhosphorXOfZeroOrOneOrNanIsRefusedAndNothingStored) {
    const float bad[] = {0.0f, 1.0f, -0.1f, 1.5f, std::numeric_limits<float>::quiet_NaN()};
    const qel::PhosphorChromaticities before = qel::g_engine.phosphors;
    for (float x : bad) {
        EXPECT_EQ(SetPhosphorType(x, 0.3f, 0.3f, 0.6f, 0.15f, 0.06f), QEL_PHOSPHOR_OUT_OF_RANGE) << x;
        EXPECT_EQ(SetPhosphorType(0.64f, 0.3f, x, 0.6f, 0.15f, 0.06f), QEL_PHOSPHOR_OUT_OF_RANGE) << x;
        EXPECT_EQ(SetPhosphorType(0.64f, 0.3f, 0.3f, 0.6f, x, 0.06f), QEL_PHOSPHOR_OUT_OF_RANGE) << x;
        EXPECT_TRUE(samePhosphors(qel::g_engine.phosphors, before));
    }
}

TEST_F(Monitor, PhosphorYValuesAreNotCheckedAndAllSixAreStoredAsDoubles) {
    EXPECT_EQ(SetPhosphorType(0.64f, 0.0f, 0.3f, 1.5f, 0.15f, -2.0f), QEL_PHOSPHOR_OK);
    const auto& ph = qel::g_engine.phosphors;
    EXPECT_EQ(ph.xr, static_cast<double>(0.64f));
    EXPECT_EQ(ph.yr, 0.0);
    EXPECT_EQ(ph.xg, static_cast<double>(0.3f));
    EXPECT_EQ(ph.yg, 1.5);
    EXPECT_EQ(ph.xb, static_cast<double>(0.15f));
    EXPECT_EQ(ph.yb, -2.0);
    // x just inside the open interval is accepted.
    EXPECT_EQ(SetPhosphorType(1e-6f, 0.3f, 0.999999f, 0.6f, 0.15f, 0.06f), QEL_PHOSPHOR_OK);
}

TEST_F(Monitor, DefaultPhosphorsMapTheD65WhiteToFullDrive) {
    float m[9];
    qel::MonitorMatrixFromPhosphors(m);
    const double w[3] = {95.04697f, 100.0, 108.88268f};
    for (int r = 0; r < 3; ++r) EXPECT_NEAR(m[3 * r] * w[0] + m[3 * r + 1] * w[1] + m[3 * r + 2] * w[2], 1.0, 1e-5);
}

TEST_F(Monitor, NullModelGivesTwoAndLeavesBlockAndSizeUntouched) {
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0x5A);
    int32_t size = 1234;
    EXPECT_EQ(VisualMatch(128, 128, 128, block.data(), &size, nullptr), QEL_VISUAL_NO_MODEL);
    EXPECT_EQ(size, 1234);
    EXPECT_EQ(block, std::vector<std::uint8_t>(QEL_MATRIX_BLOCK_SIZE, 0x5A));
}

TEST_F(Monitor, LevelsOutsideFiveTo250BuildTheTablesOfTheClampedLevels) {
    const auto model = testsupport::syntheticModel();
    const auto clampedLow = match(0, 128, 255, model);
    const auto reference = match(5, 128, 250, model);
    EXPECT_TRUE(std::equal(clampedLow.begin(), clampedLow.begin() + qel::kLutBlockGrid, reference.begin()));
    const auto negative = match(-40, 128, 1000, model);
    EXPECT_TRUE(std::equal(negative.begin(), negative.begin() + qel::kLutBlockGrid, reference.begin()));
}

TEST_F(Monitor, EveryTableRunsFromZeroTo255AndNeverFalls) {
    const auto model = testsupport::syntheticModel();
    for (int level = -5; level <= 260; level += 15) {
        const auto block = match(level, 255 - level, 128, model);
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(block[256 * ch], 0) << level;
            EXPECT_EQ(block[256 * ch + 255], 255) << level;
            for (int i = 1; i < 256; ++i) ASSERT_GE(block[256 * ch + i], block[256 * ch + i - 1]) << level;
        }
    }
}

TEST_F(Monitor, TableEntriesAreTheTruncatedGammaDrive) {
    const auto block = match(128, 64, 200, testsupport::syntheticModel());
    const int mids[3] = {128, 64, 200};
    for (int ch = 0; ch < 3; ++ch) {
        const double gamma = std::log(0.5) / std::log(mids[ch] / 255.0);
        for (int i : {1, 10, 64, 128, 200, 254}) {
            const int expected = static_cast<int>(255.0 * std::pow(i / 255.0, 1.0 / gamma));
            EXPECT_EQ(block[256 * ch + i], expected) << ch << " " << i;
        }
    }
    // A mid of 128 is nearly linear (gamma about 1.007); a monitor that shows
    // half luminance at drive 64 needs little drive for a dark level.
    EXPECT_EQ(block[128], 128);
    EXPECT_LT(block[256 + 64], 20);
    // The layout ends at 816: the two bytes after it are not written.
    EXPECT_EQ(block[qel::kMatrixBlockLayoutBytes], 0xA5);
    EXPECT_EQ(block[817], 0xA5);
}

TEST_F(Monitor, MatrixIsMonitorMatrixTimesRescaledLinearMatrixTimes255) {
    ASSERT_EQ(SetPhosphorType(0.64f, 0.33f, 0.29f, 0.60f, 0.15f, 0.06f), QEL_PHOSPHOR_OK);
    std::vector<float> model(QEL_MODEL_FLOATS, 0.0f);
    const float a[12] = {0.01f, 0.004f, 0.001f, 0.0005f, -0.02f, 0.002f, 0.003f, 0.0004f, 0.03f, 0.0001f, 0.0007f, 0.0035f};
    std::memcpy(&model[qel::scanner_model::kLinearMatrix], a, sizeof a);
    const auto block = match(128, 128, 128, model);

    // The display white from its chromaticity, written out.
    const double xw = 0.3127 / 0.329 * 100.0, zw = (1.0 - 0.3127 - 0.329) / 0.329 * 100.0;
    const double scale[3] = {xw, 100.0, zw};
    float m[9];
    qel::MonitorMatrixFromPhosphors(m);
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) {
            double expected = 0.0;
            for (int i = 0; i < 3; ++i) expected += m[3 * k + i] * (a[4 * i + j] * scale[i]);
            expected *= 255.0;
            EXPECT_NEAR(matrixEntry(block, k, j), expected, 1e-5 * std::fabs(expected) + 1e-6) << k << j;
        }
}

TEST_F(Monitor, TargetWhiteConstantComesOutAtFullDriveOnEveryChannel) {
    // A linear matrix that gives the target white (1, 1, 1) for every pixel:
    // after the rescaling it is the display white, which the default monitor
    // shows at (very nearly) full drive.
    std::vector<float> model(QEL_MODEL_FLOATS, 0.0f);
    model[qel::scanner_model::kLinearMatrix] = model[799] = model[803] = 1.0f;
    const auto block = match(128, 128, 128, model);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(matrixEntry(block, k, 0), 255.0, 0.1) << k;
        for (int j = 1; j < 4; ++j) EXPECT_EQ(matrixEntry(block, k, j), 0.0f);
    }
}

TEST_F(Monitor, SingularPhosphorSetWritesAZeroMatrixAndUsableTables) {
    // Three identical phosphors: no monitor matrix exists.
    ASSERT_EQ(SetPhosphorType(0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f), QEL_PHOSPHOR_OK);
    const auto block = match(128, 100, 150, testsupport::syntheticModel());
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(matrixEntry(block, k, j), 0.0f);
    EXPECT_EQ(block[255], 255);
    EXPECT_EQ(block[512 + 255], 255);

    // Loaded, the block turns every pixel into table entry 0: black.
    ASSERT_EQ(InitCorrect(block.data(), QEL_MATRIX_BLOCK_SIZE), QEL_INIT_OK);
    std::uint8_t px[6] = {255, 255, 255, 10, 200, 90};
    ImageBuffer image{1, 2, px};
    EXPECT_EQ(CorrectImage(&image), QEL_CORRECT_OK);
    for (std::uint8_t v : px) EXPECT_EQ(v, 0);
    EXPECT_EQ(ReleaseCorrect(), QEL_RELEASE_OK);
}

TEST_F(Monitor, ModelMatrixThatOverflowsGivesTheZeroMatrix) {
    // Finite model floats whose product overflows a float: no infinity in the block.
    std::vector<float> model(QEL_MODEL_FLOATS, 0.0f);
    model[796] = 3e38f;
    const auto block = match(128, 128, 128, model);
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(matrixEntry(block, k, j), 0.0f);
}

TEST_F(Monitor, NanPhosphorYGivesTheZeroMatrixToo) {
    // y is stored unchecked; a NaN in it must not reach the block as NaN.
    ASSERT_EQ(SetPhosphorType(0.64f, std::numeric_limits<float>::quiet_NaN(), 0.3f, 0.6f, 0.15f, 0.06f),
              QEL_PHOSPHOR_OK);
    const auto block = match(128, 128, 128, testsupport::syntheticModel());
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(matrixEntry(block, k, j), 0.0f);
}

}  // namespace
