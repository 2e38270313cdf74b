// The Targa header of every image file that passes between the parts of the
// system: uncompressed true colour, 24 bits per pixel, 18 bytes, no image ID
// and no colour map. Pixel rows follow at offset 18, width x 3 bytes each,
// no padding, each pixel blue, green, red. All multi-byte fields are
// little-endian; the record is plain bytes so that its layout is the same on
// every platform and byte order.
#ifndef QEL_TARGA_H
#define QEL_TARGA_H

#include <cstddef>
#include <cstdint>

namespace qel {

struct TargaImageFile {
    std::uint8_t idLength;            // 0: no image ID field
    std::uint8_t colourMapType;       // 0: no colour map
    std::uint8_t imageType;           // 2: uncompressed true colour
    std::uint8_t colourMapFirst[2];   // 0
    std::uint8_t colourMapLength[2];  // 0
    std::uint8_t colourMapEntryBits;  // 0
    std::uint8_t xOrigin[2];          // 0
    std::uint8_t yOrigin[2];          // 0
    std::uint8_t widthLE[2];          // pixels
    std::uint8_t heightLE[2];         // pixels
    std::uint8_t bitsPerPixel;        // 24
    std::uint8_t descriptor;          // 0: origin at the bottom left, no attribute bits

    std::uint16_t width() const { return load16(widthLE); }
    std::uint16_t height() const { return load16(heightLE); }
    void setWidth(std::uint16_t v) { store16(widthLE, v); }
    void setHeight(std::uint16_t v) { store16(heightLE, v); }

    // The header as written for a width x height image: every field but the
    // size at the value above.
    static TargaImageFile make(std::uint16_t w, std::uint16_t h) {
        TargaImageFile t{};
        t.imageType = kTrueColourType;
        t.bitsPerPixel = kBitsPerPixel;
        t.setWidth(w);
        t.setHeight(h);
        return t;
    }

    // True for the one kind of file the system reads: uncompressed true
    // colour, 24 bits per pixel, no colour map (an ID field or colour map
    // would move the pixel data away from offset 18).
    bool isUncompressedTrueColour24() const {
        return imageType == kTrueColourType && bitsPerPixel == kBitsPerPixel && idLength == 0 &&
               colourMapType == 0;
    }

    static constexpr std::uint8_t kTrueColourType = 2;
    static constexpr std::uint8_t kBitsPerPixel = 24;

private:
    static std::uint16_t load16(const std::uint8_t* p) {
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    static void store16(std::uint8_t* p, std::uint16_t v) {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
};

static_assert(sizeof(TargaImageFile) == 18);
static_assert(offsetof(TargaImageFile, idLength) == 0);
static_assert(offsetof(TargaImageFile, colourMapType) == 1);
static_assert(offsetof(TargaImageFile, imageType) == 2);
static_assert(offsetof(TargaImageFile, colourMapFirst) == 3);
static_assert(offsetof(TargaImageFile, colourMapLength) == 5);
static_assert(offsetof(TargaImageFile, colourMapEntryBits) == 7);
static_assert(offsetof(TargaImageFile, xOrigin) == 8);
static_assert(offsetof(TargaImageFile, yOrigin) == 10);
static_assert(offsetof(TargaImageFile, widthLE) == 12);
static_assert(offsetof(TargaImageFile, heightLE) == 14);
static_assert(offsetof(TargaImageFile, bitsPerPixel) == 16);
static_assert(offsetof(TargaImageFile, descriptor) == 17);

constexpr std::uint32_t kTargaHeaderBytes = sizeof(TargaImageFile);
constexpr std::uint32_t kTargaBytesPerPixel = 3;

// File offset of pixel (x, y), y counted in file order. 64-bit so that no
// declared size can wrap it.
constexpr std::int64_t targaPixelOffset(std::int64_t width, std::int64_t x, std::int64_t y) {
    return kTargaHeaderBytes + (width * y + x) * kTargaBytesPerPixel;
}

}  // namespace qel

#endif
