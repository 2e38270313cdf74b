// aucal chart: the printer test chart written by the engine (CreatTargetImage).
#include <cstdio>
#include <memory>

#include "command_registry.h"
#include "commands.h"
#include "status_text.h"

namespace aucal {

int runChart(const ChartOptions& o, const CommonOptions& common) {
    EngineLibrary engine;
    std::string error;
    if (!loadEngine(&engine, &error)) return fail(error);
    auto create = require(engine.exports().creatTargetImage, "CreatTargetImage");
    if (int32_t s = create(o.output.c_str()); s != 0) {
        std::remove(o.output.c_str());
        return fail(statusSentence(Export::CreatTargetImage, s));
    }
    if (!common.quiet) std::printf("printer chart written to %s: print it without colour management, then scan it\n",
                                   o.output.c_str());
    return 0;
}

namespace {

AddedCommand addChart(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<ChartOptions>();
    auto* cmd = app.add_subcommand("chart", "write the printer test chart")
                    ->footer("Examples:\n  aucal chart --output chart.tga");
    cmd->add_option("--output,-o", o->output, "chart image to write (Targa)")->required();
    return {cmd, [o, &common] { return runChart(*o, common); }};
}

const RegisterCommand registered(50, addChart);

}  // namespace

}  // namespace aucal
