#include "command_line.h"

#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "engine_library.h"

#ifndef AUCAL_VERSION
#define AUCAL_VERSION "unknown"
#endif

namespace aucal {

const char* const kExitStatusHelp =
    "Exit status: 0 done, 1 failed, 2 usage error (a message names what is wrong), 130 cancelled by Ctrl-C "
    "(143 on SIGTERM, 129 on SIGHUP); a failed or cancelled step leaves every existing file as it was.\n";

namespace {

std::string suggestion(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string near = nearest(word, candidates);
    return near.empty() ? "" : "; did you mean " + near + "?";
}

std::vector<std::string> longNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* o : command.get_options())
        for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
    return names;
}

bool knowsOption(const CLI::App& command, const std::string& arg) {
    const std::string name = arg.substr(0, arg.find('='));
    for (const CLI::Option* o : command.get_options())
        if (o->check_name(name)) return true;
    return false;
}

// Unknown subcommands and options named with the nearest valid one, before
// CLI11 would say something less helpful ("A subcommand is required").
int checkNames(const CLI::App& app, int argc, char** argv) {
    std::vector<std::string> commands;
    for (const CLI::App* c : app.get_subcommands({})) commands.push_back(c->get_name());
    const CLI::App* command = &app;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() > 2 && arg.rfind("--", 0) == 0) {
            if (!knowsOption(*command, arg) && !(command != &app && knowsOption(app, arg))) {
                std::vector<std::string> names = longNames(*command);
                const std::string name = arg.substr(0, arg.find('='));
                return usage("unknown option " + name +
                             (command == &app ? "" : " for " + command->get_name()) + suggestion(name, names));
            }
            continue;
        }
        if (command == &app && !arg.empty() && arg[0] != '-') {
            if (std::find(commands.begin(), commands.end(), arg) == commands.end())
                return usage("unknown subcommand \"" + arg + "\"" + suggestion(arg, commands));
            command = app.get_subcommand(arg);
        }
    }
    return -1;
}

}  // namespace

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string nearest(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    std::size_t bestDistance = word.size() / 2 + 1;  // farther than this is no longer a typing slip
    for (const std::string& c : candidates) {
        const std::size_t d = editDistance(word, c);
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    return best;
}

std::string versionText() {
    std::string text = std::string("aucal ") + AUCAL_VERSION + "\n";
    EngineLibrary engine;
    std::string error;
    text += engine.load(engineLibraryPath(), &error) ? "colour engine: " + engineLibraryPath() + " (loaded)\n"
                                                     : "colour engine: " + error + "\n";
    text += std::string("libpng ") + png_get_libpng_ver(nullptr) + "\n";
    const std::string tiff = TIFFGetVersion();
    text += tiff.substr(0, tiff.find('\n')) + "\n";
    const int lcms = cmsGetEncodedCMMversion();
    text += "LittleCMS " + std::to_string(lcms / 1000) + "." + std::to_string(lcms % 1000 / 10) + "\n";
    text += std::string("CLI11 ") + CLI11_VERSION + "\n";
    return text;
}

int parseCommandLine(CLI::App& app, int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::fputs(versionText().c_str(), stdout);
        return kExitDone;
    }
    if (int status = checkNames(app, argc, argv); status >= 0) return status;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usage(e.what());
    }
    return -1;
}

}  // namespace aucal
