#include "scan_window.h"

#include <cmath>

namespace drv {

namespace {

// Truncation toward zero of a product that must fit 0..65535.
bool truncToField(double value, std::int64_t& out) {
    if (!std::isfinite(value) || value <= -65536.0 || value >= 65536.0) return false;
    out = static_cast<std::int64_t>(value);
    return true;
}

}  // namespace

bool computeWindow(const WindowInches& inches, std::uint32_t unit, ScanWindow& out) {
    const double r = static_cast<double>(unit);
    std::int64_t xStart = 0, xExtent = 0, yExtent = 0;
    if (!truncToField(inches.start * r, xStart) || !truncToField(inches.extentX * r, xExtent) ||
        !truncToField(inches.extentY * r, yExtent))
        return false;
    const std::int64_t xEnd = xStart + xExtent;
    const std::int64_t yEnd = yExtent - 6;
    if (xStart < 0 || xEnd < 0 || xEnd > 0xFFFF || yEnd < 0 || yEnd > 0xFFFF) return false;
    out.xStart = static_cast<std::uint16_t>(xStart);
    out.yStart = 0;
    out.xEnd = static_cast<std::uint16_t>(xEnd);
    out.yEnd = static_cast<std::uint16_t>(yEnd);
    out.resolution = inches.resolution;
    return true;
}

}  // namespace drv
