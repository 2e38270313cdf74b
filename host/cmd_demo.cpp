// aucal demo: the whole calibration on the simulated devices, step by step
// into one folder, then a summary and report.html.
//   1 scan the virtual IT8.7/2 target with the scan driver (simulated scanner)
//   2 characterise the scanner
//   3 monitor: the visual match page, and a correction for levels of a
//     typical monitor
//   4 printer: the chart, printed and scanned on the virtual printer, and its
//     correction; a second one from the virtual printer's table
//   5 correct a photograph-like picture with both corrections
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>

#include "atomic_file.h"
#include "cancellation.h"
#include "colour_maths.h"
#include "command_registry.h"
#include "commands.h"
#include "fit_quality.h"
#include "icc_check.h"
#include "image_io.h"
#include "patch_export.h"
#include "report.h"
#include "sample_image.h"
#include "saved_file.h"
#include "scanner_model_eval.h"
#include "status_text.h"
#include "target_patches.h"
#include "virtual_printer/virtual_printer.h"
#include "utf8_path.h"

namespace aucal {

namespace {

// CIELAB against the paper to display RGB (sRGB, the paper shown as white).
std::array<std::uint8_t, 3> labToDisplay(const printsim::Lab& lab) {
    const double fy = (lab.l + 16) / 116, fx = fy + lab.a / 500, fz = fy - lab.b / 200;
    auto inv = [](double t) { return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29); };
    const double X = 0.95047 * inv(fx), Y = inv(fy), Z = 1.08883 * inv(fz);
    const double lin[3] = {3.2406 * X - 1.5372 * Y - 0.4986 * Z, -0.9689 * X + 1.8758 * Y + 0.0415 * Z,
                           0.0557 * X - 0.2040 * Y + 1.0570 * Z};
    std::array<std::uint8_t, 3> out{};
    for (int c = 0; c < 3; ++c) {
        const double v = std::clamp(lin[c], 0.0, 1.0);
        const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
        out[c] = static_cast<std::uint8_t>(e * 255 + 0.5);
    }
    return out;
}

void printerFigures(const std::vector<float>& model, const std::vector<std::uint8_t>& block,
                    const printsim::PrinterGamut& gamut, ReportData* report) {
    const double kLightness = 50;
    // The engine aims at the node colour with its lightness scaled from the
    // paper down to the printer's black (and chroma scaled alike); judge the
    // print against that aim, for the true printer's black.
    const float s = static_cast<float>((100.0 - gamut.blackLightness()) / qel::kPrinterLightnessRange);
    constexpr int kNodes = qel::kGridNodes;
    for (int i0 = 0; i0 < kNodes; ++i0)
        for (int i1 = 0; i1 < kNodes; ++i1)
            for (int i2 = 0; i2 < kNodes; ++i2) {
                float aim[3];
                std::memcpy(aim, &model[qel::scanner_model::gridIndex(i0, i1, i2)], sizeof aim);
                qel::CompressTargetLab(s, aim);
                const printsim::Lab target{aim[0], aim[1], aim[2]};
                const std::uint8_t* node = &block[qel::lutNodeOffset(i0, i1, i2)];
                if (gamut.distance(target) < 1.0) {
                    const printsim::Lab printed = gamut.printLab(node[0], node[1], node[2]);
                    report->printerNodeDe.push_back(printsim::deltaE(target, printed));
                    report->printerNodeDe2000.push_back(
                        deltaE2000({target.l, target.a, target.b}, {printed.l, printed.a, printed.b}));
                }
                if (std::fabs(target.l - kLightness) < 4) report->gamut.targets.emplace_back(target.a, target.b);
            }
    // The printable edge at L* = 50: the largest chroma per hue among prints
    // of a drive grid near that lightness.
    constexpr int kBins = 72;
    std::vector<std::pair<double, double>> best(kBins, {0.0, 0.0});
    std::vector<double> chroma(kBins, -1);
    for (int r = 0; r <= 24; ++r)
        for (int g = 0; g <= 24; ++g)
            for (int b = 0; b <= 24; ++b) {
                const printsim::Lab p = gamut.printLab(r * 255.0 / 24, g * 255.0 / 24, b * 255.0 / 24);
                if (std::fabs(p.l - kLightness) > 3) continue;
                const double h = std::atan2(p.b, p.a);
                const int bin =
                    std::clamp(static_cast<int>((h + std::numbers::pi) / (2 * std::numbers::pi) * kBins), 0, kBins - 1);
                const double c = std::hypot(p.a, p.b);
                if (c > chroma[bin]) {
                    chroma[bin] = c;
                    best[bin] = {p.a, p.b};
                }
            }
    report->gamut.lightness = kLightness;
    for (int i = 0; i < kBins; ++i)
        if (chroma[i] >= 0) report->gamut.boundary.push_back(best[i]);
}

bool correctWith(const EngineExports& x, const std::vector<std::uint8_t>& block, RgbImage* image) {
    if (x.initCorrect(block.data(), static_cast<int32_t>(block.size())) != 0) return false;
    ImageBuffer buffer{image->height, image->width, image->pixels.data()};
    const bool ok = x.correctImage(&buffer) == 0;
    x.releaseCorrect();
    return ok;
}

// One run of the demo: the folder, the options each step hands to the next,
// and what the report gathers on the way.
class DemoRun {
public:
    DemoRun(const DemoOptions& o, const CommonOptions& common) : dir_(o.outputDir), common_(common) {}

    int run() {
        std::error_code ec;
        std::filesystem::create_directories(utf8Path(dir_), ec);
        if (ec) return fail("cannot create " + dir_ + ": " + ec.message());
        if (!common_.quiet)
            std::printf("aucal demo: the whole calibration on the simulated devices, into %s\n", dir_.c_str());
        for (int (DemoRun::*step)() : {&DemoRun::scanTarget, &DemoRun::characteriseScanner, &DemoRun::setUpMonitor,
                                       &DemoRun::characterisePrinter, &DemoRun::writeProfiles,
                                       &DemoRun::correctSample, &DemoRun::writeReportFile})
        {
            // Between steps: a signal stops the demo here (the analyses see it sooner).
            throwIfCancelled();
            if (int status = (this->*step)()) return status;
        }
        printSummary();
        return 0;
    }

private:
    std::string at(const char* name) const { return utf8String(utf8Path(dir_) / name); }

    template <class Run>
    int timed(const std::string& step, Run&& run) {
        using Clock = std::chrono::steady_clock;
        const auto t0 = Clock::now();
        const int status = run();
        report_.timings.emplace_back(step, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        return status;
    }

    // 1. Scan the virtual IT8.7/2 target.
    int scanTarget() {
        scan_.output = at("it8-scan.tga");
        scan_.referenceOut = at("it8-reference.txt");
        return timed("scan the IT8.7/2 target (scan driver, simulated scanner)",
                     [&] { return runScan(scan_, common_); });
    }

    // 2. Scanner characterisation.
    int characteriseScanner() {
        scanner_ = {scan_.output, scan_.referenceOut, at("scanner.mdl")};
        return timed("characterise the scanner from the scanned target",
                     [&] { return runScanner(scanner_, common_); });
    }

    // 3. Monitor: 186 is half luminance on a monitor of gamma 2.2.
    int setUpMonitor() {
        monitor_.model = scanner_.output;
        monitor_.levels = {186, 186, 186};
        monitor_.output = at("monitor.blk");
        monitor_.matchPage = at("monitor-match.html");
        return timed("monitor correction from the phosphors and the visual match",
                     [&] { return runMonitor(monitor_, common_); });
    }

    // 4. Printer: the chart, printed and scanned, and both corrections.
    int characterisePrinter() {
        ChartOptions chart{at("printer-chart.tga")};
        if (int s = timed("draw the printer test chart", [&] { return runChart(chart, common_); })) return s;
        print_.chart = chart.output;
        print_.output = at("printed-chart-scan.tga");
        print_.table = at("printer.tbl");
        if (int s = timed("print and scan the chart (virtual printer)", [&] { return runPrint(print_, common_); }))
            return s;
        printer_ = {print_.output, "", scanner_.output, at("printer.blk")};
        if (int s = timed("printer correction from the scanned chart", [&] { return runPrinter(printer_, common_); }))
            return s;
        PrinterOptions table{"", print_.table, scanner_.output, at("printer-from-table.blk")};
        return timed("printer correction from the virtual printer's table",
                     [&] { return runPrinter(table, common_); });
    }

    // ICC profiles of the model and of both corrections, checked with LittleCMS.
    int writeProfiles() {
        IccOptions scannerIcc;
        scannerIcc.model = scanner_.output;
        scannerIcc.image = scan_.output;
        scannerIcc.reference = scan_.referenceOut;
        scannerIcc.output = at("scanner.icc");
        scannerIcc.shaperMatrix = at("scanner-matrix.icc");
        scannerIcc.table = at("scanner-table.icc");
        scannerIcc.deviceMake = "aucal";
        scannerIcc.deviceModel = "simulated scanner (" + scan_.driver + " driver)";
        IccOptions linkIcc, monitorIcc;
        linkIcc.deviceMake = "aucal";
        linkIcc.deviceModel = "virtual " + print_.printer + " printer";
        linkIcc.block = printer_.output;
        linkIcc.output = at("printer-link.icc");
        monitorIcc.block = monitor_.output;
        monitorIcc.model = scanner_.output;  // the phosphors come back from the block and the model
        monitorIcc.output = at("monitor.icc");
        return timed("write the ICC profiles and check them with LittleCMS", [&] {
            for (const IccOptions* o : {&scannerIcc, &linkIcc, &monitorIcc})
                if (int status = runIcc(*o, common_, &report_.profiles)) return status;
            return 0;
        });
    }

    // 5. Correct a picture with both corrections.
    int correctSample() {
        std::string error;
        EngineLibrary engine;
        if (!loadEngine(&engine, &error)) return fail(error);
        LoadedFile monitorBlock;
        if (!loadFileOfKind(monitor_.output, {SavedKind::MatrixBlock}, &monitorBlock, &error) ||
            !loadFileOfKind(printer_.output, {SavedKind::LookupBlock}, &printerBlock_, &error))
            return fail(error);
        report_.sample = samplePicture(960, 640);
        report_.sampleMonitor = report_.sample;
        report_.samplePrinter = report_.sample;
        bool corrected = true;
        timed("correct a 960 x 640 picture for the monitor", [&] {
            return (corrected = correctWith(engine.exports(), monitorBlock.payload, &report_.sampleMonitor)) ? 0 : 1;
        });
        if (corrected)
            timed("correct a 960 x 640 picture for the printer", [&] {
                return (corrected = correctWith(engine.exports(), printerBlock_.payload, &report_.samplePrinter)) ? 0
                                                                                                                  : 1;
            });
        if (!corrected) return fail("the engine could not correct the sample picture");
        for (const auto& [image, name] :
             {std::pair{&report_.sample, "sample.png"}, std::pair{&report_.sampleMonitor, "sample-monitor.png"},
              std::pair{&report_.samplePrinter, "sample-printer.png"}})
            if (!writeFileAtomically(
                    at(name), [&](const std::string& temporary, std::string* e) { return writeImage(temporary, *image, e); },
                    &error))
                return fail(error);
        return 0;
    }

    // The target's patches beside the report, for other tools.
    int writePatchFiles(const PatchSet& set) {
        std::string error;
        const std::vector<std::string> names = patchNames();
        std::vector<MeasuredPatch> patches;
        for (std::size_t i = 0; i < set.rgb.size() && i < set.xyz.size() && i < names.size(); ++i) {
            MeasuredPatch p{names[i], set.rgb[i], set.xyz[i], labFromXyz(set.xyz[i], kTargetWhite)};
            if (i < report_.patches.size() && report_.patches[i].name == names[i]) {
                p.modelled = true;
                p.modelLab = report_.patches[i].model;
                p.de2000 = report_.patches[i].de2000;
            }
            patches.push_back(p);
        }
        const std::string description = "IT8.7/2 target scanned by the simulated scanner (demo)";
        const std::string cgats = patchesCgats(patches, description), json = patchesJson(patches, description);
        if (!writeFileAtomically(at("patches.ti3"), cgats.data(), cgats.size(), &error) ||
            !writeFileAtomically(at("patches.json"), json.data(), json.size(), &error))
            return fail(error);
        return 0;
    }

    // The report's figures, then report.html.
    int writeReportFile() {
        std::string error;
        if (!readImage(scan_.output, &report_.it8Scan, &error) || !readImage(print_.output, &report_.chartScan, &error))
            return fail(error);
        if (!loadModelFile(scanner_.output, &report_.model, &error)) return fail(error);
        PatchSet patches;
        if (!readTargetPatches(scan_.output, &report_.it8Reading, &error) ||
            !readReferenceXyz(scan_.referenceOut, &patches.xyz, &error))
            return fail(error);
        patches.rgb = report_.it8Reading.rgb;
        report_.patches = patchDifferences(patches, report_.model);
        if (int s = writePatchFiles(patches)) return s;
        const printsim::PrinterResponse inkjet = printsim::printerPreset(printsim::PrinterPreset::Inkjet);
        const printsim::PrinterGamut gamut(inkjet, 25);
        printerFigures(report_.model, printerBlock_.payload, gamut, &report_);
        report_.samplePrinted = report_.samplePrinter;
        for (std::size_t i = 0; i < report_.samplePrinted.pixels.size(); i += 3) {
            std::uint8_t* p = &report_.samplePrinted.pixels[i];
            const auto shown = labToDisplay(gamut.printLab(p[0], p[1], p[2]));
            std::memcpy(p, shown.data(), 3);
        }
        report_.notes = {"scanner: the scan driver on the simulated scanner (mild true response), built-in virtual "
                         "IT8.7/2 target with its reference file",
                         "monitor: phosphors at their defaults, matched levels 186 186 186 (a monitor of gamma 2.2)",
                         "printer: the virtual inkjet printer, chart scanned at 300 dpi by the virtual scanner"};
        report_.files = {{"scanned IT8.7/2 target", "it8-scan.tga"},
                         {"its reference data", "it8-reference.txt"},
                         {"scanner model", "scanner.mdl"},
                         {"monitor visual match page", "monitor-match.html"},
                         {"monitor correction", "monitor.blk"},
                         {"printer chart", "printer-chart.tga"},
                         {"the chart printed and scanned", "printed-chart-scan.tga"},
                         {"printer correction", "printer.blk"},
                         {"printer correction from the printer table", "printer-from-table.blk"},
                         {"sample picture, before and after", "sample.png"},
                         {"scanner ICC profile (curves and grid)", "scanner.icc"},
                         {"scanner ICC profile (shaper-matrix)", "scanner-matrix.icc"},
                         {"printer correction as an ICC device link", "printer-link.icc"},
                         {"monitor ICC profile", "monitor.icc"},
                         {"the target's patches: scanner RGB, reference XYZ and CIELAB (CGATS, as ArgyllCMS's .ti3)",
                          "patches.ti3"},
                         {"the same with the model's CIELAB and CIEDE2000 (JSON)", "patches.json"}};
        if (!writeFileAtomically(
                at("report.html"),
                [&](const std::string& temporary, std::string* e) { return writeReport(temporary, report_, e); }, &error))
            return fail(error);
        return 0;
    }

    void printSummary() const {
        if (common_.quiet) return;
        std::vector<double> patchDe;
        for (const auto& p : report_.patches) patchDe.push_back(p.de2000);
        const DeStats patches = deStats(patchDe), printer = deStats(report_.printerNodeDe2000),
                      printer76 = deStats(report_.printerNodeDe);
        std::printf("\nsummary\n");
        std::printf("  scanner model: %zu patches, CIEDE2000 mean %.2f, max %.2f\n", patchDe.size(), patches.mean,
                    patches.max);
        std::printf("  printer correction: %zu printable grid colours, CIEDE2000 mean %.2f, max %.2f (CIE76 mean %.2f)\n",
                    report_.printerNodeDe2000.size(), printer.mean, printer.max, printer76.mean);
        for (const auto& t : report_.timings) std::printf("  %-58s %9.1f ms\n", t.first.c_str(), t.second);
        std::printf("report: %s\n", at("report.html").c_str());
    }

    std::string dir_;
    CommonOptions common_;
    ReportData report_;
    ScanOptions scan_;
    ScannerOptions scanner_;
    MonitorOptions monitor_;
    PrintOptions print_;
    PrinterOptions printer_;
    LoadedFile printerBlock_;
};

}  // namespace

int runDemo(const DemoOptions& o, const CommonOptions& common) { return DemoRun(o, common).run(); }

namespace {

AddedCommand addDemo(CLI::App& app, const CommonOptions& common) {
    auto o = std::make_shared<DemoOptions>();
    auto* cmd = app.add_subcommand("demo", "run the whole calibration on the simulated devices")
                    ->footer("Examples:\n  aucal demo --out demo-output");
    cmd->add_option("--out", o->outputDir, "output folder")->capture_default_str();
    return {cmd, [o, &common] { return runDemo(*o, common); }};
}

const RegisterCommand registered(90, addDemo);

}  // namespace

}  // namespace aucal
