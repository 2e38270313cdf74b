#include "imaging/utf8_file.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace imaging {

#if defined(_WIN32)
std::wstring widePath(const std::string& path) {
    if (path.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                                      nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), w.data(), n);
    return w;
}

std::FILE* openFile(const std::string& path, const char* mode) {
    const std::wstring w = widePath(path);
    if (w.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    // The mode is ASCII ("rb", "wb", "ab").
    std::wstring m;
    for (const char* c = mode; *c != '\0'; ++c) m.push_back(static_cast<wchar_t>(*c));
    return _wfopen(w.c_str(), m.c_str());
}
#else
std::FILE* openFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }
#endif

std::string cannotOpen() {
    const int reason = errno;
    return std::string("cannot open (") + std::strerror(reason) + ")";
}

}  // namespace imaging
