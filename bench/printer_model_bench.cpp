// Timing of the printer model (BuildPrinterLut: 4913 nodes, each a 512-patch
// nearest search and a pattern search), the open analysis, the visual match
// and the chart writer. Inputs are made here; results are not checked (the
// tests do that), but each run's block is kept so that nothing is optimised
// away.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/colour_engine/synthetic_model.h"
#include "printer_model.h"
#include "qel_cms.h"

namespace {

// A chart as a scanner reads it from a printer that darkens, tints and
// compresses a little.
std::vector<float> measuredChart() {
    std::vector<float> m(3 * 512);
    const double levels[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (int p = 0; p < 512; ++p) {
        const double rgb[3] = {levels[p / 64], levels[(p / 8) % 8], levels[p % 8]};
        for (int c = 0; c < 3; ++c) {
            const double v = 18.0 + 0.9 * 255.0 * std::pow(rgb[c] / 255.0, c == 1 ? 1.15 : 1.05);
            m[3 * p + c] = static_cast<float>(std::round(v));
        }
    }
    return m;
}

void BM_BuildPrinterLut(benchmark::State& state) {
    const auto model = testsupport::syntheticModel();
    const auto measured = measuredChart();
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE);
    for (auto _ : state) {
        qel::BuildPrinterLut(reinterpret_cast<const qel::PrinterRgb*>(measured.data()), block.data(), model.data(),
                             nullptr, nullptr);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 17 * 17 * 17);
}
BENCHMARK(BM_BuildPrinterLut)->Unit(benchmark::kMillisecond);

void BM_PrinterTargetOpenAnalysis(benchmark::State& state) {
    const auto model = testsupport::syntheticModel();
    std::vector<std::uint8_t> table(QEL_LUT_BLOCK_SIZE);
    for (int n = 0; n < 17 * 17 * 17; ++n)
        for (int c = 0; c < 3; ++c) table[3 * n + c] = static_cast<std::uint8_t>(n * 7 + c * 31);
    std::vector<std::uint8_t> data(QEL_LUT_BLOCK_SIZE);
    for (auto _ : state) {
        data = table;
        int32_t size = 0;
        PrinterTargetOpenAnalysis(data.data(), &size, model.data(), 0, nullptr, nullptr);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * 17 * 17 * 17);
}
BENCHMARK(BM_PrinterTargetOpenAnalysis)->Unit(benchmark::kMillisecond);

void BM_VisualMatch(benchmark::State& state) {
    const auto model = testsupport::syntheticModel();
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE);
    for (auto _ : state) {
        int32_t size = 0;
        VisualMatch(120, 128, 136, block.data(), &size, model.data());
        benchmark::DoNotOptimize(block.data());
    }
}
BENCHMARK(BM_VisualMatch)->Unit(benchmark::kMicrosecond);

void BM_CreatTargetImage(benchmark::State& state) {
    const std::string path = (std::filesystem::temp_directory_path() / "printer_model_bench_chart.tga").string();
    for (auto _ : state) benchmark::DoNotOptimize(CreatTargetImage(path.c_str()));
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * 549138);
}
BENCHMARK(BM_CreatTargetImage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
