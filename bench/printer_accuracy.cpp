// Printer characterisation judged on the virtual printer: the chart is
// printed, scanned at 300 dpi by the virtual scanner and analysed; each grid
// node's output is then printed on the same virtual printer and compared
// with the colour the node asks for (the model grid's CIELAB with the
// lightness range scaled into the printer's, as the analysis scales it).
// Only nodes whose target the printer can print (within 1 CIE 1976 unit)
// count. Rows: "chart" with the virtual scanner's exact model, "fitted" with
// the model that ScannerIT8Analysis fits from a scan of the virtual IT8.7/2
// target by the same scanner, "table" the open analysis of the printer's
// table, judged against the colour the table aims at. Then Google Benchmark
// times BuildPrinterLut, the chart locator and the whole
// PrinterTargetAnalysis on the 300 dpi scan.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine_state.h"
#include "imaging/targa.h"
#include "printer_chart.h"
#include "qel_layout.h"
#include "scanner_model_eval.h"
#include "printer_model.h"
#include "printer_target_image.h"
#include "qel_cms.h"
#include "virtual_printer/virtual_printer.h"

namespace {

struct Scene {
    std::string dir;
    std::string chartPath, scanPath;
    std::vector<float> model;
};

it8sim::ScannerResponse scannerFor(double noise) {
    it8sim::ScannerResponse s = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    s.noiseSigma = noise;
    s.seed = 5;
    return s;
}

printsim::PrintScanOptions scanOptions() {
    printsim::PrintScanOptions o;
    o.dpi = 300;
    o.blurPixels = 0.8;
    o.tiltDegrees = 0.3;
    return o;
}

Scene& scene() {
    static Scene s = [] {
        Scene sc;
        sc.dir = (std::filesystem::temp_directory_path() / "aucal_printer_accuracy").string();
        std::filesystem::create_directories(sc.dir);
        sc.chartPath = sc.dir + "/chart.tga";
        sc.scanPath = sc.dir + "/printed_300dpi.tga";
        CreatTargetImage(sc.chartPath.c_str());
        const auto chart = imaging::loadTarga(sc.chartPath);
        const auto printer = printsim::printerPreset(printsim::PrinterPreset::Inkjet);
        imaging::writeTarga(sc.scanPath, printsim::printAndScan(*chart, printer, scannerFor(1.0), scanOptions()));
        sc.model = printsim::idealScannerModel(scannerFor(1.0));
        return sc;
    }();
    return s;
}

struct Stats {
    int nodes = 0, inGamut = 0;
    double mean = 0, median = 0, p95 = 0, max = 0;
};

// A node's target colour, or nothing for a node that is not judged.
using TargetOf = std::function<std::optional<printsim::Lab>(const printsim::Lab& node)>;

Stats judge(const std::vector<std::uint8_t>& block, const std::vector<float>& model, const printsim::PrinterGamut& gamut,
            const TargetOf& targetOf) {
    std::vector<double> errors;
    Stats st;
    for (int n = 0; n < 17 * 17 * 17; ++n) {
        ++st.nodes;
        const auto want = targetOf(printsim::modelGridLab(model, n / 289, (n / 17) % 17, n % 17));
        if (!want || gamut.distance(*want) > 1.0) continue;
        const std::uint8_t* node = &block[qel::kLutBlockGrid + 3 * static_cast<std::size_t>(n)];
        errors.push_back(printsim::deltaE(gamut.printLab(node[0], node[1], node[2]), *want));
    }
    st.inGamut = static_cast<int>(errors.size());
    if (errors.empty()) return st;
    std::sort(errors.begin(), errors.end());
    double sum = 0;
    for (double e : errors) sum += e;
    st.mean = sum / errors.size();
    st.median = errors[errors.size() / 2];
    st.p95 = errors[std::min(errors.size() - 1, errors.size() * 95 / 100)];
    st.max = errors.back();
    return st;
}

// The chart analysis aims at the node's CIELAB with the lightness range
// scaled into the printer's and the chroma scaled with it.
TargetOf chartTarget(const printsim::PrinterGamut& gamut) {
    const float s = static_cast<float>((100.0 - gamut.blackLightness()) / qel::kPrinterLightnessRange);
    return [s](const printsim::Lab& node) -> std::optional<printsim::Lab> {
        float aim[3] = {static_cast<float>(node.l), static_cast<float>(node.a), static_cast<float>(node.b)};
        qel::CompressTargetLab(s, aim);
        return printsim::Lab{aim[0], aim[1], aim[2]};
    };
}

// The open analysis reads the node's CIELAB against D65 as a working-space
// colour; the virtual printer's table prints that relative to the paper,
// lightness scaled from black to paper. Nodes outside the working space
// (clipped there) are not judged.
TargetOf tableTarget(const printsim::PrinterGamut& gamut) {
    const double black = gamut.blackLightness();
    return [black](const printsim::Lab& node) -> std::optional<printsim::Lab> {
        static const double m[3][3] = {{1.9709, -0.5494, -0.2974}, {-0.9538, 1.9364, -0.0274}, {0.0638, -0.1294, 0.9814}};
        const printsim::Xyz x = printsim::labToXyz(node, printsim::Xyz{95.04697, 100, 108.88268});
        for (const auto& row : m) {
            const double v = row[0] * x.x + row[1] * x.y + row[2] * x.z;
            if (v < 0 || v > 100) return std::nullopt;
        }
        return printsim::Lab{black + node.l * (100 - black) / 100, node.a, node.b};
    };
}

void printRow(const char* printer, const char* path, const char* scan, int code, const Stats& st) {
    std::printf("%-10s %-6s %-9s %5d %7d %7d %7.2f %7.2f %7.2f %7.2f\n", printer, path, scan, code, st.nodes,
                st.inGamut, st.mean, st.median, st.p95, st.max);
}

void accuracyReport() {
    std::printf("Printer characterisation on the virtual printer (chart printed, scanned, analysed)\n");
    std::printf("dE76 between each grid node's target and the print of its output, nodes the printer can print\n");
    std::printf("%-10s %-6s %-9s %5s %7s %7s %7s %7s %7s %7s\n", "printer", "path", "scan", "code", "nodes", "judged",
                "mean", "median", "p95", "max");
    Scene& sc = scene();
    const auto chart = imaging::loadTarga(sc.chartPath);
    for (auto preset : {printsim::PrinterPreset::Inkjet, printsim::PrinterPreset::Laser, printsim::PrinterPreset::Newsprint}) {
        const auto printer = printsim::printerPreset(preset);
        const printsim::PrinterGamut gamut(printer);
        const char* name = printsim::printerPresetName(preset);
        for (double noise : {0.0, 2.0}) {
            const auto scanner = scannerFor(noise);
            const std::string path = sc.dir + "/accuracy.tga";
            imaging::writeTarga(path, printsim::printAndScan(*chart, printer, scanner, scanOptions()));
            std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
            int32_t size = 0;
            const std::vector<float> model = printsim::idealScannerModel(scanner);
            const int32_t code = PrinterTargetAnalysis(path.c_str(), block.data(), &size, model.data(), 0, nullptr, nullptr);
            char scan[32];
            std::snprintf(scan, sizeof scan, "noise %.0f", noise);
            printRow(name, "chart", scan, code, code == 0 ? judge(block, model, gamut, chartTarget(gamut)) : Stats{});
        }
        // The whole chain: the scanner model fitted by ScannerIT8Analysis
        // from a scan of the virtual IT8.7/2 target by the same scanner.
        {
            const auto scanner = scannerFor(1.0);
            const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
            const std::string it8 = sc.dir + "/it8.tga", reference = sc.dir + "/it8.txt";
            it8sim::TargetOptions targetOptions;
            targetOptions.dpi = 200;
            imaging::writeTarga(it8, it8sim::renderIt8TargetRgb(refs, scanner, targetOptions));
            it8sim::writeIt8ReferenceFile(reference, refs);
            std::vector<float> fitted(QEL_MODEL_FLOATS, 0.0f);
            int32_t modelSize = 0;
            int32_t code = ScannerIT8Analysis(1, it8.c_str(), fitted.data(), &modelSize, reference.c_str(), nullptr, nullptr);
            Stats st;
            if (code == 0) {
                const std::string path = sc.dir + "/accuracy.tga";
                imaging::writeTarga(path, printsim::printAndScan(*chart, printer, scanner, scanOptions()));
                std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
                int32_t size = 0;
                code = PrinterTargetAnalysis(path.c_str(), block.data(), &size, fitted.data(), 0, nullptr, nullptr);
                if (code == 0) st = judge(block, fitted, gamut, chartTarget(gamut));
            }
            printRow(name, "fitted", "noise 1", code, st);
        }
        // The same printer through its printer table.
        const std::vector<float> model = printsim::idealScannerModel(scannerFor(0));
        std::vector<std::uint8_t> data = printsim::printerTable(printer);
        int32_t size = 0;
        const int32_t code = PrinterTargetOpenAnalysis(data.data(), &size, model.data(), 0, nullptr, nullptr);
        printRow(name, "table", "-", code, code == 0 ? judge(data, model, gamut, tableTarget(gamut)) : Stats{});
    }
    std::printf("\n");
}

void BM_BuildPrinterLut(benchmark::State& state) {
    Scene& sc = scene();
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
    int32_t size = 0;
    if (PrinterTargetAnalysis(sc.scanPath.c_str(), block.data(), &size, sc.model.data(), 0, nullptr, nullptr) != 0) {
        state.SkipWithError("the 300 dpi scan was not analysed");
        return;
    }
    std::vector<float> measured(512 * 3);
    const auto& table = qel::g_engine.printerAnalysis.patchTable;
    for (int p = 0; p < 512; ++p) {
        measured[3 * p] = static_cast<float>(table[p / 16][p % 16].r);
        measured[3 * p + 1] = static_cast<float>(table[p / 16][p % 16].g);
        measured[3 * p + 2] = static_cast<float>(table[p / 16][p % 16].b);
    }
    for (auto _ : state) {
        const auto result = qel::BuildPrinterLut(reinterpret_cast<const qel::PrinterRgb*>(measured.data()), block.data(),
                                                 sc.model.data(), nullptr, nullptr);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_BuildPrinterLut)->Unit(benchmark::kMillisecond);

void BM_PrinterTargetAnalysis300dpi(benchmark::State& state) {
    Scene& sc = scene();
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE, 0);
    int32_t size = 0;
    for (auto _ : state) {
        const int32_t code = PrinterTargetAnalysis(sc.scanPath.c_str(), block.data(), &size, sc.model.data(), 0, nullptr, nullptr);
        if (code != 0) {
            state.SkipWithError("the 300 dpi scan was not analysed");
            break;
        }
    }
}
BENCHMARK(BM_PrinterTargetAnalysis300dpi)->Unit(benchmark::kMillisecond);

// The locator alone: finding and sampling the chart in the 300 dpi scan.
void BM_ReadPrinterTargetImage300dpi(benchmark::State& state) {
    Scene& sc = scene();
    for (auto _ : state) benchmark::DoNotOptimize(qel::ReadPrinterTargetImage(sc.scanPath.c_str()));
}
BENCHMARK(BM_ReadPrinterTargetImage300dpi)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    accuracyReport();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(scene().dir);
    return 0;
}
