// Little-endian fields of command blocks and piece records, read and written
// byte by byte so that no alignment or host byte order is assumed.
#ifndef SIMULATOR_PASSTHROUGH_BLOCK_BYTES_H
#define SIMULATOR_PASSTHROUGH_BLOCK_BYTES_H

#include <cstdint>

namespace sim {

inline std::uint8_t getU8(const std::uint8_t* block, std::uint32_t offset) { return block[offset]; }

inline std::uint16_t getU16(const std::uint8_t* block, std::uint32_t offset) {
    return static_cast<std::uint16_t>(block[offset] | (block[offset + 1] << 8));
}

inline std::uint32_t getU32(const std::uint8_t* block, std::uint32_t offset) {
    return static_cast<std::uint32_t>(block[offset]) | (static_cast<std::uint32_t>(block[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(block[offset + 2]) << 16) | (static_cast<std::uint32_t>(block[offset + 3]) << 24);
}

// A 16- or 32-bit field, as the dialect's layout says.
inline std::uint32_t getField(const std::uint8_t* block, std::uint32_t offset, std::uint32_t size) {
    return size == 4 ? getU32(block, offset) : size == 2 ? getU16(block, offset) : getU8(block, offset);
}

inline void putU8(std::uint8_t* block, std::uint32_t offset, std::uint32_t value) {
    block[offset] = static_cast<std::uint8_t>(value);
}

inline void putU16(std::uint8_t* block, std::uint32_t offset, std::uint32_t value) {
    block[offset] = static_cast<std::uint8_t>(value);
    block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putU32(std::uint8_t* block, std::uint32_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void putField(std::uint8_t* block, std::uint32_t offset, std::uint32_t size, std::uint32_t value) {
    if (size == 4) {
        putU32(block, offset, value);
    } else if (size == 2) {
        putU16(block, offset, value);
    } else {
        putU8(block, offset, value);
    }
}

// A 32-bit address field back to a pointer (the caller placed the memory
// below 4 GiB on 64-bit hosts).
inline std::uint8_t* pointerFrom32(std::uint32_t address) {
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
}

// A pointer as a 32-bit address field; false when it does not fit.
inline bool pointerTo32(const void* pointer, std::uint32_t* address) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(pointer);
    if (value > 0xFFFFFFFFu) return false;
    *address = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace sim

#endif
