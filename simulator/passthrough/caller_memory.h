// Reading memory that a command block only names by a 32-bit address and
// that no BUF_ADDR call described (vexa's tone tables): copied through the
// system, so that an address the caller got wrong gives a refused request
// instead of a fault inside the library.
#ifndef SIMULATOR_PASSTHROUGH_CALLER_MEMORY_H
#define SIMULATOR_PASSTHROUGH_CALLER_MEMORY_H

#include <cstddef>
#include <cstdint>

namespace sim {

// Copies `bytes` bytes from `address`; false when that memory cannot be read.
bool copyFromCaller(std::uint32_t address, void* out, std::size_t bytes);

}  // namespace sim

#endif
