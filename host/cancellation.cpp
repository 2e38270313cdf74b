#include "cancellation.h"

#include <csignal>
#include <cstring>

#include "platform/host_system.h"

namespace aucal {

namespace {

// The stop request as a POSIX signal number (on Windows, the number the
// console event stands for: 2 for Ctrl-C).
volatile std::sig_atomic_t g_signal = 0;
constexpr int kInterrupt = 2;

// Paths kept as fixed arrays so that the handler can read them without
// allocating; a slot is in use while its first byte is not zero.
constexpr int kSlots = 16;
constexpr std::size_t kPathBytes = 4096;
char g_temporary[kSlots][kPathBytes];

void onSignal(int signal) {
    if (g_signal == 0) {
        g_signal = signal;
        return;
    }
    for (auto& path : g_temporary)
        if (path[0] != '\0') pfHostRemoveFile(path);
    pfHostExitNow(128 + g_signal);
}

}  // namespace

void installCancelHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    pfHostOnStop(onSignal);
}

bool cancelled() { return g_signal != 0; }

void throwIfCancelled() {
    if (cancelled()) throw Cancelled();
}

int cancelledExitStatus() { return 128 + (g_signal != 0 ? static_cast<int>(g_signal) : kInterrupt); }

void clearCancel() { g_signal = 0; }

int registerTemporaryFile(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i)
        if (g_temporary[i][0] == '\0') {
            // The path first, its first byte last: the handler never sees half a path.
            std::memcpy(g_temporary[i] + 1, path.c_str() + 1, path.size());
            g_temporary[i][0] = path[0];
            return i;
        }
    return -1;
}

void releaseTemporaryFile(int slot) {
    if (slot >= 0 && slot < kSlots) g_temporary[slot][0] = '\0';
}

}  // namespace aucal
