#include "progress.h"

#include <csignal>
#include <cstdio>

#include <unistd.h>

#include "platform/desktop_posix.h"

namespace aucal {

namespace {

volatile std::sig_atomic_t g_interrupt = 0;
PfWindow g_override = nullptr;
ProgressDisplay* g_current = nullptr;

void onInterrupt(int) { g_interrupt = 1; }

}  // namespace

void setHostWindow(PfWindow window) {
    g_override = window;
    pfdSetFocus(window != nullptr ? window : hostWindow());
}

PfWindow hostWindow() {
    if (g_override != nullptr) return g_override;
    static PfWindow window = nullptr;
    if (window == nullptr || !pfdIsWindow(window)) {
        window = pfdCreateWindow("aucal");
        pfdSetFocus(window);
    }
    return window;
}

void installInterruptHandler() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    std::signal(SIGINT, onInterrupt);
}

bool interruptRequested() { return g_interrupt != 0; }
void clearInterrupt() { g_interrupt = 0; }

ProgressDisplay::ProgressDisplay(std::string label, bool quiet)
    : label_(std::move(label)), quiet_(quiet || !isatty(fileno(stderr))) {
    record_.window = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hostWindow()));
    g_current = this;
}

ProgressDisplay::~ProgressDisplay() {
    if (drawn_) std::fprintf(stderr, "\n");
    if (g_current == this) g_current = nullptr;
}

bool ProgressDisplay::cancelled() const { return interruptRequested(); }

int32_t QEL_STDCALL ProgressDisplay::callback(ProgressRecord* record, int32_t total) {
    ProgressDisplay* self = g_current;
    if (self == nullptr || record == nullptr) return 0;
    ++self->calls_;
    self->show(record->count, total);
    // The libraries look for Escape between rows and lines: a Ctrl-C becomes
    // one Escape press on the host window, posted from the calling thread.
    if (g_interrupt == 1) {
        g_interrupt = 2;
        pfdPostKeyDown(hostWindow(), PF_VK_ESCAPE);
    }
    return 0;
}

void ProgressDisplay::show(int current, int total) {
    if (quiet_ || total <= 0) return;
    const int percent = static_cast<int>(100LL * current / total);
    if (percent == lastShown_) return;
    lastShown_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%-22s [%.*s%*s] %3d%%", label_.c_str(), filled, "########################################",
                 kWidth - filled, "", percent);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace aucal
