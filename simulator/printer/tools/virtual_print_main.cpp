// virtual-print: prints a chart image (a Targa file, as CreatTargetImage
// writes it) on the virtual printer and writes the scan of the print as the
// scanner drivers would; or writes a printer table for the open analysis,
// or the exact scanner model of the virtual scanner.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <string>

#include "imaging/targa.h"
#include "qel_layout.h"
#include "virtual_printer/virtual_printer.h"

namespace {

bool writeBytes(const std::string& path, const void* data, std::size_t bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Prints a chart on the virtual printer and scans the print; writes printer tables."};
    std::string chartPath, outPath = "printed_chart.tga", tablePath, modelPath;
    std::string printerName = "inkjet", scannerName = "mild";
    printsim::PrintScanOptions options;
    double noise = 0.0;
    std::uint64_t seed = 1;
    app.add_option("-i,--chart", chartPath, "chart image to print (24-bit Targa)");
    app.add_option("-o,--out", outPath, "scan of the print to write (Targa)");
    app.add_option("--table", tablePath, "also write a printer table (" + std::to_string(qel::kPrinterTableBufferBytes) + " bytes) for the open analysis");
    app.add_option("--model", modelPath, "also write the exact scanner model (" + std::to_string(qel::scanner_model::kFloats) + " little-endian floats)");
    app.add_option("--printer", printerName, "printer preset: inkjet, laser, newsprint");
    app.add_option("--scanner", scannerName, "scanner response: mild, nonlinear, crosstalk, linear");
    app.add_option("--dpi", options.dpi, "scan resolution")->check(CLI::Range(25.0, 600.0));
    app.add_option("--print-dpi", options.printDpi, "chart pixels per inch on paper")->check(CLI::Range(10.0, 600.0));
    app.add_option("--tilt", options.tiltDegrees, "print turned on the glass, degrees")->check(CLI::Range(-10.0, 10.0));
    app.add_option("--blur", options.blurPixels, "optical blur, sigma in scan pixels")->check(CLI::Range(0.0, 20.0));
    app.add_option("--noise", noise, "scanner noise, standard deviation in levels")->check(CLI::Range(0.0, 50.0));
    app.add_option("--seed", seed, "noise seed");
    CLI11_PARSE(app, argc, argv);

    const auto printerPreset = printsim::printerPresetFromName(printerName);
    const auto scannerPreset = it8sim::presetFromName(scannerName);
    if (!printerPreset || !scannerPreset) {
        std::fprintf(stderr, "virtual-print: unknown preset '%s'\n", (!printerPreset ? printerName : scannerName).c_str());
        return 2;
    }
    const printsim::PrinterResponse printer = printsim::printerPreset(*printerPreset);
    it8sim::ScannerResponse scanner = it8sim::responsePreset(*scannerPreset);
    scanner.noiseSigma = noise;
    scanner.seed = seed;

    if (chartPath.empty() && tablePath.empty() && modelPath.empty()) {
        std::fprintf(stderr, "virtual-print: nothing to do (give --chart, --table or --model)\n");
        return 2;
    }
    if (!chartPath.empty()) {
        imaging::Image chart;
        std::string error;
        if (!imaging::readTarga(chartPath, &chart, &error) || !imaging::isRgb8(chart, &error)) {
            std::fprintf(stderr, "virtual-print: %s\n", error.c_str());
            return 1;
        }
        const imaging::Image scan = printsim::printAndScan(chart, printer, scanner, options);
        if (!imaging::writeTarga(outPath, scan, &error)) {
            std::fprintf(stderr, "virtual-print: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s: %d x %d pixels at %g dpi, printer %s, scanner %s\n", outPath.c_str(), scan.width,
                    scan.height, options.dpi, printerName.c_str(), scannerName.c_str());
    }
    if (!tablePath.empty()) {
        const auto table = printsim::printerTable(printer);
        if (!writeBytes(tablePath, table.data(), table.size())) {
            std::fprintf(stderr, "virtual-print: cannot write %s\n", tablePath.c_str());
            return 1;
        }
        std::printf("%s: printer table of printer %s\n", tablePath.c_str(), printerName.c_str());
    }
    if (!modelPath.empty()) {
        const auto model = printsim::idealScannerModel(scanner);
        if (!writeBytes(modelPath, model.data(), model.size() * sizeof(float))) {
            std::fprintf(stderr, "virtual-print: cannot write %s\n", modelPath.c_str());
            return 1;
        }
        std::printf("%s: scanner model of scanner %s\n", modelPath.c_str(), scannerName.c_str());
    }
    return 0;
}
