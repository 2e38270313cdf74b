#include "install.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
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

namespace {

// Another process may have the library mapped or be reading the scenario at
// this moment (several hosts sharing one Windows directory): truncating the
// file in place would pull the pages from under its mapping (SIGBUS) or hand
// it half a scenario. A new file renamed over the old name leaves the old
// inode intact for whoever still has it open.
std::string replacementName(const fs::path& target) {
    return target.string() + ".new-" + std::to_string(std::random_device{}());
}

}  // namespace

bool writeScenarioFile(const std::string& folder, const std::string& text) {
    const fs::path target = fs::path(folder) / "scenario.txt";
    const std::string temporary = replacementName(target);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) fs::remove(temporary, ec);
    return !ec;
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
    const fs::path target = fs::path(folder) / options.fileName;
    const std::string temporary = replacementName(target);
    fs::copy_file(library, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
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
