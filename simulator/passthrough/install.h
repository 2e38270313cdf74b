// Installing the simulated pass-through library where the drivers look for
// it: <windir>/TWAIN_32/KVSC_PRO (scan), KVSC_Z48 (vexa) and KVSC_A3
// (prescan), each with a scenario file of its dialect beside it. Copies, not
// links: each folder's library is a library of its own, loaded on its own.
#ifndef SIMULATOR_PASSTHROUGH_INSTALL_H
#define SIMULATOR_PASSTHROUGH_INSTALL_H

#include <string>

#include "scenario.h"

namespace sim {

// The built library (an absolute path in the build tree), and its variant
// without BUF_ADDR.
std::string builtPassThroughLibrary();
std::string builtPassThroughLibraryWithoutBufAddr();

// <windir>/TWAIN_32/<folder of the dialect's driver>.
std::string passThroughFolder(const std::string& windir, Dialect dialect);

struct InstallOptions {
    std::string library;                  // empty: builtPassThroughLibrary()
    std::string fileName = "KASPI_SP.DLL";
    bool writeScenario = true;            // a default scenario (the dialect and comments)
};

// Installs into one folder; false with a reason on failure.
bool installPassThroughInto(const std::string& folder, Dialect dialect, const InstallOptions& options,
                            std::string* error);
// Installs into all three folders of windir.
bool installPassThrough(const std::string& windir, const InstallOptions& options, std::string* error);

// Writes (replaces) scenario.txt in folder.
bool writeScenarioFile(const std::string& folder, const std::string& text);

// The default scenario text of a dialect.
std::string defaultScenarioText(Dialect dialect);

}  // namespace sim

#endif
