// Paths as the host keeps them: UTF-8 strings. std::filesystem takes and
// gives them through char8_t so that Windows, whose paths are UTF-16, does
// not read them in its ANSI code page (on Linux the bytes pass as they are).
#ifndef AUCAL_UTF8_PATH_H
#define AUCAL_UTF8_PATH_H

#include <filesystem>
#include <string>

namespace aucal {

inline std::filesystem::path utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

inline std::string utf8String(const std::filesystem::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

}  // namespace aucal

#endif
