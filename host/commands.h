// The subcommands of aucal. Each returns the process exit status: 0 on
// success, non-zero with a sentence on stderr otherwise; a failed step leaves
// no output file behind.
#ifndef AUCAL_COMMANDS_H
#define AUCAL_COMMANDS_H

#include <string>
#include <vector>

#include "engine_library.h"
#include "status_text.h"

namespace aucal {

struct CommonOptions {
    bool quiet = false;
};

// Loads the colour engine or says why not.
bool loadEngine(EngineLibrary* engine, std::string* error);
// A failure: the sentence on stderr, exit status 1.
int fail(const std::string& sentence);
// A usage error found before any work: the sentence on stderr, exit status 2.
int usage(const std::string& sentence);
// An export's non-zero status: Cancelled (cancellation.h) when a signal
// stopped it, otherwise fail() with its sentence.
int failExport(Export e, std::int32_t status);
bool pathExists(const std::string& path);

struct CorrectOptions {
    std::string block;
    std::vector<std::string> inputs;
    std::string output;     // one input: the output file
    std::string outputDir;  // several inputs: written here under their own names
    std::string format;     // "", "tga", "png", "tif", "jpg": output type (default: the input's)
    std::string embed;      // ICC profile embedded into each output (PNG or TIFF)
    int jobs = 0;           // files corrected at once; 0: one per processor core
    bool reduceTo8Bits = false;  // 16-bit images reduced to 8 bits and corrected by CorrectImage
    int jpegQuality = 92;
    std::string compression;    // "", "none", "lzw", "deflate": of TIFF outputs (default: the input TIFF's)
    int compressionLevel = -1;  // zlib level 0..9 of PNG and deflate TIFF; -1: the fast default
    bool inPlace = false;   // each output over its input
};
int runCorrect(const CorrectOptions& options, const CommonOptions& common);

struct AssignOptions {
    std::string profile;
    std::vector<std::string> inputs;
    std::string output;     // one input: the output file
    std::string outputDir;  // the copies go here under the inputs' names; default: beside them, "-profiled"
};
int runAssign(const AssignOptions& options, const CommonOptions& common);

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

struct ScanOptions {
    std::string driver = "scan";
    int type = 0;
    int language = 0;
    std::string output;
    std::string windir;           // empty: AUCAL_WINDIR, else windows/ beside the libraries
    bool simulated = true;        // install and set up the simulated scanner
    std::string document = "it8";  // on the simulated glass: "it8" or a Targa image
    int documentDpi = 300;
    std::string response = "mild";  // true response of the simulated scanner
    std::string referenceOut;       // write the virtual target's reference data here
    std::string replay;             // a recorded session the simulated library answers from
};
int runScan(const ScanOptions& options, const CommonOptions& common);
std::string defaultWindowsDirectory();

struct PrintOptions {
    std::string chart;
    std::string output;
    std::string table;
    std::string printer = "inkjet";
    std::string response = "mild";
    double dpi = 300;
    double tilt = 0;
    double blur = 0.6;
};
int runPrint(const PrintOptions& options, const CommonOptions& common);

struct DemoOptions {
    std::string outputDir = "demo-output";
};
int runDemo(const DemoOptions& options, const CommonOptions& common);

namespace icc {
struct ProfileFigures;
}
struct IccOptions {
    std::string model;         // a saved scanner model: input profile(s)
    std::string block;         // or a saved correction block: device link or monitor profile
    std::string output;
    std::string shaperMatrix;  // also write the shaper-matrix scanner profile here
    std::string table;         // and the smooth-table scanner profile here
    std::string image;         // scanned target: patches for the fit and the check
    std::string reference;     // its reference data file
    std::vector<float> phosphors;
    bool check = false;
    std::string iccVersion = "2.4";  // or "4.3"
    std::string deviceMake;          // the profiled device, for its maker and model tags
    std::string deviceModel;
};
// With figures, the profiles are also checked and their figures appended.
int runIcc(const IccOptions& options, const CommonOptions& common, std::vector<icc::ProfileFigures>* figures = nullptr);

}  // namespace aucal

#endif
