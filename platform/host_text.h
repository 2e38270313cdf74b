// Text helpers of the host entries' backends (host_system.h, host_desktop.h):
// a string handed out as the Windows calls hand out theirs, and on Windows
// the UTF-8 / UTF-16 conversions.
#ifndef PLATFORM_HOST_TEXT_H
#define PLATFORM_HOST_TEXT_H

#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pf_host {

// Copies at most size - 1 bytes of text and a zero; returns text's length.
inline size_t copyOut(const std::string& text, char* buffer, size_t size) {
    if (buffer != nullptr && size > 0) {
        const size_t n = text.size() < size ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return text.size();
}

#ifdef _WIN32
inline std::wstring wide(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring w(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, w.data(), n);
    w.resize(std::wcslen(w.c_str()));
    return w;
}

// length in UTF-16 units, -1 for a zero-terminated text.
inline std::string utf8(const wchar_t* text, int length = -1) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, s.data(), n, nullptr, nullptr);
    if (length < 0 && !s.empty()) s.pop_back();  // the zero
    return s;
}
#endif

}  // namespace pf_host

#endif
