// The scanner characterisation: from the 130 sampled patches of a scanned
// IT8.7/2 target and their reference XYZ, the ScannerModel that the host keeps
// (tone curves, polynomial, linear matrix, CIELAB grid). The export is
// ScannerIT8Analysis; the steps are open here for white-box tests.
#ifndef QEL_SCANNER_MODEL_H
#define QEL_SCANNER_MODEL_H

#include "engine_state.h"
#include "it8_reference.h"
#include "it8_target_image.h"
#include "qel_cms.h"
#include "qel_layout.h"

namespace qel {

// Least-squares 3x4 matrix from raw levels (1, c0, c1, c2) to XYZ divided by
// the target white. Returns the solver's status (1 solved, 0 singular).
int FitLinearScannerMatrix(const PatchRecord& reference, const PatchRecord& measured, float* model);

// The grey ladder: GS22 (k = 0, dark) up to GS1 (k = 21, light), measured
// levels per channel and reference Y, as working copies.
constexpr int kLadderSteps = 22;
struct GreyLadder {
    float level[3][kLadderSteps];
    float y[kLadderSteps];
};
GreyLadder MakeGreyLadder(const PatchRecord& reference, const PatchRecord& measured);

// The first k from 10 to 19 at which all three channels rise strictly, else 20.
int LadderAnchor(const GreyLadder& ladder);

// Repairs every channel that does not rise, upwards from the anchor and
// downwards below it, each falling entry replaced on the line through its two
// neighbours on the anchor's side.
void RepairGreyLadder(GreyLadder& ladder, int anchor);

// Segment of the ladder (0..20) used for level v of one channel.
int ToneSegment(const float level[kLadderSteps], int v);

// Tone curves into the model from a repaired ladder: interpolated, clamped,
// normalised to 1 at level 255, negatives set to 0. False, with the curves
// left unnormalised, when a channel's value at level 255 is 0 or less.
bool BuildToneCurves(const GreyLadder& ladder, float* model);

// The 9-term polynomial from linearised r, g, b to XYZ. Returns the solver's
// status.
int FitScannerPolynomial(const PatchRecord& reference, const PatchRecord& measured, float* model);

// The chroma limit (a*, b* within -150..150, hue kept) and the pull into the
// working RGB cube (a*, b* scaled by 0.8 until inside). PullIntoGamut returns
// how many times it scaled.
void LimitChroma(float& a, float& b);
int PullIntoGamut(float L, float& a, float& b);

// CIELAB of grid node (i0, i1, i2) from the model's polynomial.
void ScannerGridNode(const float* model, int i0, int i1, int i2, float lab[3]);

enum class FitOutcome { Cancelled = 0, Completed = 1, Failed = 2 };

// Ladder, tone curves, polynomial and grid, reporting 20..100 percent over the
// grid rows and polling Escape before every row of 17 nodes.
FitOutcome FitScannerModel(const PatchRecord& reference, const PatchRecord& measured, float* model,
                           ProgressRecord* progress, ProgressCallback callback);

}  // namespace qel

#endif
