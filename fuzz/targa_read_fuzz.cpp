// The Targa reader (and whatever the first bytes make of the input) as aucal
// correct drives it; seeded from the generated image corpus.
#include "image_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzing::readImageAsAucalDoes("targa_read", data, size);
}
