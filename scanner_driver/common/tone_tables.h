// Tone tables sent before the scan: the identity curve on the grid the
// scanner takes.
#ifndef SCANNER_DRIVER_TONE_TABLES_H
#define SCANNER_DRIVER_TONE_TABLES_H

#include <cstdint>

#include "command_blocks.h"

namespace drv {

// g(i) = trunc(255 x (i / 255)^1.0 + 0.5), i = 0..255.
std::uint8_t toneCurve(int i);

// Fills the four slots of the classic block with 256 or 4096 entries each.
// With 4096 entries the curve is interpolated over 16 steps between grid
// points (the step held in single precision); entries 4081..4095 hold g(255).
void fillClassicToneSlots(ClassicGammaBlock& block, std::uint16_t entries);

// Entry i = i for i = 0..65535: the table vexa hands over by address.
constexpr std::uint32_t kIdentityToneEntries = 65536;
void fillIdentityToneTable(std::uint16_t* table);

}  // namespace drv

#endif
