#include "prescan_steps.h"

#include <cctype>
#include <cstring>

#include "platform/profile.h"

namespace drv {

namespace {

constexpr const char* kStandardLibrary = "KASPI_SP.DLL";
constexpr const char* kLibraryFolder = "\\TWAIN_32\\KVSC_A3\\";

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

bool PrescanSteps::findLibrary(const DriverRecord&, std::string& path, BufferRules& rules) {
    char name[kA3LibraryNameBuffer] = {};
    pfGetProfileString("KVSINFO_A3", "DRIVER", kStandardLibrary, name, kA3LibraryNameBuffer);
    rules = isStandardLibrary(name) ? BufferRules{Grain::A3Standard, 65536} : BufferRules{Grain::A3Other, 131072};
    return libraryPath((std::string(kLibraryFolder) + name).c_str(), kA3PathCapacity, path);
}

PrescanSteps& prescanSteps() { return g_steps; }

}  // namespace drv
