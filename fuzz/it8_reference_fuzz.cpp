// The IT8.7/2 reference reader on arbitrary text: it must return 0, 3 or 4,
// stay inside its buffers, and give finite values when it returns 0.
#include <cmath>
#include <cstdlib>

#include "fuzz_file.h"
#include "it8_reference.h"
#include "platform/desktop_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = fuzzing::inputPath("it8ref");
    if (!fuzzing::writeInput(path, data, size)) return 0;
    qel::It8Reference reference{};
    const int status = qel::ReadIt8Reference(&reference, path.c_str());
    if (status != 0 && status != 3 && status != 4) std::abort();
    if (pfdOpenFiles() != 0 || pfdLiveGlobalBlocks() != 0) std::abort();
    return 0;
}
