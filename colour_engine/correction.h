// Image correction kernels, exposed for the tests and benchmarks that compare
// them with a straightforward evaluation of the block arithmetic.
#ifndef QEL_CORRECTION_H
#define QEL_CORRECTION_H

#include <cstddef>
#include <cstdint>

namespace qel {

// Lookup mode: trilinear interpolation in sixteenths over the 17^3 grid.
void correctLookup(const std::uint8_t* block, std::uint8_t* pixels, std::size_t pixelCount);

// Matrix mode: 1/64-unit integer matrix, then the output tables.
void correctMatrix(const std::int32_t matrix[3][4], const std::uint8_t tables[3][256], std::uint8_t* pixels,
                   std::size_t pixelCount);

}  // namespace qel

#endif
