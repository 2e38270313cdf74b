// The scanned image file: an uncompressed 24-bit Targa, rows bottom-up,
// pixels blue, green, red, width a multiple of 4 pixels.
#ifndef SCANNER_DRIVER_IMAGE_OUTPUT_H
#define SCANNER_DRIVER_IMAGE_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "command_layer.h"
#include "platform/raii.hpp"

namespace drv {

#pragma pack(push, 1)
struct TargaFileHeader {
    std::uint8_t idLength;        // 0
    std::uint8_t colourMapType;   // 0
    std::uint8_t imageType;       // 2: uncompressed true colour
    std::uint8_t colourMap[5];    // 0
    std::uint16_t xOrigin;        // 0
    std::uint16_t yOrigin;        // 0
    std::uint16_t width;          // W
    std::uint16_t height;         // H
    std::uint8_t bitsPerPixel;    // 24
    std::uint8_t descriptor;      // 0: bottom-left origin
};
#pragma pack(pop)
static_assert(sizeof(TargaFileHeader) == 18);
static_assert(offsetof(TargaFileHeader, width) == 12);
static_assert(offsetof(TargaFileHeader, bitsPerPixel) == 16);

TargaFileHeader targaHeader(std::uint16_t width, std::uint16_t height);

// The host's image file for one run. Unless kept, the file this run created
// is closed and removed when the object goes, so a failed run leaves no
// partial image behind.
class ImageFile {
public:
    ImageFile() = default;
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Creates (or truncates) the file for writing.
    bool create(const char* path);
    bool writeHeader(const ImageGeometry& geometry);
    // Rows from buffer row 0 upwards, 3 x W bytes each, reporting each row
    // with its 1-based number and the total H. False on a short write.
    bool writeRows(const std::uint8_t* image, const ImageGeometry& geometry, Progress& progress);
    // Closes the finished file; it stays.
    bool keep();
    // Closes and removes the file now.
    void discard();

private:
    bool write(const void* bytes, std::uint32_t count);
    pf::FileHandle file_;
    std::string path_;
};

}  // namespace drv

#endif
