// The native side of the cross-checks: libraries through the platform
// stand-in's loader (so that they share this program's desktop), the
// stand-in's desktop for focus and queue, and its counters for what a case
// leaves behind.
#include <dlfcn.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "crosscheck.h"
#include "crosscheck_platform.h"
#include "platform/desktop_posix.h"
#include "platform/library.h"
#include "platform/messages.h"
#include "platform/profile.h"

namespace crosscheck {

namespace platform {

namespace {
std::size_t g_blocksBefore = 0;
std::size_t g_filesBefore = 0;
}  // namespace

std::string libraryFile(const std::string& libraryDir, const std::string& name) {
    return join(libraryDir, "lib" + name + ".so");
}

std::string defaultLibraryDir(const char* argv0) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0);
    return (exe.parent_path().parent_path() / "lib").string();
}

void* load(const std::string& path) { return reinterpret_cast<void*>(pfLoadLibrary(path.c_str())); }

std::string loadError() {
    // The stand-in loads with dlopen; its reason is still there.
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

void* symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(pfGetProcAddress(reinterpret_cast<PfLibrary>(library), name));
}

void release(void* library) { pfFreeLibrary(reinterpret_cast<PfLibrary>(library)); }

namespace {

int answerMessageBox(void*, PfWindow, const char* text, const char* title, uint32_t) {
    return messageBoxShown(title != nullptr ? title : "", text != nullptr ? text : "");
}

}  // namespace

void onFatalSignal(int signal) {
    reportCrash(signal == SIGSEGV ? "segmentation fault" : signal == SIGABRT ? "abort" : "fatal signal");
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::uint64_t sleptMilliseconds() { return pfdVirtualMilliseconds(); }

}  // namespace platform

std::size_t liveGlobalBlocks() { return pfdLiveGlobalBlocks(); }
std::size_t openFiles() { return pfdOpenFiles(); }

namespace platform {

void beforeCase() {
    static const bool crashReport = [] {
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, onFatalSignal);
        return true;
    }();
    (void)crashReport;
    pfdResetDesktop();
    pfdSetMessageBoxHandler(&answerMessageBox, nullptr);
    // The drivers' one-second polls cost no real time here.
    pfdUseVirtualClock(1);
    pfdFailAllocationAfter(0);
    pfdFailWriteAfter(0);
    g_blocksBefore = pfdLiveGlobalBlocks();
    g_filesBefore = pfdOpenFiles();
}

std::string leftBehind() {
    pfdFailAllocationAfter(0);
    pfdFailWriteAfter(0);
    std::string what;
    const std::size_t blocks = pfdLiveGlobalBlocks(), files = pfdOpenFiles();
    if (blocks > g_blocksBefore)
        what += std::to_string(blocks - g_blocksBefore) + " global memory block(s) left allocated";
    if (files > g_filesBefore) {
        if (!what.empty()) what += "; ";
        what += std::to_string(files - g_filesBefore) + " file(s) left open";
    }
    return what;
}

std::string join(const std::string& dir, const std::string& relative) {
    if (dir.empty()) return relative;
    return dir.back() == '/' ? dir + relative : dir + "/" + relative;
}

}  // namespace platform

namespace detail {

RawResult rawCall(void*, const std::uint32_t*, std::uint32_t, bool) {
    fail("rawCall exists on 32-bit Windows only");
}

}  // namespace detail

void FocusWindow::post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    check(pfdPostMessage(static_cast<PfWindow>(handle_), message, wParam, lParam) != 0, "PostMessage failed");
}

void FocusWindow::postKeyDown(std::uint32_t virtualKey) {
    check(pfdPostKeyDown(static_cast<PfWindow>(handle_), virtualKey) != 0, "posting a key press failed");
}

std::size_t FocusWindow::takeQueued() {
    std::size_t n = 0;
    PfMessage m;
    while (pfPeekMessage(&m, static_cast<PfWindow>(handle_), 0, 0, PF_PM_REMOVE)) ++n;
    return n;
}

bool FocusWindow::hasFocus() const { return pfGetFocus() == static_cast<PfWindow>(handle_); }

std::string FocusWindow::itemText(std::int32_t item) const {
    char text[512];
    const std::size_t n = pfdGetItemText(static_cast<PfWindow>(handle_), item, text, sizeof text);
    if (n == static_cast<std::size_t>(-1)) return {};
    return std::string(text, n < sizeof text ? n : sizeof text - 1);
}

std::string windowsDirectory() {
    char path[1024];
    const std::uint32_t n = pfGetWindowsDirectory(path, sizeof path);
    return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

std::string recorderLibrary() { return AUCAL_RECORDER_LIBRARY; }

void withFocusWindow(const std::function<void(FocusWindow&)>& body) {
    FocusWindow window;
    const std::int32_t items[] = {FocusWindow::kStatusItem};
    PfWindow handle = pfdCreateDialogWindow("crosscheck focus window", items, 1);
    require(handle != nullptr, "cannot create a window");
    window.handle_ = handle;
    pfdSetFocus(handle);
    struct Cleanup {
        PfWindow h;
        ~Cleanup() {
            PfMessage m;
            while (pfPeekMessage(&m, h, 0, 0, PF_PM_REMOVE)) {
            }
            pfdSetFocus(nullptr);
            pfdDestroyWindow(h);
        }
    } cleanup{handle};
    require(window.hasFocus(), "the new window did not get the focus");
    body(window);
}

}  // namespace crosscheck
