#include "progress.h"

#include <cstdio>

#include "cancellation.h"
#include "platform/host_desktop.h"
#include "platform/host_system.h"

namespace aucal {

namespace {

PfWindow g_override = nullptr;
ProgressDisplay* g_current = nullptr;

}  // namespace

void setHostWindow(PfWindow window) {
    g_override = window;
    pfHostSetFocus(window != nullptr ? window : hostWindow());
}

PfWindow hostWindow() {
    if (g_override != nullptr) return g_override;
    static PfWindow window = nullptr;
    if (window == nullptr || !pfHostIsWindow(window)) window = pfHostCreateWindow("aucal");
    return window;
}

ProgressDisplay::ProgressDisplay(std::string label, bool quiet)
    : label_(std::move(label)), quiet_(quiet || !pfHostIsTerminal(2)) {
    record_.window = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hostWindow()));
    g_current = this;
}

ProgressDisplay::~ProgressDisplay() {
    if (drawn_) std::fprintf(stderr, "\n");
    if (g_current == this) g_current = nullptr;
}

bool ProgressDisplay::cancelled() const { return aucal::cancelled(); }

int32_t QEL_STDCALL ProgressDisplay::callback(ProgressRecord* record, int32_t total) {
    ProgressDisplay* self = g_current;
    if (self == nullptr || record == nullptr) return 0;
    ++self->calls_;
    self->show(record->count, total);
    // The libraries look for Escape between rows and lines: a signal becomes
    // one Escape press on the host window, posted from the calling thread.
    if (aucal::cancelled() && !self->escapePosted_) {
        self->escapePosted_ = true;
        pfHostPostKeyDown(hostWindow(), PF_VK_ESCAPE);
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
