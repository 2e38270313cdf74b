// The printer chart reader with its mark search on arbitrary files: a status
// of the documented set, no read outside the file or buffers, nothing left
// open or allocated.
#include <cstdlib>

#include "fuzz_file.h"
#include "platform/desktop_posix.h"
#include "printer_target_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = fuzzing::inputPath("chart");
    if (!fuzzing::writeInput(path, data, size)) return 0;
    const int status = static_cast<int>(qel::ReadPrinterTargetImage(path.c_str()));
    if (status < 0 || status > 9) std::abort();  // 9: no memory for the row buffer
    if (pfdOpenFiles() != 0 || pfdLiveGlobalBlocks() != 0) std::abort();
    return 0;
}
