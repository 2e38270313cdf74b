// Profiles embedded in PNG, TIFF and JPEG files, read back by libpng, libtiff
// and libjpeg-turbo byte for byte, with the images' samples unchanged.
#include <gtest/gtest.h>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "icc_embed.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kWidth = 40, kHeight = 24;

Bytes pixels() {
    Bytes p(3 * kWidth * kHeight);
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>((i * 37) ^ (i / 7));
    return p;
}

Bytes pngFile() {  // the simplified API also writes an sRGB chunk, which the embedding must replace
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGB;
    const Bytes p = pixels();
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, p.data(), 0, nullptr);
    Bytes out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, p.data(), 0, nullptr);
    out.resize(size);
    return out;
}

Bytes jpegFile() {
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    Bytes p = pixels();
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = &p[3 * kWidth * c.next_scanline];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// Two LZW-compressed pages.
Bytes tiffFile(const testsupport::TempDir& dir) {
    const std::string path = dir.file("in.tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    const Bytes p = pixels();
    for (int page = 0; page < 2; ++page) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
        for (int y = 0; y < kHeight; ++y) TIFFWriteScanline(t, const_cast<std::uint8_t*>(&p[3 * kWidth * y]), y, 0);
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    return testsupport::readFile(path);
}

// A real profile (readers check the header) of exactly `size` bytes, a
// multiple of 4: sRGB with a private tag of filler.
Bytes profileOfSize(std::size_t size) {
    auto save = [](std::size_t filler) {
        cmsHPROFILE h = cmsCreate_sRGBProfile();
        const Bytes fill(filler, 0x5A);
        cmsWriteRawTag(h, static_cast<cmsTagSignature>(0x6175636C), fill.data(), static_cast<cmsUInt32Number>(fill.size()));
        cmsUInt32Number n = 0;
        cmsSaveProfileToMem(h, nullptr, &n);
        Bytes out(n);
        cmsSaveProfileToMem(h, out.data(), &n);
        cmsCloseProfile(h);
        return out;
    };
    const std::size_t base = save(4).size();
    return save(size - base + 4);
}

// What each library reads back from a file: the profile of every image in
// it, and the samples as stored (PNG: decoded; TIFF: the raw strips; JPEG:
// the decoded pixels and every byte from the start of scan on).
struct ReadBack {
    std::vector<Bytes> profiles;
    Bytes samples;
};

ReadBack readPng(const Bytes& file) {
    ReadBack r;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    struct Source {
        const Bytes* bytes;
        std::size_t at;
    } source{&file, 0};
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
        auto* s = static_cast<Source*>(png_get_io_ptr(p));
        std::memcpy(out, s->bytes->data() + s->at, n);
        s->at += n;
    });
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_charp name;
    int compression;
    png_bytep data;
    png_uint_32 length;
    if (png_get_iCCP(png, info, &name, &compression, &data, &length)) r.profiles.emplace_back(data, data + length);
    for (png_bytep row : std::vector<png_bytep>(png_get_rows(png, info), png_get_rows(png, info) + kHeight))
        r.samples.insert(r.samples.end(), row, row + 3 * kWidth);
    png_destroy_read_struct(&png, &info, nullptr);
    return r;
}

ReadBack readTiff(const testsupport::TempDir& dir, const Bytes& file) {
    ReadBack r;
    testsupport::writeFile(dir.file("read.tif"), file);
    TIFF* t = TIFFOpen(dir.file("read.tif").c_str(), "r");
    do {
        std::uint32_t count = 0;
        void* data = nullptr;
        if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &count, &data))
            r.profiles.emplace_back(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + count);
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
            Bytes strip(static_cast<std::size_t>(TIFFRawStripSize(t, s)));
            TIFFReadRawStrip(t, s, strip.data(), static_cast<tmsize_t>(strip.size()));
            r.samples.insert(r.samples.end(), strip.begin(), strip.end());
        }
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    return r;
}

ReadBack readJpeg(const Bytes& file) {
    ReadBack r;
    jpeg_decompress_struct d{};
    jpeg_error_mgr e{};
    d.err = jpeg_std_error(&e);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), file.size());
    jpeg_save_markers(&d, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&d, TRUE);
    JOCTET* icc = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&d, &icc, &length)) r.profiles.emplace_back(icc, icc + length);
    std::free(icc);
    jpeg_start_decompress(&d);
    Bytes row(3 * kWidth);
    while (d.output_scanline < d.output_height) {
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&d, &p, 1);
        r.samples.insert(r.samples.end(), row.begin(), row.end());
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    for (std::size_t i = 0; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xDA) {
            r.samples.insert(r.samples.end(), file.begin() + static_cast<std::ptrdiff_t>(i), file.end());
            break;
        }
    return r;
}

TEST(IccEmbed, ProfilesReadBackByteForByteAndSamplesStayTheSame) {
    testsupport::TempDir dir;
    const struct Row {
        aucal::ImageContainer container;
        std::size_t profileBytes;  // one JPEG segment holds up to 65519
        std::size_t jpegSegments;
    } rows[] = {
        {aucal::ImageContainer::Png, 4000, 0},   {aucal::ImageContainer::Png, 150000, 0},
        {aucal::ImageContainer::Tiff, 4000, 0},  {aucal::ImageContainer::Tiff, 150000, 0},
        {aucal::ImageContainer::Jpeg, 4000, 1},  {aucal::ImageContainer::Jpeg, 65516, 1},
        {aucal::ImageContainer::Jpeg, 65520, 2}, {aucal::ImageContainer::Jpeg, 150000, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(static_cast<int>(row.container)) + " with " + std::to_string(row.profileBytes));
        const Bytes profile = profileOfSize(row.profileBytes);
        ASSERT_EQ(profile.size(), row.profileBytes);
        const Bytes original = row.container == aucal::ImageContainer::Png    ? pngFile()
                               : row.container == aucal::ImageContainer::Tiff ? tiffFile(dir)
                                                                              : jpegFile();
        ASSERT_EQ(aucal::containerOf(original), row.container);
        Bytes once, twice;
        std::string error;
        ASSERT_TRUE(aucal::embedProfile(original, profile, &once, &error)) << error;
        // Embedding again replaces the profile rather than adding a second one.
        ASSERT_TRUE(aucal::embedProfile(once, profile, &twice, &error)) << error;
        auto read = [&](const Bytes& f) {
            return row.container == aucal::ImageContainer::Png    ? readPng(f)
                   : row.container == aucal::ImageContainer::Tiff ? readTiff(dir, f)
                                                                  : readJpeg(f);
        };
        const ReadBack before = read(original), after = read(twice);
        EXPECT_TRUE(before.profiles.empty());
        ASSERT_EQ(after.profiles.size(), row.container == aucal::ImageContainer::Tiff ? 2u : 1u);
        for (const Bytes& p : after.profiles) EXPECT_TRUE(p == profile);
        EXPECT_FALSE(before.samples.empty());
        EXPECT_TRUE(before.samples == after.samples);
        if (row.container == aucal::ImageContainer::Jpeg) {
            std::size_t segments = 0;
            for (std::size_t i = 0; i + 16 < twice.size(); ++i)
                segments += twice[i] == 0xFF && twice[i + 1] == 0xE2 && std::memcmp(&twice[i + 4], "ICC_PROFILE", 12) == 0;
            EXPECT_EQ(segments, row.jpegSegments);
        }
        if (row.container == aucal::ImageContainer::Png) {
            const std::string text(twice.begin(), twice.end());
            EXPECT_EQ(text.find("sRGB"), std::string::npos) << "the sRGB chunk contradicts the profile";
        }
    }
}

TEST(IccEmbed, RefusesWhatItCannotCarryAProfile) {
    Bytes out;
    std::string error;
    const Bytes targa(100, 0);
    EXPECT_FALSE(aucal::embedProfile(targa, Bytes(10, 1), &out, &error));
    EXPECT_NE(error.find("not a PNG, TIFF or JPEG"), std::string::npos) << error;
    Bytes png = pngFile();
    png.resize(png.size() / 2);
    EXPECT_FALSE(aucal::embedProfile(png, Bytes(10, 1), &out, &error));
    EXPECT_FALSE(aucal::embedProfile(jpegFile(), Bytes(256 * aucal::kJpegIccChunk, 1), &out, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

}  // namespace
