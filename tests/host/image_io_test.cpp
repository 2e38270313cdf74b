// Host image files: round trips through each format, Targa's row order, and
// every kind of the image corpus made 8-bit RGB top first or refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "image_corpus.h"
#include "image_io.h"
#include "sample_image.h"
#include "support/temp_dir.h"

namespace {

TEST(ImageIo, EveryFormatRoundTripsExactly) {
    testsupport::TempDir dir;
    const aucal::RgbImage picture = aucal::samplePicture(37, 21);
    for (const char* name : {"a.tga", "a.png", "a.tif"}) {
        std::string error;
        ASSERT_TRUE(aucal::writeImage(dir.file(name), picture, &error)) << error;
        aucal::RgbImage back;
        ASSERT_TRUE(aucal::readImage(dir.file(name), &back, &error)) << error;
        EXPECT_EQ(back.width, 37);
        EXPECT_EQ(back.height, 21);
        EXPECT_EQ(back.pixels, picture.pixels) << name;
    }
}

TEST(ImageIo, TargaStoresTheBottomRowFirstInBlueGreenRed) {
    testsupport::TempDir dir;
    aucal::RgbImage img;
    img.width = 1;
    img.height = 2;
    img.pixels = {10, 20, 30, 40, 50, 60};  // top pixel, then bottom pixel
    std::string error;
    ASSERT_TRUE(aucal::writeImage(dir.file("o.tga"), img, &error));
    const auto bytes = testsupport::readFile(dir.file("o.tga"));
    ASSERT_EQ(bytes.size(), 18u + 6u);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[16], 24);
    EXPECT_EQ(bytes[17], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 18, bytes.end()),
              (std::vector<std::uint8_t>{60, 50, 40, 30, 20, 10}));
}

TEST(ImageIo, BrokenTargaFilesAreRefused) {
    testsupport::TempDir dir;
    std::vector<std::uint8_t> header(18, 0);
    header[2] = 2;
    header[12] = 4;
    header[14] = 4;
    header[16] = 24;
    auto truncated = header;
    truncated.resize(18 + 20);
    testsupport::writeFile(dir.file("t.tga"), truncated);
    auto rle = header;
    rle[2] = 10;
    rle.resize(18 + 48);
    testsupport::writeFile(dir.file("r.tga"), rle);
    testsupport::writeFile(dir.file("h.tga"), std::vector<std::uint8_t>(10, 0));
    for (const char* name : {"t.tga", "r.tga", "h.tga", "none.tga", "x.bmp", "a.jpg"}) {
        aucal::RgbImage img;
        std::string error;
        EXPECT_FALSE(aucal::readImage(dir.file(name), &img, &error)) << name;
        EXPECT_FALSE(error.empty());
    }
}

// Each corpus kind as a scan: grey repeated into R, G and B, 16-bit samples
// rounded to 8 bits, orientation 6 turned upright, alpha dropped only when
// every pixel is opaque, and what the correction cannot mean refused.
TEST(ImageIo, EveryCorpusKindReadsAsUprightEightBitRgbOrIsRefused) {
    testsupport::TempDir dir;
    for (const corpus::Kind& kind : corpus::kinds()) {
        SCOPED_TRACE(kind.file);
        std::string error;
        ASSERT_TRUE(corpus::write(kind, dir.file(kind.file), &error)) << error;
        const unsigned top = kind.bits == 16 ? 65535 : 255;
        const int colours = kind.channels == 2 || kind.channels == 4 ? kind.channels - 1 : kind.channels;
        bool opaque = true;
        for (int y = 0; y < kind.height; ++y)
            for (int x = 0; x < kind.width; ++x)
                if (colours != kind.channels) opaque = opaque && corpus::expectedSample(kind, 0, x, y, colours) == top;
        aucal::RgbImage read;
        std::string storedAs;
        const bool ok = aucal::readImage(dir.file(kind.file), &read, &error, &storedAs);
        if (kind.refusal != nullptr || !opaque) {
            EXPECT_FALSE(ok);
            EXPECT_NE(error.find(kind.refusal != nullptr ? kind.refusal : "not opaque"), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(storedAs.rfind(imaging::formatName(kind.format), 0), 0u) << storedAs;
        const bool turned = kind.variant == corpus::Variant::Orientation6;
        ASSERT_EQ(read.width, turned ? kind.height : kind.width);
        ASSERT_EQ(read.height, turned ? kind.width : kind.height);
        ASSERT_EQ(read.channels, 3);
        ASSERT_EQ(read.bitsPerSample, 8);
        int worst = 0;
        for (int y = 0; y < read.height; ++y)
            for (int x = 0; x < read.width; ++x)
                for (int c = 0; c < 3; ++c) {
                    // Orientation 6: the first stored row is the right-hand column.
                    const int sx = turned ? y : x, sy = turned ? read.width - 1 - x : y;
                    const unsigned v = corpus::expectedSample(kind, 0, sx, sy, colours == 1 ? 0 : c);
                    const int want = static_cast<int>(kind.bits == 16 ? (v * 255 + 32767) / 65535 : v);
                    worst = std::max(worst, std::abs(static_cast<int>(read.sample(x, y, c)) - want));
                }
        EXPECT_LE(worst, kind.tolerance);
    }
}

}  // namespace
