// The Targa codec of everything outside the engine and the drivers (which
// keep their own reader and writer of the same files).
//
// Reading: uncompressed true colour (image type 2) of 24 or 32 bits per
// pixel, and uncompressed grey (type 3) of 8 bits. The identification field
// and a colour map that a true-colour file may carry are skipped. One
// orientation rule: the descriptor's origin bits are honoured (bit 5 set:
// the first stored row is the top one, as written by most programs; clear:
// the bottom one, as the system's own files are written; bit 4 set: pixels
// run from the right). Refused, by name: colour-mapped and run-length
// encoded files, other pixel sizes (15 and 16-bit packed pixels included),
// an empty picture, and pixel data shorter than the header declares.
//
// Writing: bottom row first with the origin at the bottom left (descriptor 0
// apart from the alpha bits), no identification field, no colour map: the
// layout that the engine reads and the drivers write. Grey is written as
// type 3, RGB as 24 bits, RGBA as 32 bits with 8 alpha bits. Targa carries
// 8 bits per sample only and has no grey-and-alpha form: images of 16 bits
// per sample or of 2 channels are refused by name, never reduced silently.
#ifndef AUCAL_IMAGING_TARGA_H
#define AUCAL_IMAGING_TARGA_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace imaging {

// The 18-byte header at the start of every Targa file. Multi-byte fields are
// little-endian byte pairs, so the record means the same on every platform.
struct TargaHeader {
    std::uint8_t idLength;            // bytes of identification field after the header
    std::uint8_t colourMapType;       // 0: none, 1: present
    std::uint8_t imageType;           // 2: true colour, 3: grey; 1, 9..11: refused
    std::uint8_t colourMapFirst[2];   // first entry index
    std::uint8_t colourMapLength[2];  // entries
    std::uint8_t colourMapEntryBits;  // bits per entry
    std::uint8_t xOrigin[2];          // not used
    std::uint8_t yOrigin[2];          // not used
    std::uint8_t widthLE[2];          // pixels
    std::uint8_t heightLE[2];         // pixels
    std::uint8_t bitsPerPixel;        // 8 grey, 24 BGR, 32 BGRA
    std::uint8_t descriptor;          // bits 0..3 alpha bits, 4 right-to-left, 5 top-first

    std::uint16_t width() const { return load16(widthLE); }
    std::uint16_t height() const { return load16(heightLE); }
    std::uint16_t colourMapEntries() const { return load16(colourMapLength); }

    static constexpr std::uint8_t kTrueColour = 2;
    static constexpr std::uint8_t kGrey = 3;
    static constexpr std::uint8_t kAlphaBits = 0x0F;
    static constexpr std::uint8_t kRightToLeft = 0x10;
    static constexpr std::uint8_t kTopFirst = 0x20;

    static std::uint16_t load16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
};

static_assert(sizeof(TargaHeader) == 18);
static_assert(offsetof(TargaHeader, idLength) == 0);
static_assert(offsetof(TargaHeader, colourMapType) == 1);
static_assert(offsetof(TargaHeader, imageType) == 2);
static_assert(offsetof(TargaHeader, colourMapFirst) == 3);
static_assert(offsetof(TargaHeader, colourMapLength) == 5);
static_assert(offsetof(TargaHeader, colourMapEntryBits) == 7);
static_assert(offsetof(TargaHeader, xOrigin) == 8);
static_assert(offsetof(TargaHeader, yOrigin) == 10);
static_assert(offsetof(TargaHeader, widthLE) == 12);
static_assert(offsetof(TargaHeader, heightLE) == 14);
static_assert(offsetof(TargaHeader, bitsPerPixel) == 16);
static_assert(offsetof(TargaHeader, descriptor) == 17);

// Where a readable file keeps its pixels and how its rows map to the image.
struct TargaLayout {
    int width = 0;
    int height = 0;
    int channels = 0;            // 1, 3 or 4
    std::uint64_t dataOffset = 0;  // first stored row
    bool topFirst = false;
    bool rightToLeft = false;
    std::size_t storedRowBytes() const { return static_cast<std::size_t>(width) * channels; }
    // The file offset of image row y (0 = top).
    std::uint64_t rowOffset(int y) const {
        const int stored = topFirst ? y : height - 1 - y;
        return dataOffset + static_cast<std::uint64_t>(stored) * storedRowBytes();
    }
};

// Checks a header against the size of the whole file. False with the reason
// (what is refused, named) for any file the codec does not read. Every
// `error` of this codec may be null when the reason is not wanted.
bool targaLayout(const TargaHeader& header, std::uint64_t fileBytes, TargaLayout* layout, std::string* error);

// Whole images, in memory and as files. A failed read leaves *image as it
// was; messages name the file where there is one.
bool decodeTarga(const std::uint8_t* bytes, std::size_t size, Image* image, std::string* error = nullptr);
bool readTarga(const std::string& path, Image* image, std::string* error = nullptr);
// The same for callers that need no reason: nothing when the file is refused.
std::optional<Image> loadTarga(const std::string& path);
// The whole file; empty when the image has no Targa form.
std::vector<std::uint8_t> encodeTarga(const Image& image, std::string* error = nullptr);
bool writeTarga(const std::string& path, const Image& image, std::string* error = nullptr);

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Strip-wise reading: the header on open, then any run of image rows (top
// first, samples in image order) read straight from the file, so that an
// image of any height needs only the rows asked for.
class TargaReader {
public:
    bool open(const std::string& path, std::string* error);
    const TargaLayout& layout() const { return layout_; }
    // An empty image of the file's shape (no pixels), to size strips from.
    Image shape() const;
    // Rows first .. first + count - 1 into out (count x width x channels bytes).
    bool readRows(int first, int count, std::uint8_t* out, std::string* error);

private:
    FilePtr file_;
    std::string path_;
    TargaLayout layout_;
    std::vector<std::uint8_t> stored_;
};

// Strip-wise writing in the layout above: the header on create, then image
// rows in any order of strips; finish() flushes and closes.
class TargaWriter {
public:
    bool create(const std::string& path, const Image& shape, std::string* error);
    bool writeRows(int first, int count, const std::uint8_t* rows, std::string* error);
    bool finish(std::string* error);

private:
    FilePtr file_;
    std::string path_;
    TargaLayout layout_;
    std::vector<std::uint8_t> stored_;
};

}  // namespace imaging

#endif
