// What the subcommands share: the failure sentence and loading the engine.
#include "commands.h"

#include <cstdio>
#include <filesystem>

namespace aucal {

bool loadEngine(EngineLibrary* engine, std::string* error) { return engine->load(engineLibraryPath(), error); }

int fail(const std::string& sentence) {
    std::fprintf(stderr, "aucal: %s\n", sentence.c_str());
    return 1;
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace aucal
