#include "printer_fit_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine_library.h"
#include "engine_state.h"
#include "printer_model.h"
#include "printer_target_image.h"
#include "qel_cms.h"
#include "scanner_model_eval.h"

namespace aucal {

namespace {

constexpr int kLevels = 8;                  // chart levels per channel
constexpr int kPatchRows = 32, kPatchColumns = 16;
// A chart column or row is suspicious when its median residual is this many
// times the median of the other patches and at least this many levels more:
// a clean print's residuals (the printer's curvature between the chart's
// levels) spread over the whole chart.
constexpr double kLineFactor = 3.0;
constexpr double kLineMargin = 6.0;
// A single patch is far off beyond this factor and margin (levels) over the
// median residual of its neighbours along the drive axes.
constexpr double kPatchFactor = 4.0;
constexpr double kPatchMargin = 12.0;
constexpr std::size_t kMaxPatchWarnings = 8;
constexpr double kUnpredicted = -1;  // a patch on no drive axis inside the chart's steps

// Drive level numbers of patch p: red, green, blue (0..7).
std::array<int, 3> drivesOf(int p) { return {p / 64, (p / 8) % 8, p % 8}; }
int patchOf(const std::array<int, 3>& d) { return 64 * d[0] + 8 * d[1] + d[2]; }

std::string fixed(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%.1f", v);
    return s;
}

double median(std::vector<double> v) { return v.empty() ? 0.0 : deStats(std::move(v)).median; }

// How far patch p's scanned colour lies (levels, Euclidean in RGB) from the
// mean of its predictions along the drive axes on which it lies inside the
// chart's steps: the midpoint of its two neighbours. Patches already
// explained by a warning (excluded) predict nothing; kUnpredicted for a
// patch left without a prediction (at the ends of every axis).
double residualOf(const std::vector<std::array<double, 3>>& rgb, const std::vector<bool>& excluded, int p) {
    const std::array<int, 3> d = drivesOf(p);
    std::array<double, 3> sum{0, 0, 0};
    int axes = 0;
    for (int axis = 0; axis < 3; ++axis) {
        auto at = [&](int level) {
            std::array<int, 3> n = d;
            n[axis] = level;
            return patchOf(n);
        };
        const int k = d[axis];
        if (k == 0 || k == kLevels - 1) continue;
        const int below = at(k - 1), above = at(k + 1);
        if (excluded[below] || excluded[above]) continue;
        for (int c = 0; c < 3; ++c) sum[c] += (rgb[below][c] + rgb[above][c]) / 2;
        ++axes;
    }
    if (axes == 0) return kUnpredicted;
    return std::hypot(rgb[p][0] - sum[0] / axes, rgb[p][1] - sum[1] / axes, rgb[p][2] - sum[2] / axes);
}

std::vector<double> residuals(const std::vector<std::array<double, 3>>& rgb, const std::vector<bool>& excluded) {
    std::vector<double> out(kChartPatches, 0.0);
    for (int p = 0; p < kChartPatches; ++p) out[p] = std::max(0.0, residualOf(rgb, excluded, p));
    return out;
}

std::vector<int> driveNeighbours(int p) {
    std::vector<int> out;
    const std::array<int, 3> d = drivesOf(p);
    for (int axis = 0; axis < 3; ++axis)
        for (int step : {-1, 1}) {
            std::array<int, 3> n = d;
            n[axis] += step;
            if (n[axis] >= 0 && n[axis] < kLevels) out.push_back(patchOf(n));
        }
    return out;
}

}  // namespace

std::string chartPatchName(int patch) {
    char name[16];
    std::snprintf(name, sizeof name, "R%dC%d", patch / kPatchColumns + 1, patch % kPatchColumns + 1);
    return name;
}

bool readChartPatches(const std::string& targaPath, std::vector<std::array<double, 3>>* rgb, std::string* error) {
    if (qel::ReadPrinterTargetImage(libraryPathArgument(targaPath).c_str()) != qel::ChartStatus::Found) {
        *error = "the engine does not find the printer chart in " + targaPath;
        return false;
    }
    rgb->assign(kChartPatches, {0, 0, 0});
    for (int i = 0; i < kPatchRows; ++i)
        for (int j = 0; j < kPatchColumns; ++j) {
            const qel::PrinterPatchEntry& e = qel::g_engine.printerAnalysis.patchTable[i][j];
            (*rgb)[kPatchColumns * i + j] = {double(e.r), double(e.g), double(e.b)};
        }
    return true;
}

// The warnings are found worst first; the patches a warning explains are left
// out of what follows, so that a misread line or patch is named once and not
// again through the neighbours it spoils.
std::vector<std::string> chartPlacementWarnings(const std::vector<std::array<double, 3>>& rgb) {
    std::vector<std::string> warnings;
    std::vector<bool> excluded(kChartPatches, false);
    auto lineOf = [](bool columns, int p) { return columns ? p % kPatchColumns : p / kPatchColumns; };
    for (;;) {
        const std::vector<double> r = residuals(rgb, excluded);
        double worst = 0, worstOut = 0;
        int worstLine = -1;
        bool worstColumns = false;
        for (bool columns : {true, false})
            for (int line = 0; line < (columns ? kPatchColumns : kPatchRows); ++line) {
                std::vector<double> inside, outside;
                for (int p = 0; p < kChartPatches; ++p)
                    if (!excluded[p]) (lineOf(columns, p) == line ? inside : outside).push_back(r[p]);
                const double in = median(inside), out = median(outside);
                if (inside.empty() || in < kLineFactor * out || in < out + kLineMargin || in <= worst) continue;
                worst = in, worstOut = out, worstLine = line, worstColumns = columns;
            }
        if (worstLine < 0) break;
        for (int p = 0; p < kChartPatches; ++p)
            if (lineOf(worstColumns, p) == worstLine) excluded[p] = true;
        warnings.push_back(std::string("placement: ") + (worstColumns ? "column " : "row ") +
                           std::to_string(worstLine + 1) + " of the chart's patches disagrees with what was printed (median " +
                           fixed(worst) + " levels off the printed steps against " + fixed(worstOut) +
                           " elsewhere): the chart may be misread (shifted sample windows); check the scan");
    }
    for (std::size_t found = 0; found < kMaxPatchWarnings; ++found) {
        const std::vector<double> r = residuals(rgb, excluded);
        int worst = -1;
        double worstAround = 0;
        for (int p = 0; p < kChartPatches; ++p) {
            if (excluded[p] || (worst >= 0 && r[p] <= r[worst])) continue;
            // The neighbours as they lie without this patch's help: a patch
            // far off spoils their predictions, not they its.
            std::vector<double> around;
            excluded[p] = true;
            for (int n : driveNeighbours(p))
                if (const double rn = excluded[n] ? kUnpredicted : residualOf(rgb, excluded, n); rn >= 0)
                    around.push_back(rn);
            excluded[p] = false;
            if (around.empty()) continue;
            const double m = median(around);
            if (r[p] < kPatchFactor * m || r[p] < m + kPatchMargin) continue;
            worst = p, worstAround = m;
        }
        if (worst < 0) break;
        excluded[worst] = true;
        warnings.push_back("placement: patch " + chartPatchName(worst) + " lies far off what was printed (" +
                           fixed(r[worst]) + " levels against " + fixed(worstAround) +
                           " around it): patches swapped or misplaced, or a mark on the print");
    }
    return warnings;
}

bool printerFitQualityOf(const EngineExports& engine, const std::string& targaPath, const std::vector<float>& model,
                         const std::vector<std::uint8_t>& block, FitQuality* quality, std::string* error) {
    std::vector<std::array<double, 3>> rgb;
    if (!readChartPatches(targaPath, &rgb, error)) return false;
    // The engine's printer model of this chart, as BuildPrinterLut made it.
    std::vector<float> measured(3 * kChartPatches);
    for (int p = 0; p < kChartPatches; ++p)
        for (int c = 0; c < 3; ++c) measured[3 * p + c] = static_cast<float>(rgb[p][c]);
    qel::ComputePrinterXyz(reinterpret_cast<const qel::PrinterRgb*>(measured.data()), model.data());
    qel::ComputePrinterLab();
    const float scale = qel::g_engine.printerModel.lightnessScale;

    // The block's answer for each patch's colour, by CorrectImage itself.
    std::vector<std::uint8_t> drives(3 * kChartPatches);
    for (int p = 0; p < kChartPatches; ++p)
        for (int c = 0; c < 3; ++c) drives[3 * p + c] = static_cast<std::uint8_t>(rgb[p][c]);
    if (engine.initCorrect(block.data(), static_cast<std::int32_t>(block.size())) != 0) {
        *error = "the engine does not load the printer correction it made";
        return false;
    }
    ImageBuffer buffer{1, kChartPatches, drives.data()};
    const std::int32_t corrected = engine.correctImage(&buffer);
    engine.releaseCorrect();
    if (corrected != 0) {
        *error = "the engine does not correct the chart's colours with the printer correction";
        return false;
    }

    std::vector<PatchDifference> patches;
    for (int p = 0; p < kChartPatches; ++p) {
        const int levels[3] = {int(rgb[p][0]), int(rgb[p][1]), int(rgb[p][2])};
        double grid[3];
        qel::ModelGridLab(model.data(), levels, grid);
        float aim[3] = {float(grid[0]), float(grid[1]), float(grid[2])};
        qel::CompressTargetLab(scale, aim);
        float printed[3];
        qel::PrinterModelLab(drives[3 * p], drives[3 * p + 1], drives[3 * p + 2], printed);
        PatchDifference d;
        d.name = chartPatchName(p);
        d.reference = {aim[0], aim[1], aim[2]};
        d.model = {printed[0], printed[1], printed[2]};
        d.de76 = deltaE76(d.reference, d.model);
        d.de2000 = deltaE2000(d.reference, d.model);
        patches.push_back(d);
    }
    *quality = summarisePatches(patches);
    quality->heading = "patch differences, the correction's print (printer model) against its aim, 512 chart patches:";
    quality->document = "chart";
    quality->warnings = chartPlacementWarnings(rgb);
    return true;
}

}  // namespace aucal
