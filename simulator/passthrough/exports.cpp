// The three procedures of the pass-through library and its one piece of
// module state: the scanner, created with the scenario at the first call
// after the library is loaded and destroyed when it is unloaded (its log then
// records UNLOAD), or, when the scenario names a trace, the replay of that
// trace. No exception leaves a procedure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "library_folder.h"
#include "replay.h"
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
    std::unique_ptr<sim::Replay> replay;
    ~ModuleState() {
        if (replay) replay->finish();
    }
};

ModuleState g_state;

// Loads the scenario once: the simulated scanner, or a replay.
void start() {
    if (!g_state.scanner && !g_state.replay) {
        const std::string folder = sim::libraryFolder();
        const char* env = std::getenv("AUCAL_SIM_SCENARIO");
        const std::string path = env != nullptr && *env != '\0' ? std::string(env) : folder + "/scenario.txt";
        std::string base = path;
        const std::size_t slash = base.find_last_of("/\\");
        base = slash == std::string::npos ? std::string(".") : base.substr(0, slash);
        bool found = false;
        const std::string text = readText(path, &found);
        sim::Scenario scenario = sim::parseScenario(text, sim::dialectForFolder(folder), base);
        if (!scenario.replayPath.empty()) {
            g_state.replay =
                std::make_unique<sim::Replay>(scenario.replayPath, scenario.dialect, scenario.replayReportPath);
        } else {
            g_state.scanner = std::make_unique<sim::Scanner>(std::move(scenario), found ? path : std::string());
        }
    }
}

}  // namespace

extern "C" {

PF_EXPORT std::uint32_t PF_STDCALL ADDR_CHK(void) {
    try {
        start();
        return g_state.replay ? g_state.replay->addressCheck() : g_state.scanner->addressCheck();
    } catch (...) {
        return 0;
    }
}

PF_EXPORT std::uint32_t PF_STDCALL SPI_CALL(void* block, std::uint32_t adapter, std::uint32_t code) {
    try {
        start();
        return g_state.replay ? g_state.replay->command(block, adapter, code)
                              : g_state.scanner->command(block, adapter, code);
    } catch (...) {
        return static_cast<std::uint32_t>(sim::SimStatus::BadAddress);
    }
}

PF_EXPORT std::uint32_t PF_STDCALL BUF_ADDR(void* block, std::uint32_t size, void* records, std::uint32_t unit) {
    try {
        start();
        return g_state.replay ? g_state.replay->describeBuffer(block, size, records, unit)
                              : g_state.scanner->describeBuffer(block, size, records, unit);
    } catch (...) {
        return 0;
    }
}
}
