// aucal print: the chart printed on the virtual printer and the print scanned
// by the virtual scanner, for trying the printer characterisation without a
// printer. It can also write the same printer's table for "aucal printer
// --table".
#include <cstdio>
#include <memory>

#include "atomic_file.h"
#include "cancellation.h"
#include "command_registry.h"
#include "commands.h"
#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "option_checks.h"
#include "progress.h"
#include "virtual_printer/virtual_printer.h"

namespace aucal {

namespace {

std::string refusal(const PrintOptions& o) {
    if (o.chart.empty() && o.table.empty()) return "print needs --chart (or --table)";
    if (!o.chart.empty() && o.output.empty()) return "print needs --output for the scan of the print";
    if (o.chart.empty() && !o.output.empty()) return "--output is the scan of a printed --chart: give --chart";
    if (!o.output.empty())
        if (std::string s = extensionConflict(o.output, {".tga"}, "a Targa image"); !s.empty()) return s;
    std::vector<std::string> outputs;
    for (const std::string* out : {&o.output, &o.table})
        if (!out->empty()) outputs.push_back(*out);
    return outputConflict(o.chart.empty() ? std::vector<std::string>{} : std::vector<std::string>{o.chart}, outputs);
}

}  // namespace

int runPrint(const PrintOptions& o, const CommonOptions& common) {
    const auto printerPreset = printsim::printerPresetFromName(o.printer);
    if (!printerPreset) return usage("--printer is one of inkjet, laser, newsprint");
    const auto scannerPreset = it8sim::presetFromName(o.response);
    if (!scannerPreset) return usage("--response is one of mild, nonlinear, crosstalk, linear");
    if (std::string s = refusal(o); !s.empty()) return usage(s);
    const printsim::PrinterResponse printer = printsim::printerPreset(*printerPreset);
    std::string error;

    if (!o.table.empty()) {
        const std::vector<std::uint8_t> table = printsim::printerTable(printer);
        if (!writeFileAtomically(o.table, table.data(), table.size(), &error)) return fail(error);
        if (!common.quiet) std::printf("printer table of the %s printer written to %s\n", o.printer.c_str(), o.table.c_str());
    }
    if (o.chart.empty()) return 0;

    imaging::Image chart;
    if (!imaging::readTarga(o.chart, &chart, &error) || !imaging::isRgb8(chart, &error))
        return fail("cannot read the chart: " + error);
    printsim::PrintScanOptions options;
    options.dpi = o.dpi;
    options.tiltDegrees = o.tilt;
    options.blurPixels = o.blur;
    imaging::Image scan;
    {
        ProgressDisplay progress("printing and scanning", common.quiet);
        // Between rows: a signal stops the print here.
        options.onRow = [&](int done, int rows) {
            progress.update(done, rows);
            return !cancelled();
        };
        it8sim::ScannerResponse scanner = it8sim::responsePreset(*scannerPreset);
        scan = printsim::printAndScan(chart, printer, scanner, options);
    }
    throwIfCancelled();
    if (!writeFileAtomically(
            o.output,
            [&](const std::string& temporary, std::string* e) { return imaging::writeTarga(temporary, scan, e); },
            &error))
        return fail(error);
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
    cmd->add_option("--output,-o", o->output, "scan of the print to write (Targa, .tga)");
    cmd->add_option("--table", o->table, "write the virtual printer's printer table");
    cmd->add_option("--printer", o->printer, "inkjet, laser or newsprint")
        ->check(oneOf({"inkjet", "laser", "newsprint"}))
        ->capture_default_str();
    cmd->add_option("--response", o->response, "scanner response: mild, nonlinear, crosstalk or linear")
        ->check(oneOf({"mild", "nonlinear", "crosstalk", "linear"}))
        ->capture_default_str();
    cmd->add_option("--dpi", o->dpi, "scan resolution, 50 to 1200")->check(within(50, 1200, "dpi"))->capture_default_str();
    cmd->add_option("--tilt", o->tilt, "print turned on the glass, -10 to 10 degrees")
        ->check(within(-10, 10, "degrees"))
        ->capture_default_str();
    cmd->add_option("--blur", o->blur, "optical blur, sigma 0 to 5 scan pixels")
        ->check(within(0, 5, "scan pixels"))
        ->capture_default_str();
    return {cmd, [o, &common] { return runPrint(*o, common); }};
}

const RegisterCommand registered(80, addPrint);

}  // namespace

}  // namespace aucal
