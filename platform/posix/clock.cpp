// Sleep on POSIX, real or on the desktop's virtual clock.
#include <time.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/desktop_posix.h"

namespace {
std::atomic<bool> virtualClock{false};
std::atomic<std::uint64_t> virtualMs{0};
std::atomic<std::uint64_t> sleepCalls{0};
}  // namespace

extern "C" {

PF_EXPORT void pfSleep(uint32_t milliseconds) {
    ++sleepCalls;
    if (virtualClock) {
        virtualMs += milliseconds;
        return;
    }
    struct timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
    }
}

PF_EXPORT void pfdUseVirtualClock(int on) { virtualClock = on != 0; }
PF_EXPORT std::uint64_t pfdVirtualMilliseconds(void) { return virtualMs; }
PF_EXPORT std::uint64_t pfdSleepCalls(void) { return sleepCalls; }
}
