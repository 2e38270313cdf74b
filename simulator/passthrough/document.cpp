#include "document.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "it8_target/virtual_it8.h"

namespace sim {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool readTargaDocument(const std::string& path, double dpi, Raster* out, std::string* error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot open";
        return false;
    }
    std::uint8_t header[18];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) {
        *error = "short header";
        return false;
    }
    const std::uint32_t idLength = header[0];
    const std::uint32_t colourMapType = header[1];
    const std::uint32_t imageType = header[2];
    const std::uint32_t width = header[12] | (header[13] << 8);
    const std::uint32_t height = header[14] | (header[15] << 8);
    const std::uint32_t bits = header[16];
    const bool topOrigin = (header[17] & 0x20) != 0;
    if (imageType != 2 || bits != 24 || colourMapType != 0) {
        *error = "not an uncompressed 24-bit Targa";
        return false;
    }
    if (width == 0 || height == 0) {
        *error = "empty image";
        return false;
    }
    const std::size_t rowBytes = std::size_t{width} * 3;
    // The declared size must be there before anything that large is allocated.
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        *error = "cannot seek";
        return false;
    }
    const long fileBytes = std::ftell(file.get());
    if (fileBytes < 0 || static_cast<std::uint64_t>(fileBytes) < 18 + idLength + std::uint64_t{rowBytes} * height) {
        *error = "short pixel data";
        return false;
    }
    if (std::fseek(file.get(), static_cast<long>(18 + idLength), SEEK_SET) != 0) {
        *error = "cannot seek";
        return false;
    }
    Raster r;
    r.width = width;
    r.height = height;
    r.dpi = dpi;
    r.rgb.resize(rowBytes * height);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t y = 0; y < height; ++y) {
        if (std::fread(row.data(), 1, rowBytes, file.get()) != rowBytes) {
            *error = "short pixel data";
            return false;
        }
        const std::uint32_t line = topOrigin ? y : height - 1 - y;
        std::uint8_t* dst = r.rgb.data() + rowBytes * line;
        for (std::uint32_t x = 0; x < width; ++x) {
            dst[3 * x] = row[3 * x + 2];
            dst[3 * x + 1] = row[3 * x + 1];
            dst[3 * x + 2] = row[3 * x];
        }
    }
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
    const it8sim::RgbRaster raster =
        it8sim::renderIt8TargetRgb(it8sim::makeIt8Reference(), it8sim::responsePreset(*preset), options);
    if (raster.width <= 0 || raster.height <= 0) {
        *error = "empty target";
        return false;
    }
    out->width = static_cast<std::uint32_t>(raster.width);
    out->height = static_cast<std::uint32_t>(raster.height);
    out->dpi = raster.dpi > 0 ? raster.dpi : dpi;
    out->rgb = raster.rgb;
    return true;
}

std::array<std::uint8_t, 3> PlacedDocument::at(double x, double y) const {
    if (raster_ == nullptr || raster_->dpi <= 0) return lid_;
    const double px = std::floor((x - left_) * raster_->dpi);
    const double py = std::floor((y - top_) * raster_->dpi);
    if (!(px >= 0 && py >= 0 && px < raster_->width && py < raster_->height)) return lid_;
    const std::size_t index = (static_cast<std::size_t>(py) * raster_->width + static_cast<std::size_t>(px)) * 3;
    return {raster_->rgb[index], raster_->rgb[index + 1], raster_->rgb[index + 2]};
}

}  // namespace sim
