// aucal: the command-line calibration host. It loads the colour engine and
// the scanner drivers at run time, as a host application does, and drives
// their exports.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "commands.h"
#include "progress.h"

int main(int argc, char** argv) {
    CLI::App app{"aucal - scanner, monitor and printer calibration"};
    app.require_subcommand(1);
    app.fallthrough();
    aucal::CommonOptions common;
    app.add_flag("-q,--quiet", common.quiet, "print nothing but errors");

    aucal::CorrectOptions correct;
    auto* correctCmd = app.add_subcommand("correct", "apply a saved correction block to images")
                           ->footer("Examples:\n  aucal correct --block printer.blk photo.tga\n"
                                    "  aucal correct --block monitor.blk --output-dir out/ a.png b.tif c.tga");
    correctCmd->add_option("--block,-b", correct.block, "correction block saved by aucal monitor or aucal printer")
        ->required();
    correctCmd->add_option("images", correct.inputs, "images to correct (.tga, .png, .tif)")->required();
    correctCmd->add_option("--output,-o", correct.output, "output file (one input only)");
    correctCmd->add_option("--output-dir", correct.outputDir, "folder for the corrected images");
    correctCmd->add_option("--format", correct.format, "output type: tga, png or tif (default: as the input)")
        ->check(CLI::IsMember({"tga", "png", "tif"}));

    aucal::InfoOptions info;
    auto* infoCmd = app.add_subcommand("info", "describe a saved model, block or image")
                        ->footer("Examples:\n  aucal info scanner.mdl monitor.blk scan.tga");
    infoCmd->add_option("files", info.files, "files to describe")->required();

    aucal::DemoOptions demo;
    auto* demoCmd = app.add_subcommand("demo", "run the whole calibration on the simulated devices")
                        ->footer("Examples:\n  aucal demo --out demo-output");
    demoCmd->add_option("--out", demo.outputDir, "output folder")->capture_default_str();

    CLI11_PARSE(app, argc, argv);
    aucal::installInterruptHandler();
    try {
        if (*correctCmd) return aucal::runCorrect(correct, common);
        if (*infoCmd) return aucal::runInfo(info);
        if (*demoCmd) return aucal::runDemo(demo, common);
    } catch (const std::exception& e) {
        return aucal::fail(e.what());
    }
    return 1;
}
