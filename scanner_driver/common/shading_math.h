// The arithmetic of shading calibration: transfer tables from the reference
// words, robust column means of the white lines, the coefficient images.
#ifndef SCANNER_DRIVER_SHADING_MATH_H
#define SCANNER_DRIVER_SHADING_MATH_H

#include <cstddef>
#include <cstdint>

namespace drv {

constexpr std::size_t kShadingTableEntries = 4096;

// T[v] = W for v < 2048; above, round((W x 4095 - v x 1023) / v), 0 when negative.
void buildShadingTransferTable(std::uint16_t referenceWord, std::uint16_t* table);

// The mean of `count` values after dropping the 3 smallest and the 3 largest
// (count >= 7). Sorts `values` in place; the sum is taken in 32 bits.
std::uint16_t trimmedMean(std::uint16_t* values, std::size_t count);

// The mean of the middle eight of 16 values (sorted ascending, positions 6..13).
std::uint16_t middleEightMean(std::uint16_t* values16);

// Splits 3 x pixels coefficients (red, green, blue per pixel) into the planar
// high- and low-byte images (all red, all green, all blue) and the green copies.
void splitPlanar(const std::uint16_t* coefficients, std::size_t pixels, std::uint8_t* high, std::uint8_t* low,
                 std::uint8_t* greenHigh, std::uint8_t* greenLow);

// Gain trim pair (magnitude, sign): 1 + m / 256 for sign 0, else 1 - m / 256.
double trimFactor(std::uint8_t magnitude, std::uint8_t sign);

// One vexa correction table: entry k for v = 32768 + k is
// min(65535, trunc(round((65535 - v) x 65535 / v) x factor)).
constexpr std::size_t kCorrectionEntries = 32768;
void buildCorrectionTable(double factor, std::uint16_t* table);

}  // namespace drv

#endif
