// aucal printer: the printer correction from a scan of the printed chart
// (PrinterTargetAnalysis) or from a printer table (PrinterTargetOpenAnalysis).
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "command_registry.h"
#include "commands.h"
#include "option_checks.h"
#include "printer_fit_quality.h"
#include "progress.h"
#include "qel_layout.h"
#include "saved_file.h"
#include "scan_orientation.h"
#include "status_text.h"
#include "utf8_path.h"

namespace aucal {

namespace {
const std::string kTableBytes = std::to_string(qel::kPrinterTableBytes);
constexpr auto kPrinterTableBytes = static_cast<std::streamsize>(qel::kPrinterTableBytes);
}  // namespace

int runPrinter(const PrinterOptions& o, const CommonOptions& common) {
    if (o.scan.empty() == o.table.empty()) return usage("printer needs either --scan or --table, one of them");
    if (std::string s = outputConflict({o.scan, o.table, o.model}, {o.output}); !s.empty()) return usage(s);
    std::vector<float> model;
    std::string error;
    if (!loadModelFile(o.model, &model, &error)) return fail(error);
    EngineLibrary engine;
    if (!loadEngine(&engine, &error)) return fail(error);
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
    int32_t blockSize = 0;
    int32_t status;
    std::string note;
    if (!o.scan.empty()) {
        if (!pathExists(o.scan)) return fail("cannot open the scanned chart " + o.scan);
        auto analysis = require(engine.exports().printerTargetAnalysis, "PrinterTargetAnalysis");
        UprightScan scan;
        if (!prepareChartScan(engine.exports(), o.scan, model, &scan, &error)) return fail(error);
        if (!common.quiet) std::printf("%s\n", uprightSentence(o.scan, scan).c_str());
        ProgressDisplay progress("printer model", common.quiet);
        status = analysis(libraryPathArgument(scan.targa.path()).c_str(), block.data(), &blockSize, model.data(), 0, progress.record(),
                          &ProgressDisplay::callback);
        if (status != 0) return failExport(Export::PrinterTargetAnalysis, status);
        // The block stands without its figures; say why they are missing.
        FitQuality quality;
        if (blockSize == QEL_LUT_BLOCK_SIZE)
            note = printerFitQualityOf(engine.exports(), scan.targa.path(), model, block, &quality, &error)
                       ? qualityNote(quality)
                       : "patch differences not measured: " + error + "\n";
    } else {
        // The printer table goes in at the start of the buffer that receives the block.
        // The engine's table, 17 x 17 x 17 RGB nodes and nothing more, or the
        // file aucal print --table writes: the table in the engine's whole
        // buffer, zeros after it. Anything else is not a table.
        std::ifstream in(utf8Path(o.table), std::ios::binary);
        if (!in) return fail("cannot open the printer table " + o.table);
        std::vector<std::uint8_t> table(block.size() + 1);
        in.read(reinterpret_cast<char*>(table.data()), static_cast<std::streamsize>(table.size()));
        table.resize(static_cast<std::size_t>(in.gcount()));
        if (!isPrinterTable(table))
            return fail(o.table + " is not a printer table: a table is 17 x 17 x 17 RGB nodes, " +
                        std::to_string(kPrinterTableBytes) + " bytes, or the file aucal print --table writes (" +
                        std::to_string(block.size()) + " bytes, zeros after the table)");
        std::copy(table.begin(), table.end(), block.begin());
        auto open = require(engine.exports().printerTargetOpenAnalysis, "PrinterTargetOpenAnalysis");
        ProgressDisplay progress("printer table", common.quiet);
        status = open(block.data(), &blockSize, model.data(), 0, progress.record(), &ProgressDisplay::callback);
        if (status != 0) return failExport(Export::PrinterTargetOpenAnalysis, status);
    }
    if (blockSize != QEL_LUT_BLOCK_SIZE) return fail("the engine reported an unexpected block size");
    if (!saveFile(o.output, SavedKind::LookupBlock, block, &error, note)) return fail(error);
    if (!common.quiet) std::printf("%sprinter correction written to %s\n", note.c_str(), o.output.c_str());
    return 0;
}

namespace {

AddedCommand addPrinter(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<PrinterOptions>();
    auto* cmd =
        app.add_subcommand("printer", "build the printer correction from a scanned chart or a printer table")
            ->footer("Examples:\n  aucal printer --scan printed-chart.tga --model scanner.mdl --output printer.blk\n"
                     "  aucal printer --table printer.tbl --model scanner.mdl --output printer.blk");
    cmd->add_option("--scan,-s", o->scan, "scan of the printed chart (Targa, PNG, TIFF; any quarter turn)");
    cmd->add_option("--table,-t", o->table,
                    "printer table: 17 x 17 x 17 RGB nodes (" + kTableBytes + " bytes), or as aucal print --table writes it");
    cmd->add_option("--model,-m", o->model, "scanner model")->required();
    cmd->add_option("--output,-o", o->output, "printer correction block to write")->required();
    return {cmd, [o, &common] { return runPrinter(*o, common); }};
}

const RegisterCommand registered(60, addPrinter);

}  // namespace

}  // namespace aucal
