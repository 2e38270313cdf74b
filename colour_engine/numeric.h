// Float-to-integer conversions of the engine. Truncation toward zero, as the
// engine converts everywhere, but saturating: NaN gives 0 and values past the
// target range clamp to it, so no conversion is undefined behaviour. For every
// value in range the result is the plain truncation.
#ifndef QEL_NUMERIC_H
#define QEL_NUMERIC_H

#include <cmath>
#include <cstdint>
#include <limits>

namespace qel {

inline std::int32_t truncToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// Truncation into 0..255 for a byte that the layout stores.
inline std::uint8_t truncToByte(double v) {
    if (std::isnan(v) || v <= 0.0) return 0;
    if (v >= 255.0) return 255;
    return static_cast<std::uint8_t>(v);
}

}  // namespace qel

#endif
