// Files by UTF-8 path. Every path in this tree is a UTF-8 string; Windows
// reads a narrow path in its ANSI code page, so there the path is converted
// to UTF-16 for the wide call (_wfopen), and std::filesystem takes and gives
// it through char8_t. On POSIX the bytes pass as they are.
#ifndef AUCAL_IMAGING_UTF8_FILE_H
#define AUCAL_IMAGING_UTF8_FILE_H

#include <cstdio>
#include <filesystem>
#include <string>

namespace imaging {

inline std::filesystem::path utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

inline std::string utf8String(const std::filesystem::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

// fopen of a UTF-8 path; nullptr on failure (also for a path that is no
// valid UTF-8 on Windows, with errno EINVAL).
std::FILE* openFile(const std::string& path, const char* mode);
// "cannot open (No such file or directory)": the system's reason for the
// openFile that just failed, read from errno before anything can change it.
std::string cannotOpen();

#if defined(_WIN32)
// The path in UTF-16 for the wide calls of other libraries (TIFFOpenW);
// empty when it is no valid UTF-8.
std::wstring widePath(const std::string& path);
#endif

}  // namespace imaging

#endif
