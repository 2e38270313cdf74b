// The printer model: the lookup block from the measured chart (a search in
// CIELAB through an interpolated printer), and PrinterTargetOpenAnalysis,
// which resamples a printer table that the host supplies.
//
// Every value that ends in a byte goes through the saturating conversions of
// numeric.h, so a degenerate model or paper white (NaN, infinities) still
// gives a complete block of defined bytes.
#include "printer_model.h"

#include <cmath>
#include <cstdint>

#include "colour_math.h"
#include "qel_layout.h"
#include "engine_state.h"
#include "job.h"
#include "numeric.h"
#include "qel_cms.h"
#include "scanner_model_eval.h"

namespace qel {

namespace {

constexpr int kPaperPatch = 511;        // all channels at 255: blank paper
constexpr int kBlackPatch = 0;          // all channels at 0: full black
constexpr double kNoPatchDistance = 1e9;
constexpr int kRefinePasses = 101;
constexpr int kCoarsePasses = 6;        // passes that probe further than one level
constexpr double kWorkingEncodePower = 0.45454545454545453;

PrinterModelState& state() { return g_engine.printerModel; }

double squaredDistance(const float p[3], const float q[3]) {
    const double d0 = static_cast<double>(p[0]) - q[0];
    const double d1 = static_cast<double>(p[1]) - q[1];
    const double d2 = static_cast<double>(p[2]) - q[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

// A channel limited to 0..255 (NaN to 0) before its integer part is stored.
std::int32_t limitChannel(std::int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

double distanceAt(const float target[3], double r, double g, double b) {
    float lab[3];
    PrinterModelLab(r, g, b, lab);
    return squaredDistance(lab, target);
}

int roundedChannel(double v) { return limitChannel(truncToInt32(v + 0.5)); }

void findPrinterRgb(const float targetLab[3], float scale, double rgb[3]) {
    float target[3] = {targetLab[0], targetLab[1], targetLab[2]};
    CompressTargetLab(scale, target);
    const int p = NearestPrinterPatch(target);
    const double start[3] = {kPrinterGridStep * (p / 64), kPrinterGridStep * ((p / 8) % 8), kPrinterGridStep * (p % 8)};
    RefinePrinterRgb(target, start, rgb);
}

void storeNode(std::uint8_t* block, int i0, int i1, int i2, const double rgb[3]) {
    std::uint8_t* node = block + lutNodeOffset(i0, i1, i2);
    for (int c = 0; c < 3; ++c) node[c] = truncToByte(rgb[c]);
}

const float* gridNode(const float* model, int i0, int i1, int i2) {
    return model + scanner_model::gridIndex(i0, i1, i2);
}

// The interpolation cell of a point: per axis the integer part of
// value / step, limited to 0..maxIndex, and the remaining fraction.
struct Cell {
    int index[3];
    double frac[3];
    // Trilinear weight of the corner (d0, d1, d2), each 0 or 1.
    double weight(int d0, int d1, int d2) const {
        return (d0 ? frac[0] : 1.0 - frac[0]) * (d1 ? frac[1] : 1.0 - frac[1]) * (d2 ? frac[2] : 1.0 - frac[2]);
    }
};

Cell locateCell(const double v[3], double step, int maxIndex) {
    Cell cell{};
    for (int c = 0; c < 3; ++c) {
        const double u = v[c] / step;
        int i = truncToInt32(u);
        if (i < 0) i = 0;
        if (i > maxIndex) i = maxIndex;
        cell.index[c] = i;
        cell.frac[c] = u - i;
    }
    return cell;
}

}  // namespace

void ComputePrinterXyz(const PrinterRgb* measured, const float* model) {
    PrinterModelState& s = state();
    for (int p = 0; p < kPrinterPatchCount; ++p) {
        float xyz[3];
        ModelLevelsXyz(model, measured[p], xyz);
        // Negative (and NaN) sums become 0: no printed colour is below black.
        for (int out = 0; out < 3; ++out) s.xyz[p][out] = xyz[out] >= 0.0f ? xyz[out] : 0.0f;
    }
}

void WritePrinterInputCurves(std::uint8_t* block, const float* model) {
    for (int ch = 0; ch < 3; ++ch)
        for (int n = 0; n < 256; ++n) {
            const double v = std::sqrt(static_cast<double>(model[scanner_model::toneIndex(ch, n)])) * 255.0 + 0.5;
            block[256 * ch + n] = truncToByte(v);
        }
}

void ComputePrinterLab() {
    PrinterModelState& s = state();
    for (int c = 0; c < 3; ++c) s.paperWhite[c] = s.xyz[kPaperPatch][c];
    for (int p = 0; p < kPrinterPatchCount; ++p)
        XyzToLab(s.paperWhite[0], s.paperWhite[1], s.paperWhite[2], s.xyz[p][0], s.xyz[p][1], s.xyz[p][2], s.lab[p]);
    s.lightnessScale = static_cast<float>((100.0 - s.lab[kBlackPatch][0]) / kPrinterLightnessRange);
}

int NearestPrinterPatch(const float lab[3]) {
    const PrinterModelState& s = state();
    double best = kNoPatchDistance;
    int found = 0;
    for (int p = 0; p < kPrinterPatchCount; ++p) {
        const double d = squaredDistance(lab, s.lab[p]);
        if (d < best) {
            best = d;
            found = p;
        }
    }
    return found;
}

void PrinterModelLab(double r, double g, double b, float lab[3]) {
    const PrinterModelState& s = state();
    const double rgb[3] = {r, g, b};
    // Channels are 0..255, so the cell is 0..6 (255 / step stays below 7).
    const Cell cell = locateCell(rgb, kPrinterGridStep, kChartLevelCount - 2);
    double xyz[3] = {0.0, 0.0, 0.0};
    for (int di = 0; di < 2; ++di)
        for (int dj = 0; dj < 2; ++dj)
            for (int dk = 0; dk < 2; ++dk) {
                const double w = cell.weight(di, dj, dk);
                const int p = 64 * (cell.index[0] + di) + 8 * (cell.index[1] + dj) + (cell.index[2] + dk);
                for (int c = 0; c < 3; ++c) xyz[c] += w * s.xyz[p][c];
            }
    XyzToLab(s.paperWhite[0], s.paperWhite[1], s.paperWhite[2], xyz[0], xyz[1], xyz[2], lab);
}

void RefinePrinterRgb(const float target[3], const double start[3], double rgb[3]) {
    double P[3] = {start[0], start[1], start[2]};
    double best[3] = {P[0], P[1], P[2]};
    double d = distanceAt(target, roundedChannel(P[0]), roundedChannel(P[1]), roundedChannel(P[2]));
    for (int t = 0; t < kRefinePasses; ++t) {
        // Probe offset: 16, 8, 4, 2, 1, 0.5 levels for the first passes, then
        // none; the neighbour step dk adds one more level.
        const double reach = t < kCoarsePasses ? 32.0 / std::ldexp(1.0, t + 1) : 0.0;
        for (int d0 = -1; d0 <= 1; ++d0)
            for (int d1 = -1; d1 <= 1; ++d1)
                for (int d2 = -1; d2 <= 1; ++d2) {
                    if (d0 == 0 && d1 == 0 && d2 == 0) continue;
                    const int step[3] = {d0, d1, d2};
                    int candidate[3];
                    for (int c = 0; c < 3; ++c)
                        candidate[c] = limitChannel(truncToInt32(P[c] + 0.5 + reach * step[c]) + step[c]);
                    const double dc = distanceAt(target, candidate[0], candidate[1], candidate[2]);
                    if (dc < d) {
                        d = dc;
                        for (int c = 0; c < 3; ++c) best[c] = candidate[c];
                    }
                }
        const bool unchanged = best[0] == P[0] && best[1] == P[1] && best[2] == P[2];
        if (unchanged && t >= kCoarsePasses) break;
        for (int c = 0; c < 3; ++c) P[c] = best[c];
    }
    for (int c = 0; c < 3; ++c) rgb[c] = P[c];
}

int EncodeWorkingChannel(float channel) {
    // Limited to 0..100 first; NaN counts as 0.
    double v = channel > 0.0f ? channel : 0.0;
    if (v > 100.0) v = 100.0;
    return truncToInt32(std::pow(v / 100.0, kWorkingEncodePower) * 255.0 + 0.5);
}

void InterpolatePrinterTable(int e0, int e1, int e2, double out[3]) {
    const PrinterModelState& s = state();
    const double e[3] = {static_cast<double>(e0), static_cast<double>(e1), static_cast<double>(e2)};
    // 255 takes cell 15 with fraction 1: the top node at full weight.
    const Cell cell = locateCell(e, kPrinterTableStep, kGridNodes - 2);
    out[0] = out[1] = out[2] = 0.0;
    for (int d0 = 0; d0 < 2; ++d0)
        for (int d1 = 0; d1 < 2; ++d1)
            for (int d2 = 0; d2 < 2; ++d2) {
                const double w = cell.weight(d0, d1, d2);
                const float* node = s.table[cell.index[0] + d0][cell.index[1] + d1][cell.index[2] + d2];
                for (int c = 0; c < 3; ++c) out[c] += w * node[c];
            }
}

PrinterLutResult BuildPrinterLut(const PrinterRgb* measured, std::uint8_t* block, const float* model,
                                 ProgressRecord* progress, ProgressCallback callback) {
    ComputePrinterXyz(measured, model);
    WritePrinterInputCurves(block, model);
    ComputePrinterLab();
    const float scale = state().lightnessScale;
    for (int i0 = 0; i0 < kGridNodes; ++i0) {
        reportProgress(progress, callback, 20 + 5 * i0);
        for (int i1 = 0; i1 < kGridNodes; ++i1) {
            if (PollEscapeKey() == 1) return PrinterLutResult::Cancelled;
            for (int i2 = 0; i2 < kGridNodes; ++i2) {
                double rgb[3];
                findPrinterRgb(gridNode(model, i0, i1, i2), scale, rgb);
                storeNode(block, i0, i1, i2, rgb);
            }
        }
    }
    return PrinterLutResult::Completed;
}

PrinterLutResult BuildLutFromPrinterTable(std::uint8_t* data, const float* model, ProgressRecord* progress,
                                          ProgressCallback callback) {
    // The table shares the buffer with the block: copy it all before the
    // curves overwrite its first bytes.
    PrinterModelState& s = state();
    for (int i0 = 0; i0 < kGridNodes; ++i0)
        for (int i1 = 0; i1 < kGridNodes; ++i1)
            for (int i2 = 0; i2 < kGridNodes; ++i2)
                for (int c = 0; c < 3; ++c)
                    s.table[i0][i1][i2][c] = data[gridNodeOffset(i0, i1, i2) + c];

    WritePrinterInputCurves(data, model);
    for (int i0 = 0; i0 < kGridNodes; ++i0) {
        reportProgress(progress, callback, 2 + 6 * i0);
        for (int i1 = 0; i1 < kGridNodes; ++i1) {
            if (PollEscapeKey() == 1) return PrinterLutResult::Cancelled;
            for (int i2 = 0; i2 < kGridNodes; ++i2) {
                const float* lab = gridNode(model, i0, i1, i2);
                float xyz[3];
                LabToXyzD65(2, lab[0], lab[1], lab[2], xyz);
                float working[3];
                XyzToWorkingRgb(xyz[0], xyz[1], xyz[2], working);
                double out[3];
                InterpolatePrinterTable(EncodeWorkingChannel(working[0]), EncodeWorkingChannel(working[1]),
                                        EncodeWorkingChannel(working[2]), out);
                storeNode(data, i0, i1, i2, out);
            }
        }
    }
    reportProgress(progress, callback, 100);
    return PrinterLutResult::Completed;
}

}  // namespace qel

extern "C" {

QEL_API int32_t QEL_CDECL PrinterTargetOpenAnalysis(void* data, int32_t* blockSize, const float* model,
                                                    int32_t /*unused*/, ProgressRecord* progress,
                                                    ProgressCallback callback) {
    qel::reportProgress(progress, callback, 0);
    // Without a model there is nothing to reproduce: refused before anything
    // is written, like a missing table.
    if (data == nullptr || model == nullptr) return QEL_PRINTER_OPEN_FAILED;
    qel::reportProgress(progress, callback, 1);
    if (qel::BuildLutFromPrinterTable(static_cast<std::uint8_t*>(data), model, progress, callback) !=
        qel::PrinterLutResult::Completed)
        return QEL_PRINTER_OPEN_FAILED;
    *blockSize = static_cast<int32_t>(qel::kLutBlockReportedSize);
    return QEL_PRINTER_OPEN_OK;
}
}
