// InitCorrect / CorrectImage / ReleaseCorrect: mode choice, lifecycle, and the
// integer arithmetic of both kinds of block.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "correction.h"
#include "qel_layout.h"
#include "engine_state.h"
#include "platform/desktop_posix.h"
#include "qel_cms.h"

namespace {

class Correction : public testing::Test {
protected:
    void SetUp() override { fresh(); }
    void TearDown() override { fresh(); }
    static void fresh() {
        while (ReleaseCorrect() == 0) {
        }
        qel::g_engine.correction = qel::CorrectionState{};
    }
};

std::vector<std::uint8_t> matrixBlock(const float m[3][4], int tableOffset = 0) {
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) block[256 * k + i] = static_cast<std::uint8_t>((i + tableOffset * (k + 1)) & 255);
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) qel::storeFloatLE(&block[qel::matrixEntryOffset(k, j)], m[k][j]);
    return block;
}

// Identity input tables; node k on each axis holds min(16 k, 255) on its own axis.
std::vector<std::uint8_t> identityLut() {
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) block[256 * c + i] = static_cast<std::uint8_t>(i);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                std::size_t o = qel::lutNodeOffset(i0, i1, i2);
                block[o] = static_cast<std::uint8_t>(std::min(16 * i0, 255));
                block[o + 1] = static_cast<std::uint8_t>(std::min(16 * i1, 255));
                block[o + 2] = static_cast<std::uint8_t>(std::min(16 * i2, 255));
            }
    return block;
}

int correctOne(std::uint8_t px[3]) {
    ImageBuffer image{1, 1, px};
    return CorrectImage(&image);
}

// The block arithmetic written out corner by corner, independent of the kernel.
void referenceLookup(const std::vector<std::uint8_t>& b, const std::uint8_t in[3], std::uint8_t out[3]) {
    int x = b[in[0]], y = b[256 + in[1]], z = b[512 + in[2]];
    for (int c = 0; c < 3; ++c) {
        long sum = 0;
        for (int dx = 0; dx < 2; ++dx)
            for (int dy = 0; dy < 2; ++dy)
                for (int dz = 0; dz < 2; ++dz) {
                    long w = (dx ? x % 16 : 16 - x % 16) * (dy ? y % 16 : 16 - y % 16) * (dz ? z % 16 : 16 - z % 16);
                    sum += w * b[qel::lutNodeOffset(x / 16 + dx, y / 16 + dy, z / 16 + dz) + c];
                }
        out[c] = static_cast<std::uint8_t>(sum >> 12);
    }
}

TEST_F(Correction, SizeChoosesTheMode) {
    const float unit[3][4] = {{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    auto mb = matrixBlock(unit);
    ASSERT_EQ(InitCorrect(mb.data(), QEL_MATRIX_BLOCK_SIZE), 0);
    EXPECT_EQ(qel::g_engine.correction.mode, qel::CorrectionMode::Matrix);
    ASSERT_EQ(ReleaseCorrect(), 0);
    auto lut = identityLut();
    ASSERT_EQ(InitCorrect(lut.data(), 819), 0);
    EXPECT_EQ(qel::g_engine.correction.mode, qel::CorrectionMode::Lookup);
    ASSERT_EQ(ReleaseCorrect(), 0);
}

TEST_F(Correction, ReleaseReportsWhetherABlockWasHeld) {
    EXPECT_EQ(ReleaseCorrect(), 1);
    auto lut = identityLut();
    ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
    EXPECT_EQ(ReleaseCorrect(), 0);
    EXPECT_EQ(ReleaseCorrect(), 1);
}

TEST_F(Correction, NothingLoadedLeavesTheImageUntouched) {
    std::uint8_t px[6] = {1, 2, 3, 200, 100, 50};
    ImageBuffer image{1, 2, px};
    EXPECT_EQ(CorrectImage(&image), 1);
    const std::uint8_t expect[6] = {1, 2, 3, 200, 100, 50};
    EXPECT_EQ(std::memcmp(px, expect, 6), 0);
}

TEST_F(Correction, IdentityGridKeepsMultiplesOf16AndTurns255Into254) {
    auto lut = identityLut();
    ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
    for (int v = 0; v < 256; v += 16) {
        std::uint8_t px[3] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v)};
        ASSERT_EQ(correctOne(px), 0);
        EXPECT_EQ(px[0], v);
        EXPECT_EQ(px[1], v);
        EXPECT_EQ(px[2], v);
    }
    std::uint8_t px[3] = {255, 255, 255};
    ASSERT_EQ(correctOne(px), 0);
    EXPECT_EQ(px[0], 254);
    EXPECT_EQ(px[1], 254);
    EXPECT_EQ(px[2], 254);
}

// The random-block tests run once per kernel path, forced through the
// engine's switch; a path that this processor cannot run is skipped.
class CorrectionPath : public Correction, public testing::WithParamInterface<qel::KernelPath> {
protected:
    void SetUp() override {
        Correction::SetUp();
        setenv("AUCAL_CORRECTION_KERNEL", qel::kernelPathName(GetParam()), 1);
        if (qel::chooseKernelPath() != GetParam()) GTEST_SKIP() << "this processor cannot run the path";
    }
    void TearDown() override {
        unsetenv("AUCAL_CORRECTION_KERNEL");
        Correction::TearDown();
    }
    // InitCorrect took the forced path for the mode just loaded.
    void expectForcedPath() const {
        const auto& p = qel::g_engine.correction.prepared;
        EXPECT_EQ(qel::g_engine.correction.mode == qel::CorrectionMode::Matrix ? p.matrixPath : p.lookupPath,
                  GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(Kernels, CorrectionPath,
                         testing::Values(qel::KernelPath::Generic, qel::KernelPath::Sse2, qel::KernelPath::Avx2),
                         [](const auto& info) { return std::string(qel::kernelPathName(info.param)); });

TEST_P(CorrectionPath, LookupMatchesTheCornerSumOnRandomBlocks) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 5; ++round) {
        std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE);
        for (auto& b : block) b = static_cast<std::uint8_t>(byte(rng));
        std::vector<std::uint8_t> pixels(3 * 5000);
        for (auto& p : pixels) p = static_cast<std::uint8_t>(byte(rng));
        std::vector<std::uint8_t> expect(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); i += 3) referenceLookup(block, &pixels[i], &expect[i]);
        ASSERT_EQ(InitCorrect(block.data(), QEL_LUT_BLOCK_SIZE), 0);
        expectForcedPath();
        ImageBuffer image{50, 100, pixels.data()};
        ASSERT_EQ(CorrectImage(&image), 0);
        EXPECT_EQ(pixels, expect);
        ASSERT_EQ(ReleaseCorrect(), 0);
    }
}

// Matrix mode written out as the block defines it: 64-bit sums, clamp, table.
void referenceMatrix(const std::int32_t m[3][4], const std::uint8_t t[3][256], const std::uint8_t in[3],
                     std::uint8_t out[3]) {
    for (int k = 0; k < 3; ++k) {
        long long w = static_cast<long long>(m[k][0]) + static_cast<long long>(m[k][1]) * in[0] +
                      static_cast<long long>(m[k][2]) * in[1] + static_cast<long long>(m[k][3]) * in[2];
        if (w < 0) w = 0;
        out[k] = t[k][w < 16320 ? w / 64 : 255];
    }
}

// Random pixels with runs of repeats (some longer than the eight pixels that
// a vector kernel takes at once), so that the kernels' reuse of the last
// result is exercised.
std::vector<std::uint8_t> pixelsWithRuns(std::mt19937& rng, std::size_t count) {
    std::uniform_int_distribution<int> byte(0, 255), run(0, 20);
    std::vector<std::uint8_t> px;
    while (px.size() < 3 * count) {
        const std::uint8_t p[3] = {static_cast<std::uint8_t>(byte(rng)), static_cast<std::uint8_t>(byte(rng)),
                                   static_cast<std::uint8_t>(byte(rng))};
        for (int r = run(rng); r >= 0 && px.size() < 3 * count; --r) px.insert(px.end(), p, p + 3);
    }
    return px;
}

TEST_P(CorrectionPath, KernelsMatchTheBlockArithmeticOnManyRandomBlocks) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<float> small(-300.0f, 300.0f), huge(-3e7f, 3e7f);
    for (int round = 0; round < 40; ++round) {
        auto pixels = pixelsWithRuns(rng, 2987);  // not a multiple of 8: the kernels' tails
        // Lookup: random input tables and grid, read by the export.
        std::vector<std::uint8_t> lut(QEL_LUT_BLOCK_SIZE);
        for (auto& b : lut) b = static_cast<std::uint8_t>(byte(rng));
        std::vector<std::uint8_t> expect(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); i += 3) referenceLookup(lut, &pixels[i], &expect[i]);
        auto work = pixels;
        ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
        expectForcedPath();
        ImageBuffer image{29, 103, work.data()};
        ASSERT_EQ(CorrectImage(&image), 0);
        ASSERT_EQ(work, expect) << "lookup round " << round;
        ASSERT_EQ(ReleaseCorrect(), 0);

        // Matrix: factors in the 32-bit fast range half of the time, beyond it otherwise.
        float m[3][4];
        for (auto& row : m)
            for (float& f : row) f = (round % 2 == 0) ? small(rng) : huge(rng);
        auto block = matrixBlock(m, round);
        ASSERT_EQ(InitCorrect(block.data(), QEL_MATRIX_BLOCK_SIZE), 0);
        expectForcedPath();
        const auto& st = qel::g_engine.correction;
        for (std::size_t i = 0; i < pixels.size(); i += 3) referenceMatrix(st.matrix, st.tables, &pixels[i], &expect[i]);
        work = pixels;
        ASSERT_EQ(CorrectImage(&image), 0);
        ASSERT_EQ(work, expect) << "matrix round " << round;
        ASSERT_EQ(ReleaseCorrect(), 0);
    }
}

// One output channel whose sum w is the constant alone (factors 0): the
// constant in 1/64 units is exactly w.
std::uint8_t matrixIndexFor(float constant) {
    const float m[3][4] = {{constant, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    auto block = matrixBlock(m);  // table 0 is the identity: output = index
    EXPECT_EQ(InitCorrect(block.data(), QEL_MATRIX_BLOCK_SIZE), 0);
    std::uint8_t px[3] = {9, 9, 9};
    EXPECT_EQ(correctOne(px), 0);
    EXPECT_EQ(ReleaseCorrect(), 0);
    return px[0];
}

TEST_F(Correction, MatrixIndexLimits) {
    EXPECT_EQ(matrixIndexFor(16319.0f / 64.0f), 254);
    EXPECT_EQ(matrixIndexFor(16320.0f / 64.0f), 255);
    EXPECT_EQ(matrixIndexFor(-1.0f / 64.0f), 0);
    EXPECT_EQ(matrixIndexFor(-1000.0f), 0);
    EXPECT_EQ(matrixIndexFor(63.0f / 64.0f), 0);
    EXPECT_EQ(matrixIndexFor(64.0f / 64.0f), 1);
}

TEST_F(Correction, MatrixFactorsAreTruncatedToSixtyFourths) {
    // 1.99/64 truncates to 1/64: w = 1 * p0 for channel 0.
    const float m[3][4] = {{0, 1.99f / 64.0f * 64.0f, 0, 0}, {0.5f, 0, 2.0f, 0}, {0, 0, 0, 0.5f}};
    auto block = matrixBlock(m);
    ASSERT_EQ(InitCorrect(block.data(), QEL_MATRIX_BLOCK_SIZE), 0);
    EXPECT_EQ(qel::g_engine.correction.matrix[0][1], 127);  // 1.99 * 64 = 127.36
    EXPECT_EQ(qel::g_engine.correction.matrix[1][0], 32);
    std::uint8_t px[3] = {100, 60, 200};
    ASSERT_EQ(correctOne(px), 0);
    EXPECT_EQ(px[0], (127 * 100) >> 6);
    EXPECT_EQ(px[1], (32 + 128 * 60) >> 6);
    EXPECT_EQ(px[2], (32 * 200) >> 6);
}

TEST_F(Correction, MatrixSaturatesNaNInfinityAndHugeFactors) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float m[3][4] = {{nan, nan, nan, nan}, {inf, inf, inf, inf}, {-inf, 3e9f, -3e9f, 1e30f}};
    auto block = matrixBlock(m);
    ASSERT_EQ(InitCorrect(block.data(), QEL_MATRIX_BLOCK_SIZE), 0);
    const auto& mx = qel::g_engine.correction.matrix;
    EXPECT_EQ(mx[0][0], 0);
    EXPECT_EQ(mx[1][0], std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(mx[2][0], std::numeric_limits<std::int32_t>::min());
    std::uint8_t px[3] = {255, 255, 255};
    ASSERT_EQ(correctOne(px), 0);  // sums beyond 32 bits do not wrap
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[1], 255);
    EXPECT_EQ(px[2], 255);
}

TEST_F(Correction, EmptyOrNegativeCountsCorrectNothing) {
    auto lut = identityLut();
    std::fill(lut.begin() + qel::kLutBlockGrid, lut.end(), 0);
    ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
    std::uint8_t px[3] = {50, 60, 70};
    for (auto dims : {std::pair{0, 1}, std::pair{1, 0}, std::pair{-1, 5}, std::pair{5, -1}, std::pair{-3, -3}}) {
        ImageBuffer image{dims.first, dims.second, px};
        EXPECT_EQ(CorrectImage(&image), 0);
        EXPECT_EQ(px[0], 50);
        EXPECT_EQ(px[2], 70);
    }
}

TEST_F(Correction, AfterReleaseMatrixModeKeepsCorrectingAndLookupRefuses) {
    const float m[3][4] = {{0, 0.5f, 0, 0}, {0, 0, 0.5f, 0}, {0, 0, 0, 0.5f}};
    auto mb = matrixBlock(m);
    ASSERT_EQ(InitCorrect(mb.data(), QEL_MATRIX_BLOCK_SIZE), 0);
    mb.assign(mb.size(), 0xEE);  // the host may free or reuse its buffer
    ASSERT_EQ(ReleaseCorrect(), 0);
    std::uint8_t px[3] = {200, 100, 50};
    EXPECT_EQ(correctOne(px), 0);
    EXPECT_EQ(px[0], 100);
    EXPECT_EQ(px[1], 50);
    EXPECT_EQ(px[2], 25);

    auto lut = identityLut();
    ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
    ASSERT_EQ(ReleaseCorrect(), 0);
    std::uint8_t px2[3] = {16, 32, 48};
    EXPECT_EQ(correctOne(px2), 1);
    EXPECT_EQ(px2[0], 16);
}

TEST_F(Correction, AllocationFailureGivesOneAndKeepsTheEarlierBlock) {
    auto lut = identityLut();
    ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
    pfdFailAllocationAfter(1);
    std::vector<std::uint8_t> other(QEL_LUT_BLOCK_SIZE, 0);
    EXPECT_EQ(InitCorrect(other.data(), QEL_LUT_BLOCK_SIZE), 1);
    std::uint8_t px[3] = {32, 32, 32};
    EXPECT_EQ(correctOne(px), 0);  // still the identity block
    EXPECT_EQ(px[0], 32);
    EXPECT_EQ(ReleaseCorrect(), 0);

    pfdFailAllocationAfter(1);
    const float m[3][4] = {};
    auto mb = matrixBlock(m);
    EXPECT_EQ(InitCorrect(mb.data(), QEL_MATRIX_BLOCK_SIZE), 1);
    EXPECT_EQ(qel::g_engine.correction.mode, qel::CorrectionMode::Matrix);  // the mode switches anyway
    EXPECT_EQ(ReleaseCorrect(), 1);
}

TEST_F(Correction, SecondInitFreesTheLoadedBlock) {
    auto lut = identityLut();
    const std::size_t before = pfdLiveGlobalBlocks();
    ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
    ASSERT_EQ(InitCorrect(lut.data(), QEL_LUT_BLOCK_SIZE), 0);
    EXPECT_EQ(pfdLiveGlobalBlocks(), before + 1);
    ASSERT_EQ(ReleaseCorrect(), 0);
    EXPECT_EQ(pfdLiveGlobalBlocks(), before);
}

TEST_F(Correction, ShortBlocksReadZerosInsteadOfPastTheCopy) {
    std::vector<std::uint8_t> tiny(100, 7);
    ASSERT_EQ(InitCorrect(tiny.data(), 100), 0);  // matrix mode, 100 bytes
    std::uint8_t px[3] = {1, 2, 3};
    EXPECT_EQ(correctOne(px), 0);
    EXPECT_EQ(px[0], 7);  // matrix all zero: index 0, table 0 entry 0 is 7
    ASSERT_EQ(ReleaseCorrect(), 0);
    std::vector<std::uint8_t> shortLut(900, 0);
    ASSERT_EQ(InitCorrect(shortLut.data(), 900), 0);
    EXPECT_EQ(correctOne(px), 0);
    EXPECT_EQ(px[0], 0);
}

}  // namespace
