#include "image_io.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "imaging/targa.h"

namespace aucal {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool readTargaRgb(const std::string& path, RgbImage* image, std::string* error) {
    RgbImage read;
    if (!imaging::readTarga(path, &read, error)) return false;
    if (!imaging::isRgb8(read, error)) {
        *error = path + ": " + *error;
        return false;
    }
    *image = std::move(read);
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
        case ImageFormat::Targa: return readTargaRgb(path, image, error);
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
        case ImageFormat::Targa: ok = imaging::writeTarga(path, image, error); break;
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
