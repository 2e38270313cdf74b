// Host image files: round trips through each format and Targa's row order.
#include <gtest/gtest.h>

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
    for (const char* name : {"t.tga", "r.tga", "h.tga", "none.tga", "x.bmp"}) {
        aucal::RgbImage img;
        std::string error;
        EXPECT_FALSE(aucal::readImage(dir.file(name), &img, &error)) << name;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
