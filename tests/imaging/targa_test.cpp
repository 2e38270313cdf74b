// The shared Targa codec: files built byte by byte here, round trips, and the
// files of the two subsystems (what the drivers write, the codec reads pixel
// for pixel; what the codec writes, the engine reads pixel for pixel).
#include "imaging/targa.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "command_layer.h"
#include "image_output.h"
#include "it8_target_image.h"
#include "platform/files.h"
#include "platform/raii.hpp"
#include "support/temp_dir.h"

namespace {

// Test names from the rows' own names.
template <typename Row>
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

// A 5 x 3 picture: sample c of pixel (x, y), y from the top.
std::uint8_t value(int x, int y, int c) { return static_cast<std::uint8_t>(40 * y + 7 * x + 3 * c + 1); }

struct FileShape {
    const char* name;
    std::uint8_t imageType;
    std::uint8_t bitsPerPixel;
    std::uint8_t descriptor;
    std::uint8_t idLength;
    std::uint16_t colourMapEntries;  // 24-bit entries of a map the reader must skip
    int width, height;
    long sizeChange;      // bytes added to (or cut from) the complete file
    const char* refusal;  // nullptr: read; else part of the message
};

// The file of the picture above as the row describes it, laid out by hand.
std::vector<std::uint8_t> fileFor(const FileShape& s) {
    const int channels = s.bitsPerPixel / 8;
    std::vector<std::uint8_t> f(18, 0);
    f[0] = s.idLength;
    f[1] = s.colourMapEntries > 0 ? 1 : 0;
    f[2] = s.imageType;
    f[5] = static_cast<std::uint8_t>(s.colourMapEntries);
    f[6] = static_cast<std::uint8_t>(s.colourMapEntries >> 8);
    f[7] = s.colourMapEntries > 0 ? 24 : 0;
    f[12] = static_cast<std::uint8_t>(s.width);
    f[14] = static_cast<std::uint8_t>(s.height);
    f[16] = s.bitsPerPixel;
    f[17] = s.descriptor;
    f.insert(f.end(), s.idLength + 3u * s.colourMapEntries, 0xEE);
    const bool topFirst = (s.descriptor & 0x20) != 0, fromRight = (s.descriptor & 0x10) != 0;
    for (int stored = 0; stored < s.height; ++stored) {
        const int y = topFirst ? stored : s.height - 1 - stored;
        for (int i = 0; i < s.width; ++i) {
            const int x = fromRight ? s.width - 1 - i : i;
            static const int kStoredOrder[4][4] = {{0}, {0, 1}, {2, 1, 0}, {2, 1, 0, 3}};
            for (int k = 0; k < channels; ++k) f.push_back(value(x, y, kStoredOrder[channels - 1][k]));
        }
    }
    f.resize(static_cast<std::size_t>(static_cast<long>(f.size()) + s.sizeChange), 0x55);
    return f;
}

const FileShape kFiles[] = {
    {"bottom-left origin, as the system writes", 2, 24, 0x00, 0, 0, 5, 3, 0, nullptr},
    {"top-left origin", 2, 24, 0x20, 0, 0, 5, 3, 0, nullptr},
    {"bytes after the last row", 2, 24, 0x00, 0, 0, 5, 3, 9, nullptr},
    {"identification field skipped", 2, 24, 0x00, 7, 0, 5, 3, 0, nullptr},
    {"colour map of a true-colour file skipped", 2, 24, 0x20, 0, 2, 5, 3, 0, nullptr},
    {"right-to-left pixels", 2, 24, 0x10, 0, 0, 5, 3, 0, nullptr},
    {"32 bits with alpha", 2, 32, 0x08, 0, 0, 5, 3, 0, nullptr},
    {"8-bit grey, top-left", 3, 8, 0x20, 3, 0, 5, 3, 0, nullptr},
    {"colour-mapped", 1, 8, 0x00, 0, 0, 5, 3, 0, "colour-mapped"},
    {"run-length encoded", 10, 24, 0x00, 0, 0, 5, 3, 0, "run-length encoded"},
    {"16-bit packed pixels", 2, 16, 0x00, 0, 0, 5, 3, 0, "16 bits per pixel"},
    {"grey of 16 bits", 3, 16, 0x00, 0, 0, 5, 3, 0, "16 bits per pixel"},
    {"no rows", 2, 24, 0x00, 0, 0, 5, 0, 0, "empty"},
    {"last row short", 2, 24, 0x00, 0, 0, 5, 3, -1, "truncated"},
    {"identification field past the pixels", 2, 24, 0x00, 200, 0, 5, 3, -200, "truncated"},
    {"shorter than a header", 2, 24, 0x00, 0, 0, 5, 3, -(18 + 45) + 17, "too short"},
};

class TargaFiles : public ::testing::TestWithParam<FileShape> {};

TEST_P(TargaFiles, ReadAsTheHeaderSaysOrRefusedByName) {
    const FileShape& s = GetParam();
    const std::vector<std::uint8_t> bytes = fileFor(s);
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("f.tga"), bytes);
    imaging::Image fromMemory, fromFile;
    std::string memoryError, fileError;
    const bool decoded = imaging::decodeTarga(bytes.data(), bytes.size(), &fromMemory, &memoryError);
    const bool read = imaging::readTarga(dir.file("f.tga"), &fromFile, &fileError);
    if (s.refusal != nullptr) {
        EXPECT_FALSE(decoded);
        EXPECT_FALSE(read);
        EXPECT_NE(memoryError.find(s.refusal), std::string::npos) << memoryError;
        EXPECT_NE(fileError.find(s.refusal), std::string::npos) << fileError;
        EXPECT_NE(fileError.find("f.tga"), std::string::npos) << fileError;
        EXPECT_TRUE(fromFile.pixels.empty());
        return;
    }
    ASSERT_TRUE(decoded) << memoryError;
    ASSERT_TRUE(read) << fileError;
    const int channels = s.bitsPerPixel / 8;
    for (const imaging::Image* im : {&fromMemory, &fromFile}) {
        ASSERT_EQ(im->width, s.width);
        ASSERT_EQ(im->height, s.height);
        ASSERT_EQ(im->channels, channels);
        EXPECT_EQ(im->bitsPerSample, 8);
        EXPECT_EQ(im->hasAlpha(), channels == 4);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                for (int c = 0; c < channels; ++c) ASSERT_EQ(im->sample(x, y, c), value(x, y, c)) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Codec, TargaFiles, ::testing::ValuesIn(kFiles), rowName<FileShape>);

struct WrittenShape {
    const char* name;
    int width, height, channels, bits;
    std::uint8_t imageType, bitsPerPixel, descriptor;  // of the file written
    const char* refusal;
};

const WrittenShape kWritten[] = {
    {"RGB", 6, 4, 3, 8, 2, 24, 0x00, nullptr},
    {"RGBA", 3, 2, 4, 8, 2, 32, 0x08, nullptr},
    {"grey", 7, 1, 1, 8, 3, 8, 0x00, nullptr},
    {"16 bits per sample", 4, 4, 3, 16, 0, 0, 0, "8 bits per sample"},
    {"grey and alpha", 4, 4, 2, 8, 0, 0, 0, "grey-and-alpha"},
    {"wider than 16 bits", 65536, 1, 3, 8, 0, 0, 0, "does not fit"},
    {"five channels", 2, 2, 5, 8, 0, 0, 0, "5 channels"},
    {"empty", 0, 3, 3, 8, 0, 0, 0, "empty"},
};

class TargaWriting : public ::testing::TestWithParam<WrittenShape> {};

TEST_P(TargaWriting, BottomRowFirstAndReadBackOrRefusedByName) {
    const WrittenShape& s = GetParam();
    imaging::Image im = imaging::Image::make(s.width, s.height, s.channels, s.bits);
    for (std::size_t i = 0; i < im.pixels.size(); ++i) im.pixels[i] = static_cast<std::uint8_t>(i * 29 + 5);
    testsupport::TempDir dir;
    std::string error;
    const bool written = imaging::writeTarga(dir.file("w.tga"), im, &error);
    const std::vector<std::uint8_t> encoded = imaging::encodeTarga(im);
    if (s.refusal != nullptr) {
        EXPECT_FALSE(written);
        EXPECT_TRUE(encoded.empty());
        EXPECT_NE(error.find(s.refusal), std::string::npos) << error;
        return;
    }
    ASSERT_TRUE(written) << error;
    const std::vector<std::uint8_t> file = testsupport::readFile(dir.file("w.tga"));
    EXPECT_EQ(file, encoded);
    ASSERT_EQ(file.size(), 18 + im.pixels.size());
    const std::uint8_t header[18] = {0, 0, s.imageType, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     static_cast<std::uint8_t>(s.width), 0, static_cast<std::uint8_t>(s.height), 0,
                                     s.bitsPerPixel, s.descriptor};
    EXPECT_EQ(std::memcmp(file.data(), header, 18), 0);
    // The first stored row is the image's bottom row; colour is stored B, G, R.
    const std::uint8_t* stored = file.data() + 18;
    const std::uint8_t* bottom = im.row(s.height - 1);
    EXPECT_EQ(stored[0], bottom[s.channels >= 3 ? 2 : 0]);
    imaging::Image back;
    ASSERT_TRUE(imaging::readTarga(dir.file("w.tga"), &back, &error)) << error;
    EXPECT_EQ(back.pixels, im.pixels);
    EXPECT_EQ(back.channels, s.channels);
}

INSTANTIATE_TEST_SUITE_P(Codec, TargaWriting, ::testing::ValuesIn(kWritten), rowName<WrittenShape>);

// The drivers' writer: a scan buffer of the given line length written as a
// run writes it (first scanned line in the last buffer row, pixels B, G, R,
// rows `stride` apart), then read by the codec.
struct DriverScan {
    std::uint32_t bytesPerLine, lines;
};

class DriverFiles : public ::testing::TestWithParam<DriverScan> {};

TEST_P(DriverFiles, ReadPixelForPixel) {
    drv::ImageGeometry g;
    ASSERT_TRUE(drv::imageGeometry(GetParam().bytesPerLine, GetParam().lines, g));
    std::vector<std::uint8_t> buffer(std::size_t{g.stride} * g.lines);
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 13 + i / 7);
    testsupport::TempDir dir;
    const std::string path = dir.file("scan.tga");
    {
        drv::ImageFile file;
        drv::Progress progress;
        ASSERT_TRUE(file.create(path.c_str()));
        ASSERT_TRUE(file.writeHeader(g));
        ASSERT_TRUE(file.writeRows(buffer.data(), g, progress));
        ASSERT_TRUE(file.keep());
    }
    imaging::Image im;
    std::string error;
    ASSERT_TRUE(imaging::readTarga(path, &im, &error)) << error;
    ASSERT_EQ(im.width, static_cast<int>(g.writtenWidth));
    ASSERT_EQ(im.height, static_cast<int>(g.lines));
    ASSERT_EQ(im.channels, 3);
    // Image row y (from the top: the first scanned line) is buffer row H - 1 - y.
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) {
            const std::uint8_t* b = &buffer[std::size_t{g.stride} * (g.lines - 1 - y) + 3u * x];
            ASSERT_EQ(im.sample(x, y, 0), b[2]) << x << "," << y;
            ASSERT_EQ(im.sample(x, y, 1), b[1]) << x << "," << y;
            ASSERT_EQ(im.sample(x, y, 2), b[0]) << x << "," << y;
        }
    // And the codec writes that image back as the very same file.
    EXPECT_EQ(imaging::encodeTarga(im), testsupport::readFile(path));
}

// Line lengths of 1000, 1001 and 1003 pixels' worth of the written-width rule,
// scaled down: every pixel written, the last pixel dropped, a padding pixel
// added; one line and several.
INSTANTIATE_TEST_SUITE_P(Codec, DriverFiles,
                         ::testing::Values(DriverScan{3 * 8, 5}, DriverScan{3 * 9, 4}, DriverScan{3 * 11, 3},
                                           DriverScan{3 * 12, 1}));

// The engine's reader: one pixel at a time through SamplePatch, whose window
// shrinks to a single pixel when the frame is 24 pixels wide (cell size 1).
// The frame's end points are placed so that cell (0, 0) is pixel (x, file row).
std::array<std::int32_t, 3> engineReads(PfFile file, int width, int height, int x, int fileRow) {
    qel::EdgeTrace left, right;
    left.x0 = left.x1 = x;
    left.y1 = fileRow + 1;
    left.y0 = left.y1 - 16;
    right.x0 = right.x1 = x + 24;
    right.y0 = left.y0;
    right.y1 = left.y1;
    const qel::PatchSample s = qel::SamplePatch(file, left, right, width, height, 0, 0);
    EXPECT_EQ(s.count, 1);
    return {s.r, s.g, s.b};
}

class EngineReads : public ::testing::TestWithParam<std::array<int, 2>> {};

TEST_P(EngineReads, PixelForPixelWhatTheCodecWrites) {
    const auto [width, height] = GetParam();
    imaging::Image im = imaging::Image::make(width, height);
    for (std::size_t i = 0; i < im.pixels.size(); ++i) im.pixels[i] = static_cast<std::uint8_t>(i * 31 + i / 5);
    testsupport::TempDir dir;
    const std::string path = dir.file("for-engine.tga");
    ASSERT_TRUE(imaging::writeTarga(path, im));
    pf::FileHandle file(pfLopen(path.c_str(), PF_OF_READ));
    ASSERT_TRUE(file.ok());
    // The engine works in file order: file row 0 is the image's bottom row.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto rgb = engineReads(file.get(), width, height, x, height - 1 - y);
            for (int c = 0; c < 3; ++c) ASSERT_EQ(rgb[c], static_cast<int>(im.sample(x, y, c))) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Codec, EngineReads,
                         ::testing::Values(std::array<int, 2>{1, 1}, std::array<int, 2>{7, 5},
                                           std::array<int, 2>{33, 18}));

}  // namespace
