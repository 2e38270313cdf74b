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

#include "colour_difference.h"
#include "commands.h"
#include "icc_profiles.h"
#include "image_io.h"
#include "it8_target/virtual_it8.h"
#include "report.h"
#include "sample_image.h"
#include "saved_file.h"
#include "status_text.h"
#include "virtual_printer/virtual_printer.h"

namespace aucal {

namespace {

constexpr Xyz3 kTargetWhite{82.22, 85.27, 70.37};

// Each patch's colour as the model gives it (its polynomial on the patch
// means sampled from the scan) against the reference data, both as CIELAB
// against the target white.
std::vector<PatchDifference> patchDifferences(const RgbImage& scan, const std::vector<float>& model) {
    std::vector<PatchDifference> out;
    std::vector<std::array<double, 3>> means;
    std::string error;
    if (!icc::samplePatches(scan, &means, &error)) return out;
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const std::vector<std::string> names = icc::patchNames();
    const int columns[9] = {1, 2, 3, 5, 6, 7, 9, 10, 11};
    for (int i = 0; i < icc::kPatchCount && i < static_cast<int>(means.size()); ++i) {
        const it8sim::Xyz ref = i < 108 ? refs.colour[i / 9][columns[i % 9] - 1] : refs.grey[i - 107];
        std::array<int, 3> levels;
        for (int c = 0; c < 3; ++c) levels[c] = static_cast<int>(means[i][c] + 0.5);
        PatchDifference d;
        d.name = names[i];
        d.reference = labFromXyz({ref.x, ref.y, ref.z}, kTargetWhite);
        d.model = labFromXyz(icc::modelPolynomialXyz(model, levels), kTargetWhite);
        d.de76 = deltaE76(d.reference, d.model);
        d.de2000 = deltaE2000(d.reference, d.model);
        out.push_back(d);
    }
    return out;
}

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
    // print against that aim.
    const double s = (100.0 - gamut.blackLightness()) / 78.6;
    const double chromaScale = s >= 1 ? (3 - s) / 2 : (s + 1) / 2;
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                const printsim::Lab node0 = printsim::modelGridLab(model, i0, i1, i2);
                const printsim::Lab target{(node0.l - 100) * s + 100, node0.a * chromaScale, node0.b * chromaScale};
                const std::uint8_t* node = &block[768 + 3 * (289 * i0 + 17 * i1 + i2)];
                if (gamut.distance(target) < 1.0) {
                    const printsim::Lab printed = gamut.printLab(node[0], node[1], node[2]);
                    report->printerNodeDe.push_back(printsim::deltaE(target, printed));
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
                const int bin = std::clamp(static_cast<int>((h + M_PI) / (2 * M_PI) * kBins), 0, kBins - 1);
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

}  // namespace

bool loadModelFile(const std::string& path, std::vector<float>* model, std::string* error);

int runDemo(const DemoOptions& o, const CommonOptions& common) {
    namespace fs = std::filesystem;
    using Clock = std::chrono::steady_clock;
    std::error_code ec;
    fs::create_directories(o.outputDir, ec);
    if (ec) return fail("cannot create " + o.outputDir + ": " + ec.message());
    auto at = [&](const char* name) { return (fs::path(o.outputDir) / name).string(); };
    ReportData report;
    CommonOptions stepCommon = common;
    auto timed = [&](const std::string& step, auto&& run) {
        const auto t0 = Clock::now();
        const int status = run();
        report.timings.emplace_back(step, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        return status;
    };
    if (!common.quiet) std::printf("aucal demo: the whole calibration on the simulated devices, into %s\n", o.outputDir.c_str());

    // 1. Scan the virtual IT8.7/2 target.
    ScanOptions scan;
    scan.output = at("it8-scan.tga");
    scan.referenceOut = at("it8-reference.txt");
    scan.windir = defaultWindowsDirectory();
    if (int s = timed("scan the IT8.7/2 target (scan driver, simulated scanner)", [&] { return runScan(scan, stepCommon); }))
        return s;
    // 2. Scanner characterisation.
    ScannerOptions scanner{scan.output, scan.referenceOut, at("scanner.mdl")};
    if (int s = timed("ScannerIT8Analysis", [&] { return runScanner(scanner, stepCommon); })) return s;
    // 3. Monitor: 186 is half luminance on a monitor of gamma 2.2.
    MonitorOptions monitor;
    monitor.model = scanner.output;
    monitor.levels = {186, 186, 186};
    monitor.output = at("monitor.blk");
    monitor.matchPage = at("monitor-match.html");
    if (int s = timed("SetPhosphorType + VisualMatch", [&] { return runMonitor(monitor, stepCommon); })) return s;
    // 4. Printer.
    ChartOptions chart{at("printer-chart.tga")};
    if (int s = timed("CreatTargetImage", [&] { return runChart(chart, stepCommon); })) return s;
    PrintOptions print;
    print.chart = chart.output;
    print.output = at("printed-chart-scan.tga");
    print.table = at("printer.tbl");
    if (int s = timed("print and scan the chart (virtual printer)", [&] { return runPrint(print, stepCommon); })) return s;
    PrinterOptions printer{print.output, "", scanner.output, at("printer.blk")};
    if (int s = timed("PrinterTargetAnalysis", [&] { return runPrinter(printer, stepCommon); })) return s;
    PrinterOptions table{"", print.table, scanner.output, at("printer-from-table.blk")};
    if (int s = timed("PrinterTargetOpenAnalysis", [&] { return runPrinter(table, stepCommon); })) return s;

    // ICC profiles of the model and of both corrections, checked with LittleCMS.
    std::vector<icc::ProfileFigures> profiles;
    IccOptions scannerIcc;
    scannerIcc.model = scanner.output;
    scannerIcc.image = scan.output;
    scannerIcc.reference = scan.referenceOut;
    scannerIcc.output = at("scanner.icc");
    scannerIcc.shaperMatrix = at("scanner-matrix.icc");
    IccOptions linkIcc, monitorIcc;
    linkIcc.block = printer.output;
    linkIcc.output = at("printer-link.icc");
    monitorIcc.block = monitor.output;
    monitorIcc.model = scanner.output;  // the phosphors come back from the block and the model
    monitorIcc.output = at("monitor.icc");
    if (int s = timed("ICC profiles (LittleCMS), written and checked", [&] {
            for (const IccOptions* o : {&scannerIcc, &linkIcc, &monitorIcc})
                if (int status = runIcc(*o, stepCommon, &profiles)) return status;
            return 0;
        }))
        return s;

    // 5. Correct a picture with both corrections.
    std::string error;
    EngineLibrary engine;
    if (!loadEngine(&engine, &error)) return fail(error);
    LoadedFile monitorBlock, printerBlock;
    if (!loadFileOfKind(monitor.output, {SavedKind::MatrixBlock}, &monitorBlock, &error) ||
        !loadFileOfKind(printer.output, {SavedKind::LookupBlock}, &printerBlock, &error))
        return fail(error);
    report.sample = samplePicture(960, 640);
    report.sampleMonitor = report.sample;
    report.samplePrinter = report.sample;
    bool corrected = true;
    timed("CorrectImage, monitor, 960 x 640",
          [&] { return (corrected = correctWith(engine.exports(), monitorBlock.payload, &report.sampleMonitor)) ? 0 : 1; });
    if (corrected)
        timed("CorrectImage, printer, 960 x 640", [&] {
            return (corrected = correctWith(engine.exports(), printerBlock.payload, &report.samplePrinter)) ? 0 : 1;
        });
    if (!corrected) return fail("the engine could not correct the sample picture");
    for (const auto& [image, name] : {std::pair{&report.sample, "sample.png"}, std::pair{&report.sampleMonitor, "sample-monitor.png"},
                                      std::pair{&report.samplePrinter, "sample-printer.png"}})
        if (!writeImage(at(name), *image, &error)) return fail(error);

    // Report figures.
    if (!readImage(scan.output, &report.it8Scan, &error) || !readImage(print.output, &report.chartScan, &error))
        return fail(error);
    if (!loadModelFile(scanner.output, &report.model, &error)) return fail(error);
    report.patches = patchDifferences(report.it8Scan, report.model);
    const printsim::PrinterResponse inkjet = printsim::printerPreset(printsim::PrinterPreset::Inkjet);
    const printsim::PrinterGamut gamut(inkjet, 25);
    printerFigures(report.model, printerBlock.payload, gamut, &report);
    report.samplePrinted = report.samplePrinter;
    for (std::size_t i = 0; i < report.samplePrinted.pixels.size(); i += 3) {
        std::uint8_t* p = &report.samplePrinted.pixels[i];
        const auto shown = labToDisplay(gamut.printLab(p[0], p[1], p[2]));
        std::memcpy(p, shown.data(), 3);
    }
    report.notes = {"scanner: the scan driver on the simulated scanner (mild true response), built-in virtual IT8.7/2 "
                    "target with its reference file",
                    "monitor: phosphors at their defaults, matched levels 186 186 186 (a monitor of gamma 2.2)",
                    "printer: the virtual inkjet printer, chart scanned at 300 dpi by the virtual scanner"};
    report.files = {{"scanned IT8.7/2 target", "it8-scan.tga"},
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
                    {"monitor ICC profile", "monitor.icc"}};
    report.profiles = profiles;
    if (!writeReport(at("report.html"), report, &error)) return fail(error);

    if (!common.quiet) {
        double sum = 0, worst = 0;
        for (const auto& p : report.patches) {
            sum += p.de2000;
            worst = std::max(worst, p.de2000);
        }
        std::printf("\nsummary\n");
        std::printf("  scanner model: %zu patches, CIEDE2000 mean %.2f, max %.2f\n", report.patches.size(),
                    report.patches.empty() ? 0.0 : sum / static_cast<double>(report.patches.size()), worst);
        double psum = 0;
        for (double d : report.printerNodeDe) psum += d;
        std::printf("  printer correction: %zu printable grid colours, CIE76 mean %.2f\n", report.printerNodeDe.size(),
                    report.printerNodeDe.empty() ? 0.0 : psum / static_cast<double>(report.printerNodeDe.size()));
        for (const auto& t : report.timings) std::printf("  %-58s %9.1f ms\n", t.first.c_str(), t.second);
        std::printf("report: %s\n", at("report.html").c_str());
    }
    return 0;
}

}  // namespace aucal
