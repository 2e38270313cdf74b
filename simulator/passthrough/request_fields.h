// The simulated scanner's handlers read a command block's fields where the
// dialect's layout puts them, answer into them, and refuse a request with a
// status and the reason in the call log.
#ifndef SIMULATOR_PASSTHROUGH_REQUEST_FIELDS_H
#define SIMULATOR_PASSTHROUGH_REQUEST_FIELDS_H

#include <cstdint>

#include "block_bytes.h"
#include "call_log.h"
#include "dialect.h"
#include "scenario.h"

namespace sim {

constexpr std::uint16_t status(SimStatus s) { return static_cast<std::uint16_t>(s); }

inline std::uint16_t refuse(LogLine& log, SimStatus s, const char* why) {
    log.add("error", why);
    return status(s);
}

inline std::uint32_t get(const std::uint8_t* b, const Field& f) { return getField(b, f.offset, f.size); }
inline void put(std::uint8_t* b, const Field& f, std::uint32_t v) { putField(b, f.offset, f.size, v); }
// Whether v fits the field (a 32-bit field takes any value the caller has).
inline bool fits(const Field& f, std::uint64_t v) { return f.size >= 4 || v < (std::uint64_t{1} << (8 * f.size)); }

}  // namespace sim

#endif
