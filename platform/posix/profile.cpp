// The Windows directory and win.ini on the POSIX desktop. The Windows
// directory is the one the host set, else $AUCAL_WINDIR, else the current
// directory; win.ini is the file of that name (any letter case) in it.
#include "platform/profile.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

#include "desktop_state.h"
#include "desktop_windows.h"
#include "platform/desktop_posix.h"

namespace pf_posix {
namespace {

std::optional<std::string>& hostWindowsDirectory() {
    static std::optional<std::string> path;
    return path;
}

std::string windowsDirectory() {
    std::string dir;
    if (hostWindowsDirectory()) {
        dir = *hostWindowsDirectory();
    } else if (const char* env = std::getenv("AUCAL_WINDIR"); env != nullptr && env[0] != '\0') {
        dir = env;
    } else {
        char cwd[4096];
        dir = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    }
    dir = posixPath(dir.c_str());
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string winIniPath(const std::string& dir) {
    std::string exact = dir + "/win.ini";
    if (access(exact.c_str(), R_OK) == 0) return exact;
    // Windows file names compare without regard to case.
    std::string found;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (strcasecmp(e->d_name, "win.ini") == 0) {
                found = dir + "/" + e->d_name;
                break;
            }
        }
        closedir(d);
    }
    return found;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::optional<std::string> lookUp(const std::string& path, const char* section, const char* key) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string t = trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            std::string name = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = strcasecmp(name.c_str(), section) == 0;
            continue;
        }
        if (!inSection) continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        if (strcasecmp(trim(t.substr(0, eq)).c_str(), key) != 0) continue;
        std::string value = trim(t.substr(eq + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

}  // namespace

void resetProfile() { hostWindowsDirectory().reset(); }

}  // namespace pf_posix

using namespace pf_posix;

extern "C" {

PF_EXPORT uint32_t pfGetProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                                      uint32_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    buffer[0] = '\0';
    if (section == nullptr || key == nullptr) return 0;
    std::string dir;
    {
        std::lock_guard<std::mutex> lock(desktopMutex());
        dir = windowsDirectory();
    }
    std::string path = winIniPath(dir);
    std::optional<std::string> value = path.empty() ? std::nullopt : lookUp(path, section, key);
    std::string text = value ? *value : (defaultValue != nullptr ? defaultValue : "");
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(text.size(), bufferSize - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

PF_EXPORT uint32_t pfGetWindowsDirectory(char* buffer, uint32_t bufferSize) {
    std::string dir;
    {
        std::lock_guard<std::mutex> lock(desktopMutex());
        dir = windowsDirectory();
    }
    if (dir.size() + 1 > bufferSize || buffer == nullptr) return static_cast<uint32_t>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<uint32_t>(dir.size());
}

PF_EXPORT void pfdSetWindowsDirectory(const char* path) {
    std::lock_guard<std::mutex> lock(desktopMutex());
    if (path == nullptr)
        hostWindowsDirectory().reset();
    else
        hostWindowsDirectory() = std::string(path);
}
}
