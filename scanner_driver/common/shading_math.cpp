#include "shading_math.h"

#include <algorithm>
#include <utility>

namespace drv {

void buildShadingTransferTable(std::uint16_t referenceWord, std::uint16_t* table) {
    for (std::int32_t v = 0; v < 2048; ++v) table[v] = referenceWord;
    for (std::int32_t v = 2048; v < 4096; ++v) {
        const std::int32_t n = static_cast<std::int32_t>(referenceWord) * 4095 - v * 1023;
        if (n < 0) {
            table[v] = 0;
            continue;
        }
        const std::int32_t q = n / v;
        const std::int32_t r = n % v;
        table[v] = static_cast<std::uint16_t>(2 * r > v ? q + 1 : q);
    }
}

std::uint16_t trimmedMean(std::uint16_t* values, std::size_t count) {
    std::sort(values, values + count);
    std::uint32_t sum = 0;
    for (std::size_t i = 3; i + 3 < count; ++i) sum += values[i];
    return static_cast<std::uint16_t>(sum / static_cast<std::uint32_t>(count - 6));
}

std::uint16_t middleEightMean(std::uint16_t* values16) {
    // The scanner's own order: a simple exchange sort of the 16 values.
    for (int i = 0; i < 16; ++i)
        for (int j = i + 1; j < 16; ++j)
            if (values16[j] < values16[i]) std::swap(values16[i], values16[j]);
    std::uint32_t sum = 0;
    for (int i = 6; i < 14; ++i) sum += values16[i];
    return static_cast<std::uint16_t>(sum / 8);
}

void splitPlanar(const std::uint16_t* coefficients, std::size_t pixels, std::uint8_t* high, std::uint8_t* low,
                 std::uint8_t* greenHigh, std::uint8_t* greenLow) {
    for (std::size_t p = 0; p < pixels; ++p) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint16_t value = coefficients[3 * p + c];
            high[c * pixels + p] = static_cast<std::uint8_t>(value >> 8);
            low[c * pixels + p] = static_cast<std::uint8_t>(value & 0xFF);
        }
        greenHigh[p] = static_cast<std::uint8_t>(coefficients[3 * p + 1] >> 8);
        greenLow[p] = static_cast<std::uint8_t>(coefficients[3 * p + 1] & 0xFF);
    }
}

double trimFactor(std::uint8_t magnitude, std::uint8_t sign) {
    const double step = static_cast<double>(magnitude) / 256.0;
    return sign == 0 ? 1.0 + step : 1.0 - step;
}

void buildCorrectionTable(double factor, std::uint16_t* table) {
    for (std::uint32_t k = 0; k < kCorrectionEntries; ++k) {
        const std::uint32_t v = 32768 + k;
        const std::uint32_t x = (65535 - v) * 65535u;
        std::uint32_t q = x / v;
        if (2 * (x % v) > v) ++q;
        const double scaled = static_cast<double>(q) * factor;
        table[k] = scaled > 65535.0 ? 65535 : static_cast<std::uint16_t>(scaled);
    }
}

}  // namespace drv
