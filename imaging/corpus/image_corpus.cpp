#include "image_corpus.h"

#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <vector>

#include <jpeglib.h>

namespace corpus {

namespace {

using imaging::Format;

const std::vector<Kind> kKinds = {
    {"png-grey8.png", Format::Png, Variant::Plain, 24, 16, 1, 8, 0, nullptr},
    {"png-grey-alpha8.png", Format::Png, Variant::Plain, 24, 16, 2, 8, 0, nullptr},
    {"png-rgb8.png", Format::Png, Variant::Plain, 24, 16, 3, 8, 0, nullptr},
    {"png-rgba8.png", Format::Png, Variant::Plain, 24, 16, 4, 8, 0, nullptr},
    {"png-rgb16-flat-gamma1.png", Format::Png, Variant::GammaOne, 24, 16, 3, 16, 0, nullptr},
    {"png-grey16.png", Format::Png, Variant::Plain, 24, 16, 1, 16, 0, nullptr},
    {"png-rgba16.png", Format::Png, Variant::Plain, 24, 16, 4, 16, 0, nullptr},
    {"png-palette-trns.png", Format::Png, Variant::Palette, 24, 16, 4, 8, 0, nullptr},
    {"png-interlaced.png", Format::Png, Variant::Interlaced, 24, 16, 3, 8, 0, nullptr},
    {"png-metadata.png", Format::Png, Variant::Metadata, 24, 16, 3, 8, 0, nullptr},
    {"png-huge-chunk.png", Format::Png, Variant::HugeChunk, 24, 16, 3, 8, 0, "more than the file holds"},
    {"tif-rgb8.tif", Format::Tiff, Variant::Plain, 24, 16, 3, 8, 0, nullptr},
    {"tif-rgb16.tif", Format::Tiff, Variant::Plain, 24, 16, 3, 16, 0, nullptr},
    {"tif-rgba8.tif", Format::Tiff, Variant::Plain, 24, 16, 4, 8, 0, nullptr},
    {"tif-rgba16.tif", Format::Tiff, Variant::Plain, 24, 16, 4, 16, 0, nullptr},
    {"tif-grey16.tif", Format::Tiff, Variant::Plain, 24, 16, 1, 16, 0, nullptr},
    {"tif-grey-alpha8.tif", Format::Tiff, Variant::Plain, 24, 16, 2, 8, 0, nullptr},
    {"tif-miniswhite8.tif", Format::Tiff, Variant::MinIsWhite, 24, 16, 1, 8, 0, nullptr},
    {"tif-palette.tif", Format::Tiff, Variant::Palette, 24, 16, 3, 8, 0, nullptr},
    {"tif-tiled.tif", Format::Tiff, Variant::Tiled, 40, 30, 3, 8, 0, nullptr},
    {"tif-two-pages.tif", Format::Tiff, Variant::TwoPages, 24, 16, 3, 16, 0, nullptr},
    {"tif-orientation6.tif", Format::Tiff, Variant::Orientation6, 24, 16, 3, 8, 0, nullptr},
    {"tif-metadata.tif", Format::Tiff, Variant::Metadata, 24, 16, 3, 8, 0, nullptr},
    {"tif-cmyk.tif", Format::Tiff, Variant::Cmyk, 24, 16, 4, 8, 0, "CMYK"},
    {"tif-lab.tif", Format::Tiff, Variant::Lab, 24, 16, 3, 8, 0, "Lab"},
    {"tif-float.tif", Format::Tiff, Variant::Float, 24, 16, 3, 32, 0, "floating-point"},
    {"tif-five-channels.tif", Format::Tiff, Variant::FiveChannels, 24, 16, 5, 8, 0, "5 channels"},
    {"tif-planes.tif", Format::Tiff, Variant::SeparatePlanes, 24, 16, 3, 8, 0, "separately"},
    {"jpg-rgb.jpg", Format::Jpeg, Variant::Plain, 32, 24, 3, 8, 10, nullptr},
    {"jpg-grey.jpg", Format::Jpeg, Variant::Plain, 32, 24, 1, 8, 6, nullptr},
    {"jpg-metadata.jpg", Format::Jpeg, Variant::Metadata, 32, 24, 3, 8, 10, nullptr},
    {"jpg-cmyk.jpg", Format::Jpeg, Variant::Cmyk, 32, 24, 4, 8, 0, "CMYK"},
    {"tga-rgb.tga", Format::Targa, Variant::Plain, 24, 16, 3, 8, 0, nullptr},
    {"tga-rgba-top-left.tga", Format::Targa, Variant::TopLeft, 24, 16, 4, 8, 0, nullptr},
};

// The palette: 16 entries, entry i = (16 i, 255 - 16 i, 8 i), alpha 17 i.
constexpr int kPaletteSize = 16;
int paletteIndex(int x, int y) { return (x + y) % kPaletteSize; }

// Samples as stored, before any reader turns them (white-is-zero grey).
unsigned stored(const Kind& k, int page, int x, int y, int c) {
    if (k.variant == Variant::MinIsWhite) return 255 - expectedSample(k, page, x, y, c);
    return expectedSample(k, page, x, y, c);
}

// One row of a kind's samples at its stored depth, machine order.
std::vector<unsigned char> rowOf(const Kind& k, int page, int y, int channels, int bits) {
    const std::size_t bytes = bits / 8;
    std::vector<unsigned char> row(static_cast<std::size_t>(k.width) * channels * bytes);
    for (int x = 0; x < k.width; ++x)
        for (int c = 0; c < channels; ++c) {
            const unsigned v = stored(k, page, x, y, c);
            unsigned char* p = row.data() + (static_cast<std::size_t>(x) * channels + c) * bytes;
            if (bytes == 1) {
                *p = static_cast<unsigned char>(v);
            } else if (bytes == 2) {
                const auto w = static_cast<std::uint16_t>(v);
                std::memcpy(p, &w, 2);
            } else {
                const float f = static_cast<float>(v) / 255.0f;
                std::memcpy(p, &f, 4);
            }
        }
    return row;
}

bool fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

struct PngJump {
    std::jmp_buf jump;
};
void pngError(png_structp png, png_const_charp) { std::longjmp(static_cast<PngJump*>(png_get_error_ptr(png))->jump, 1); }

// Runs inside the setjmp of writePng; holds no object with a destructor.
bool writePngC(png_structp png, png_infop info, PngJump* jump, const Kind* k, unsigned char** rows,
               const std::vector<unsigned char>* profile) {
    if (setjmp(jump->jump)) return false;
    const bool palette = k->variant == Variant::Palette;
    static const int kTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGBA};
    png_set_IHDR(png, info, static_cast<png_uint_32>(k->width), static_cast<png_uint_32>(k->height), k->bits,
                 palette ? PNG_COLOR_TYPE_PALETTE : kTypes[k->channels],
                 k->variant == Variant::Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        png_color colours[kPaletteSize];
        png_byte alpha[kPaletteSize];
        for (int i = 0; i < kPaletteSize; ++i) {
            colours[i] = {static_cast<png_byte>(16 * i), static_cast<png_byte>(255 - 16 * i), static_cast<png_byte>(8 * i)};
            alpha[i] = static_cast<png_byte>(17 * i);
        }
        png_set_PLTE(png, info, colours, kPaletteSize);
        png_set_tRNS(png, info, alpha, kPaletteSize, nullptr);
    }
    if (k->variant == Variant::GammaOne) png_set_gAMA_fixed(png, info, PNG_FP_1);
    if (k->variant == Variant::Metadata) {
        png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);  // 300 dpi
        png_text text{};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<png_charp>(kTextKey);
        text.text = const_cast<png_charp>(kTextValue);
        png_set_text(png, info, &text, 1);
        png_time when{2024, 5, 6, 7, 8, 9};
        png_set_tIME(png, info, &when);
        png_set_iCCP(png, info, "corpus", PNG_COMPRESSION_TYPE_BASE, profile->data(),
                     static_cast<png_uint_32>(profile->size()));
    }
    png_write_info(png, info);
    const std::uint16_t probe = 1;
    if (k->bits == 16 && *reinterpret_cast<const unsigned char*>(&probe) == 1) png_set_swap(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

// A tEXt chunk header stating 0x7A000000 bytes, followed by 12 bytes of
// text, put after the IHDR chunk (signature 8 + IHDR 25 bytes).
bool insertHugeChunk(const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return fail(error, "cannot reopen " + path);
    std::vector<unsigned char> bytes;
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    const unsigned char chunk[] = {0x7A, 0, 0, 0, 't', 'E', 'X', 't', 'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i', '!', '!'};
    bytes.insert(bytes.begin() + 33, std::begin(chunk), std::end(chunk));
    f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f != nullptr) std::fclose(f);
    return ok || fail(error, "cannot rewrite " + path);
}

bool writePng(const Kind& k, const std::string& path, std::string* error) {
    std::vector<std::vector<unsigned char>> data;
    std::vector<unsigned char*> rows;
    for (int y = 0; y < k.height; ++y) {
        if (k.variant == Variant::Palette) {
            std::vector<unsigned char> row(static_cast<std::size_t>(k.width));
            for (int x = 0; x < k.width; ++x) row[x] = static_cast<unsigned char>(paletteIndex(x, y));
            data.push_back(row);
        } else {
            data.push_back(rowOf(k, 0, y, k.channels, k.bits));
        }
    }
    for (auto& r : data) rows.push_back(r.data());
    const std::vector<unsigned char> profile = profileBytes();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return fail(error, "cannot create " + path);
    PngJump jump;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &jump, pngError, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    const bool ok = writePngC(png, info, &jump, &k, rows.data(), &profile);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    if (!ok) return fail(error, "libpng could not write " + path);
    return k.variant != Variant::HugeChunk || insertHugeChunk(path, error);
}

bool writeTiffPage(TIFF* t, const Kind& k, int page) {
    const bool palette = k.variant == Variant::Palette;
    const int channels = palette ? 1 : k.channels;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(k.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(k.height));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(channels));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(k.bits));
    TIFFSetField(t, TIFFTAG_COMPRESSION, page == 0 ? COMPRESSION_LZW : COMPRESSION_ADOBE_DEFLATE);
    const bool planes = k.variant == Variant::SeparatePlanes;
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    std::uint16_t photometric = channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (palette) photometric = PHOTOMETRIC_PALETTE;
    if (k.variant == Variant::MinIsWhite) photometric = PHOTOMETRIC_MINISWHITE;
    if (k.variant == Variant::Cmyk) photometric = PHOTOMETRIC_SEPARATED;
    if (k.variant == Variant::Lab) photometric = PHOTOMETRIC_CIELAB;
    if (k.variant == Variant::FiveChannels) photometric = PHOTOMETRIC_RGB;
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    if (k.variant == Variant::Float) TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    const int extra = photometric == PHOTOMETRIC_RGB ? channels - 3 : photometric == PHOTOMETRIC_MINISBLACK ? channels - 1 : 0;
    if (extra > 0) {
        std::vector<std::uint16_t> kinds(static_cast<std::size_t>(extra), EXTRASAMPLE_UNSPECIFIED);
        kinds[0] = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(extra), kinds.data());
    }
    if (palette) {
        std::vector<std::uint16_t> map[3];
        for (auto& m : map) m.assign(256, 0);
        for (int i = 0; i < kPaletteSize; ++i) {
            map[0][i] = static_cast<std::uint16_t>(16 * i * 257);
            map[1][i] = static_cast<std::uint16_t>((255 - 16 * i) * 257);
            map[2][i] = static_cast<std::uint16_t>(8 * i * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
    }
    if (k.variant == Variant::Orientation6) TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP);
    if (k.variant == Variant::TwoPages) {
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(page), static_cast<std::uint16_t>(2));
    }
    if (k.variant == Variant::Metadata) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(kDpi));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(kDpi));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, kTextValue);
        TIFFSetField(t, TIFFTAG_DATETIME, kDate);
        const std::vector<unsigned char> profile = profileBytes();
        TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(profile.size()), profile.data());
    }
    if (k.variant == Variant::Tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16u);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16u);
        const std::size_t pixel = static_cast<std::size_t>(channels) * (k.bits / 8);
        std::vector<unsigned char> tile(16 * 16 * pixel);
        for (int ty = 0; ty < k.height; ty += 16)
            for (int tx = 0; tx < k.width; tx += 16) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int y = ty; y < std::min(ty + 16, k.height); ++y) {
                    const auto row = rowOf(k, page, y, channels, k.bits);
                    for (int x = tx; x < std::min(tx + 16, k.width); ++x)
                        std::memcpy(&tile[((y - ty) * 16 + (x - tx)) * pixel], &row[x * pixel], pixel);
                }
                if (TIFFWriteTile(t, tile.data(), static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 0, 0) < 0)
                    return false;
            }
        return true;
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 5u);
    for (int s = 0; s < (planes ? channels : 1); ++s)
        for (int y = 0; y < k.height; ++y) {
            std::vector<unsigned char> row;
            if (palette) {
                for (int x = 0; x < k.width; ++x) row.push_back(static_cast<unsigned char>(paletteIndex(x, y)));
            } else if (planes) {
                const auto all = rowOf(k, page, y, channels, k.bits);
                for (int x = 0; x < k.width; ++x) row.push_back(all[x * channels + s]);
            } else {
                row = rowOf(k, page, y, channels, k.bits);
            }
            if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), static_cast<std::uint16_t>(s)) < 0)
                return false;
        }
    return true;
}

bool writeTiff(const Kind& k, const std::string& path, std::string* error) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    if (t == nullptr) return fail(error, "cannot create " + path);
    bool ok = writeTiffPage(t, k, 0);
    if (ok && k.variant == Variant::TwoPages) ok = TIFFWriteDirectory(t) && writeTiffPage(t, k, 1);
    TIFFClose(t);
    return ok || fail(error, "libtiff could not write " + path);
}

struct JpegJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
void jpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegJump*>(info->err)->jump, 1); }

bool writeJpegC(jpeg_compress_struct* c, JpegJump* jump, const Kind* k, unsigned char** rows,
                const std::vector<unsigned char>* profile) {
    if (setjmp(jump->jump)) return false;
    c->image_width = static_cast<JDIMENSION>(k->width);
    c->image_height = static_cast<JDIMENSION>(k->height);
    c->input_components = k->channels;
    c->in_color_space = k->channels == 1 ? JCS_GRAYSCALE : k->channels == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(c);
    jpeg_set_quality(c, 95, TRUE);
    if (k->variant == Variant::Metadata) {
        c->density_unit = 1;
        c->X_density = c->Y_density = static_cast<UINT16>(kDpi);
    }
    jpeg_start_compress(c, TRUE);
    if (k->variant == Variant::Metadata) {
        jpeg_write_marker(c, JPEG_COM, reinterpret_cast<const JOCTET*>(kTextValue),
                          static_cast<unsigned>(std::strlen(kTextValue)));
        jpeg_write_icc_profile(c, profile->data(), static_cast<unsigned>(profile->size()));
    }
    jpeg_write_scanlines(c, rows, static_cast<JDIMENSION>(k->height));
    jpeg_finish_compress(c);
    return true;
}

bool writeJpeg(const Kind& k, const std::string& path, std::string* error) {
    std::vector<std::vector<unsigned char>> data;
    std::vector<unsigned char*> rows;
    for (int y = 0; y < k.height; ++y) data.push_back(rowOf(k, 0, y, k.channels, 8));
    for (auto& r : data) rows.push_back(r.data());
    const std::vector<unsigned char> profile = profileBytes();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return fail(error, "cannot create " + path);
    jpeg_compress_struct c{};
    JpegJump jump;
    c.err = jpeg_std_error(&jump.manager);
    jump.manager.error_exit = jpegError;
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    const bool ok = writeJpegC(&c, &jump, &k, rows.data(), &profile);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return ok || fail(error, "libjpeg could not write " + path);
}

// Targa by hand: the header bytes and rows in the stored order.
bool writeTarga(const Kind& k, const std::string& path, std::string* error) {
    const bool topFirst = k.variant == Variant::TopLeft;
    std::vector<unsigned char> f(18, 0);
    f[2] = 2;
    f[12] = static_cast<unsigned char>(k.width);
    f[14] = static_cast<unsigned char>(k.height);
    f[16] = static_cast<unsigned char>(8 * k.channels);
    f[17] = static_cast<unsigned char>((topFirst ? 0x20 : 0) | (k.channels == 4 ? 8 : 0));
    for (int i = 0; i < k.height; ++i) {
        const int y = topFirst ? i : k.height - 1 - i;
        auto row = rowOf(k, 0, y, k.channels, 8);
        for (int x = 0; x < k.width; ++x) std::swap(row[x * k.channels], row[x * k.channels + 2]);
        f.insert(f.end(), row.begin(), row.end());
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return fail(error, "cannot create " + path);
    const bool ok = std::fwrite(f.data(), 1, f.size(), out) == f.size();
    return (std::fclose(out) == 0 && ok) || fail(error, "cannot write " + path);
}

}  // namespace

const std::vector<Kind>& kinds() { return kKinds; }

unsigned expectedSample(const Kind& k, int page, int x, int y, int c) {
    if (k.variant == Variant::Palette) {
        const int i = paletteIndex(x, y);
        const unsigned entry[4] = {16u * i, 255u - 16u * i, 8u * i, 17u * i};
        return entry[c];
    }
    if (k.variant == Variant::GammaOne) {
        const unsigned flat[3] = {0x8080, 0x4040, 0xC0C0};
        return flat[c];
    }
    if (k.format == Format::Jpeg) return static_cast<unsigned>(60 + 2 * x + y + 30 * c);
    if (k.bits == 16) return static_cast<unsigned>((x * 1031 + y * 2053 + c * 12345 + page * 777) & 0xFFFF);
    return static_cast<unsigned>((x * 7 + y * 13 + c * 50 + page * 3) & 0xFF);
}

std::vector<unsigned char> profileBytes() {
    // Made once per process: LittleCMS stamps a profile with the time it is
    // saved, so two saves a second apart differ in their header date.
    static const std::vector<unsigned char> made = [] {
        cmsHPROFILE p = cmsCreate_sRGBProfile();
        cmsUInt32Number size = 0;
        cmsSaveProfileToMem(p, nullptr, &size);
        std::vector<unsigned char> bytes(size);
        cmsSaveProfileToMem(p, bytes.data(), &size);
        cmsCloseProfile(p);
        return bytes;
    }();
    return made;
}

bool write(const Kind& k, const std::string& path, std::string* error) {
    switch (k.format) {
        case Format::Png: return writePng(k, path, error);
        case Format::Tiff: return writeTiff(k, path, error);
        case Format::Jpeg: return writeJpeg(k, path, error);
        case Format::Targa: return writeTarga(k, path, error);
        case Format::Unknown: break;
    }
    return fail(error, "no writer for " + std::string(k.file));
}

bool writeAll(const std::string& dir, std::string* error) {
    std::filesystem::create_directories(dir);
    for (const Kind& k : kKinds)
        if (!write(k, (std::filesystem::path(dir) / k.file).string(), error)) return false;
    return true;
}

}  // namespace corpus
