// kaspi-install [--library <path>] [<windir>]: installs the simulated
// pass-through library under the Windows directory (default: AUCAL_WINDIR,
// or on Windows the system's own).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "install.h"

#if defined(_WIN32)
#include <windows.h>
#endif

int main(int argc, char** argv) {
    sim::InstallOptions options;
    std::string windir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--library" && i + 1 < argc) {
            options.library = argv[++i];
        } else if (!arg.empty() && arg[0] != '-') {
            windir = arg;
        } else {
            std::fprintf(stderr, "usage: kaspi-install [--library <path>] [<windir>]\n");
            return 2;
        }
    }
    if (windir.empty()) {
        const char* env = std::getenv("AUCAL_WINDIR");
        if (env != nullptr) windir = env;
    }
#if defined(_WIN32)
    if (windir.empty()) {
        char buffer[MAX_PATH];
        const UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
        if (n > 0 && n < MAX_PATH) windir.assign(buffer, n);
    }
    if (options.library.empty()) {
        // Beside this program in the build's bin folder.
        char self[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string path(self, n);
        options.library = path.substr(0, path.find_last_of("\\/") + 1) + "KASPI_SP.DLL";
    }
#endif
    if (windir.empty()) {
        std::fprintf(stderr, "kaspi-install: no Windows directory (give one or set AUCAL_WINDIR)\n");
        return 2;
    }
    std::string error;
    if (!sim::installPassThrough(windir, options, &error)) {
        std::fprintf(stderr, "kaspi-install: %s\n", error.c_str());
        return 1;
    }
    std::printf("installed under %s\n", windir.c_str());
    return 0;
}
