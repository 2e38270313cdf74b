// Shared between the sources of the virtual target library.
#ifndef AUCAL_IT8_TARGET_INTERNAL_H
#define AUCAL_IT8_TARGET_INTERNAL_H

#include <cstdint>

namespace it8sim {

// A level (0..255 scale, not yet rounded) to its byte: rounded half up,
// clamped.
std::uint8_t levelToByte(double level);

}  // namespace it8sim

#endif
