#include "scratch_file.h"

#include <cstdio>
#include <vector>

#include "platform/host_system.h"

namespace aucal {

ScratchFile::~ScratchFile() {
    if (!path_.empty()) pfHostRemoveFile(path_.c_str());
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        if (!path_.empty()) pfHostRemoveFile(path_.c_str());
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

bool ScratchFile::create(const std::string& suffix, std::string* error) {
    *this = ScratchFile();  // a second create replaces the first file
    char folder[4096];
    const std::size_t n = pfHostTemporaryFolder(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) {
        *error = "cannot find the temporary folder";
        return false;
    }
    const std::string pattern = std::string(folder) + "/aucal-XXXXXX" + suffix;
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    const PfHostFile file = pfHostCreateUniqueFile(name.data(), static_cast<int>(suffix.size()), nullptr);
    if (file == PF_HOST_NO_FILE) {
        *error = "cannot make a temporary file in " + std::string(folder) + ": " + pfHostErrorText();
        return false;
    }
    pfHostClose(file);
    path_ = name.data();
    return true;
}

bool ScratchFile::create(const std::string& suffix, const std::string& bytes, std::string* error) {
    if (!create(suffix, error)) return false;
    FILE* f = pfHostOpenFile(path_.c_str(), "wb");
    if (f == nullptr) {
        *error = "cannot write the temporary file " + path_ + ": " + pfHostErrorText();
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
