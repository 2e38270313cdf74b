#include "image_io.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace aucal {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Targa, uncompressed true colour, 24 bits. Stored rows run from the bottom of
// the picture up unless bit 5 of the descriptor says top first.
bool readTarga(const std::string& path, RgbImage* image, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 18) {
        *error = path + " is too short for a Targa header";
        return false;
    }
    const int idLength = bytes[0];
    const int type = bytes[2];
    const int width = bytes[12] | (bytes[13] << 8);
    const int height = bytes[14] | (bytes[15] << 8);
    const int bits = bytes[16];
    const bool topFirst = (bytes[17] & 0x20) != 0;
    if (bytes[1] != 0 || type != 2 || bits != 24) {
        *error = path + " is not an uncompressed 24-bit true-colour Targa image";
        return false;
    }
    if (width == 0 || height == 0) {
        *error = path + " declares an empty image";
        return false;
    }
    const std::size_t start = 18 + static_cast<std::size_t>(idLength);
    const std::size_t need = start + 3ull * width * height;
    if (bytes.size() < need) {
        *error = path + " is truncated: " + std::to_string(bytes.size()) + " of " + std::to_string(need) + " bytes";
        return false;
    }
    image->width = width;
    image->height = height;
    image->pixels.resize(3ull * width * height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = &bytes[start + 3ull * width * y];
        const int row = topFirst ? y : height - 1 - y;
        std::uint8_t* dst = &image->pixels[3ull * width * row];
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return true;
}

bool writeTarga(const std::string& path, const RgbImage& image, std::string* error) {
    if (image.width > 65535 || image.height > 65535) {
        *error = "an image of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                 " does not fit a Targa file";
        return false;
    }
    std::vector<std::uint8_t> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = static_cast<std::uint8_t>(image.width);
    bytes[13] = static_cast<std::uint8_t>(image.width >> 8);
    bytes[14] = static_cast<std::uint8_t>(image.height);
    bytes[15] = static_cast<std::uint8_t>(image.height >> 8);
    bytes[16] = 24;
    bytes.reserve(18 + image.pixels.size());
    for (int y = image.height - 1; y >= 0; --y) {
        const std::uint8_t* src = &image.pixels[3ull * image.width * y];
        for (int x = 0; x < image.width; ++x) {
            bytes.push_back(src[3 * x + 2]);
            bytes.push_back(src[3 * x + 1]);
            bytes.push_back(src[3 * x]);
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool readPng(const std::string& path, RgbImage* image, std::string* error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        *error = "cannot read " + path + " as PNG: " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image->width = static_cast<int>(png.width);
    image->height = static_cast<int>(png.height);
    image->pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr)) {
        *error = "cannot read " + path + " as PNG: " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

bool writePng(const std::string& path, const RgbImage& image, std::string* error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
        *error = "cannot write " + path + " as PNG: " + png.message;
        return false;
    }
    return true;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

bool readTiff(const std::string& path, RgbImage* image, std::string* error) {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "r"));
    if (!tiff) {
        *error = "cannot read " + path + " as TIFF";
        return false;
    }
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &h);
    if (w == 0 || h == 0 || w > 65535 || h > 65535) {
        *error = path + " has an unsupported size";
        return false;
    }
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(w) * h);
    if (!TIFFReadRGBAImageOriented(tiff.get(), w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
        *error = "cannot decode " + path;
        return false;
    }
    image->width = static_cast<int>(w);
    image->height = static_cast<int>(h);
    image->pixels.resize(3ull * w * h);
    for (std::size_t i = 0; i < raster.size(); ++i) {
        image->pixels[3 * i] = static_cast<std::uint8_t>(TIFFGetR(raster[i]));
        image->pixels[3 * i + 1] = static_cast<std::uint8_t>(TIFFGetG(raster[i]));
        image->pixels[3 * i + 2] = static_cast<std::uint8_t>(TIFFGetB(raster[i]));
    }
    return true;
}

bool writeTiff(const std::string& path, const RgbImage& image, std::string* error) {
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "w"));
    if (!tiff) {
        *error = "cannot write " + path;
        return false;
    }
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 64);
    for (int y = 0; y < image.height; ++y) {
        auto* row = const_cast<std::uint8_t*>(&image.pixels[3ull * image.width * y]);
        if (TIFFWriteScanline(t, row, static_cast<std::uint32_t>(y), 0) < 0) {
            *error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

}  // namespace

ImageFormat formatFromPath(const std::string& path) {
    const std::string ext = lower(std::filesystem::path(path).extension().string());
    if (ext == ".tga") return ImageFormat::Targa;
    if (ext == ".png") return ImageFormat::Png;
    if (ext == ".tif" || ext == ".tiff") return ImageFormat::Tiff;
    return ImageFormat::Unknown;
}

const char* formatName(ImageFormat f) {
    switch (f) {
        case ImageFormat::Targa: return "Targa";
        case ImageFormat::Png: return "PNG";
        case ImageFormat::Tiff: return "TIFF";
        case ImageFormat::Unknown: break;
    }
    return "unknown";
}

bool readImage(const std::string& path, RgbImage* image, std::string* error) {
    switch (formatFromPath(path)) {
        case ImageFormat::Targa: return readTarga(path, image, error);
        case ImageFormat::Png: return readPng(path, image, error);
        case ImageFormat::Tiff: return readTiff(path, image, error);
        case ImageFormat::Unknown: break;
    }
    *error = path + ": unknown image type (use .tga, .png, .tif or .tiff)";
    return false;
}

bool writeImage(const std::string& path, const RgbImage& image, std::string* error) {
    bool ok = false;
    switch (formatFromPath(path)) {
        case ImageFormat::Targa: ok = writeTarga(path, image, error); break;
        case ImageFormat::Png: ok = writePng(path, image, error); break;
        case ImageFormat::Tiff: ok = writeTiff(path, image, error); break;
        case ImageFormat::Unknown:
            *error = path + ": unknown image type (use .tga, .png, .tif or .tiff)";
            return false;
    }
    if (!ok) std::remove(path.c_str());
    return ok;
}

}  // namespace aucal
