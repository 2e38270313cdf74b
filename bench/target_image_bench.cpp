// Speed of the target image reader on virtual target scans (file in the page
// cache): the whole ReadIt8TargetImage, and the locator alone.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "it8_target_image.h"
#include "platform/raii.hpp"

namespace {

// One scan per resolution, written once per run and removed at exit.
struct ScanFiles {
    std::map<int, std::string> paths;
    ~ScanFiles() {
        for (const auto& [dpi, path] : paths) std::filesystem::remove(path);
    }
};

const std::string& scanAt(int dpi) {
    static ScanFiles files;
    auto& paths = files.paths;
    auto it = paths.find(dpi);
    if (it != paths.end()) return it->second;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("target_image_bench_" + std::to_string(dpi) + ".tga")).string();
    it8sim::TargetOptions options;
    options.dpi = dpi;
    const auto raster = it8sim::renderIt8TargetRgb(
        it8sim::makeIt8Reference(), it8sim::responsePreset(it8sim::ResponsePreset::Mild), options);
    imaging::writeTarga(path, raster);
    return paths.emplace(dpi, path).first->second;
}

void BM_ReadIt8TargetImage(benchmark::State& state) {
    const std::string& path = scanAt(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (qel::ReadIt8TargetImage(path.c_str()) != 0) state.SkipWithError("target not found");
    }
}
BENCHMARK(BM_ReadIt8TargetImage)->Arg(150)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);

void BM_LocateIt8Frame(benchmark::State& state) {
    const std::string& path = scanAt(static_cast<int>(state.range(0)));
    imaging::TargaReader reader;
    if (!reader.open(path, nullptr)) state.SkipWithError("scan not readable");
    const int width = reader.layout().width, height = reader.layout().height;
    pf::FileHandle file(pfLopen(path.c_str(), PF_OF_READ));
    for (auto _ : state) {
        qel::EdgeTrace left, right;
        if (!qel::LocateIt8Frame(file.get(), width, height, left, right)) state.SkipWithError("frame not found");
    }
}
BENCHMARK(BM_LocateIt8Frame)->Arg(150)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
