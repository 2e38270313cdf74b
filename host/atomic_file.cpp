#include "atomic_file.h"

#include "cancellation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace aucal {

namespace fs = std::filesystem;

namespace {

std::string reason(int error) { return std::strerror(error); }

// A new file gets the mode the user's umask gives; a replaced one keeps its own.
mode_t modeFor(const std::string& finalPath) {
    struct stat st;
    if (::stat(finalPath.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool syncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

AtomicFile::AtomicFile(std::string finalPath) : final_(std::move(finalPath)) {}

AtomicFile::~AtomicFile() {
    if (!committed_) discard();
}

void AtomicFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    releaseTemporaryFile(slot_);
    slot_ = -1;
}

bool AtomicFile::create(std::string* error) {
    const fs::path target(final_);
    const fs::path folder = target.parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (ec) {
            *error = "cannot create the folder " + folder.string() + " for " + final_ + ": " + ec.message();
            return false;
        }
    }
    const std::string extension = target.extension().string();
    std::string leaf(".");
    leaf.append(target.stem().string()).append(".aucal-XXXXXX").append(extension);
    const std::string pattern = (folder / leaf).string();
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    fd_ = ::mkstemps(name.data(), static_cast<int>(extension.size()));
    if (fd_ < 0) {
        *error = "cannot write " + final_ + ": " + reason(errno);
        return false;
    }
    temporary_ = name.data();
    slot_ = registerTemporaryFile(temporary_);
    ::fchmod(fd_, modeFor(final_));
    return true;
}

bool AtomicFile::write(const void* data, std::size_t size, std::string* error) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = "cannot write " + final_ + ": " + reason(n < 0 ? errno : ENOSPC);
            discard();
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void AtomicFile::startWriteback() {
#ifdef __linux__
    constexpr long long kStep = 8ll << 20;
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size - writtenBack_ < kStep) return;
    // Asynchronous: it starts the writing of the dirty pages and returns.
    ::sync_file_range(fd_, writtenBack_, st.st_size - writtenBack_, SYNC_FILE_RANGE_WRITE);
    writtenBack_ = st.st_size;
#endif
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
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!syncPath(temporary_, O_RDONLY)) {
        *error = "cannot write " + final_ + ": " + reason(errno);
        discard();
        return false;
    }
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
        *error = "cannot write " + final_ + ": " + reason(errno);
        discard();
        return false;
    }
    committed_ = true;
    temporary_.clear();
    releaseTemporaryFile(slot_);
    slot_ = -1;
    // The rename itself reaches the disk with the folder.
    const fs::path folder = fs::path(final_).parent_path();
    syncPath(folder.empty() ? "." : folder.string(), O_RDONLY | O_DIRECTORY);
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
