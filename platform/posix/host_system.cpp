// The host's system calls on POSIX: the bytes of a path are the file's name,
// arguments and the terminal are UTF-8 already.
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../host_text.h"
#include "platform/host_system.h"

using pf_host::copyOut;

namespace {

PfHostStopHandler g_stop = nullptr;

void onSignal(int signal) {
    if (g_stop != nullptr) g_stop(signal);
}

}  // namespace

extern "C" {

PF_EXPORT char** pfHostArguments(int argc, char** argv, int* count) {
    *count = argc;
    return argv;
}

PF_EXPORT void pfHostUtf8Console(void) {}

PF_EXPORT int pfHostIsTerminal(int stream) { return ::isatty(stream) == 1; }

PF_EXPORT size_t pfHostProgramPath(char* buffer, size_t size) {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n <= 0 ? copyOut("", buffer, size) : copyOut(std::string(path, static_cast<size_t>(n)), buffer, size);
}

PF_EXPORT size_t pfHostLibraryFileName(const char* name, char* buffer, size_t size) {
    return copyOut(std::string("lib") + name + ".so", buffer, size);
}

PF_EXPORT size_t pfHostToUtf8(unsigned codePage, const char* text, size_t length, char* buffer, size_t size) {
    const std::string from = codePage == 950 ? "BIG5" : "WINDOWS-" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return copyOut(std::string(text, length), buffer, size);
    std::string out;
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    char chunk[256];
    while (inLeft > 0) {
        char* o = chunk;
        size_t outLeft = sizeof chunk;
        const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(chunk, static_cast<size_t>(o - chunk));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off byte: one replacement character, then on.
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return copyOut(out, buffer, size);
}

PF_EXPORT PfLibrary pfHostLoadLibrary(const char* path) { return pfLoadLibrary(path); }

PF_EXPORT size_t pfHostLibraryPathArgument(const char* path, char* buffer, size_t size) {
    return copyOut(path, buffer, size);
}

PF_EXPORT void pfHostOnStop(PfHostStopHandler handler) {
    g_stop = handler;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
}

PF_EXPORT void pfHostExitNow(int status) { ::_exit(status); }

PF_EXPORT FILE* pfHostOpenFile(const char* path, const char* mode) { return std::fopen(path, mode); }

PF_EXPORT int pfHostRemoveFile(const char* path) { return ::unlink(path) == 0; }

PF_EXPORT PfHostFile pfHostCreateUniqueFile(char* pattern, int suffixLength, const char* modelPath) {
    const int fd = ::mkstemps(pattern, suffixLength);
    if (fd < 0) return PF_HOST_NO_FILE;
    // mkstemps makes the file 0600: a new file gets what the umask gives, a
    // replacement keeps the mode of the file it replaces.
    struct stat st;
    mode_t mode;
    if (modelPath != nullptr && ::stat(modelPath, &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    return fd;
}

PF_EXPORT long pfHostWrite(PfHostFile file, const void* data, size_t size) {
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(file), data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 && size > 0) errno = ENOSPC;
        return n == 0 && size > 0 ? -1 : static_cast<long>(n);
    }
}

PF_EXPORT long pfHostFork(void) { return static_cast<long>(::fork()); }

PF_EXPORT int pfHostWaitChild(long child) {
    int status = 0;
    while (::waitpid(static_cast<pid_t>(child), &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PF_EXPORT int pfHostPipe(PfHostFile ends[2]) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return 0;
    ends[0] = fds[0];
    ends[1] = fds[1];
    return 1;
}

PF_EXPORT void* pfHostSharedMemory(size_t size) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

PF_EXPORT void pfHostFreeSharedMemory(void* memory, size_t size) {
    if (memory != nullptr) ::munmap(memory, size);
}

PF_EXPORT long pfHostRead(PfHostFile file, void* data, size_t size) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(file), data, size);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

PF_EXPORT long pfHostWriteAt(PfHostFile file, const void* data, size_t size, long long offset) {
    for (;;) {
        const ssize_t n = ::pwrite(static_cast<int>(file), data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 && size > 0) errno = ENOSPC;
        return n == 0 && size > 0 ? -1 : static_cast<long>(n);
    }
}

PF_EXPORT long pfHostReadAt(PfHostFile file, void* data, size_t size, long long offset) {
    for (;;) {
        const ssize_t n = ::pread(static_cast<int>(file), data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

PF_EXPORT int pfHostUncachedWrites(PfHostFile file, int on) {
    const int flags = ::fcntl(static_cast<int>(file), F_GETFL);
    if (flags < 0) return 0;
#ifdef O_DIRECT
    const int wanted = on ? flags | O_DIRECT : flags & ~O_DIRECT;
    return wanted == flags || ::fcntl(static_cast<int>(file), F_SETFL, wanted) == 0 ? 1 : 0;
#else
    return on ? 0 : 1;
#endif
}

PF_EXPORT void pfHostClose(PfHostFile file) {
    if (file != PF_HOST_NO_FILE) ::close(static_cast<int>(file));
}

PF_EXPORT long long pfHostStartWriteback(PfHostFile file, long long from) {
#ifdef __linux__
    constexpr long long kStep = 8ll << 20;
    struct stat st;
    if (file < 0 || ::fstat(static_cast<int>(file), &st) != 0 || st.st_size - from < kStep) return from;
    ::sync_file_range(static_cast<int>(file), from, st.st_size - from, SYNC_FILE_RANGE_WRITE);
    return st.st_size;
#else
    (void)file;
    return from;
#endif
}

PF_EXPORT int pfHostSyncPath(const char* path, int isFolder) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | (isFolder ? O_DIRECTORY : 0));
    if (fd < 0) return 0;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok ? 1 : 0;
}

PF_EXPORT int pfHostReplaceFile(const char* from, const char* to) { return ::rename(from, to) == 0; }

PF_EXPORT int pfHostSameFile(const char* a, const char* b) {
    struct stat sa, sb;
    return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

PF_EXPORT int pfHostPrivateFolder(const char* path) {
    struct stat st {};
    if (::lstat(path, &st) != 0) return -1;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 ? 1 : 0;
}

PF_EXPORT size_t pfHostTemporaryFolder(char* buffer, size_t size) {
    std::string folder = "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t != nullptr && *t != '\0') folder = t;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return copyOut(folder, buffer, size);
}

PF_EXPORT const char* pfHostErrorText(void) { return std::strerror(errno); }
}
