// The host's system calls on Windows: paths and texts arrive in UTF-8 and
// go to the W functions in UTF-16.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "../host_text.h"
#include "platform/host_system.h"

using pf_host::copyOut;
using pf_host::utf8;
using pf_host::wide;

namespace {

// UTF-8 to UTF-16 into a buffer of the caller (no allocation: the stop
// handler's thread uses it too); false when it does not fit.
bool wideInto(const char* text, wchar_t* buffer, int size) {
    return MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer, size) > 0;
}

// The temporary file stays open while a writer that takes its path (an
// image codec, a driver's _lcreat) opens it again, and the stop handler
// deletes it while it is open: as POSIX allows both, so must the handle.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

PfHostStopHandler g_stop = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (g_stop == nullptr) return FALSE;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: g_stop(2); return TRUE;
        case CTRL_CLOSE_EVENT: g_stop(1); return TRUE;
        default: g_stop(15); return TRUE;
    }
}

// An OVERLAPPED that places a synchronous read or write at offset.
OVERLAPPED at(long long offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xffffffffll);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

}  // namespace

extern "C" {

char** pfHostArguments(int argc, char** argv, int* count) {
    int n = 0;
    LPWSTR* wideArgs = CommandLineToArgvW(GetCommandLineW(), &n);
    if (wideArgs == nullptr) {
        *count = argc;
        return argv;
    }
    // Kept to the end of the process, as argv is.
    char** args = new char*[static_cast<size_t>(n) + 1];
    for (int i = 0; i < n; ++i) {
        const std::string a = utf8(wideArgs[i]);
        args[i] = new char[a.size() + 1];
        std::memcpy(args[i], a.c_str(), a.size() + 1);
    }
    args[n] = nullptr;
    LocalFree(wideArgs);
    *count = n;
    return args;
}

void pfHostUtf8Console(void) {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

int pfHostIsTerminal(int stream) {
    DWORD mode = 0;
    HANDLE h = GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

size_t pfHostProgramPath(char* buffer, size_t size) {
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    return copyOut(n == 0 || n >= 32768 ? std::string() : utf8(path, static_cast<int>(n)), buffer, size);
}

size_t pfHostLibraryFileName(const char* name, char* buffer, size_t size) {
    return copyOut(std::string(name) + ".dll", buffer, size);
}

size_t pfHostToUtf8(unsigned codePage, const char* text, size_t length, char* buffer, size_t size) {
    const int n = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), w.data(), n);
    return copyOut(n > 0 ? utf8(w.c_str(), n) : std::string(), buffer, size);
}

PfLibrary pfHostLoadLibrary(const char* path) {
    return reinterpret_cast<PfLibrary>(LoadLibraryW(wide(path).c_str()));
}

size_t pfHostLibraryPathArgument(const char* path, char* buffer, size_t size) {
    std::wstring w = wide(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        BOOL lossy = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.c_str(), -1, nullptr, 0, nullptr, &lossy);
        if (n > 0 && !lossy) {
            std::string narrow(static_cast<size_t>(n), '\0');
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.c_str(), -1, narrow.data(), n, nullptr, nullptr);
            narrow.pop_back();  // the zero
            return copyOut(narrow, buffer, size);
        }
        // Short names are ASCII.
        const DWORD shortLength = GetShortPathNameW(w.c_str(), nullptr, 0);
        if (shortLength == 0) break;
        std::wstring shortName(shortLength, L'\0');
        const DWORD got = GetShortPathNameW(w.c_str(), shortName.data(), shortLength);
        if (got == 0 || got >= shortLength) break;
        shortName.resize(got);
        w = shortName;
    }
    return copyOut("", buffer, size);
}

void pfHostOnStop(PfHostStopHandler handler) {
    g_stop = handler;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void pfHostExitNow(int status) { ExitProcess(static_cast<UINT>(status)); }

FILE* pfHostOpenFile(const char* path, const char* mode) { return _wfopen(wide(path).c_str(), wide(mode).c_str()); }

int pfHostRemoveFile(const char* path) {
    wchar_t w[MAX_PATH * 4];
    return wideInto(path, w, MAX_PATH * 4) && DeleteFileW(w) != 0;
}

PfHostFile pfHostCreateUniqueFile(char* pattern, int suffixLength, const char* /*modelPath*/) {
    const size_t length = std::strlen(pattern);
    if (suffixLength < 0 || length < static_cast<size_t>(suffixLength) + 6) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return PF_HOST_NO_FILE;
    }
    char* x = pattern + length - suffixLength - 6;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned long long seed = GetTickCount64() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 20);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned long long v = seed + static_cast<unsigned long long>(attempt) * 7919u;
        for (int i = 0; i < 6; ++i, v /= 36) x[i] = kLetters[v % 36];
        // The file is new and the folder's permissions are inherited, as a
        // file saved there by any program gets them.
        HANDLE h = CreateFileW(wide(pattern).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<PfHostFile>(h);
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return PF_HOST_NO_FILE;
}

long pfHostWrite(PfHostFile file, const void* data, size_t size) {
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr)) return -1;
    if (written == 0 && size > 0) {
        SetLastError(ERROR_DISK_FULL);
        return -1;
    }
    return static_cast<long>(written);
}

long pfHostFork(void) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
}

int pfHostWaitChild(long) { return -1; }

int pfHostPipe(PfHostFile ends[2]) {
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, nullptr, 0)) return 0;
    ends[0] = reinterpret_cast<PfHostFile>(r);
    ends[1] = reinterpret_cast<PfHostFile>(w);
    return 1;
}

void* pfHostSharedMemory(size_t) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
}

void pfHostFreeSharedMemory(void*, size_t) {}

long pfHostRead(PfHostFile file, void* data, size_t size) {
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &read, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(read);
}

long pfHostWriteAt(PfHostFile file, const void* data, size_t size, long long offset) {
    OVERLAPPED o = at(offset);
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, &o)) return -1;
    if (written == 0 && size > 0) {
        SetLastError(ERROR_DISK_FULL);
        return -1;
    }
    return static_cast<long>(written);
}

long pfHostReadAt(PfHostFile file, void* data, size_t size, long long offset) {
    OVERLAPPED o = at(offset);
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(size), &read, &o))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(read);
}

int pfHostUncachedWrites(PfHostFile, int on) { return on ? 0 : 1; }

void pfHostClose(PfHostFile file) {
    if (file != PF_HOST_NO_FILE) CloseHandle(reinterpret_cast<HANDLE>(file));
}

long long pfHostStartWriteback(PfHostFile, long long from) { return from; }

int pfHostSyncPath(const char* path, int isFolder) {
    if (isFolder) return 1;
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    const BOOL ok = FlushFileBuffers(h);
    CloseHandle(h);
    return ok != 0;
}

int pfHostReplaceFile(const char* from, const char* to) {
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

int pfHostSameFile(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* paths[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        // FILE_FLAG_BACKUP_SEMANTICS opens folders too.
        HANDLE h = CreateFileW(wide(paths[i]).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 0;
        const BOOL ok = GetFileInformationByHandle(h, &info[i]);
        CloseHandle(h);
        if (!ok) return 0;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

int pfHostPrivateFolder(const char* path) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
}

size_t pfHostTemporaryFolder(char* buffer, size_t size) {
    wchar_t path[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 2, path);
    if (n == 0 || n > MAX_PATH + 1) return copyOut("", buffer, size);
    while (n > 3 && (path[n - 1] == L'\\' || path[n - 1] == L'/')) --n;
    return copyOut(utf8(path, static_cast<int>(n)), buffer, size);
}

const char* pfHostErrorText(void) {
    static thread_local char text[512];
    wchar_t w[256] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), w, 256, nullptr);
    std::string s = n > 0 ? utf8(w, static_cast<int>(n)) : "error " + std::to_string(GetLastError());
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' ')) s.pop_back();
    copyOut(s, text, sizeof text);
    return text;
}
}
