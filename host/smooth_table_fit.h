// The scanner's smooth-table description fitted on the 130 target patches:
// the fitted shaper-matrix gives each channel's axis and the colour the
// table starts from; a small CIELAB grid over the shaped channels carries
// what the matrix cannot follow. The grid is solved by least squares on the
// patches with a penalty on the second differences of its departure from the
// matrix (a discrete Laplacian), so that between and beyond the patches it
// bends no more than the patches ask: a patch cannot pull one node alone and
// leave a bump for the colours around it. The penalty's weight is chosen by
// cross-validation on the patches.
//
// Layout as an ICC A2B0 reads it: the axis of channel c is the cube root of
// its shaper (so the nodes are spaced about evenly in lightness, not crowded
// into the highlights), nodes^3 entries with red varying slowest, each PCS
// CIELAB, read tetrahedrally.
#ifndef AUCAL_SMOOTH_TABLE_FIT_H
#define AUCAL_SMOOTH_TABLE_FIT_H

#include <array>
#include <string>
#include <vector>

#include "shaper_matrix_fit.h"

namespace aucal::icc {

struct SmoothTable {
    ShaperMatrix base;        // axes (its shapers) and the colour the grid departs from (its matrix)
    int nodes = 0;            // per axis
    double smoothness = 0;    // the penalty's weight the fit used
    std::vector<Lab3> lab;    // nodes^3 PCS CIELAB, red slowest, within the ICC encoding's range
};

// 9 nodes: 13 or 17 follow the matrix's curvature within a cell better
// (0.04 to 0.07 CIEDE2000 on the bench's crosstalk scanner) at five to
// thirty times the time, which the nested cross-validation multiplies.
constexpr int kSmoothTableNodes = 9;
// The penalty weights the cross-validation chooses among (per unit of
// squared second difference, against one patch's squared CIE76 error).
const std::vector<double>& smoothnessCandidates();

// The table axis (0..1) of channel c at a scanner level.
double smoothTableAxis(const ShaperMatrix& base, int channel, double level);
// PCS CIELAB of scanner levels, read tetrahedrally as LittleCMS reads the table.
Lab3 smoothTableLab(const SmoothTable& table, const std::array<double, 3>& levels);

// Fits the shaper-matrix and then the grid with the given penalty weight;
// false with a sentence when the patches do not determine it.
bool fitSmoothTable(const PatchSet& patches, double smoothness, SmoothTable* table, std::string* error);
// The same with the weight that predicts held-out patches best (mean
// CIEDE2000, `folds`-fold cross-validation on these patches; the
// shaper-matrix is fitted once on all of them).
bool fitSmoothTableChosen(const PatchSet& patches, int folds, SmoothTable* table, std::string* error);

}  // namespace aucal::icc

#endif
