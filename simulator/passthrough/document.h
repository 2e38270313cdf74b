// The document on the glass: an 8-bit RGB image with a physical resolution
// (its metadata's dpi), placed on the bed in inches. Row 0 of the image is
// its top edge, the first line the scanner meets.
#ifndef SIMULATOR_PASSTHROUGH_DOCUMENT_H
#define SIMULATOR_PASSTHROUGH_DOCUMENT_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace sim {

using Raster = imaging::Image;
// The size of a document on the glass; 0 without a resolution.
double widthInches(const Raster& r);
double heightInches(const Raster& r);

// A Targa file as a document, read by the shared codec (its origin rule
// decides which file row is the top) and placed at `dpi`. False, with a
// reason, for a file the codec refuses or one that is not 8-bit RGB.
bool readTargaDocument(const std::string& path, double dpi, Raster* out, std::string* error);

// The virtual IT8.7/2 target rendered at `dpi` through the named true
// scanner response ("mild", "nonlinear", "crosstalk", "linear"). False when
// the simulator was built without the virtual target or the name is unknown.
bool renderIt8Document(double dpi, const std::string& response, double tiltDegrees, Raster* out,
                       std::string* error);

// Nearest-pixel sampling of a placed document: `left` and `top` are the bed
// position of its top-left corner in inches; outside it the lid shows.
class PlacedDocument {
public:
    PlacedDocument() = default;
    PlacedDocument(const Raster* raster, double left, double top, std::array<std::uint8_t, 3> lid)
        : raster_(raster), left_(left), top_(top), lid_(lid) {}
    // The colour under the bed point (x, y), inches from the bed origin.
    std::array<std::uint8_t, 3> at(double x, double y) const;

private:
    const Raster* raster_ = nullptr;
    double left_ = 0;
    double top_ = 0;
    std::array<std::uint8_t, 3> lid_{255, 255, 255};
};

}  // namespace sim

#endif
