// Subcommands register themselves: each cmd_*.cpp adds its subcommand and
// options to the command line and hands back how to run it, so that main
// only wires what has registered.
#ifndef AUCAL_COMMAND_REGISTRY_H
#define AUCAL_COMMAND_REGISTRY_H

#include <CLI/CLI.hpp>
#include <functional>
#include <vector>

#include "commands.h"

namespace aucal {

// Runs a parsed subcommand; its result is the exit status.
using CommandRun = std::function<int()>;
struct AddedCommand {
    CLI::App* command;
    CommandRun run;
};
// Adds a subcommand with its options to app. The options live in the
// returned run function, which main calls when that subcommand was given.
using AddCommand = AddedCommand (*)(CLI::App& app, const CommonOptions& common);

// A file-scope object of each subcommand's file; order is the subcommand's
// place in --help.
struct RegisterCommand {
    RegisterCommand(int order, AddCommand add);
};

// Adds every registered subcommand to app, in order.
std::vector<AddedCommand> addRegisteredCommands(CLI::App& app, const CommonOptions& common);

}  // namespace aucal

#endif
