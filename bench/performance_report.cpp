// The performance table, measured in one run on one machine:
//  - CorrectImage in lookup and matrix mode on each kernel path, LittleCMS transforming the same
//    image through a device link with the same grid and input curves, and
//    memcpy of the same bytes; 4096 x 4096 random and smooth images, in
//    Mpixel/s (best of several runs), with the ratios to LittleCMS and memcpy;
//  - the analyses: BuildPrinterLut, PrinterTargetAnalysis on 300 and 600 dpi
//    scans of the printed chart, ScannerIT8Analysis on a 600 dpi scan, and
//    Scan_Image of each driver on the simulated scanner with the virtual
//    clock (the libraries' own cost, without the one-second polls).
#include <lcms2.h>

#include "install.h"
#include "it8_target/virtual_it8.h"
#include "platform/desktop_posix.h"
#include "platform/library.h"
#include "printer_model.h"
#include "scan_driver.h"
#include "virtual_printer/virtual_printer.h"

#include <algorithm>
#include <filesystem>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>
#include <functional>
#include <string>
#include <random>
#include <vector>

#include "correction.h"
#include "imaging/targa.h"
#include "qel_layout.h"
#include "sample_blocks.h"
#include "qel_cms.h"

namespace {

constexpr int kSide = 4096;
constexpr std::size_t kPixels = static_cast<std::size_t>(kSide) * kSide;

std::vector<std::uint8_t> randomImage() {
    std::vector<std::uint8_t> img(3 * kPixels);
    std::mt19937 rng(1);
    for (auto& b : img) b = static_cast<std::uint8_t>(rng());
    return img;
}

// Smooth, photograph-like: slow gradients with gentle curvature.
std::vector<std::uint8_t> smoothImage() {
    std::vector<std::uint8_t> img(3 * kPixels);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            std::uint8_t* p = &img[3 * (static_cast<std::size_t>(y) * kSide + x)];
            const double u = x / double(kSide), v = y / double(kSide);
            p[0] = static_cast<std::uint8_t>(60 + 150 * u * (1 - 0.3 * v));
            p[1] = static_cast<std::uint8_t>(90 + 120 * v * (1 - 0.2 * u));
            p[2] = static_cast<std::uint8_t>(140 + 80 * (u - v) * (u - v));
        }
    return img;
}

// The same correction as a LittleCMS device link: the input tables as
// tabulated curves (grid coordinate g on an axis whose node 16 is 256), the
// grid as a 17-point CLUT.
cmsHTRANSFORM lcmsTransform(const std::vector<std::uint8_t>& b) {
    cmsContext ctx = nullptr;
    cmsToneCurve* curves[3];
    for (int c = 0; c < 3; ++c) {
        cmsUInt16Number t[256];
        for (int i = 0; i < 256; ++i) t[i] = static_cast<cmsUInt16Number>(b[qel::blockTableOffset(c, i)] * 65535.0 / 256.0 + 0.5);
        curves[c] = cmsBuildTabulatedToneCurve16(ctx, 256, t);
    }
    std::vector<cmsUInt16Number> table(17 * 17 * 17 * 3);
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<cmsUInt16Number>(b[qel::kLutBlockGrid + i] * 257);
    cmsPipeline* pipe = cmsPipelineAlloc(ctx, 3, 3);
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocToneCurves(ctx, 3, curves));
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocCLut16bit(ctx, 17, 3, 3, table.data()));
    cmsHPROFILE link = cmsCreateProfilePlaceholder(ctx);
    cmsSetProfileVersion(link, 4.3);
    cmsSetDeviceClass(link, cmsSigLinkClass);
    cmsSetColorSpace(link, cmsSigRgbData);
    cmsSetPCS(link, cmsSigRgbData);
    cmsWriteTag(link, cmsSigAToB0Tag, pipe);
    cmsHTRANSFORM xf = cmsCreateTransform(link, TYPE_RGB_8, nullptr, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    cmsPipelineFree(pipe);
    for (auto* c : curves) cmsFreeToneCurve(c);
    cmsCloseProfile(link);
    return xf;
}

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double bestMilliseconds(int repeats, const std::function<void()>& run) {
    double best = 1e30;
    for (int rep = 0; rep < repeats; ++rep) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

void analysisTable() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("aucal-perf-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const it8sim::ScannerResponse mild = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    const auto model = printsim::idealScannerModel(mild);
    std::vector<std::pair<std::string, double>> rows;

    // The printer chart printed and scanned at 300 and 600 dpi.
    const std::string chart = (dir / "chart.tga").string();
    CreatTargetImage(chart.c_str());
    const auto chartImage = imaging::loadTarga(chart);
    std::vector<std::uint8_t> block(QEL_LUT_BLOCK_SIZE);
    for (double dpi : {300.0, 600.0}) {
        printsim::PrintScanOptions options;
        options.dpi = dpi;
        const std::string scan = (dir / ("printed-" + std::to_string(static_cast<int>(dpi)) + ".tga")).string();
        imaging::writeTarga(scan, printsim::printAndScan(*chartImage, printsim::printerPreset(printsim::PrinterPreset::Inkjet), mild, options));
        int32_t size = 0;
        rows.emplace_back("PrinterTargetAnalysis, " + std::to_string(static_cast<int>(dpi)) + " dpi scan", bestMilliseconds(3, [&] {
            PrinterTargetAnalysis(scan.c_str(), block.data(), &size, model.data(), 0, nullptr, nullptr);
        }));
    }
    // BuildPrinterLut alone, on the patches of the last analysis.
    qel::PrinterRgb measured[512];
    for (int p = 0; p < 512; ++p)
        for (int c = 0; c < 3; ++c) measured[p][c] = static_cast<float>((p >> (6 - 3 * c)) % 8 * 36);
    rows.emplace_back("BuildPrinterLut", bestMilliseconds(3, [&] {
        qel::BuildPrinterLut(measured, block.data(), model.data(), nullptr, nullptr);
    }));

    // ScannerIT8Analysis on a 600 dpi scan of the virtual target.
    const auto refs = it8sim::makeIt8Reference();
    it8sim::TargetOptions target;
    target.dpi = 600;
    const std::string it8 = (dir / "it8-600.tga").string(), reference = (dir / "it8.txt").string();
    imaging::writeTarga(it8, it8sim::renderIt8TargetRgb(refs, mild, target));
    it8sim::writeIt8ReferenceFile(reference, refs);
    std::vector<float> fitted(QEL_MODEL_FLOATS + 1);
    int32_t modelSize = 0;
    rows.emplace_back("ScannerIT8Analysis, 600 dpi scan", bestMilliseconds(3, [&] {
        ScannerIT8Analysis(1, it8.c_str(), fitted.data(), &modelSize, reference.c_str(), nullptr, nullptr);
    }));

    // Scan_Image of each driver, simulated scanner, virtual clock.
    const std::string windir = (dir / "windows").string();
    std::string error;
    sim::installPassThrough(windir, sim::InstallOptions{}, &error);
    pfdSetWindowsDirectory(windir.c_str());
    pfdUseVirtualClock(1);
    const int32_t items[] = {1017};
    PfWindow dialog = pfdCreateDialogWindow("bench", items, 1);
    const std::pair<const char*, const char*> drivers[] = {
        {"scan", AUCAL_DRIVER_scan}, {"vexa", AUCAL_DRIVER_vexa}, {"prescan", AUCAL_DRIVER_prescan}};
    for (const auto& [name, path] : drivers) {
        PfLibrary lib = pfLoadLibrary(path);
        auto scanImage = lib != nullptr ? reinterpret_cast<ScanImageProc>(pfGetProcAddress(lib, "Scan_Image")) : nullptr;
        if (scanImage == nullptr) continue;
        const std::string out = (dir / (std::string(name) + ".tga")).string();
        rows.emplace_back(std::string("Scan_Image, ") + name + " (simulated scanner)", bestMilliseconds(3, [&] {
            scanImage(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(dialog)), out.c_str(),
                      [](ScanProgressRecord*, int32_t) -> int32_t { return 0; }, 0, 0);
        }));
        pfFreeLibrary(lib);
    }
    pfdUseVirtualClock(0);

    std::printf("\nAnalyses, one core, wall time in ms (best of 3)\n");
    for (const auto& [name, ms] : rows) std::printf("%-48s %10.1f\n", name.c_str(), ms);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace

int main() {
    const auto lut = lutBlock();
    const auto mat = matrixBlock();
    cmsHTRANSFORM xf = lcmsTransform(lut);
    std::vector<std::uint8_t> sink(3 * kPixels);
    const auto random = randomImage();
    const auto smooth = smoothImage();

    // Each kernel path forced in turn through the engine's documented switch;
    // a path that this processor cannot run is left out.
    struct Row {
        std::string name;
        std::function<void(std::uint8_t*)> run;
        double random = 0, smooth = 0;  // best Mpixel/s
    };
    std::vector<Row> rows;
    auto correctWith = [](const std::vector<std::uint8_t>& block, const char* path) {
        return [&block, path](std::uint8_t* p) {
            setenv("AUCAL_CORRECTION_KERNEL", path, 1);
            InitCorrect(block.data(), static_cast<int32_t>(block.size()));
            ImageBuffer img{kSide, kSide, p};
            CorrectImage(&img);
            ReleaseCorrect();
        };
    };
    for (qel::KernelPath path : {qel::KernelPath::Avx2, qel::KernelPath::Sse2, qel::KernelPath::Generic}) {
        const char* name = qel::kernelPathName(path);
        setenv("AUCAL_CORRECTION_KERNEL", name, 1);
        if (qel::chooseKernelPath() != path) continue;
        rows.push_back({std::string("CorrectImage lookup ") + name, correctWith(lut, name)});
        rows.push_back({std::string("CorrectImage matrix ") + name, correctWith(mat, name)});
    }
    unsetenv("AUCAL_CORRECTION_KERNEL");
    rows.push_back({"LittleCMS device link", [&](std::uint8_t* p) { cmsDoTransform(xf, p, p, kPixels); }});
    rows.push_back({"memcpy", [&](std::uint8_t* p) { std::memcpy(sink.data(), p, 3 * kPixels); }});

    // Rounds over all rows, best of each, in the thread's CPU time: other
    // programs on a busy machine then count only through the caches.
    std::vector<std::uint8_t> work(random.size());
    for (int round = 0; round < 7; ++round)
        for (Row& r : rows)
            for (auto [image, best] : {std::pair{&random, &r.random}, std::pair{&smooth, &r.smooth}}) {
                std::memcpy(work.data(), image->data(), image->size());
                const double t0 = threadSeconds();
                r.run(work.data());
                *best = std::max(*best, kPixels / (threadSeconds() - t0) / 1e6);
            }
    cmsDeleteTransform(xf);

    const Row& lcms = rows[rows.size() - 2];
    const Row& copy = rows.back();
    std::printf("Image correction, 4096 x 4096 pixels, one core, Mpixel/s of thread CPU time (best of 7)\n");
    std::printf("%-26s %10s %10s %10s %10s %11s %11s\n", "", "random", "smooth", "/LCMS rnd", "/LCMS smo",
                "/memcpy rnd", "/memcpy smo");
    for (const Row& r : rows)
        std::printf("%-26s %10.1f %10.1f %10.2f %10.2f %11.3f %11.3f\n", r.name.c_str(), r.random, r.smooth,
                    r.random / lcms.random, r.smooth / lcms.smooth, r.random / copy.random, r.smooth / copy.smooth);
    if (std::getenv("AUCAL_REPORT_KERNELS_ONLY") == nullptr) analysisTable();
    return 0;
}
