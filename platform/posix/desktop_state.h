// Process-wide state of the POSIX desktop, shared by the stand-in's subjects:
// fault injection counters and the virtual clock. Windows and queues live in
// messages.cpp.
#ifndef PLATFORM_POSIX_DESKTOP_STATE_H
#define PLATFORM_POSIX_DESKTOP_STATE_H

#include <cstdint>
#include <mutex>
#include <string>

namespace pf_posix {

struct FaultState {
    std::uint32_t allocationCountdown = 0;  // 0: off
    std::uint32_t writeCountdown = 0;       // 0: off
    std::uint64_t allocations = 0;
};

FaultState& faults();
std::mutex& desktopMutex();

// Consumes one allocation attempt; true when this one must fail.
bool allocationShouldFail();
// Consumes one write; true when this one must come up short.
bool writeShouldFail();

// A Windows-style path as a POSIX path: backslashes become slashes.
std::string posixPath(const char* path);

}  // namespace pf_posix

#endif
