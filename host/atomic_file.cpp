#include "atomic_file.h"

#include "cancellation.h"

#include <filesystem>
#include <vector>

#include "platform/host_system.h"
#include "utf8_path.h"

namespace aucal {

namespace fs = std::filesystem;

namespace {

std::string reason() { return pfHostErrorText(); }

}  // namespace

AtomicFile::AtomicFile(std::string finalPath) : final_(std::move(finalPath)) {}

AtomicFile::~AtomicFile() {
    if (!committed_) discard();
}

void AtomicFile::discard() {
    pfHostClose(fd_);
    fd_ = PF_HOST_NO_FILE;
    if (!temporary_.empty()) pfHostRemoveFile(temporary_.c_str());
    temporary_.clear();
    releaseTemporaryFile(slot_);
    slot_ = -1;
}

bool AtomicFile::create(std::string* error) {
    const fs::path target = utf8Path(final_);
    const fs::path folder = target.parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (ec) {
            *error = "cannot create the folder " + utf8String(folder) + " for " + final_ + ": " + ec.message();
            return false;
        }
    }
    const std::string extension = utf8String(target.extension());
    std::string leaf(".");
    leaf.append(utf8String(target.stem())).append(".aucal-XXXXXX").append(extension);
    const std::string pattern = utf8String(folder / utf8Path(leaf));
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    fd_ = pfHostCreateUniqueFile(name.data(), static_cast<int>(extension.size()), final_.c_str());
    if (fd_ == PF_HOST_NO_FILE) {
        *error = "cannot write " + final_ + ": " + reason();
        return false;
    }
    temporary_ = name.data();
    slot_ = registerTemporaryFile(temporary_);
    return true;
}

bool AtomicFile::write(const void* data, std::size_t size, std::string* error) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const long n = pfHostWrite(fd_, p, size);
        if (n <= 0) {
            *error = "cannot write " + final_ + ": " + reason();
            discard();
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void AtomicFile::startWriteback() {
    if (fd_ != PF_HOST_NO_FILE) writtenBack_ = pfHostStartWriteback(fd_, writtenBack_);
}

bool AtomicFile::commit(std::string* error) {
    if (temporary_.empty()) {
        *error = "cannot write " + final_;
        return false;
    }
    // Nothing is committed once a signal has asked to stop: the destructor
    // removes the temporary file while the exception unwinds.
    throwIfCancelled();
    // A writer that took the path may have replaced the file: sync by name.
    pfHostClose(fd_);
    fd_ = PF_HOST_NO_FILE;
    if (!pfHostSyncPath(temporary_.c_str(), 0)) {
        *error = "cannot write " + final_ + ": " + reason();
        discard();
        return false;
    }
    if (!pfHostReplaceFile(temporary_.c_str(), final_.c_str())) {
        *error = "cannot write " + final_ + ": " + reason();
        discard();
        return false;
    }
    committed_ = true;
    temporary_.clear();
    releaseTemporaryFile(slot_);
    slot_ = -1;
    // The rename itself reaches the disk with the folder.
    const fs::path folder = utf8Path(final_).parent_path();
    pfHostSyncPath(folder.empty() ? "." : utf8String(folder).c_str(), 1);
    return true;
}

bool writeFileAtomically(const std::string& path, const void* data, std::size_t size, std::string* error) {
    AtomicFile file(path);
    return file.create(error) && file.write(data, size, error) && file.commit(error);
}

bool writeFileAtomically(const std::string& path, const WriteToPath& writeTo, std::string* error) {
    AtomicFile file(path);
    if (!file.create(error)) return false;
    if (!writeTo(file.temporaryPath(), error)) {
        // The writer's sentence names the file the user asked for.
        for (std::size_t at; (at = error->find(file.temporaryPath())) != std::string::npos;)
            error->replace(at, file.temporaryPath().size(), path);
        return false;
    }
    return file.commit(error);
}

}  // namespace aucal
