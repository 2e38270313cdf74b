// The command line as a person meets it: usage errors exit 2 with the nearest
// valid subcommand or option named, --version, and the exit statuses in --help.
#ifndef AUCAL_COMMAND_LINE_H
#define AUCAL_COMMAND_LINE_H

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace aucal {

enum ExitStatus : int {
    kExitDone = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitCancelled = 130,  // 128 + the signal: 143 for SIGTERM, 129 for SIGHUP
};

// The closing lines of --help.
extern const char* const kExitStatusHelp;

// Levenshtein distance, for "did you mean".
std::size_t editDistance(const std::string& a, const std::string& b);
// The candidate nearest to word, or "" when none is close enough to suggest.
std::string nearest(const std::string& word, const std::vector<std::string>& candidates);

// Parses argv into app. Returns -1 when the chosen subcommand should run,
// otherwise the exit status (0 after --help or --version, 2 on a usage error,
// with the message printed).
int parseCommandLine(CLI::App& app, int argc, char** argv);

// aucal's version and those of the libraries it loads or links.
std::string versionText();

}  // namespace aucal

#endif
