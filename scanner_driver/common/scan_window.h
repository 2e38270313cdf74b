// Scanner identity from the inquiry reply, and the scan window for a target.
#ifndef SCANNER_DRIVER_SCAN_WINDOW_H
#define SCANNER_DRIVER_SCAN_WINDOW_H

#include <cstdint>

#include "command_blocks.h"

namespace drv {

// What a model resolution code means to the driver.
struct ModelCode {
    std::uint16_t code;            // 600, 606, 800, 1200
    std::uint16_t baseResolution;  // R: window unit, dots per inch
    std::uint16_t toneEntries;     // 256 or 4096
};

// The inquiry digits at offset 57 as a decimal number: at most four
// characters, stopping at a zero byte; leading blanks and a sign allowed,
// conversion stops at the first non-digit.
std::int32_t parseModelDigits(const char (&digits)[4]);
// The identity for a parsed number; null for a scanner the driver does not know.
const ModelCode* findModelCode(std::int32_t number);

// A 16-bit reference word read as a string of at most two bytes: low byte
// first; a zero first byte makes the whole word 0.
std::uint16_t referenceWord(const std::uint8_t* twoBytes);

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
