#include "sensor.h"

#include <cmath>

namespace sim {

namespace {

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1], from the seed and up to three indices.
double unit(std::uint32_t seed, std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    const std::uint64_t h = mix(mix(mix(mix(seed) ^ a) ^ (b << 1)) ^ (c << 2));
    return static_cast<double>(h >> 11) / 4503599627370496.0 - 1.0;  // 2^52
}

// Triangle ripple in [-1, 1] with a period of 96 elements.
double ripple(std::uint32_t element, int colour) {
    const std::uint32_t phase = (element + 32u * static_cast<std::uint32_t>(colour)) % 96u;
    return phase < 48 ? (static_cast<double>(phase) - 24.0) / 24.0 : (72.0 - static_cast<double>(phase)) / 24.0;
}

constexpr std::uint32_t kHighOutlierLine = 2;
constexpr std::uint32_t kLowOutlierLine = 5;

}  // namespace

Sensor::Sensor(const Scenario& scenario, std::uint32_t sampleBits)
    : level_(scenario.whiteLevel.value_or(sampleBits == 16 ? 52000.0 : 3200.0)),
      variation_(scenario.gainVariation),
      noise_(scenario.shadingNoise),
      seed_(scenario.seed),
      sampleBits_(sampleBits),
      fullScale_(sampleBits == 16 ? 65535u : 4095u) {}

double Sensor::white(std::uint32_t element, int colour) const {
    const double spread = 0.6 * ripple(element, colour) + 0.4 * unit(seed_, element, static_cast<std::uint64_t>(colour), 0);
    return level_ * (1.0 + variation_ * spread);
}

std::uint16_t Sensor::shadingWord(std::uint32_t line, std::uint32_t element, int colour) const {
    double v = white(element, colour) + noise_ * unit(seed_, element, static_cast<std::uint64_t>(colour), line + 1);
    if (line == kHighOutlierLine && element % 7 == 3) v *= 1.12;
    if (line == kLowOutlierLine && element % 5 == 1) v *= 0.9;
    double q = std::floor(v + 0.5);
    if (q < 0) q = 0;
    if (q > fullScale_) q = fullScale_;
    const std::uint32_t sample = static_cast<std::uint32_t>(q);
    if (sampleBits_ == 16) return static_cast<std::uint16_t>(sample);
    return static_cast<std::uint16_t>(((line & 0xFu) << 12) | sample);
}

double shadingGain(std::uint32_t sampleBits, std::uint16_t coefficient, double reference) {
    if (sampleBits == 16) return 1.0 + coefficient / (65535.0 * reference);
    return (coefficient + 1023.0) / reference;
}

std::uint8_t outputLevel(const Sensor& sensor, const Correction& correction, std::uint32_t element, int colour,
                         std::uint8_t level, double reference) {
    const std::uint32_t bits = sensor.fullScale() == 65535u ? 16u : 12u;
    double v = sensor.white(element, colour) * level / 255.0;
    const std::vector<std::uint16_t>& coefficients = correction.coefficient[colour];
    if (element < coefficients.size()) v *= shadingGain(bits, coefficients[element], reference);
    double q = std::floor(v + 0.5);
    if (q < 0) q = 0;
    if (q > sensor.fullScale()) q = sensor.fullScale();
    const std::uint32_t sample = static_cast<std::uint32_t>(q);
    if (bits == 16) {
        const std::vector<std::uint16_t>& table = correction.tone16[colour];
        return static_cast<std::uint8_t>((table.empty() ? sample : table[sample]) >> 8);
    }
    const std::vector<std::uint8_t>& table = correction.tone8[colour];
    if (table.size() == 4096) return table[sample];
    if (table.size() == 256) return table[sample >> 4];
    return static_cast<std::uint8_t>(sample >> 4);
}

double trimFactor(std::uint8_t magnitude, std::uint8_t sign) {
    return sign == 0 ? 1.0 + magnitude / 256.0 : 1.0 - magnitude / 256.0;
}

}  // namespace sim
