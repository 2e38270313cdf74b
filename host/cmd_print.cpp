// aucal print: the chart printed on the virtual printer and the print scanned
// by the virtual scanner, for trying the printer characterisation without a
// printer. It can also write the same printer's table for "aucal printer
// --table".
#include <cstdio>
#include <fstream>

#include "commands.h"
#include "it8_target/virtual_it8.h"
#include "virtual_printer/virtual_printer.h"

namespace aucal {

int runPrint(const PrintOptions& o, const CommonOptions& common) {
    const auto printerPreset = printsim::printerPresetFromName(o.printer);
    if (!printerPreset) return fail("--printer is one of inkjet, laser, newsprint");
    const auto scannerPreset = it8sim::presetFromName(o.response);
    if (!scannerPreset) return fail("--response is one of mild, nonlinear, crosstalk, linear");
    const printsim::PrinterResponse printer = printsim::printerPreset(*printerPreset);

    if (!o.table.empty()) {
        const std::vector<std::uint8_t> table = printsim::printerTable(printer);
        std::ofstream out(o.table, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(table.data()), static_cast<std::streamsize>(table.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(o.table.c_str());
            return fail("cannot write " + o.table);
        }
        if (!common.quiet) std::printf("printer table of the %s printer written to %s\n", o.printer.c_str(), o.table.c_str());
    }
    if (o.chart.empty()) return o.table.empty() ? fail("print needs --chart (or --table)") : 0;
    if (o.output.empty()) return fail("print needs --output for the scan of the print");

    const auto chart = printsim::readTargaImage(o.chart);
    if (!chart) return fail("cannot read the chart " + o.chart + " (an uncompressed 24-bit Targa image)");
    printsim::PrintScanOptions options;
    options.dpi = o.dpi;
    options.tiltDegrees = o.tilt;
    options.blurPixels = o.blur;
    it8sim::ScannerResponse scanner = it8sim::responsePreset(*scannerPreset);
    const printsim::RgbImage scan = printsim::printAndScan(*chart, printer, scanner, options);
    if (!printsim::writeTargaImage(o.output, scan)) {
        std::remove(o.output.c_str());
        return fail("cannot write " + o.output);
    }
    if (!common.quiet)
        std::printf("chart printed on the %s printer and scanned at %.0f dpi: %s (%d x %d)\n", o.printer.c_str(), o.dpi,
                    o.output.c_str(), scan.width, scan.height);
    return 0;
}

}  // namespace aucal
