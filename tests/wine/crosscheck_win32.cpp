// The Windows side of the cross-checks: LoadLibraryA/GetProcAddress as a host
// does, a real focused window with its message queue, and the raw call that
// measures how many bytes of arguments a callee takes off the stack.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "crosscheck.h"
#include "crosscheck_platform.h"

// RawResult crosscheck_raw_call(function, arguments, count, returnsFloat, result)
// (caller cleans). Pushes count 32-bit words, last first, so that arguments[0]
// is the first argument; calls; stores EAX, EDX, the bytes that the callee
// removed (ESP after the call minus ESP before it), and for a float result the
// x87 top of stack. ESP is then restored from the frame, whatever the callee
// did, so that a wrong convention is reported rather than a crash.
// Layout of RawResult: eax at 0, edx at 4, calleeRemoved at 8, st0 at 12.
asm(R"(
    .text
    .globl _crosscheck_raw_call
    .def _crosscheck_raw_call; .scl 2; .type 32; .endef
_crosscheck_raw_call:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl %esp, %edi
    movl 8(%ebp), %eax
    call *%eax
    movl %esp, %ecx
    subl %edi, %ecx
    movl 24(%ebp), %ebx
    movl %eax, 0(%ebx)
    movl %edx, 4(%ebx)
    movl %ecx, 8(%ebx)
    cmpl $0, 20(%ebp)
    je 3f
    fstps 12(%ebx)
3:  leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

extern "C" void crosscheck_raw_call(void* function, const std::uint32_t* arguments, std::uint32_t count,
                                    std::uint32_t returnsFloat, crosscheck::detail::RawResult* result);

static_assert(offsetof(crosscheck::detail::RawResult, edx) == 4);
static_assert(offsetof(crosscheck::detail::RawResult, calleeRemoved) == 8);
static_assert(offsetof(crosscheck::detail::RawResult, st0) == 12);

namespace crosscheck {

namespace platform {

std::string join(const std::string& dir, const std::string& relative) {
    std::string r = relative;
    for (char& c : r)
        if (c == '/') c = '\\';
    if (dir.empty()) return r;
    const char last = dir.back();
    return (last == '\\' || last == '/') ? dir + r : dir + "\\" + r;
}

std::string libraryFile(const std::string& libraryDir, const std::string& name) {
    return join(libraryDir, name + ".dll");
}

std::string defaultLibraryDir(const char*) {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    const std::size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

namespace {

// What the host sees of the libraries under test through their kernel32
// imports, which loadLibrary redirects here:
// - Sleep runs on a virtual clock (the drivers' one-second status polls add
//   to a counter and return at once, as on the native side's stand-in clock),
//   so that a scan costs no real seconds under Wine either;
// - global memory blocks and handle files are counted as they are acquired
//   and released, so that a case that leaves one behind fails here as it does
//   on the native side.
std::uint64_t g_sleptMilliseconds = 0;
std::set<HGLOBAL> g_liveBlocks;
std::set<HFILE> g_openFiles;

void WINAPI virtualSleep(DWORD milliseconds) { g_sleptMilliseconds += milliseconds; }

HGLOBAL WINAPI countedGlobalAlloc(UINT flags, SIZE_T bytes) {
    HGLOBAL block = GlobalAlloc(flags, bytes);
    if (block != nullptr) g_liveBlocks.insert(block);
    return block;
}

HGLOBAL WINAPI countedGlobalFree(HGLOBAL block) {
    HGLOBAL result = GlobalFree(block);
    if (result == nullptr) g_liveBlocks.erase(block);
    return result;
}

HFILE WINAPI countedLopen(LPCSTR path, int mode) {
    HFILE file = _lopen(path, mode);
    if (file != HFILE_ERROR) g_openFiles.insert(file);
    return file;
}

HFILE WINAPI countedLcreat(LPCSTR path, int attribute) {
    HFILE file = _lcreat(path, attribute);
    if (file != HFILE_ERROR) g_openFiles.insert(file);
    return file;
}

HFILE WINAPI countedLclose(HFILE file) {
    HFILE result = _lclose(file);
    if (result != HFILE_ERROR) g_openFiles.erase(file);
    return result;
}

struct Redirect {
    const char* name;
    void* replacement;
};
const Redirect kRedirects[] = {
    {"Sleep", reinterpret_cast<void*>(&virtualSleep)},
    {"GlobalAlloc", reinterpret_cast<void*>(&countedGlobalAlloc)},
    {"GlobalFree", reinterpret_cast<void*>(&countedGlobalFree)},
    {"_lopen", reinterpret_cast<void*>(&countedLopen)},
    {"_lcreat", reinterpret_cast<void*>(&countedLcreat)},
    {"_lclose", reinterpret_cast<void*>(&countedLclose)},
};

// Rewrites the module's import address table entries (found through the PE
// import directory) that hold one of the kernel32 procedures above.
void redirectImports(HMODULE module) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    void* real[std::size(kRedirects)];
    for (std::size_t i = 0; i < std::size(kRedirects); ++i)
        real[i] = reinterpret_cast<void*>(GetProcAddress(kernel, kRedirects[i].name));
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name != 0; ++d) {
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); thunk->u1.Function != 0;
             ++thunk) {
            for (std::size_t i = 0; i < std::size(kRedirects); ++i) {
                if (real[i] == nullptr || reinterpret_cast<void*>(thunk->u1.Function) != real[i]) continue;
                DWORD old = 0;
                if (!VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, PAGE_READWRITE, &old)) break;
                thunk->u1.Function = reinterpret_cast<DWORD_PTR>(kRedirects[i].replacement);
                VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, old, &old);
                break;
            }
        }
    }
}

std::size_t g_blocksBefore = 0;
std::size_t g_filesBefore = 0;

}  // namespace

void* load(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module != nullptr) redirectImports(module);
    return reinterpret_cast<void*>(module);
}

std::string loadError() { return "error " + std::to_string(GetLastError()); }

void* symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void release(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

namespace {

HHOOK g_boxHook = nullptr;
std::vector<HWND> g_boxesAnswered;  // of the running case

// A message box is a dialog of the system class with the text item 0xFFFF
// and the icon item (1088 in Wine, 20 in Windows); the drivers' own dialogs
// have neither together.
bool isMessageBox(HWND window) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    return std::strcmp(name, "#32770") == 0 && GetDlgItem(window, 0xFFFF) != nullptr &&
           (GetDlgItem(window, 1088) != nullptr || GetDlgItem(window, 20) != nullptr);
}

// Sees each message box as it is activated, records it and posts the answer
// into its modal loop.
LRESULT CALLBACK boxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        if (isMessageBox(box) &&
            std::find(g_boxesAnswered.begin(), g_boxesAnswered.end(), box) == g_boxesAnswered.end()) {
            g_boxesAnswered.push_back(box);
            char title[512] = {}, text[2048] = {};
            GetWindowTextA(box, title, sizeof title);
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            const int answer = messageBoxShown(title, text);
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        }
    }
    return CallNextHookEx(g_boxHook, code, wParam, lParam);
}

}  // namespace

// A fault in a DLL under test would otherwise start Wine's debugger, and the
// run would end without its closing line (or wait on a crash dialog).
LONG WINAPI reportUnhandled(EXCEPTION_POINTERS* info) {
    char what[96];
    std::snprintf(what, sizeof what, "unhandled exception 0x%08lx at %p",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  info->ExceptionRecord->ExceptionAddress);
    reportCrash(what);
    ExitProcess(3);
}

std::uint64_t sleptMilliseconds() { return g_sleptMilliseconds; }

}  // namespace platform

std::size_t liveGlobalBlocks() { return platform::g_liveBlocks.size(); }
std::size_t openFiles() { return platform::g_openFiles.size(); }

namespace platform {

void beforeCase() {
    static const bool crashReport = [] {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        SetUnhandledExceptionFilter(reportUnhandled);
        return true;
    }();
    (void)crashReport;
    if (g_boxHook == nullptr) g_boxHook = SetWindowsHookExA(WH_CBT, boxHook, nullptr, GetCurrentThreadId());
    g_boxesAnswered.clear();
    g_blocksBefore = g_liveBlocks.size();
    g_filesBefore = g_openFiles.size();
}

std::string leftBehind() {
    if (g_boxHook == nullptr) return "the message box hook could not be set";
    std::string what;
    if (g_liveBlocks.size() > g_blocksBefore)
        what += std::to_string(g_liveBlocks.size() - g_blocksBefore) + " global memory block(s) left allocated";
    if (g_openFiles.size() > g_filesBefore) {
        if (!what.empty()) what += "; ";
        what += std::to_string(g_openFiles.size() - g_filesBefore) + " file(s) left open";
    }
    return what;
}

}  // namespace platform

namespace detail {

RawResult rawCall(void* function, const std::uint32_t* arguments, std::uint32_t count, bool returnsFloat) {
    RawResult r{};
    crosscheck_raw_call(function, arguments, count, returnsFloat ? 1u : 0u, &r);
    return r;
}

}  // namespace detail

namespace {

constexpr const char* kWindowClass = "CrosscheckFocusWindow";

LRESULT CALLBACK focusWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

bool registerClassOnce() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = focusWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kWindowClass;
        return RegisterClassA(&wc) != 0;
    }();
    return registered;
}

// Takes every queued message of window off the queue. A pending WM_PAINT is
// not removed by PM_REMOVE (it stays until the window is validated), so it is
// validated instead of counted.
std::size_t takeMessages(HWND window) {
    std::size_t n = 0;
    MSG m;
    for (int guard = 0; guard < 100000 && PeekMessageA(&m, window, 0, 0, PM_REMOVE); ++guard) {
        if (m.message == WM_PAINT) {
            ValidateRect(window, nullptr);
            continue;
        }
        ++n;
    }
    return n;
}

}  // namespace

void FocusWindow::post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    check(PostMessageA(static_cast<HWND>(handle_), message, wParam, lParam) != 0, "PostMessageA failed");
}

void FocusWindow::postKeyDown(std::uint32_t virtualKey) {
    // lParam: repeat count 1, the key's scan code in bits 16..23.
    const UINT scan = MapVirtualKeyA(virtualKey, 0 /*MAPVK_VK_TO_VSC*/);
    post(WM_KEYDOWN, virtualKey, static_cast<std::intptr_t>(1 | (scan << 16)));
}

std::size_t FocusWindow::takeQueued() { return takeMessages(static_cast<HWND>(handle_)); }

bool FocusWindow::hasFocus() const { return GetFocus() == static_cast<HWND>(handle_); }

std::string FocusWindow::itemText(std::int32_t item) const {
    char text[512] = {};
    const UINT n = GetDlgItemTextA(static_cast<HWND>(handle_), item, text, sizeof text);
    return std::string(text, n);
}

std::string windowsDirectory() {
    char path[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryA(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

std::string recorderLibrary() { return windowsDirectory() + "\\AUCAL_RECORDER\\KASPI_SP.DLL"; }

void withFocusWindow(const std::function<void(FocusWindow&)>& body) {
    require(registerClassOnce(), "RegisterClassA failed");
    HWND handle = CreateWindowExA(0, kWindowClass, "crosscheck focus window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  40, 40, 320, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    require(handle != nullptr, "CreateWindowExA failed: " + std::to_string(GetLastError()));
    CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 8, 8, 300, 20, handle,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(FocusWindow::kStatusItem)),
                    GetModuleHandleA(nullptr), nullptr);
    struct Cleanup {
        HWND h;
        ~Cleanup() {
            takeMessages(h);
            DestroyWindow(h);
            // Whatever the destruction posted for the thread goes too.
            MSG m;
            for (int guard = 0; guard < 1000 && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); ++guard) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
        }
    } cleanup{handle};
    ShowWindow(handle, SW_SHOWNORMAL);
    UpdateWindow(handle);
    SetForegroundWindow(handle);
    SetFocus(handle);
    // Start from an empty queue: what showing and activating posted is
    // dispatched now, not left for the code under test.
    MSG m;
    for (int guard = 0; guard < 1000 && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); ++guard) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    ValidateRect(handle, nullptr);
    FocusWindow window;
    window.handle_ = handle;
    require(window.hasFocus(), "the new window did not get the keyboard focus");
    body(window);
}

}  // namespace crosscheck
