// Scanner characterisation judged against a known scanner: the virtual IT8.7/2
// target is scanned through a true scanner response (with noise), the scan and
// its reference data file go through ScannerIT8Analysis, and the model's
// colorimetric prediction (tone curves, then the 9-term polynomial) for the
// scanner's noise-free levels is compared with the true colour, in CIELAB
// against the D50 white, with CIE 1976 and CIEDE2000:
//   - on the 130 patches the model was fitted to;
//   - on 400 held-out colours, mixtures of two or three target patches in XYZ
//     (so they lie within the target's gamut).
// The raw-level linear matrix is judged the same way for comparison. This
// measures the algorithm as it stands; nothing here tunes it. Then Google
// Benchmark times the whole call on a 150 and a 600 dpi scan.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/targa.h"
#include "it8_target/virtual_it8.h"
#include "qel_layout.h"
#include "qel_cms.h"
#include "scanner_model.h"

namespace {

namespace sm = qel::scanner_model;
constexpr double kD50[3] = {96.42, 100.0, 82.49};

std::string workDir() {
    const auto dir = std::filesystem::temp_directory_path() / "aucal_scanner_accuracy";
    std::filesystem::create_directories(dir);
    return dir.string();
}

cmsCIELab toLab(const double xyz[3]) {
    auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; };
    const double fx = f(xyz[0] / kD50[0]), fy = f(xyz[1] / kD50[1]), fz = f(xyz[2] / kD50[2]);
    return cmsCIELab{116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

// XYZ predicted by the model's curves and polynomial for scanner levels rgb.
void polynomialXyz(const std::vector<float>& model, const it8sim::Rgb8& rgb, double xyz[3]) {
    const double r = model[sm::toneIndex(0, rgb.r)], g = model[sm::toneIndex(1, rgb.g)], b = model[sm::toneIndex(2, rgb.b)];
    const double t[9] = {r, g, b, r * r, g * g, b * b, r * g, g * b, r * b};
    for (int m = 0; m < 3; ++m) {
        xyz[m] = 0;
        for (int i = 0; i < 9; ++i) xyz[m] += model[sm::kPolynomial + 9 * m + i] * t[i];
    }
}

void linearXyz(const std::vector<float>& model, const it8sim::Rgb8& rgb, double xyz[3]) {
    for (int m = 0; m < 3; ++m) {
        const float* row = model.data() + sm::kLinearMatrix + 4 * m;
        xyz[m] = (row[0] + row[1] * rgb.r + row[2] * rgb.g + row[3] * rgb.b) * qel::kTargetWhite[m];
    }
}

struct Stats {
    std::vector<double> e76, e2000;
    void add(const it8sim::Xyz& truth, const double predicted[3]) {
        const double t[3] = {truth.x, truth.y, truth.z};
        const cmsCIELab a = toLab(t), b = toLab(predicted);
        e76.push_back(cmsDeltaE(&a, &b));
        e2000.push_back(cmsCIE2000DeltaE(&a, &b, 1.0, 1.0, 1.0));
    }
    static double mean(const std::vector<double>& v) {
        double s = 0;
        for (double x : v) s += x;
        return v.empty() ? 0 : s / v.size();
    }
    static double percentile(std::vector<double> v, double p) {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return v[static_cast<std::size_t>(p * (v.size() - 1) + 0.5)];
    }
    void print(const char* label) const {
        std::printf("  %-26s %4zu   %6.2f %6.2f %6.2f   %6.2f %6.2f %6.2f\n", label, e76.size(), mean(e76),
                    percentile(e76, 0.95), percentile(e76, 1.0), mean(e2000), percentile(e2000, 0.95),
                    percentile(e2000, 1.0));
    }
};

// Held-out colours: mixtures of two or three random patches (deterministic).
std::vector<it8sim::Xyz> heldOut(const it8sim::It8ReferenceSet& refs, int count) {
    std::vector<it8sim::Xyz> patches;
    for (auto& row : refs.colour)
        for (auto& c : row) patches.push_back(c);
    for (int g = 1; g <= 22; ++g) patches.push_back(refs.grey[g]);
    std::uint64_t state = 0x5eedULL;
    auto next = [&]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    std::vector<it8sim::Xyz> out;
    while (static_cast<int>(out.size()) < count) {
        const int n = next() < 0.5 ? 2 : 3;
        double w[3] = {next(), next(), n == 3 ? next() : 0.0};
        const double sum = w[0] + w[1] + w[2];
        it8sim::Xyz mix;
        for (int i = 0; i < n; ++i) {
            const it8sim::Xyz& p = patches[static_cast<std::size_t>(next() * patches.size()) % patches.size()];
            mix.x += p.x * w[i] / sum;
            mix.y += p.y * w[i] / sum;
            mix.z += p.z * w[i] / sum;
        }
        out.push_back(mix);
    }
    return out;
}

struct Scan {
    std::string image, reference;
};

Scan renderScan(const it8sim::It8ReferenceSet& refs, const it8sim::ScannerResponse& response, double dpi,
                const std::string& name) {
    it8sim::TargetOptions options;
    options.dpi = dpi;
    Scan s{workDir() + "/" + name + ".tga", workDir() + "/reference.txt"};
    imaging::writeTarga(s.image, it8sim::renderIt8TargetRgb(refs, response, options));
    it8sim::writeIt8ReferenceFile(s.reference, refs);
    return s;
}

void accuracyReport() {
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const std::vector<it8sim::Xyz> held = heldOut(refs, 400);
    std::printf("Scanner characterisation accuracy (virtual IT8.7/2 target, 150 dpi, noise 1 level)\n");
    std::printf("  CIELAB against D50; mean, 95th percentile and maximum colour difference\n");
    std::printf("  %-26s %4s   %-20s   %-20s\n", "response / set", "n", "   CIE76 mean p95 max", " CIEDE2000 mean p95 max");
    for (auto preset : {it8sim::ResponsePreset::Mild, it8sim::ResponsePreset::NonLinear,
                        it8sim::ResponsePreset::Crosstalk}) {
        it8sim::ScannerResponse response = it8sim::responsePreset(preset);
        response.noiseSigma = 1.0;
        response.seed = 3;
        const Scan scan = renderScan(refs, response, 150, it8sim::presetName(preset));
        std::vector<float> model(QEL_MODEL_FLOATS);
        std::int32_t size = 0;
        const int status = ScannerIT8Analysis(1, scan.image.c_str(), model.data(), &size, scan.reference.c_str(),
                                              nullptr, nullptr);
        std::printf("%s: status %d\n", it8sim::presetName(preset), status);
        if (status != 0) continue;

        Stats fitted, fittedLinear, unseen, unseenLinear;
        std::vector<it8sim::Xyz> patches;
        for (int row = 0; row < 12; ++row)
            for (int col : qel::kUsedColumns) patches.push_back(refs.colour[row][col - 1]);
        for (int g = 1; g <= 22; ++g) patches.push_back(refs.grey[g]);
        double xyz[3];
        for (const auto& p : patches) {
            const it8sim::Rgb8 rgb = it8sim::trueScannerRgb(p, response);
            polynomialXyz(model, rgb, xyz);
            fitted.add(p, xyz);
            linearXyz(model, rgb, xyz);
            fittedLinear.add(p, xyz);
        }
        for (const auto& h : held) {
            const it8sim::Rgb8 rgb = it8sim::trueScannerRgb(h, response);
            polynomialXyz(model, rgb, xyz);
            unseen.add(h, xyz);
            linearXyz(model, rgb, xyz);
            unseenLinear.add(h, xyz);
        }
        fitted.print("130 patches, polynomial");
        unseen.print("held out, polynomial");
        fittedLinear.print("130 patches, linear matrix");
        unseenLinear.print("held out, linear matrix");
    }
    std::printf("\n");
}

void BM_ScannerIT8Analysis(benchmark::State& state) {
    const double dpi = static_cast<double>(state.range(0));
    static const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    const Scan scan = renderScan(refs, it8sim::responsePreset(it8sim::ResponsePreset::Mild), dpi,
                                 "bench_" + std::to_string(state.range(0)));
    std::vector<float> model(QEL_MODEL_FLOATS);
    std::int32_t size = 0;
    for (auto _ : state) {
        const int status = ScannerIT8Analysis(1, scan.image.c_str(), model.data(), &size, scan.reference.c_str(),
                                              nullptr, nullptr);
        if (status != 0) state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(model.data());
    }
}
BENCHMARK(BM_ScannerIT8Analysis)->Arg(150)->Arg(600)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    accuracyReport();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
