// The image readers as aucal correct drives them: the file opened by its
// first bytes, every page read strip by strip.
#ifndef FUZZ_IMAGE_READ_H
#define FUZZ_IMAGE_READ_H

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_file.h"
#include "imaging/image_file.h"

namespace fuzzing {

inline int readImageAsAucalDoes(const char* name, const std::uint8_t* data, std::size_t size) {
    const std::string& path = inputPath(name);
    if (!writeInput(path, data, size)) return 0;
    std::string error;
    auto reader = imaging::openImage(path, &error);
    if (!reader) return 0;
    std::vector<std::uint8_t> strip;
    do {
        const imaging::Image& shape = reader->shape();
        // Pictures too large to read in a fuzzer's run are left at their
        // header (the strip buffer alone would pass the memory limit).
        if (shape.rowBytes() > (8u << 20) || static_cast<std::uint64_t>(shape.height) * shape.rowBytes() > (256u << 20))
            return 0;
        strip.resize(shape.rowBytes() * 16);
        for (int y = 0; y < shape.height; y += 16) {
            const int n = shape.height - y < 16 ? shape.height - y : 16;
            if (!reader->readRows(n, strip.data(), &error)) return 0;
        }
    } while (reader->nextPage(&error));
    return 0;
}

}  // namespace fuzzing

#endif
