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

    aucal::ScannerOptions scanner;
    auto* scannerCmd =
        app.add_subcommand("scanner", "characterise the scanner from a scanned IT8.7/2 target")
            ->footer("Examples:\n  aucal scanner --image it8.tga --reference R130204.txt --output scanner.mdl\n"
                     "  aucal scanner --image it8.tga --output scanner.mdl   (built-in reference table)");
    scannerCmd->add_option("--image,-i", scanner.image, "scanned IT8.7/2 target (Targa)")->required();
    scannerCmd->add_option("--reference,-r", scanner.reference, "the target's IT8.7/2 reference data file");
    scannerCmd->add_option("--output,-o", scanner.output, "scanner model to write")->required();

    aucal::MonitorOptions monitor;
    auto* monitorCmd =
        app.add_subcommand("monitor", "build the monitor correction from a visual match")
            ->footer("Examples:\n  aucal monitor --match-page match.html --model scanner.mdl\n"
                     "  aucal monitor --model scanner.mdl --levels 186 180 190 --output monitor.blk\n"
                     "  aucal monitor --model scanner.mdl --levels 186 180 190 \\\n"
                     "      --phosphors 0.64 0.33 0.30 0.60 0.15 0.06 --output monitor.blk");
    monitorCmd->add_option("--model,-m", monitor.model, "scanner model (with --match-page: named in its command)");
    monitorCmd->add_option("--levels,-l", monitor.levels, "red, green, blue drive levels judged half luminance")
        ->expected(3);
    monitorCmd->add_option("--phosphors", monitor.phosphors, "x y of the red, green and blue phosphors")->expected(6);
    monitorCmd->add_option("--output,-o", monitor.output, "monitor correction block to write");
    monitorCmd->add_option("--match-page", monitor.matchPage, "write the visual match page (HTML)");

    aucal::ChartOptions chart;
    auto* chartCmd = app.add_subcommand("chart", "write the printer test chart")
                         ->footer("Examples:\n  aucal chart --output chart.tga");
    chartCmd->add_option("--output,-o", chart.output, "chart image to write (Targa)")->required();

    aucal::PrinterOptions printer;
    auto* printerCmd =
        app.add_subcommand("printer", "build the printer correction from a scanned chart or a printer table")
            ->footer("Examples:\n  aucal printer --scan printed-chart.tga --model scanner.mdl --output printer.blk\n"
                     "  aucal printer --table printer.tbl --model scanner.mdl --output printer.blk");
    printerCmd->add_option("--scan,-s", printer.scan, "scan of the printed chart (Targa)");
    printerCmd->add_option("--table,-t", printer.table, "printer table: 17 x 17 x 17 RGB nodes, 14739 bytes");
    printerCmd->add_option("--model,-m", printer.model, "scanner model")->required();
    printerCmd->add_option("--output,-o", printer.output, "printer correction block to write")->required();

    aucal::ScanOptions scan;
    auto* scanCmd =
        app.add_subcommand("scan", "scan a target through a scanner driver (the simulated scanner by default)")
            ->footer("Examples:\n  aucal scan --output it8.tga --reference-out it8-reference.txt\n"
                     "  aucal scan --driver vexa --response nonlinear --output it8-vexa.tga\n"
                     "  aucal scan --document printed-chart.tga --document-dpi 300 --output chart-scan.tga\n"
                     "  aucal scan --real-scanner --windir /path/to/windows --output scan.tga");
    scanCmd->add_option("--driver,-d", scan.driver, "scan, vexa or prescan")
        ->check(CLI::IsMember({"scan", "vexa", "prescan"}))
        ->capture_default_str();
    scanCmd->add_option("--type", scan.type, "0 reflective, 1 transparency, 2 transparency adapter")
        ->capture_default_str();
    scanCmd->add_option("--language", scan.language, "driver message language 0 to 6")->capture_default_str();
    scanCmd->add_option("--output,-o", scan.output, "image file to write (Targa)")->required();
    scanCmd->add_option("--windir", scan.windir, "Windows directory holding TWAIN_32 and win.ini");
    scanCmd->add_flag("!--real-scanner", scan.simulated, "use the pass-through library installed in --windir");
    scanCmd->add_option("--document", scan.document, "on the simulated glass: it8 or a Targa image")
        ->capture_default_str();
    scanCmd->add_option("--document-dpi", scan.documentDpi, "resolution of a Targa document")->capture_default_str();
    scanCmd->add_option("--response", scan.response, "simulated scanner: mild, nonlinear, crosstalk, linear")
        ->capture_default_str();
    scanCmd->add_option("--reference-out", scan.referenceOut, "write the virtual target's IT8.7/2 reference file");

    aucal::PrintOptions print;
    auto* printCmd =
        app.add_subcommand("print", "print the chart on the virtual printer and scan the print")
            ->footer("Examples:\n  aucal print --chart chart.tga --output printed-chart.tga\n"
                     "  aucal print --chart chart.tga --printer laser --dpi 600 --output printed.tga\n"
                     "  aucal print --printer inkjet --table printer.tbl");
    printCmd->add_option("--chart,-c", print.chart, "chart written by aucal chart");
    printCmd->add_option("--output,-o", print.output, "scan of the print to write (Targa)");
    printCmd->add_option("--table", print.table, "write the virtual printer's printer table");
    printCmd->add_option("--printer", print.printer, "inkjet, laser or newsprint")->capture_default_str();
    printCmd->add_option("--response", print.response, "scanner response: mild, nonlinear, crosstalk, linear")
        ->capture_default_str();
    printCmd->add_option("--dpi", print.dpi, "scan resolution")->capture_default_str();
    printCmd->add_option("--tilt", print.tilt, "print turned on the glass, degrees")->capture_default_str();
    printCmd->add_option("--blur", print.blur, "optical blur, sigma in scan pixels")->capture_default_str();

    aucal::DemoOptions demo;
    auto* demoCmd = app.add_subcommand("demo", "run the whole calibration on the simulated devices")
                        ->footer("Examples:\n  aucal demo --out demo-output");
    demoCmd->add_option("--out", demo.outputDir, "output folder")->capture_default_str();

    aucal::IccOptions icc;
    auto* iccCmd =
        app.add_subcommand("icc", "write ICC profiles of a scanner model or a correction block")
            ->footer("Examples:\n  aucal icc --model scanner.mdl --output scanner.icc\n"
                     "  aucal icc --model scanner.mdl --image it8.tga --reference it8-reference.txt \\\n"
                     "      --output scanner.icc --shaper-matrix scanner-matrix.icc --check\n"
                     "  aucal icc --block printer.blk --output printer-link.icc --check\n"
                     "  aucal icc --block monitor.blk --phosphors 0.64 0.33 0.30 0.60 0.15 0.06 --output monitor.icc\n"
                     "  aucal icc --block monitor.blk --model scanner.mdl --output monitor.icc");
    iccCmd->add_option("--model,-m", icc.model, "scanner model: an input profile (A2B0: tone curves and grid); with a "
                                                "monitor block, the model it was made from (gives the phosphors)");
    iccCmd->add_option("--block,-b", icc.block, "correction block: printer block to device link, monitor block to "
                                                "monitor profile");
    iccCmd->add_option("--output,-o", icc.output, "profile to write")->required();
    iccCmd->add_option("--shaper-matrix", icc.shaperMatrix, "also write a shaper-matrix scanner profile fitted on "
                                                            "the target (needs --image and --reference)");
    iccCmd->add_option("--image,-i", icc.image, "the scanned IT8.7/2 target the model was made from");
    iccCmd->add_option("--reference,-r", icc.reference, "its IT8.7/2 reference data file");
    iccCmd->add_option("--phosphors", icc.phosphors, "monitor: x y of the red, green and blue phosphors")->expected(6);
    iccCmd->add_flag("--check", icc.check, "read the profiles back with LittleCMS and measure them");

    CLI11_PARSE(app, argc, argv);
    aucal::installInterruptHandler();
    try {
        if (*correctCmd) return aucal::runCorrect(correct, common);
        if (*infoCmd) return aucal::runInfo(info);
        if (*demoCmd) return aucal::runDemo(demo, common);
        if (*printCmd) return aucal::runPrint(print, common);
        if (*scanCmd) return aucal::runScan(scan, common);
        if (*scannerCmd) return aucal::runScanner(scanner, common);
        if (*monitorCmd) return aucal::runMonitor(monitor, common);
        if (*chartCmd) return aucal::runChart(chart, common);
        if (*printerCmd) return aucal::runPrinter(printer, common);
        if (*iccCmd) return aucal::runIcc(icc, common);
    } catch (const std::exception& e) {
        return aucal::fail(e.what());
    }
    return 1;
}
