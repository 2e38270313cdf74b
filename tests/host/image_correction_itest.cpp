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

#include "atomic_file.h"
#include "commands.h"
#include "imaging/image_file.h"
#include "sample_blocks.h"
#include "uncached_output.h"
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

// The engine holding a block, its CorrectImage and the 16-bit transform.
class WithBlock {
protected:
    void load(const std::vector<std::uint8_t>& block) {
        std::string error;
        ASSERT_TRUE(aucal::loadEngine(&engine_, &error)) << error;
        block_ = block;
        ASSERT_EQ(engine_.exports().initCorrect(block_.data(), static_cast<std::int32_t>(block_.size())), 0);
        eight_ = aucal::engineCorrection(engine_.exports());
        sixteen_ = aucal::blockTransform16(block_, &error);
        ASSERT_TRUE(sixteen_) << error;
    }
    ~WithBlock() {
        if (eight_) engine_.exports().releaseCorrect();
    }

    testsupport::TempDir dir_;
    aucal::EngineLibrary engine_;
    std::vector<std::uint8_t> block_;
    std::unique_ptr<StripCorrection> eight_, sixteen_;
};

class Depths : public ::testing::TestWithParam<BlockRow>, protected WithBlock {
protected:
    void SetUp() override { load(GetParam().make()); }

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

// 8-bit RGB, corrected where it is read: through each codec's write options
// and strips aligned with the input's or not, exactly CorrectImage's bytes,
// the input TIFF's compression kept unless another is asked.
struct RouteRow {
    const char* name;
    imaging::Format format;
    imaging::Compression stored;     // of the input TIFF
    int storedRows;                  // its rows per strip
    int stripRows;                   // the correction's; 0: its own choice
    const char* compression;         // asked of the output; "": the input's
    int level;                       // --compression-level; -1: the default
    imaging::Compression written;    // read back from a TIFF output
    std::size_t staging;             // TIFF through UncachedOutput with this buffer; 0: a file of its own
};

const RouteRow kRoutes[] = {
    {"tiff_none_whole_strips", imaging::Format::Tiff, imaging::Compression::None, 4, 0, "", -1, imaging::Compression::None, 0},
    {"tiff_none_split_strips", imaging::Format::Tiff, imaging::Compression::None, 4, 5, "", -1, imaging::Compression::None, 0},
    {"tiff_lzw_kept", imaging::Format::Tiff, imaging::Compression::Lzw, 7, 0, "", -1, imaging::Compression::Lzw, 0},
    {"tiff_deflate_kept", imaging::Format::Tiff, imaging::Compression::Deflate, 3, 2, "", -1, imaging::Compression::Deflate, 0},
    {"tiff_none_to_deflate_9", imaging::Format::Tiff, imaging::Compression::None, 4, 0, "deflate", 9, imaging::Compression::Deflate, 0},
    {"tiff_deflate_to_none", imaging::Format::Tiff, imaging::Compression::Deflate, 50, 0, "none", -1, imaging::Compression::None, 0},
    {"png_default", imaging::Format::Png, imaging::Compression::None, 4, 0, "", -1, imaging::Compression::Lzw, 0},
    {"png_stored", imaging::Format::Png, imaging::Compression::None, 4, 3, "", 0, imaging::Compression::Lzw, 0},
    {"png_level_9", imaging::Format::Png, imaging::Compression::None, 4, 0, "", 9, imaging::Compression::Lzw, 0},
    // One block staged at a time (a write at each), the whole file staged
    // until libtiff patches its header, and compressed strips of any size.
    {"tiff_none_uncached_block", imaging::Format::Tiff, imaging::Compression::None, 4, 0, "", -1, imaging::Compression::None, 1},
    {"tiff_none_uncached_whole", imaging::Format::Tiff, imaging::Compression::None, 4, 5, "", -1, imaging::Compression::None, 1 << 20},
    {"tiff_lzw_uncached", imaging::Format::Tiff, imaging::Compression::Lzw, 7, 0, "", -1, imaging::Compression::Lzw, 8192},
};

class Routes : public ::testing::TestWithParam<RouteRow>, protected WithBlock {
protected:
    void SetUp() override { load(lutBlock()); }
};

TEST_P(Routes, RgbCorrectedAsReadIsCorrectImageExactly) {
    const RouteRow& r = GetParam();
    imaging::Image in = imaging::Image::make(41, 250);
    for (std::size_t i = 0; i < in.pixels.size(); ++i) in.pixels[i] = static_cast<std::uint8_t>(i * 37 + i / 7);
    std::string error;
    const std::string from = dir_.file(std::string(r.name) + "-in.tif");
    const std::string to = dir_.file(std::string(r.name) + (r.format == imaging::Format::Png ? "-out.png" : "-out.tif"));
    imaging::WriteOptions stored;
    stored.tiffCompression = r.stored;
    stored.rowsPerStrip = r.storedRows;
    // The uncached rows' input has a second page: libtiff then links its
    // directory to the first one's, back in the file.
    auto input = imaging::createImage(from, imaging::Format::Tiff, stored, &error);
    ASSERT_TRUE(input) << error;
    for (int page = 0; page < (r.staging > 0 ? 2 : 1); ++page)
        ASSERT_TRUE(input->beginPage(in, &error) && input->writeRows(in.height, in.pixels.data(), &error)) << error;
    ASSERT_TRUE(input->finish(&error)) << error;
    // Through the command's own reading of its options.
    aucal::CorrectOptions o;
    o.compression = r.compression;
    o.compressionLevel = r.level;
    aucal::CorrectionPlan plan = aucal::correctionPlanFor(o, to);
    plan.stripRows = r.stripRows;
    aucal::CorrectionOutcome outcome;
    ASSERT_TRUE(aucal::correctImageFile(from, to, plan, *eight_, *sixteen_, &outcome, &error)) << error;
    if (r.staging > 0) {
        // The same file, byte for byte, written past the cache.
        aucal::AtomicFile file(dir_.file(std::string(r.name) + "-uncached.tif"));
        aucal::UncachedOutput uncached(r.staging);
        ASSERT_TRUE(file.create(&error)) << error;
        uncached.start(file.handle());  // through the cache where it cannot be bypassed: the same bytes
        plan.write.sink = &uncached;
        aucal::CorrectionOutcome again;
        ASSERT_TRUE(aucal::correctImageFile(from, file.temporaryPath(), plan, *eight_, *sixteen_, &again, &error))
            << error;
        EXPECT_EQ(again.pages, 2);
        ASSERT_TRUE(file.commit(&error)) << error;
        EXPECT_EQ(testsupport::readFile(file.finalPath()), testsupport::readFile(to));
    }
    std::vector<std::uint8_t> want = in.pixels;
    ASSERT_TRUE(eight_->correct(want.data(), in.width, in.height, &error)) << error;
    auto reader = imaging::openImage(to, &error);
    ASSERT_TRUE(reader) << error;
    if (r.format == imaging::Format::Tiff) {
        EXPECT_EQ(reader->facts().compression, r.written);
    }
    imaging::Image out;
    ASSERT_TRUE(imaging::readImageFile(to, &out, &error)) << error;
    EXPECT_EQ(out.channels, 3);
    EXPECT_EQ(out.pixels, want);
}

INSTANTIATE_TEST_SUITE_P(Codecs, Routes, ::testing::ValuesIn(kRoutes),
                         [](const ::testing::TestParamInfo<RouteRow>& i) { return std::string(i.param.name); });

}  // namespace
