// The scanner's line sensor and its signal chain.
//
// Every sensor element e (one per pixel of the scan line) and colour c sees a
// white of its own, white(e, c) = level x (1 + spread): the spread mixes a
// slow ripple and element-to-element scatter of up to `gain_variation`, so an
// uncorrected scan shows stripes. A document level d (0..255) gives the raw
// sample white(e, c) x d / 255. The shading coefficients that the driver sends
// scale the raw sample to full scale:
//   12-bit dialects (scan, prescan): gain = (coefficient + 1023) / W, with W
//     the scanner's shading reference word of the colour, full scale 4095;
//   16-bit dialect (vexa): gain = 1 + coefficient / (65535 x trim), with trim
//     the scanner's gain trim factor of the colour and scan source, full
//     scale 65535.
// Without coefficients the gain is 1. The scaled sample is rounded, clipped
// to full scale and turned into the 8-bit output through the tone table the
// driver sent (identity when none): 4096-entry tables take the 12-bit value,
// 256-entry tables its top 8 bits, vexa's 16-bit tables give the top byte of
// their entry.
//
// All arithmetic is basic IEEE double arithmetic (no library functions), so
// Linux and Windows builds deliver the same bytes.
#ifndef SIMULATOR_PASSTHROUGH_SENSOR_H
#define SIMULATOR_PASSTHROUGH_SENSOR_H

#include <array>
#include <cstdint>
#include <vector>

#include "scenario.h"

namespace sim {

class Sensor {
public:
    Sensor(const Scenario& scenario, std::uint32_t sampleBits);

    std::uint32_t fullScale() const { return fullScale_; }
    double white(std::uint32_t element, int colour) const;
    // One white reference sample as it lies in a shading line: noise around
    // the element's white, a few high and low outliers on fixed lines; in
    // 12-bit dialects the top 4 bits of the word carry the line number (only
    // the low 12 bits count).
    std::uint16_t shadingWord(std::uint32_t line, std::uint32_t element, int colour) const;

private:
    double level_;
    double variation_;
    double noise_;
    std::uint32_t seed_;
    std::uint32_t sampleBits_;
    std::uint32_t fullScale_;
};

// What the driver has sent: shading coefficients and tone tables.
struct Correction {
    // Coefficients per colour and element; empty = none sent.
    std::array<std::vector<std::uint16_t>, 3> coefficient;
    // 12-bit dialects: 256 or 4096 entries per colour; empty = identity.
    std::array<std::vector<std::uint8_t>, 3> tone8;
    // vexa: 65536 entries per colour; empty = identity.
    std::array<std::vector<std::uint16_t>, 3> tone16;
};

// The gain that a coefficient means; `reference` is W (12-bit dialects) or
// the trim factor (vexa).
double shadingGain(std::uint32_t sampleBits, std::uint16_t coefficient, double reference);

// The 8-bit output of one colour of one element for document level `level`.
std::uint8_t outputLevel(const Sensor& sensor, const Correction& correction, std::uint32_t element, int colour,
                         std::uint8_t level, double reference);

// The white factor of a vexa gain trim pair (magnitude, sign).
double trimFactor(std::uint8_t magnitude, std::uint8_t sign);

}  // namespace sim

#endif
