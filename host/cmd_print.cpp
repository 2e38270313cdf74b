// aucal print: the chart printed on the virtual printer and the print scanned
// by the virtual scanner, for trying the printer characterisation without a
// printer. It can also write the same printer's table for "aucal printer
// --table".
#include <cstdio>
#include <fstream>

#include "command_registry.h"
#include "commands.h"
#include "imaging/targa.h"
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

    imaging::Image chart;
    std::string error;
    if (!imaging::readTarga(o.chart, &chart, &error) || !imaging::isRgb8(chart, &error))
        return fail("cannot read the chart: " + error);
    printsim::PrintScanOptions options;
    options.dpi = o.dpi;
    options.tiltDegrees = o.tilt;
    options.blurPixels = o.blur;
    it8sim::ScannerResponse scanner = it8sim::responsePreset(*scannerPreset);
    const imaging::Image scan = printsim::printAndScan(chart, printer, scanner, options);
    if (!imaging::writeTarga(o.output, scan, &error)) {
        std::remove(o.output.c_str());
        return fail(error);
    }
    if (!common.quiet)
        std::printf("chart printed on the %s printer and scanned at %.0f dpi: %s (%d x %d)\n", o.printer.c_str(), o.dpi,
                    o.output.c_str(), scan.width, scan.height);
    return 0;
}

namespace {

AddedCommand addPrint(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<PrintOptions>();
    auto* cmd = app.add_subcommand("print", "print the chart on the virtual printer and scan the print")
                    ->footer("Examples:\n  aucal print --chart chart.tga --output printed-chart.tga\n"
                             "  aucal print --chart chart.tga --printer laser --dpi 600 --output printed.tga\n"
                             "  aucal print --printer inkjet --table printer.tbl");
    cmd->add_option("--chart,-c", o->chart, "chart written by aucal chart");
    cmd->add_option("--output,-o", o->output, "scan of the print to write (Targa)");
    cmd->add_option("--table", o->table, "write the virtual printer's printer table");
    cmd->add_option("--printer", o->printer, "inkjet, laser or newsprint")->capture_default_str();
    cmd->add_option("--response", o->response, "scanner response: mild, nonlinear, crosstalk, linear")
        ->capture_default_str();
    cmd->add_option("--dpi", o->dpi, "scan resolution")->capture_default_str();
    cmd->add_option("--tilt", o->tilt, "print turned on the glass, degrees")->capture_default_str();
    cmd->add_option("--blur", o->blur, "optical blur, sigma in scan pixels")->capture_default_str();
    return {cmd, [o, &common] { return runPrint(*o, common); }};
}

const RegisterCommand registered(80, addPrint);

}  // namespace

}  // namespace aucal
