// Monitor set-up from a real characterisation: the virtual IT8 target scanned
// through a known scanner, ScannerIT8Analysis, VisualMatch, InitCorrect with
// the reported size, CorrectImage. The corrected pixels follow the block's
// arithmetic, and scanned neutrals come out neutral in linear light on a
// monitor that has the default phosphors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "qel_layout.h"
#include "engine_state.h"
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "qel_cms.h"
#include "support/temp_dir.h"

namespace {

class MonitorFromTarget : public testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        while (ReleaseCorrect() == 0) {
        }
        qel::g_engine.correction = qel::CorrectionState{};
        qel::g_engine.phosphors = qel::PhosphorChromaticities{};
    }
};

// Linear monitor level (0..255) of output channel k for a scanner pixel, as
// the block's 1/64 matrix gives it.
int linearLevel(const std::vector<std::uint8_t>& block, int k, const std::uint8_t in[3]) {
    long long w = 0;
    for (int j = 0; j < 4; ++j) {
        const long long factor = static_cast<long long>(qel::loadFloatLE(&block[qel::matrixEntryOffset(k, j)]) * 64.0f);
        w += j == 0 ? factor : factor * in[j - 1];
    }
    w = std::max(w, 0LL);
    return w >= 255 * 64 ? 255 : static_cast<int>(w >> 6);
}

std::uint8_t viaBlock(const std::vector<std::uint8_t>& block, int k, const std::uint8_t in[3]) {
    return block[256 * k + linearLevel(block, k, in)];
}

TEST_F(MonitorFromTarget, ScannedNeutralsShowNeutralAndPixelsFollowTheBlock) {
    testsupport::TempDir dir;
    const auto refs = it8sim::makeIt8Reference();
    const auto scanner = it8sim::responsePreset(it8sim::ResponsePreset::Linear);
    it8sim::TargetOptions options;
    options.dpi = 100;
    ASSERT_TRUE(imaging::writeTarga(dir.file("target.tga"), it8sim::renderIt8TargetRgb(refs, scanner, options)));
    ASSERT_TRUE(it8sim::writeIt8ReferenceFile(dir.file("target.txt"), refs));
    std::vector<float> model(QEL_MODEL_FLOATS);
    int32_t modelSize = 0;
    ASSERT_EQ(ScannerIT8Analysis(1, dir.file("target.tga").c_str(), model.data(), &modelSize,
                                 dir.file("target.txt").c_str(), nullptr, nullptr),
              QEL_SCANNER_OK);

    // The monitor: a nearly linear red, a darker green, a lighter blue.
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0);
    int32_t size = 0;
    ASSERT_EQ(VisualMatch(128, 110, 150, block.data(), &size, model.data()), QEL_VISUAL_OK);
    ASSERT_EQ(InitCorrect(block.data(), size), QEL_INIT_OK);

    // What the scanner gives for the grey scale, and for some colours.
    std::vector<std::uint8_t> pixels;
    for (int g = 1; g <= 22; ++g) {
        const it8sim::Rgb8 rgb = it8sim::trueScannerRgb(refs.grey[g], scanner);
        pixels.insert(pixels.end(), {rgb.r, rgb.g, rgb.b});
    }
    for (int row = 0; row < 12; ++row) {
        const it8sim::Rgb8 rgb = it8sim::trueScannerRgb(refs.colour[row][row + 3], scanner);
        pixels.insert(pixels.end(), {rgb.r, rgb.g, rgb.b});
    }
    const auto scanned = pixels;
    ImageBuffer image{1, static_cast<int32_t>(pixels.size() / 3), pixels.data()};
    ASSERT_EQ(CorrectImage(&image), QEL_CORRECT_OK);

    for (std::size_t i = 0; i < pixels.size() / 3; ++i)
        for (int k = 0; k < 3; ++k) ASSERT_EQ(pixels[3 * i + k], viaBlock(block, k, &scanned[3 * i])) << i;

    // Neutrals: the linear levels of the three channels agree within 5 % from
    // light to dark (a linear scanner, so that the model's raw-level matrix
    // fits it well) (the drive levels differ: each channel has its own
    // gamma), and the grey scale falls.
    int previous = 256;
    for (int g = 0; g < 22; ++g) {
        int linear[3];
        for (int k = 0; k < 3; ++k) linear[k] = linearLevel(block, k, &scanned[3 * g]);
        const int lo = std::min({linear[0], linear[1], linear[2]}), hi = std::max({linear[0], linear[1], linear[2]});
        EXPECT_LE(hi - lo, hi / 20 + 2) << "GS" << g + 1 << ": " << linear[0] << " " << linear[1] << " " << linear[2];
        EXPECT_LE(linear[1], previous) << "GS" << g + 1;
        previous = linear[1];
    }
    EXPECT_GE(linearLevel(block, 1, &scanned[0]), 180);  // GS1, the lightest patch on the target
    EXPECT_EQ(ReleaseCorrect(), QEL_RELEASE_OK);
}

}  // namespace
