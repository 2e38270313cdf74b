// The three procedures of the pass-through library and its one piece of
// module state: the scanner, created with the scenario at the first call
// after the library is loaded and destroyed when it is unloaded (its log then
// records UNLOAD). No exception leaves a procedure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "library_folder.h"
#include "platform/calling.h"
#include "scanner.h"

namespace {

std::string readText(const std::string& path, bool* found) {
    *found = false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    *found = true;
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

struct ModuleState {
    std::unique_ptr<sim::Scanner> scanner;
};

ModuleState g_state;

sim::Scanner* scanner() {
    if (!g_state.scanner) {
        const std::string folder = sim::libraryFolder();
        const char* env = std::getenv("AUCAL_SIM_SCENARIO");
        const std::string path = env != nullptr && *env != '\0' ? std::string(env) : folder + "/scenario.txt";
        std::string base = path;
        const std::size_t slash = base.find_last_of("/\\");
        base = slash == std::string::npos ? std::string(".") : base.substr(0, slash);
        bool found = false;
        const std::string text = readText(path, &found);
        g_state.scanner = std::make_unique<sim::Scanner>(
            sim::parseScenario(text, sim::dialectForFolder(folder), base), found ? path : std::string());
    }
    return g_state.scanner.get();
}

}  // namespace

extern "C" {

PF_EXPORT std::uint32_t PF_STDCALL ADDR_CHK(void) {
    try {
        return scanner()->addressCheck();
    } catch (...) {
        return 0;
    }
}

PF_EXPORT std::uint32_t PF_STDCALL SPI_CALL(void* block, std::uint32_t adapter, std::uint32_t code) {
    try {
        return scanner()->command(block, adapter, code);
    } catch (...) {
        return static_cast<std::uint32_t>(sim::SimStatus::BadAddress);
    }
}

PF_EXPORT std::uint32_t PF_STDCALL BUF_ADDR(void* block, std::uint32_t size, void* records, std::uint32_t unit) {
    try {
        return scanner()->describeBuffer(block, size, records, unit);
    } catch (...) {
        return 0;
    }
}
}
