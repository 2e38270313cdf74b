// make-image-corpus <folder>: writes the image corpus (every kind the readers
// take or refuse) into the folder.
#include <cstdio>
#include <string>

#include "image_corpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-image-corpus <folder>\n");
        return 2;
    }
    std::string error;
    if (!corpus::writeAll(argv[1], &error)) {
        std::fprintf(stderr, "make-image-corpus: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
