// A corpus of image files of every kind the readers take or refuse, written
// straight through libpng, libtiff and libjpeg (not through our writers), so
// that the tests read what those libraries make. Made at test time; the fuzz
// seeds come from it too.
#ifndef AUCAL_IMAGING_IMAGE_CORPUS_H
#define AUCAL_IMAGING_IMAGE_CORPUS_H

#include <string>
#include <vector>

#include "imaging/image_file.h"

namespace corpus {

enum class Variant {
    Plain,
    Palette,        // PNG palette with tRNS / TIFF palette
    GammaOne,       // PNG with a gAMA chunk of 1.0
    Interlaced,     // PNG Adam7
    Metadata,       // 300 dpi, a text entry, a date and an embedded profile
    MinIsWhite,     // TIFF grey stored white-is-zero
    Tiled,          // TIFF in 16 x 16 tiles
    TwoPages,       // TIFF of two pages
    Orientation6,   // TIFF orientation 6
    TopLeft,        // Targa stored top row first
    Cmyk, Lab, Float, FiveChannels, SeparatePlanes,  // refused
    HugeChunk,      // PNG whose text chunk states 2 GB that the file does not hold: refused
};

struct Kind {
    const char* file;  // file name; its extension gives the format
    imaging::Format format;
    Variant variant;
    int width, height, channels, bits;  // as read
    int tolerance;                      // largest |read - expected| (JPEG is lossy)
    const char* refusal;                // part of the refusal; nullptr: read
};

const std::vector<Kind>& kinds();
// The sample the reader gives at (x, y), channel c of page 0 or 1.
unsigned expectedSample(const Kind& kind, int page, int x, int y, int c);
// The metadata the Metadata variant carries.
constexpr double kDpi = 300;
constexpr const char* kTextKey = "Description";
constexpr const char* kTextValue = "corpus picture";
constexpr const char* kDate = "2024:05:06 07:08:09";
// A small valid ICC profile (LittleCMS's sRGB; the bytes only need to
// survive the trip), the same bytes for the whole process.
std::vector<unsigned char> profileBytes();

bool write(const Kind& kind, const std::string& path, std::string* error);
// Every kind into dir; false with the first failure.
bool writeAll(const std::string& dir, std::string* error);

}  // namespace corpus

#endif
