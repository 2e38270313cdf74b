// A file the host makes for the engine to read (a normalised target image or
// normalised reference data): in the system's temporary folder, private to
// the user, and removed when the object goes.
#ifndef AUCAL_SCRATCH_FILE_H
#define AUCAL_SCRATCH_FILE_H

#include <string>
#include <utility>

namespace aucal {

class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ScratchFile(ScratchFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    ScratchFile& operator=(ScratchFile&& other) noexcept;

    // An empty file whose name ends in `suffix` (".tga", ".txt").
    bool create(const std::string& suffix, std::string* error);
    // create, then the bytes.
    bool create(const std::string& suffix, const std::string& bytes, std::string* error);
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace aucal

#endif
