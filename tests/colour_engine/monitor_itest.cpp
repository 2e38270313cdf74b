// Monitor set-up end to end: a scanner model, VisualMatch, InitCorrect with the
// reported size, CorrectImage; the corrected pixels are checked against the
// block's arithmetic written out independently (1/64 matrix, gamma tables).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "qel_layout.h"
#include "engine_state.h"
#include "qel_cms.h"
#include "synthetic_model.h"

namespace {

class MonitorChain : public testing::Test {
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

// What the block says a pixel becomes.
void expectedPixel(const std::vector<std::uint8_t>& block, const std::uint8_t in[3], std::uint8_t out[3]) {
    for (int k = 0; k < 3; ++k) {
        long long w = 0;
        for (int j = 0; j < 4; ++j) {
            const float f = qel::loadFloatLE(&block[qel::matrixEntryOffset(k, j)]);
            const long long factor = static_cast<long long>(f * 64.0f);  // truncation toward zero
            w += j == 0 ? factor : factor * in[j - 1];
        }
        if (w < 0) w = 0;
        const int index = w >= 255 * 64 ? 255 : static_cast<int>(w / 64);
        out[k] = block[256 * k + index];
    }
}

void runChain(int r, int g, int b) {
    const auto model = testsupport::syntheticModel();
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0);
    int32_t size = 0;
    ASSERT_EQ(VisualMatch(r, g, b, block.data(), &size, model.data()), QEL_VISUAL_OK);
    ASSERT_EQ(InitCorrect(block.data(), size), QEL_INIT_OK);

    std::mt19937 random(1234u + static_cast<unsigned>(r));
    std::vector<std::uint8_t> pixels(3 * 500);
    for (auto& v : pixels) v = static_cast<std::uint8_t>(random());
    // Black, white and the greys are always among them.
    const std::uint8_t fixed[][3] = {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}, {255, 0, 0}, {0, 0, 255}};
    for (std::size_t i = 0; i < std::size(fixed); ++i)
        for (int c = 0; c < 3; ++c) pixels[3 * i + c] = fixed[i][c];
    const auto original = pixels;

    ImageBuffer image{20, 25, pixels.data()};
    ASSERT_EQ(CorrectImage(&image), QEL_CORRECT_OK);
    for (std::size_t i = 0; i < 500; ++i) {
        std::uint8_t want[3];
        expectedPixel(block, &original[3 * i], want);
        for (int c = 0; c < 3; ++c) ASSERT_EQ(pixels[3 * i + c], want[c]) << "pixel " << i << " channel " << c;
    }
    // The scanner's black shows black (the model's offset is negative) and its
    // white shows at a linear level of 240 or more on every channel.
    for (int c = 0; c < 3; ++c) EXPECT_EQ(pixels[c], 0);
    for (int c = 0; c < 3; ++c) EXPECT_GE(pixels[3 + c], block[256 * c + 240]) << c;
    EXPECT_EQ(ReleaseCorrect(), QEL_RELEASE_OK);
}

TEST_F(MonitorChain, MatchedLevelsCorrectAnImageAsTheBlockDescribes) {
    runChain(128, 128, 128);
    runChain(90, 170, 40);
    runChain(0, 255, 186);
}

TEST_F(MonitorChain, OtherPhosphorsCorrectAnImageAsTheBlockDescribes) {
    ASSERT_EQ(SetPhosphorType(0.625f, 0.34f, 0.28f, 0.605f, 0.155f, 0.07f), QEL_PHOSPHOR_OK);
    runChain(110, 120, 130);
}

}  // namespace
