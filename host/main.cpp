// aucal: the command-line calibration host. It loads the colour engine and
// the scanner drivers at run time, as a host application does, and drives
// their exports. Each subcommand registers itself (cmd_*.cpp); main wires.
#include <CLI/CLI.hpp>
#include <exception>

#include "command_registry.h"
#include "progress.h"

int main(int argc, char** argv) {
    // Named, so that help shows "aucal" and not the path it was started by.
    CLI::App app{"aucal - scanner, monitor and printer calibration", "aucal"};
    app.require_subcommand(1);
    app.fallthrough();
    aucal::CommonOptions common;
    app.add_flag("-q,--quiet", common.quiet, "print nothing but errors");
    const std::vector<aucal::AddedCommand> commands = aucal::addRegisteredCommands(app, common);

    CLI11_PARSE(app, argc, argv);
    aucal::installInterruptHandler();
    try {
        for (const aucal::AddedCommand& c : commands)
            if (*c.command) return c.run();
    } catch (const std::exception& e) {
        return aucal::fail(e.what());
    }
    return 1;
}
