// The document on the glass: an RGB raster with a physical resolution,
// placed on the bed in inches. Line 0 of the raster is its top edge, the
// first line the scanner meets; pixels are red, green, blue.
#ifndef SIMULATOR_PASSTHROUGH_DOCUMENT_H
#define SIMULATOR_PASSTHROUGH_DOCUMENT_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Raster {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    double dpi = 0;
    std::vector<std::uint8_t> rgb;  // width x height x 3, top line first
    double widthInches() const { return dpi > 0 ? width / dpi : 0; }
    double heightInches() const { return dpi > 0 ? height / dpi : 0; }
};

// An uncompressed 24-bit Targa file (image type 2) as a document. The
// descriptor's origin bit decides which file row is the top: bottom-left
// origin (bit 5 clear, as every image of this system is written) puts the top
// in the last file row. False, with a reason, for any other file.
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
