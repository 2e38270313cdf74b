// The scanner's shaper-matrix description fitted on the 130 target patches:
// per channel a shaper curve of its own, lin = ((level - black) /
// (255 - black))^gamma (0 below black), and a 3x3 matrix from the shaped
// channels to PCS XYZ (D50, Y = 1). The shapers are fitted with the matrix,
// not taken from the model's grey-ladder tone curves: the ladder's greys are
// not neutral in the reference data, and curves fitted as if they were put
// most of a matrix profile's error into the darks.
//
// Held-out accuracy: k-fold cross-validation predicts each patch by a fit
// that did not see it.
#ifndef AUCAL_SHAPER_MATRIX_FIT_H
#define AUCAL_SHAPER_MATRIX_FIT_H

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "colour_maths.h"
#include "target_patches.h"

namespace aucal::icc {

struct ShaperMatrix {
    std::array<double, 3> black{0, 0, 0};  // level at which a channel's shaper leaves 0
    std::array<double, 3> gamma{1, 1, 1};  // its exponent
    Matrix3 m{};                           // shaped RGB (0..1) to PCS XYZ (D50, Y = 1)
    double rmsDeltaE = 0;                  // CIE76 residual of the fit on its patches, in PCS CIELAB
};

// The shaper of channel c at a level (0..255, fractional allowed), 0..1.
double shaperValue(const ShaperMatrix& fit, int channel, double level);
// PCS XYZ of scanner levels.
Xyz3 shaperMatrixXyz(const ShaperMatrix& fit, const std::array<double, 3>& levels);

// The patches whose levels say their colour: a patch with a channel at
// either end of the scale, or a saturated colour with a channel down at the
// darkest level any patch has while another is well above it, was clipped by
// the scanner and is left out.
PatchSet unclippedPatches(const PatchSet& patches);

// Fits shapers and matrix on the patches (scanner levels and reference XYZ),
// minimising the CIE76 difference in PCS CIELAB over the
// unclipped patches; false with a sentence when
// the patches do not determine a matrix.
bool fitShaperMatrix(const PatchSet& patches, ShaperMatrix* fit, std::string* error);

// Held-out CIEDE2000 of every patch (PCS CIELAB against the reference data)
// predicted by `predictor`, fitted on the other folds: patch p is in fold
// p mod k. The predictor fits on a patch set and returns a function from
// scanner levels to PCS CIELAB, or nothing when it cannot fit.
using Prediction = std::function<Lab3(const std::array<double, 3>& levels)>;
using Predictor = std::function<bool(const PatchSet& training, Prediction* predict)>;
bool crossValidate(const PatchSet& patches, int folds, const Predictor& predictor, std::vector<double>* heldOutDe2000);

// Mean, 95th percentile and largest of a list of colour differences.
struct DeFigures {
    double mean = 0, p95 = 0, max = 0;
};
DeFigures deFigures(std::vector<double> de);

}  // namespace aucal::icc

#endif
