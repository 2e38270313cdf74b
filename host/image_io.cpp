#include "image_io.h"

#include <cstdio>
#include <utility>

#include "imaging/image_file.h"
#include "platform/host_system.h"

namespace aucal {

namespace {

// Sample c of the stored pixel that shows at (x, y) of the upright picture,
// for the eight TIFF orientations (what the first stored row and column are:
// 1 top/left, 2 top/right, 3 bottom/right, 4 bottom/left, 5 left/top,
// 6 right/top, 7 right/bottom, 8 left/bottom).
unsigned uprightSample(const imaging::Image& stored, int orientation, int x, int y, int c) {
    const bool swapped = orientation >= 5;
    const int w = swapped ? stored.height : stored.width;
    const int h = swapped ? stored.width : stored.height;
    int row = y, column = x;
    switch (orientation) {
        case 2: column = w - 1 - x; break;
        case 3: row = h - 1 - y, column = w - 1 - x; break;
        case 4: row = h - 1 - y; break;
        case 5: row = x, column = y; break;
        case 6: row = w - 1 - x, column = y; break;
        case 7: row = w - 1 - x, column = h - 1 - y; break;
        case 8: row = x, column = h - 1 - y; break;
        default: break;
    }
    return stored.sample(column, row, c);
}

// The stored picture as 8-bit RGB rows top first; false with the reason when
// it has transparent pixels.
bool toUprightRgb8(const imaging::Image& stored, RgbImage* out, std::string* error) {
    const int orientation = stored.metadata.orientation >= 1 && stored.metadata.orientation <= 8
                                ? stored.metadata.orientation
                                : 1;
    const bool swapped = orientation >= 5;
    RgbImage rgb = RgbImage::make(swapped ? stored.height : stored.width, swapped ? stored.width : stored.height);
    const int colours = stored.hasAlpha() ? stored.channels - 1 : stored.channels;
    const unsigned opaque = stored.bitsPerSample == 16 ? 65535u : 255u;
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x) {
            if (stored.hasAlpha() && uprightSample(stored, orientation, x, y, colours) != opaque) {
                *error = "pixel " + std::to_string(x) + ", " + std::to_string(y) +
                         " is not opaque; a scan's alpha is dropped only when every pixel is opaque, since a "
                         "transparent pixel gives no level to characterise with (save the scan without alpha)";
                return false;
            }
            std::uint8_t* p = rgb.row(y) + 3 * static_cast<std::size_t>(x);
            for (int c = 0; c < 3; ++c) {
                const unsigned v = uprightSample(stored, orientation, x, y, colours == 1 ? 0 : c);
                p[c] = static_cast<std::uint8_t>(stored.bitsPerSample == 16 ? (v * 255u + 32767u) / 65535u : v);
            }
        }
    *out = std::move(rgb);
    return true;
}

}  // namespace

bool readImage(const std::string& path, RgbImage* image, std::string* error, std::string* storedAs) {
    auto reader = imaging::openImage(path, error);
    if (!reader) return false;
    imaging::Image stored = reader->shape();
    stored.pixels.resize(stored.rowBytes() * static_cast<std::size_t>(stored.height));
    if (!reader->readRows(stored.height, stored.pixels.data(), error)) return false;
    if (!toUprightRgb8(stored, image, error)) {
        *error = path + ": " + *error;
        return false;
    }
    if (storedAs != nullptr)
        *storedAs = std::string(imaging::formatName(reader->facts().format)) + ", " + reader->facts().storedAs;
    return true;
}

bool writeImage(const std::string& path, const RgbImage& image, std::string* error) {
    if (imaging::writeImageFile(path, imaging::formatFromPath(path), image, {}, error)) return true;
    pfHostRemoveFile(path.c_str());
    return false;
}

}  // namespace aucal
