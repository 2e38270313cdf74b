#include "document.h"

#include <cmath>
#include <utility>

#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"

namespace sim {

double widthInches(const Raster& r) { return r.metadata.xDpi > 0 ? r.width / r.metadata.xDpi : 0; }
double heightInches(const Raster& r) { return r.metadata.yDpi > 0 ? r.height / r.metadata.yDpi : 0; }

bool readTargaDocument(const std::string& path, double dpi, Raster* out, std::string* error) {
    Raster r;
    if (!imaging::readTarga(path, &r, error) || !imaging::isRgb8(r, error)) return false;
    r.metadata.xDpi = r.metadata.yDpi = dpi;
    *out = std::move(r);
    return true;
}

bool renderIt8Document(double dpi, const std::string& response, double tiltDegrees, Raster* out,
                       std::string* error) {
    const auto preset = it8sim::presetFromName(response);
    if (!preset) {
        *error = "unknown response " + response;
        return false;
    }
    it8sim::TargetOptions options;
    options.dpi = dpi;
    options.tiltDegrees = tiltDegrees;
    Raster raster = it8sim::renderIt8TargetRgb(it8sim::makeIt8Reference(), it8sim::responsePreset(*preset), options);
    if (raster.width <= 0 || raster.height <= 0) {
        *error = "empty target";
        return false;
    }
    *out = std::move(raster);
    return true;
}

std::array<std::uint8_t, 3> PlacedDocument::at(double x, double y) const {
    if (raster_ == nullptr || raster_->metadata.xDpi <= 0 || raster_->metadata.yDpi <= 0) return lid_;
    const double px = std::floor((x - left_) * raster_->metadata.xDpi);
    const double py = std::floor((y - top_) * raster_->metadata.yDpi);
    if (!(px >= 0 && py >= 0 && px < raster_->width && py < raster_->height)) return lid_;
    const std::uint8_t* p = raster_->row(static_cast<int>(py)) + 3 * static_cast<std::size_t>(px);
    return {p[0], p[1], p[2]};
}

}  // namespace sim
