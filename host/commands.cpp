// What the subcommands share: the failure sentence and loading the engine.
#include "commands.h"

#include <cstdio>
#include <filesystem>

#include "cancellation.h"
#include "command_line.h"
#include "utf8_path.h"

namespace aucal {

bool loadEngine(EngineLibrary* engine, std::string* error) { return engine->load(engineLibraryPath(), error); }

int fail(const std::string& sentence) {
    std::fprintf(stderr, "aucal: %s\n", sentence.c_str());
    return kExitFailed;
}

int usage(const std::string& sentence) {
    std::fprintf(stderr, "aucal: %s\n", sentence.c_str());
    std::fprintf(stderr, "Run with --help for more information.\n");
    return kExitUsage;
}

int failExport(Export e, std::int32_t status) {
    throwIfCancelled();
    return fail(statusSentence(e, status));
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(utf8Path(path), ec);
}

}  // namespace aucal
