// Scanner identity: what the inquiry reply tells a run about the scanner
// attached (its model number, the window unit and tone table size that go
// with it, the adapter, the shading reference words).
#ifndef SCANNER_DRIVER_SCANNER_IDENTITY_H
#define SCANNER_DRIVER_SCANNER_IDENTITY_H

#include <cstdint>

namespace drv {

// What the scanner's model number means to the driver.
struct ModelNumber {
    std::uint16_t code;            // 600, 606, 800, 1200
    std::uint16_t baseResolution;  // R: window unit, dots per inch
    std::uint16_t toneEntries;     // 256 or 4096
};

// The inquiry digits at offset 57 as a decimal number: at most four
// characters, stopping at a zero byte; leading blanks and a sign allowed,
// conversion stops at the first non-digit.
std::int32_t parseModelDigits(const char (&digits)[4]);
// The model number for a parsed number; null for a scanner the driver does not know.
const ModelNumber* findModelNumber(std::int32_t number);

// A 16-bit reference word read as a string of at most two bytes: low byte
// first; a zero first byte makes the whole word 0.
std::uint16_t referenceWord(const std::uint8_t* twoBytes);

// What the inquiry told the run.
struct ScannerIdentity {
    bool adapter = false;
    std::uint16_t windowUnit = 0;      // R (or the driver's fixed unit)
    std::uint16_t toneEntries = 256;
    std::uint16_t referenceWords[3] = {};
};

}  // namespace drv

#endif
