// Correction of image files by depth: 8-bit images through CorrectImage
// exactly, 16-bit images through the LittleCMS transform of the same block
// (agreeing with CorrectImage on v x 257 images within the difference of
// tetrahedral and trilinear reading that the ICC check measures), and 16-bit
// images reduced to 8 bits through CorrectImage exactly.
#include "image_correction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "imaging/image_file.h"
#include "sample_blocks.h"
#include "support/temp_dir.h"

namespace {

using aucal::StripCorrection;

struct BlockRow {
    const char* name;
    std::vector<std::uint8_t> (*make)();
    double meanBelow;  // levels, as the device link check's tolerance
};

const BlockRow kBlocks[] = {
    {"lookup", lutBlock, 1.0},
    {"matrix", matrixBlock, 1.0},
};

class Depths : public ::testing::TestWithParam<BlockRow> {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(aucal::loadEngine(&engine_, &error)) << error;
        block_ = GetParam().make();
        ASSERT_EQ(engine_.exports().initCorrect(block_.data(), static_cast<std::int32_t>(block_.size())), 0);
        eight_ = aucal::engineCorrection(engine_.exports());
        sixteen_ = aucal::blockTransform16(block_, &error);
        ASSERT_TRUE(sixteen_) << error;
    }
    void TearDown() override { engine_.exports().releaseCorrect(); }

    // A 16-bit RGBA picture of v x 257 samples (alpha its own pattern) and
    // its 8-bit twin.
    static imaging::Image picture(int bits) {
        imaging::Image im = imaging::Image::make(37, 23, 4, bits);
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x)
                for (int c = 0; c < 4; ++c) {
                    const unsigned v = (x * 29 + y * 71 + c * 101) & 255;
                    im.setSample(x, y, c, bits == 8 ? v : v * 257);
                }
        return im;
    }

    imaging::Image corrected(const imaging::Image& in, bool reduce) {
        const std::string from = dir_.file("in.tif"), to = dir_.file("out.tif");
        std::string error;
        EXPECT_TRUE(imaging::writeImageFile(from, imaging::Format::Tiff, in, {}, &error)) << error;
        aucal::CorrectionPlan plan;
        plan.format = imaging::Format::Tiff;
        plan.reduceTo8Bits = reduce;
        plan.stripRows = 5;
        aucal::CorrectionOutcome outcome;
        EXPECT_TRUE(aucal::correctImageFile(from, to, plan, *eight_, *sixteen_, &outcome, &error)) << error;
        imaging::Image out;
        EXPECT_TRUE(imaging::readImageFile(to, &out, &error)) << error;
        return out;
    }

    // CorrectImage on the 8-bit twin's RGB.
    imaging::Image byCorrectImage() {
        imaging::Image im = picture(8);
        std::vector<std::uint8_t> rgb;
        for (std::size_t i = 0; i < im.pixels.size(); i += 4) rgb.insert(rgb.end(), &im.pixels[i], &im.pixels[i] + 3);
        std::string error;
        EXPECT_TRUE(eight_->correct(rgb.data(), im.width * im.height, 1, &error)) << error;
        for (std::size_t i = 0, j = 0; i < im.pixels.size(); i += 4, j += 3) std::memcpy(&im.pixels[i], &rgb[j], 3);
        return im;
    }

    testsupport::TempDir dir_;
    aucal::EngineLibrary engine_;
    std::vector<std::uint8_t> block_;
    std::unique_ptr<StripCorrection> eight_, sixteen_;
};

TEST_P(Depths, EightBitImagesAreCorrectImageExactlyWithAlphaKept) {
    const imaging::Image out = corrected(picture(8), false);
    EXPECT_EQ(out.bitsPerSample, 8);
    EXPECT_EQ(out.pixels, byCorrectImage().pixels);
}

TEST_P(Depths, SixteenBitImagesReducedAreCorrectImageExactly) {
    const imaging::Image out = corrected(picture(16), true);
    EXPECT_EQ(out.bitsPerSample, 8);
    EXPECT_EQ(out.pixels, byCorrectImage().pixels);
}

TEST_P(Depths, SixteenBitImagesStayAtSixteenBitsNearCorrectImage) {
    const imaging::Image out = corrected(picture(16), false);
    ASSERT_EQ(out.bitsPerSample, 16);
    const imaging::Image want = byCorrectImage();
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            EXPECT_EQ(out.sample(x, y, 3), want.sample(x, y, 3) * 257) << "alpha untouched at " << x << "," << y;
            for (int c = 0; c < 3; ++c)
                EXPECT_LE(std::abs(static_cast<int>(out.sample(x, y, c) / 257.0 + 0.5) - static_cast<int>(want.sample(x, y, c))), 24);
        }
    const aucal::DepthAgreement a = aucal::measureDepthAgreement(*eight_, *sixteen_, 100000, 20261208u);
    EXPECT_EQ(a.pixels, 100000);
    EXPECT_LT(a.meanDifference, GetParam().meanBelow) << a.largestDifference << " " << a.withinOneLevel;
}

INSTANTIATE_TEST_SUITE_P(Blocks, Depths, ::testing::ValuesIn(kBlocks),
                         [](const ::testing::TestParamInfo<BlockRow>& i) { return std::string(i.param.name); });

}  // namespace
