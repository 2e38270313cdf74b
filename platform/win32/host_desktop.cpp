// The host's side of the real desktop: a window class of its own for the
// windows the libraries report to, a CBT hook for the message boxes they
// show, and the system's Windows directory.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "../host_text.h"
#include "platform/host_desktop.h"

using pf_host::copyOut;
using pf_host::utf8;
using pf_host::wide;

namespace {

const wchar_t kWindowClass[] = L"aucal host window";

std::string systemWindowsDirectory() {
    wchar_t path[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(path, MAX_PATH + 1);
    return n == 0 || n > MAX_PATH ? std::string() : utf8(path);
}

bool registerClassOnce() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kWindowClass;
        return RegisterClassW(&wc) != 0;
    }();
    return registered;
}

PfHostMessageBoxHandler g_boxes = nullptr;
void* g_boxesContext = nullptr;
HHOOK g_boxHook = nullptr;
std::vector<HWND> g_boxesAnswered;

// A message box is a dialog of the system class with the text item 0xFFFF
// and the icon item (1088 in Wine, 20 in Windows).
bool isMessageBox(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return std::wcscmp(name, L"#32770") == 0 && GetDlgItem(window, 0xFFFF) != nullptr &&
           (GetDlgItem(window, 1088) != nullptr || GetDlgItem(window, 20) != nullptr);
}

// Sees each message box as it is activated and posts the handler's answer
// into its modal loop.
LRESULT CALLBACK boxHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_boxes != nullptr) {
        HWND box = reinterpret_cast<HWND>(wParam);
        bool seen = false;
        for (HWND b : g_boxesAnswered) seen = seen || b == box;
        if (!seen && isMessageBox(box)) {
            g_boxesAnswered.push_back(box);
            char title[512] = {}, text[4096] = {};
            GetWindowTextA(box, title, sizeof title);
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            const int answer = g_boxes(g_boxesContext, text, title);
            PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        }
    }
    return CallNextHookEx(g_boxHook, code, wParam, lParam);
}

}  // namespace

extern "C" {

size_t pfHostSystemWindowsDirectory(char* buffer, size_t size) {
    return copyOut(systemWindowsDirectory(), buffer, size);
}

int pfHostSetWindowsDirectory(const char* path) {
    const std::string dir = systemWindowsDirectory();
    return !dir.empty() && CompareStringOrdinal(wide(path).c_str(), -1, wide(dir.c_str()).c_str(), -1, TRUE) ==
                               CSTR_EQUAL;
}

int pfHostPrivateWindowsDirectory(char* buffer, size_t size) {
    const size_t n = pfHostSystemWindowsDirectory(buffer, size);
    return n == 0 || n >= size ? -1 : 0;
}

unsigned long pfHostUserId(void) { return 0; }

PfWindow pfHostCreateWindow(const char* title) {
    if (!registerClassOnce()) return nullptr;
    HWND window = CreateWindowExW(0, kWindowClass, wide(title).c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  320, 120, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return nullptr;
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(window);
    return reinterpret_cast<PfWindow>(window);
}

PfWindow pfHostCreateDialogWindow(const char* title, const int32_t* itemIds, size_t itemCount) {
    PfWindow dialog = pfHostCreateWindow(title);
    if (dialog == nullptr) return nullptr;
    for (size_t i = 0; i < itemCount; ++i)
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 8, 8 + 24 * static_cast<int>(i), 300, 20,
                        reinterpret_cast<HWND>(dialog),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(itemIds[i])), GetModuleHandleW(nullptr),
                        nullptr);
    return dialog;
}

void pfHostDestroyWindow(PfWindow window) { DestroyWindow(reinterpret_cast<HWND>(window)); }
int pfHostIsWindow(PfWindow window) { return window != nullptr && IsWindow(reinterpret_cast<HWND>(window)); }
void pfHostSetFocus(PfWindow window) { SetFocus(reinterpret_cast<HWND>(window)); }

int pfHostPostKeyDown(PfWindow window, uint32_t virtualKey) {
    return PostMessageW(reinterpret_cast<HWND>(window), WM_KEYDOWN, virtualKey, 1) != 0;
}

void pfHostSetMessageBoxHandler(PfHostMessageBoxHandler handler, void* context) {
    g_boxes = handler;
    g_boxesContext = context;
    g_boxesAnswered.clear();
    if (handler != nullptr && g_boxHook == nullptr)
        g_boxHook = SetWindowsHookExW(WH_CBT, boxHook, nullptr, GetCurrentThreadId());
    if (handler == nullptr && g_boxHook != nullptr) {
        UnhookWindowsHookEx(g_boxHook);
        g_boxHook = nullptr;
    }
}

void pfHostUseVirtualClock(int) {}
}
