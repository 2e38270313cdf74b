#include "scratch_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace aucal {

ScratchFile::~ScratchFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        if (!path_.empty()) ::unlink(path_.c_str());
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

bool ScratchFile::create(const std::string& suffix, std::string* error) {
    *this = ScratchFile();  // a second create replaces the first file
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    const std::string pattern = (folder / ("aucal-XXXXXX" + suffix)).string();
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    const int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        *error = "cannot make a temporary file in " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    path_ = name.data();
    return true;
}

bool ScratchFile::create(const std::string& suffix, const std::string& bytes, std::string* error) {
    if (!create(suffix, error)) return false;
    FILE* f = std::fopen(path_.c_str(), "wb");
    if (f == nullptr) {
        *error = "cannot write the temporary file " + path_ + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written) {
        *error = "cannot write the temporary file " + path_;
        return false;
    }
    return true;
}

}  // namespace aucal
