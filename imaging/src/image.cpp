#include "imaging/image.h"

#include <cstring>

namespace imaging {

Image Image::make(int width, int height, int channels, int bitsPerSample) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.bitsPerSample = bitsPerSample;
    if (width > 0 && height > 0) image.pixels.assign(image.rowBytes() * static_cast<std::size_t>(height), 0);
    return image;
}

unsigned Image::sample(int x, int y, int c) const {
    const std::uint8_t* p = row(y) + bytesPerPixel() * static_cast<std::size_t>(x) + bytesPerSample() * c;
    if (bitsPerSample == 8) return *p;
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Image::setSample(int x, int y, int c, unsigned value) {
    std::uint8_t* p = row(y) + bytesPerPixel() * static_cast<std::size_t>(x) + bytesPerSample() * c;
    if (bitsPerSample == 8) {
        *p = static_cast<std::uint8_t>(value);
        return;
    }
    const auto v = static_cast<std::uint16_t>(value);
    std::memcpy(p, &v, sizeof v);
}

std::string shapeProblem(int width, int height, int channels, int bitsPerSample) {
    if (width < 0 || height < 0) return "a negative image size";
    if (channels < 1 || channels > 4)
        return std::to_string(channels) + " channels (grey, grey and alpha, RGB and RGBA are read)";
    if (bitsPerSample != 8 && bitsPerSample != 16)
        return std::to_string(bitsPerSample) + " bits per sample (8 and 16 are read)";
    return {};
}

bool isRgb8(const Image& image, std::string* error) {
    if (image.channels == 3 && image.bitsPerSample == 8) return true;
    static const char* const kinds[] = {"", "grey", "grey and alpha", "RGB", "RGBA"};
    const bool known = image.channels >= 1 && image.channels <= 4;
    *error = std::string("an image of ") + (known ? kinds[image.channels] : "unknown channels") + " at " +
             std::to_string(image.bitsPerSample) + " bits per sample (8-bit RGB is needed here)";
    return false;
}

}  // namespace imaging
