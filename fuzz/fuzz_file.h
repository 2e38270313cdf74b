// The engine's readers take file names: each fuzz input is written to one
// file in memory-backed storage and read back through the platform's files.
#ifndef FUZZ_FUZZ_FILE_H
#define FUZZ_FUZZ_FILE_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzzing {

inline const std::string& inputPath(const char* name) {
    static const std::string path = [name] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/aucal-fuzz-" + name + "-" + std::to_string(getpid());
    }();
    return path;
}

inline bool writeInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    return ok;
}

}  // namespace fuzzing

#endif
