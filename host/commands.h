// The subcommands of aucal. Each returns the process exit status: 0 on
// success, non-zero with a sentence on stderr otherwise; a failed step leaves
// no output file behind.
#ifndef AUCAL_COMMANDS_H
#define AUCAL_COMMANDS_H

#include <string>
#include <vector>

#include "engine_library.h"

namespace aucal {

struct CommonOptions {
    bool quiet = false;
};

// Loads the colour engine or says why not.
bool loadEngine(EngineLibrary* engine, std::string* error);
int fail(const std::string& sentence);

struct CorrectOptions {
    std::string block;
    std::vector<std::string> inputs;
    std::string output;     // one input: the output file
    std::string outputDir;  // several inputs: written here under their own names
    std::string format;     // "", "tga", "png", "tif": output type (default: the input's)
};
int runCorrect(const CorrectOptions& options, const CommonOptions& common);

struct InfoOptions {
    std::vector<std::string> files;
};
int runInfo(const InfoOptions& options);

struct ScannerOptions {
    std::string image;
    std::string reference;  // empty: the built-in reference table
    std::string output;
};
int runScanner(const ScannerOptions& options, const CommonOptions& common);

struct MonitorOptions {
    std::string model;
    std::vector<int> levels;
    std::vector<float> phosphors;
    std::string output;
    std::string matchPage;
};
int runMonitor(const MonitorOptions& options, const CommonOptions& common);
bool writeMatchPage(const std::string& path, std::string* error);

struct ChartOptions {
    std::string output;
};
int runChart(const ChartOptions& options, const CommonOptions& common);

struct PrinterOptions {
    std::string scan;   // scanned chart image
    std::string table;  // or a printer table file
    std::string model;
    std::string output;
};
int runPrinter(const PrinterOptions& options, const CommonOptions& common);

struct DemoOptions {
    std::string outputDir = "demo-output";
};
int runDemo(const DemoOptions& options, const CommonOptions& common);

}  // namespace aucal

#endif
