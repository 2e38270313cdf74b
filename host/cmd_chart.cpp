// aucal chart: the printer test chart written by the engine (CreatTargetImage).
#include <cstdio>
#include <memory>

#include "atomic_file.h"
#include "command_registry.h"
#include "commands.h"
#include "option_checks.h"
#include "status_text.h"

namespace aucal {

int runChart(const ChartOptions& o, const CommonOptions& common) {
    if (std::string s = extensionConflict(o.output, {".tga"}, "a Targa image"); !s.empty()) return usage(s);
    EngineLibrary engine;
    std::string error;
    if (!loadEngine(&engine, &error)) return fail(error);
    auto create = require(engine.exports().creatTargetImage, "CreatTargetImage");
    // The engine writes the chart to the temporary path.
    int32_t status = 0;
    const bool written = writeFileAtomically(
        o.output,
        [&](const std::string& temporary, std::string*) { return (status = create(libraryPathArgument(temporary).c_str())) == 0; }, &error);
    if (status != 0) return failExport(Export::CreatTargetImage, status);
    if (!written) return fail(error);
    if (!common.quiet) std::printf("printer chart written to %s: print it without colour management, then scan it\n",
                                   o.output.c_str());
    return 0;
}

namespace {

AddedCommand addChart(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<ChartOptions>();
    auto* cmd = app.add_subcommand("chart", "write the printer test chart")
                    ->footer("Examples:\n  aucal chart --output chart.tga");
    cmd->add_option("--output,-o", o->output, "chart image to write (Targa, .tga)")->required();
    return {cmd, [o, &common] { return runChart(*o, common); }};
}

const RegisterCommand registered(50, addChart);

}  // namespace

}  // namespace aucal
