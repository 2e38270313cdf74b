// The A3 model: the classic dialect with its library named in win.ini, the
// adapter handle, the A3 window and buffer sizes capped at 4 MiB in a grain
// that depends on the library.
#ifndef SCANNER_DRIVER_PRESCAN_STEPS_H
#define SCANNER_DRIVER_PRESCAN_STEPS_H

#include "classic_steps.h"

namespace drv {

class PrescanSteps final : public ClassicSteps {
public:
    bool findLibrary(const DriverRecord& record, std::string& path, BufferRules& rules) override;
};

// The library path is built in a buffer of this many bytes.
constexpr std::size_t kA3PathCapacity = 68;
// The library file name from win.ini, at most 65 characters.
constexpr std::uint32_t kA3LibraryNameBuffer = 66;
// True for the standard library name, compared without regard to case.
bool isStandardLibrary(const char* name);

PrescanSteps& prescanSteps();

}  // namespace drv

#endif
