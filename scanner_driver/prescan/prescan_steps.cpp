#include "prescan_steps.h"

#include <cctype>
#include <cstring>

#include "platform/profile.h"
#include "scan_driver.h"

namespace drv {

namespace {

constexpr const char* kStandardLibrary = "KASPI_SP.DLL";
constexpr const char* kLibraryFolder = "\\TWAIN_32\\KVSC_A3\\";

intptr_t PF_STDCALL warmUpPopup(PfWindow dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    return WarmUpProc(reinterpret_cast<void*>(dialog), message, wParam, lParam);
}

const ModelProfile kPrescan{
    "prescan",
    nullptr,  // the library named in win.ini
    true,
    static_cast<std::uint16_t>(Text::ScannerNotFound),
    static_cast<std::uint16_t>(Text::LoadSpicallError),
    {
        {2.46, 6.772, 4.961, 150},   // the A3 bed: larger start offsets
        {2.796, 6.102, 3.898, 240},
    },
    0,
    3,
    true,
    Pacing::SleepThenPoll,
    Pacing::Unpaced,
    &warmUpPopup,
};

PrescanSteps g_steps;

}  // namespace

bool isStandardLibrary(const char* name) {
    const std::size_t length = std::strlen(kStandardLibrary);
    if (std::strlen(name) != length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != static_cast<unsigned char>(kStandardLibrary[i]))
            return false;
    return true;
}

bool PrescanSteps::findLibrary(const ModelProfile&, std::string& path, BufferRules& rules) {
    char name[kA3LibraryNameBuffer] = {};
    pfGetProfileString("KVSINFO_A3", "DRIVER", kStandardLibrary, name, kA3LibraryNameBuffer);
    rules = isStandardLibrary(name) ? BufferRules{Grain::A3Standard, 65536} : BufferRules{Grain::A3Other, 131072};
    return libraryPath((std::string(kLibraryFolder) + name).c_str(), kA3PathCapacity, path);
}

const ModelProfile& prescanProfile() { return kPrescan; }
PrescanSteps& prescanSteps() { return g_steps; }

}  // namespace drv
