// The image in memory for everything outside the engine and the drivers:
// the host, the simulators, the benchmarks, the fuzz targets and the tests.
//
// Rows run from the top of the picture down, pixels from left to right, no
// padding between rows. A pixel is `channels` samples: 1 grey, 2 grey and
// alpha, 3 red, green, blue, 4 red, green, blue, alpha. A sample is one byte
// (8 bits) or one native-endian 16-bit word (16 bits), never scaled: what a
// file stores is what the image holds.
#ifndef AUCAL_IMAGING_IMAGE_H
#define AUCAL_IMAGING_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace imaging {

// What a file says about its picture besides the samples. Codecs fill what
// their format holds and write back what it can carry.
struct Metadata {
    double xDpi = 0;  // pixels per inch across; 0: not stated
    double yDpi = 0;  // pixels per inch down; 0: not stated
    std::string dateTime;                                    // as the file states it
    std::vector<std::pair<std::string, std::string>> text;  // keyword, value
    std::vector<std::uint8_t> iccProfile;                    // embedded profile; empty: none
    int orientation = 1;  // TIFF orientation of the stored rows; 1: top row first, pixels from the left
};

struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;       // 1..4, see above
    int bitsPerSample = 8;  // 8 or 16
    std::vector<std::uint8_t> pixels;
    Metadata metadata;

    // A zero-filled image; nothing allocated for a size of 0.
    static Image make(int width, int height, int channels = 3, int bitsPerSample = 8);

    bool hasAlpha() const { return channels == 2 || channels == 4; }
    std::size_t bytesPerSample() const { return bitsPerSample > 8 ? 2 : 1; }
    std::size_t bytesPerPixel() const { return bytesPerSample() * static_cast<std::size_t>(channels); }
    std::size_t rowBytes() const { return bytesPerPixel() * static_cast<std::size_t>(width); }
    std::uint8_t* row(int y) { return pixels.data() + rowBytes() * static_cast<std::size_t>(y); }
    const std::uint8_t* row(int y) const { return pixels.data() + rowBytes() * static_cast<std::size_t>(y); }
    // Sample c of pixel (x, y), at either depth.
    unsigned sample(int x, int y, int c) const;
    void setSample(int x, int y, int c, unsigned value);
};

// The sentence that refuses a shape no image of this type has (channels
// outside 1..4, a depth other than 8 or 16, a negative size); empty when the
// shape is one of ours.
std::string shapeProblem(int width, int height, int channels, int bitsPerSample);

// True for 8-bit RGB without alpha, the pixels the engine's exports take;
// otherwise false with a sentence naming what the image is instead.
bool isRgb8(const Image& image, std::string* error);

}  // namespace imaging

#endif
