// Handle-based files on POSIX: a handle is the file descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

#include "desktop_state.h"
#include "platform/desktop_posix.h"
#include "platform/files.h"

namespace {

std::set<int>& openFiles() {
    static std::set<int> files;
    return files;
}

bool isOpen(PfFile file) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    return openFiles().count(file) != 0;
}

PfFile remember(int fd) {
    if (fd < 0) return PF_HFILE_ERROR;
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    openFiles().insert(fd);
    return fd;
}

// One write with the injected short-write fault applied: a failing write
// writes half of the bytes (at least one fewer than asked).
long writeAll(PfFile file, const void* buffer, std::size_t bytes) {
    if (!isOpen(file)) return -1;
    bool shortWrite;
    {
        std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
        shortWrite = pf_posix::writeShouldFail();
    }
    std::size_t want = shortWrite ? (bytes == 0 ? 0 : bytes / 2) : bytes;
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < want) {
        ssize_t n = ::write(file, p + done, want - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done == 0 ? -1 : static_cast<long>(done);
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

}  // namespace

extern "C" {

PF_EXPORT PfFile pfLopen(const char* path, int mode) {
    if (path == nullptr) return PF_HFILE_ERROR;
    int flags = O_RDONLY;
    if ((mode & 3) == PF_OF_WRITE) flags = O_WRONLY;
    if ((mode & 3) == PF_OF_READWRITE) flags = O_RDWR;
    std::string p = pf_posix::posixPath(path);
    int fd = ::open(p.c_str(), flags | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st;
        if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return PF_HFILE_ERROR;
        }
    }
    return remember(fd);
}

PF_EXPORT PfFile pfLcreat(const char* path, int /*attribute*/) {
    if (path == nullptr) return PF_HFILE_ERROR;
    std::string p = pf_posix::posixPath(path);
    return remember(::open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
}

PF_EXPORT uint32_t pfLread(PfFile file, void* buffer, uint32_t bytes) {
    if (!isOpen(file)) return PF_FILE_IO_ERROR;
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::read(file, p + done, bytes - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done == 0 ? PF_FILE_IO_ERROR : static_cast<uint32_t>(done);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<uint32_t>(done);
}

PF_EXPORT uint32_t pfLwrite(PfFile file, const void* buffer, uint32_t bytes) {
    long n = writeAll(file, buffer, bytes);
    return n < 0 ? PF_FILE_IO_ERROR : static_cast<uint32_t>(n);
}

PF_EXPORT int32_t pfHwrite(PfFile file, const void* buffer, int32_t bytes) {
    if (bytes < 0) return -1;
    long n = writeAll(file, buffer, static_cast<std::size_t>(bytes));
    return n < 0 ? -1 : static_cast<int32_t>(n);
}

PF_EXPORT int32_t pfLlseek(PfFile file, int32_t offset, int origin) {
    if (!isOpen(file)) return -1;
    int whence = origin == PF_FILE_CURRENT ? SEEK_CUR : origin == PF_FILE_END ? SEEK_END : SEEK_SET;
    off_t pos = ::lseek(file, offset, whence);
    if (pos < 0 || pos > 0x7FFFFFFF) return -1;
    return static_cast<int32_t>(pos);
}

PF_EXPORT PfFile pfLclose(PfFile file) {
    {
        std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
        if (openFiles().erase(file) == 0) return PF_HFILE_ERROR;
    }
    return ::close(file) == 0 ? 0 : PF_HFILE_ERROR;
}

PF_EXPORT int pfDeleteFile(const char* path) {
    if (path == nullptr) return 0;
    std::string p = pf_posix::posixPath(path);
    return ::unlink(p.c_str()) == 0 ? 1 : 0;
}

PF_EXPORT std::size_t pfdOpenFiles(void) {
    std::lock_guard<std::mutex> lock(pf_posix::desktopMutex());
    return openFiles().size();
}
}
