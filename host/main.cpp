// aucal: the command-line calibration host. It loads the colour engine and
// the scanner drivers at run time, as a host application does, and drives
// their exports. Each subcommand registers itself (cmd_*.cpp); main wires.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "cancellation.h"
#include "command_line.h"
#include "command_registry.h"
#include "platform/host_system.h"

int main(int argc, char** argv) {
    // Arguments, paths and console text in UTF-8 (Windows hands its own in
    // UTF-16).
    argv = pfHostArguments(argc, argv, &argc);
    pfHostUtf8Console();
    aucal::installCancelHandlers();
    // Named, so that help shows "aucal" and not the path it was started by.
    CLI::App app{"aucal - scanner, monitor and printer calibration", "aucal"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer(aucal::kExitStatusHelp);
    aucal::CommonOptions common;
    app.add_flag("-q,--quiet", common.quiet, "print nothing but errors");
    bool version = false;  // handled by parseCommandLine; here for --help
    app.add_flag("--version", version, "print the version of aucal and of the libraries it loads, then exit");
    const std::vector<aucal::AddedCommand> commands = aucal::addRegisteredCommands(app, common);

    if (int status = aucal::parseCommandLine(app, argc, argv); status >= 0) return status;
    try {
        for (const aucal::AddedCommand& c : commands)
            if (*c.command) return c.run();
    } catch (const aucal::Cancelled&) {
        std::fprintf(stderr, "aucal: cancelled; every existing file is as it was\n");
        return aucal::cancelledExitStatus();
    } catch (const std::exception& e) {
        return aucal::fail(e.what());
    }
    return aucal::kExitFailed;
}
