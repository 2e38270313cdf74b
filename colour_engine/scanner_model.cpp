// Scanner characterisation from a scanned IT8.7/2 target.
//
// Arithmetic is double inside each step and rounded to a 32-bit float wherever
// a value is stored (ladder entries, normal equations, terms, model floats);
// the 9x9 normal equations are badly conditioned in float, so the rounding
// points and the order of every sum are kept as they are on purpose.
#include "scanner_model.h"

#include <cmath>

#include "colour_math.h"
#include "job.h"
#include "it8_target_image.h"
#include "numeric.h"
#include "platform/raii.hpp"

namespace qel {

namespace sm = scanner_model;

namespace {

constexpr int kLinearUnknowns = 4;
constexpr int kPolynomialUnknowns = 9;
constexpr int kFirstGreyEntry = kChromaticPatches;         // GS1
constexpr int kLastGreyEntry = kReferencePatches - 1;      // GS22
constexpr int kAnchorFirst = 10, kAnchorLast = 19, kAnchorNone = 20;
constexpr int kLastSegment = 20;
constexpr double kToneFloor = -10.0;
constexpr double kToneCeiling = kTargetWhiteXyz[1] + 10.0;  // the white's Y plus 10
constexpr double kChromaLimit = 150.0;
constexpr double kGamutLow = -0.5, kGamutHigh = 100.5;
constexpr double kGamutShrink = 0.8;
// Scaling by 0.8 reaches a* = b* = 0 (always inside) within about 470 steps;
// the bound only matters for values that are not numbers.
constexpr int kMaxGamutPulls = 1000;
constexpr std::size_t kRecordBytes = sizeof(PatchRecord);

// Accumulates one patch into float normal equations: a += t t^T, b[m] += ref[m] t.
void accumulate(int n, const float* t, const float* ref, float* a, float* b) {
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            a[i * n + j] = static_cast<float>(a[i * n + j] + static_cast<double>(t[i]) * t[j]);
    for (int m = 0; m < 3; ++m)
        for (int i = 0; i < n; ++i)
            b[m * n + i] = static_cast<float>(b[m * n + i] + static_cast<double>(ref[m]) * t[i]);
}

// Value at y of the line through (y0, c0) and (y1, c1), as a ladder level.
// Equal reference Y give no line against Y: the entry is then put one level
// beyond the neighbour (step = +1 upwards, -1 downwards), so the ladder still
// moves the right way and stays finite.
float lineLevel(float c0, float y0, float c1, float y1, float y, float neighbour, float step) {
    const double dy = static_cast<double>(y1) - y0;
    if (dy == 0.0) return static_cast<float>(static_cast<double>(neighbour) + step);
    return static_cast<float>((static_cast<double>(c1) * (static_cast<double>(y) - y0) +
                               static_cast<double>(c0) * (static_cast<double>(y1) - y)) /
                              dy);
}

double clampTo(double v, double low, double high) { return v < low ? low : (v > high ? high : v); }

int roundedLevel(float value) {
    std::int32_t n = truncToInt32(static_cast<double>(value) + 0.5);
    return n < 0 ? 0 : (n > 255 ? 255 : n);
}

}  // namespace

int FitLinearScannerMatrix(const PatchRecord& reference, const PatchRecord& measured, float* model) {
    float a[kLinearUnknowns * kLinearUnknowns] = {};
    float b[3 * kLinearUnknowns] = {};
    float x[3 * kLinearUnknowns] = {};
    for (int p = 0; p < kReferencePatches; ++p) {
        const float v[kLinearUnknowns] = {1.0f, measured.entry[p][0], measured.entry[p][1], measured.entry[p][2]};
        accumulate(kLinearUnknowns, v, reference.entry[p], a, b);
    }
    if (SolveNormalEquations(kLinearUnknowns, a, b, x) == 0) return 0;
    for (int m = 0; m < 3; ++m)
        for (int i = 0; i < kLinearUnknowns; ++i)
            model[sm::kLinearMatrix + 4 * m + i] =
                static_cast<float>(static_cast<double>(x[m * kLinearUnknowns + i]) / kTargetWhite[m]);
    return 1;
}

GreyLadder MakeGreyLadder(const PatchRecord& reference, const PatchRecord& measured) {
    GreyLadder ladder{};
    for (int k = 0; k < kLadderSteps; ++k) {
        const int entry = kLastGreyEntry - k;
        for (int c = 0; c < 3; ++c) ladder.level[c][k] = measured.entry[entry][c];
        ladder.y[k] = reference.entry[entry][1];
    }
    static_assert(kLastGreyEntry - (kLadderSteps - 1) == kFirstGreyEntry);
    return ladder;
}

int LadderAnchor(const GreyLadder& ladder) {
    for (int k = kAnchorFirst; k <= kAnchorLast; ++k) {
        bool rises = true;
        for (int c = 0; c < 3; ++c) rises = rises && ladder.level[c][k] > ladder.level[c][k - 1];
        if (rises) return k;
    }
    return kAnchorNone;
}

void RepairGreyLadder(GreyLadder& ladder, int anchor) {
    const float* y = ladder.y;
    for (int k = anchor; k <= kLadderSteps - 2; ++k)
        for (int c = 0; c < 3; ++c) {
            float* C = ladder.level[c];
            if (!(C[k + 1] > C[k])) C[k + 1] = lineLevel(C[k - 1], y[k - 1], C[k], y[k], y[k + 1], C[k], 1.0f);
        }
    for (int k = anchor - 1; k >= 1; --k)
        for (int c = 0; c < 3; ++c) {
            float* C = ladder.level[c];
            if (!(C[k] > C[k - 1])) C[k - 1] = lineLevel(C[k], y[k], C[k + 1], y[k + 1], y[k - 1], C[k], -1.0f);
        }
}

// A level from C[20] up uses the last segment, one below C[1] the first; in
// between, the last k from 1 to 19 with C[k] <= v < C[k+1]. That is always
// the last k from 1 to 19 with C[k] <= v: the entry after it is above v (or
// it is k = 19 and v < C[20]). So even a repaired ladder that does not rise
// throughout gives every level exactly one segment, chosen by this one rule,
// and nothing depends on the segment found for another level or channel.
int ToneSegment(const float level[kLadderSteps], int v) {
    const double value = v;
    if (value >= level[kLastSegment]) return kLastSegment;
    if (!(value >= level[1])) return 0;
    int segment = 1;
    for (int k = 2; k <= 19; ++k)
        if (level[k] <= value) segment = k;
    return segment;
}

bool BuildToneCurves(const GreyLadder& ladder, float* model) {
    for (int c = 0; c < 3; ++c) {
        const float* C = ladder.level[c];
        const float* Y = ladder.y;
        for (int v = 0; v < 256; ++v) {
            const int j = ToneSegment(C, v);
            const double c0 = C[j], c1 = C[j + 1];
            double t;
            if (c1 != c0) {
                t = ((v - c0) * Y[j + 1] + (c1 - v) * Y[j]) / (c1 - c0);
            } else {
                // Two equal measured levels: the segment is a step from Y[j]
                // to Y[j+1] at that level.
                t = v < c0 ? Y[j] : Y[j + 1];
            }
            model[sm::kToneCurves + 256 * c + v] = static_cast<float>(clampTo(t, kToneFloor, kToneCeiling));
        }
    }
    float top[3];
    for (int c = 0; c < 3; ++c) {
        top[c] = model[sm::kToneCurves + 256 * c + 255];
        if (!(top[c] > 0.0f)) return false;
    }
    for (int v = 0; v < 256; ++v)
        for (int c = 0; c < 3; ++c) {
            float& value = model[sm::kToneCurves + 256 * c + v];
            value = static_cast<float>(static_cast<double>(value) / top[c]);
            if (value < 0.0f) value = 0.0f;
        }
    return true;
}

int FitScannerPolynomial(const PatchRecord& reference, const PatchRecord& measured, float* model) {
    float a[kPolynomialUnknowns * kPolynomialUnknowns] = {};
    float b[3 * kPolynomialUnknowns] = {};
    float x[3 * kPolynomialUnknowns] = {};
    for (int p = 0; p < kReferencePatches; ++p) {
        const double r = model[sm::kToneCurves + roundedLevel(measured.entry[p][0])];
        const double g = model[sm::kToneCurves + 256 + roundedLevel(measured.entry[p][1])];
        const double bl = model[sm::kToneCurves + 512 + roundedLevel(measured.entry[p][2])];
        // The terms are held as floats, as the normal equations are.
        const float t[kPolynomialUnknowns] = {
            static_cast<float>(r),      static_cast<float>(g),      static_cast<float>(bl),
            static_cast<float>(r * r),  static_cast<float>(g * g),  static_cast<float>(bl * bl),
            static_cast<float>(r * g),  static_cast<float>(g * bl), static_cast<float>(r * bl)};
        accumulate(kPolynomialUnknowns, t, reference.entry[p], a, b);
    }
    if (SolveNormalEquations(kPolynomialUnknowns, a, b, x) == 0) return 0;
    for (int i = 0; i < 3 * kPolynomialUnknowns; ++i) model[sm::kPolynomial + i] = x[i];
    return 1;
}

void LimitChroma(float& a, float& b) {
    // Each ratio uses the value before its clamp, so the hue angle is kept.
    if (a < -kChromaLimit) {
        b = static_cast<float>(b * (-kChromaLimit / a));
        a = static_cast<float>(-kChromaLimit);
    }
    if (a > kChromaLimit) {
        b = static_cast<float>(b * (kChromaLimit / a));
        a = static_cast<float>(kChromaLimit);
    }
    if (b < -kChromaLimit) {
        a = static_cast<float>(a * (-kChromaLimit / b));
        b = static_cast<float>(-kChromaLimit);
    }
    if (b > kChromaLimit) {
        a = static_cast<float>(a * (kChromaLimit / b));
        b = static_cast<float>(kChromaLimit);
    }
}

int PullIntoGamut(float L, float& a, float& b) {
    for (int pulls = 0; pulls < kMaxGamutPulls; ++pulls) {
        float xyz[3], rgb[3];
        LabToXyzD65(2, L, a, b, xyz);
        XyzToWorkingRgb(xyz[0], xyz[1], xyz[2], rgb);
        bool inside = true;
        for (float v : rgb) inside = inside && v >= kGamutLow && v <= kGamutHigh;
        if (inside) return pulls;
        a = static_cast<float>(a * kGamutShrink);
        b = static_cast<float>(b * kGamutShrink);
    }
    a = 0.0f;
    b = 0.0f;
    return kMaxGamutPulls;
}

void ScannerGridNode(const float* model, int i0, int i1, int i2, float lab[3]) {
    const int node[3] = {i0, i1, i2};
    double lin[3];
    for (int c = 0; c < 3; ++c) {
        const int level = truncToInt32(255.0 * node[c] / 16.0 + 0.5);
        const double u = level / 255.0;
        lin[c] = u * u;
    }
    const double r = lin[0], g = lin[1], b = lin[2];
    const double terms[kPolynomialUnknowns] = {r, g, b, r * r, g * g, b * b, r * g, g * b, r * b};
    double xyz[3];
    for (int m = 0; m < 3; ++m) {
        double s = 0.0;
        for (int i = 0; i < kPolynomialUnknowns; ++i) s += model[sm::kPolynomial + 9 * m + i] * terms[i];
        xyz[m] = clampTo(static_cast<float>(s), 0.0, kTargetWhite[m]);
    }
    XyzToLab(kTargetWhite[0], kTargetWhite[1], kTargetWhite[2], xyz[0], xyz[1], xyz[2], lab);
    lab[0] = static_cast<float>(clampTo(lab[0], 0.0, 100.0));
    LimitChroma(lab[1], lab[2]);
    PullIntoGamut(lab[0], lab[1], lab[2]);
}

FitOutcome FitScannerModel(const PatchRecord& reference, const PatchRecord& measured, float* model,
                           ProgressRecord* progress, ProgressCallback callback) {
    GreyLadder ladder = MakeGreyLadder(reference, measured);
    RepairGreyLadder(ladder, LadderAnchor(ladder));
    if (!BuildToneCurves(ladder, model)) return FitOutcome::Failed;
    if (FitScannerPolynomial(reference, measured, model) == 0) return FitOutcome::Failed;
    // Reference values far outside any real target can overflow the fits;
    // such a model is reported as a failed fit, never handed back as a result.
    for (int i = 0; i < sm::kGrid; ++i)
        if (!std::isfinite(model[i])) return FitOutcome::Failed;

    for (int i0 = 0; i0 < sm::kGridNodes; ++i0) {
        reportProgress(progress, callback, 20 + 5 * i0);
        for (int i1 = 0; i1 < sm::kGridNodes; ++i1) {
            if (PollEscapeKey() == 1) return FitOutcome::Cancelled;
            for (int i2 = 0; i2 < sm::kGridNodes; ++i2)
                ScannerGridNode(model, i0, i1, i2, model + sm::gridIndex(i0, i1, i2));
        }
    }
    return FitOutcome::Completed;
}

}  // namespace qel

using namespace qel;

extern "C" {

QEL_API int32_t QEL_CDECL ScannerIT8Analysis(int32_t useReferenceFile, const char* imagePath, float* model,
                                             int32_t* modelSize, const char* referencePath,
                                             ProgressRecord* progress, ProgressCallback callback) {
    reportProgress(progress, callback, 0);
    reportProgress(progress, callback, 5);
    if (ReadIt8TargetImage(imagePath) != 0) return QEL_SCANNER_IMAGE_UNREADABLE;
    reportProgress(progress, callback, 15);

    pf::LockedGlobal referenceBlock(kMovableZeroed, kRecordBytes);
    if (!referenceBlock.ok()) return QEL_SCANNER_NO_MEMORY;
    pf::LockedGlobal measuredBlock(kMovableZeroed, kRecordBytes);
    if (!measuredBlock.ok()) return QEL_SCANNER_NO_MEMORY;
    auto* reference = referenceBlock.as<PatchRecord>();
    auto* measured = measuredBlock.as<PatchRecord>();

    FillMeasuredRecord(g_engine.targetPatches, measured);
    if (useReferenceFile != 0) {
        const int status = ReadIt8Reference(reference, referencePath);
        if (status != QEL_SCANNER_OK) return status;
    } else {
        LoadDefaultIt8Reference(reference);
    }

    if (FitLinearScannerMatrix(*reference, *measured, model) == 0) return QEL_SCANNER_FIT_FAILED;
    switch (FitScannerModel(*reference, *measured, model, progress, callback)) {
    case FitOutcome::Cancelled:
        return QEL_SCANNER_CANCELLED;
    case FitOutcome::Failed:
        return QEL_SCANNER_FIT_FAILED;
    case FitOutcome::Completed:
        break;
    }
    if (modelSize != nullptr) *modelSize = QEL_MODEL_SIZE;
    return QEL_SCANNER_OK;
}
}
