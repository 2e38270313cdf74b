// Memory the scanner library reads or writes: shareable global blocks, whose
// 32-bit addresses travel inside command blocks and piece records, sized by
// the grain rule of the model and lowered step by step when the system cannot
// give the full size.
#ifndef SCANNER_DRIVER_DRIVER_MEMORY_H
#define SCANNER_DRIVER_DRIVER_MEMORY_H

#include <cstdint>

#include "platform/memory.h"
#include "platform/raii.hpp"

namespace drv {

// Shareable, zero-filled: every block whose address the library is given.
constexpr unsigned kSharedFlags = PF_GMEM_DDESHARE | PF_GMEM_ZEROINIT;

// The 32-bit form of an address for a command block field; false when the
// address does not fit (never truncated).
bool toAddress32(const void* address, std::uint32_t& out);
void* fromAddress32(std::uint32_t address);

// A locked shareable block whose address fits 32 bits.
bool acquireShared(pf::LockedGlobal& block, std::uint64_t bytes, unsigned flags = kSharedFlags);

// How the blocks of the shading steps are sized.
enum class Grain : std::uint8_t {
    Steps64K,     // 64 KiB steps, a multiple raised by one more step
    Steps60K,     // 61,440-byte steps, a multiple raised by one more step
    A3Standard,   // capped at 4 MiB, lowered by the unit on failure
    A3Other,      // capped at 4 MiB, 128 KiB steps
};

enum class BlockUse : std::uint8_t { ShadingLines, ShadingOutput };

// The first size tried for a request of `request` bytes.
std::uint64_t grainSize(Grain grain, BlockUse use, std::uint64_t request);

// Allocates a locked shareable block, starting at `size` and lowering it on
// failure by the grain's step (for A3Standard: by `unit`) while it stays at
// least one step, and never below `minimum` (a block too small for what it
// must hold is of no use). On success `size` holds the size obtained, which
// later blocks of the same step carry on from.
bool acquireSized(pf::LockedGlobal& block, Grain grain, std::uint64_t& size, std::uint32_t unit,
                  std::uint64_t minimum = 0);

}  // namespace drv

#endif
