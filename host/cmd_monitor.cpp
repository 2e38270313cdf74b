// aucal monitor: the monitor correction from the phosphors and a visual
// half-luminance match (SetPhosphorType, VisualMatch), and the match page.
#include <cstdio>
#include <memory>

#include "command_registry.h"
#include "commands.h"
#include "match_page.h"
#include "option_checks.h"
#include "saved_file.h"
#include "status_text.h"

namespace aucal {

int runMonitor(const MonitorOptions& o, const CommonOptions& common) {
    for (int level : o.levels)
        if (level < 1 || level > 254)
            return usage("--levels: " + std::to_string(level) +
                         " is outside the accepted range, 1 to 254 (0 and 255 give no gamma)");
    if (std::string s = phosphorRefusal(o.phosphors); !s.empty()) return usage(s);
    if (!o.matchPage.empty())
        if (std::string s = extensionConflict(o.matchPage, {".html", ".htm"}, "an HTML page"); !s.empty())
            return usage(s);
    std::vector<std::string> outputs;
    for (const std::string* out : {&o.output, &o.matchPage})
        if (!out->empty()) outputs.push_back(*out);
    if (std::string s = outputConflict({o.model}, outputs); !s.empty()) return usage(s);
    std::vector<float> model;
    std::string error;
    if (!o.matchPage.empty()) {
        // The page prints a command naming the model: refuse one that command could not use.
        if (!o.model.empty() && !loadModelFile(o.model, &model, &error)) return fail(error);
        if (!writeMatchPage(o.matchPage, {o.model, o.output}, &error)) return fail(error);
        if (!common.quiet) std::printf("visual match page written to %s: open it, match the six patches, "
                                       "then run the command it prints\n", o.matchPage.c_str());
        if (o.levels.empty()) return 0;
    }
    if (o.model.empty() || o.output.empty()) return usage("monitor needs --model and --output (or --match-page)");
    if (o.levels.size() != 3) return usage("--levels takes three numbers: red, green and blue");
    if (model.empty() && !loadModelFile(o.model, &model, &error)) return fail(error);
    EngineLibrary engine;
    if (!loadEngine(&engine, &error)) return fail(error);
    auto setPhosphors = require(engine.exports().setPhosphorType, "SetPhosphorType");
    auto visualMatch = require(engine.exports().visualMatch, "VisualMatch");
    if (o.phosphors.size() == 6) {
        if (int32_t s = setPhosphors(o.phosphors[0], o.phosphors[1], o.phosphors[2], o.phosphors[3], o.phosphors[4],
                                     o.phosphors[5]);
            s != 0)
            return failExport(Export::SetPhosphorType, s);
    }
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0);
    int32_t blockSize = 0;
    if (int32_t s = visualMatch(o.levels[0], o.levels[1], o.levels[2], block.data(), &blockSize, model.data()); s != 0)
        return failExport(Export::VisualMatch, s);
    if (blockSize != QEL_MATRIX_BLOCK_SIZE) return fail("the engine reported an unexpected block size");
    if (!saveFile(o.output, SavedKind::MatrixBlock, block, &error)) return fail(error);
    if (!common.quiet)
        std::printf("monitor correction written to %s (levels %d %d %d)\n", o.output.c_str(), o.levels[0], o.levels[1],
                    o.levels[2]);
    return 0;
}

namespace {

AddedCommand addMonitor(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<MonitorOptions>();
    auto* cmd = app.add_subcommand("monitor", "build the monitor correction from a visual match")
                    ->footer("Examples:\n  aucal monitor --match-page match.html --model scanner.mdl\n"
                             "  aucal monitor --model scanner.mdl --levels 186 180 190 --output monitor.blk\n"
                             "  aucal monitor --model scanner.mdl --levels 186 180 190 \\\n"
                             "      --phosphors 0.64 0.33 0.30 0.60 0.15 0.06 --output monitor.blk");
    cmd->add_option("--model,-m", o->model, "scanner model (with --match-page: named in its command)");
    cmd->add_option("--levels,-l", o->levels, "red, green, blue drive levels judged half luminance, each 1 to 254")->expected(3);
    cmd->add_option("--phosphors", o->phosphors, "x y of the red, green and blue phosphors, each in (0, 1) with x + y < 1")->expected(6);
    cmd->add_option("--output,-o", o->output, "monitor correction block to write");
    cmd->add_option("--match-page", o->matchPage, "write the visual match page (HTML)");
    return {cmd, [o, &common] { return runMonitor(*o, common); }};
}

const RegisterCommand registered(40, addMonitor);

}  // namespace

}  // namespace aucal
