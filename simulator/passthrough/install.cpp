#include "install.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace sim {

namespace fs = std::filesystem;

std::string builtPassThroughLibrary() { return AUCAL_PASSTHROUGH_LIBRARY; }
std::string builtPassThroughLibraryWithoutBufAddr() { return AUCAL_PASSTHROUGH_NOBUF_LIBRARY; }

std::string passThroughFolder(const std::string& windir, Dialect dialect) {
    const char* folder = dialect == Dialect::Vexa ? "KVSC_Z48" : dialect == Dialect::Prescan ? "KVSC_A3" : "KVSC_PRO";
    return (fs::path(windir) / "TWAIN_32" / folder).string();
}

std::string defaultScenarioText(Dialect dialect) {
    return std::string("# Simulated scanner: the keys are described at the top of scenario.h\n"
                       "# (simulator/passthrough). Every key left out takes its default.\n"
                       "dialect = ") +
           dialectName(dialect) + "\n";
}

bool writeScenarioFile(const std::string& folder, const std::string& text) {
    std::ofstream out(fs::path(folder) / "scenario.txt", std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

bool installPassThroughInto(const std::string& folder, Dialect dialect, const InstallOptions& options,
                            std::string* error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        *error = "cannot create " + folder + ": " + ec.message();
        return false;
    }
    const std::string library = options.library.empty() ? builtPassThroughLibrary() : options.library;
    fs::copy_file(library, fs::path(folder) / options.fileName, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        *error = "cannot copy " + library + ": " + ec.message();
        return false;
    }
    if (options.writeScenario && !writeScenarioFile(folder, defaultScenarioText(dialect))) {
        *error = "cannot write the scenario in " + folder;
        return false;
    }
    return true;
}

bool installPassThrough(const std::string& windir, const InstallOptions& options, std::string* error) {
    for (Dialect d : {Dialect::Scan, Dialect::Vexa, Dialect::Prescan}) {
        if (!installPassThroughInto(passThroughFolder(windir, d), d, options, error)) return false;
    }
    return true;
}

}  // namespace sim
