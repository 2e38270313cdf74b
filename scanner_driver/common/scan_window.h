// The scan window of a target type, in the window unit of the scanner.
#ifndef SCANNER_DRIVER_SCAN_WINDOW_H
#define SCANNER_DRIVER_SCAN_WINDOW_H

#include <cstdint>

namespace drv {

// One target type's window in inches and its scan resolution.
struct WindowInches {
    double start;     // x start offset
    double extentX;
    double extentY;
    std::uint16_t resolution;  // dots per inch
};

struct ScanWindow {
    std::uint16_t xStart;
    std::uint16_t yStart;
    std::uint16_t xEnd;
    std::uint16_t yEnd;
    std::uint16_t resolution;
};

// x start = trunc(start x unit), x end = x start + trunc(extentX x unit),
// y end = trunc(extentY x unit) - 6; products in double, truncated toward zero.
// False when a coordinate does not fit its 16-bit field.
bool computeWindow(const WindowInches& inches, std::uint32_t unit, ScanWindow& out);

}  // namespace drv

#endif
