// The Targa IT8 target reader with its locator and sampler on arbitrary
// files: 0 or 1, every read inside the file and the row buffer, nothing left
// open or allocated.
#include <cstdlib>

#include "engine_state.h"
#include "fuzz_file.h"
#include "it8_target_image.h"
#include "platform/desktop_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = fuzzing::inputPath("it8tga");
    if (!fuzzing::writeInput(path, data, size)) return 0;
    const int status = qel::ReadIt8TargetImage(path.c_str());
    if (status != 0 && status != 1) std::abort();
    if (status == 0)
        for (const auto& row : qel::g_engine.targetPatches.cell)
            for (const auto& cell : row)
                for (int v : cell)
                    if (v < 0 || v > 255) std::abort();
    if (pfdOpenFiles() != 0 || pfdLiveGlobalBlocks() != 0) std::abort();
    return 0;
}
