#include "desktop_state.h"

namespace pf_posix {

FaultState& faults() {
    static FaultState state;
    return state;
}

std::mutex& desktopMutex() {
    static std::mutex mutex;
    return mutex;
}

bool allocationShouldFail() {
    FaultState& f = faults();
    ++f.allocations;
    if (f.allocationCountdown == 0) return false;
    return --f.allocationCountdown == 0;
}

bool writeShouldFail() {
    FaultState& f = faults();
    if (f.writeCountdown == 0) return false;
    return --f.writeCountdown == 0;
}

std::string posixPath(const char* path) {
    std::string out = path != nullptr ? path : "";
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace pf_posix

extern "C" {

__attribute__((visibility("default"))) void pfdFailAllocationAfter(std::uint32_t n) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    pf_posix::faults().allocationCountdown = n;
}

__attribute__((visibility("default"))) void pfdFailWriteAfter(std::uint32_t n) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    pf_posix::faults().writeCountdown = n;
}

__attribute__((visibility("default"))) std::uint64_t pfdAllocationCount(void) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    return pf_posix::faults().allocations;
}
}
