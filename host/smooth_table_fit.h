// The scanner's smooth-table description fitted on the 130 target patches:
// the fitted shaper-matrix with a smooth correction on top of it. Each
// channel's axis is the cube root of its shaper (so nodes are spaced about
// evenly in lightness, not crowded into the highlights); a small grid over
// the three axes holds, per node, how far each axis is moved before the
// matrix reads it:
//   XYZ = matrix * (axis + departure(axis))^3   (per channel)
// with the departures read tetrahedrally. With no departure this is the
// shaper-matrix exactly, so the table can only add what the patches show
// the matrix misses: flare lifting the shadows, a tone curve that is not a
// power, a sensor that is not a matrix.
//
// The departures are solved by least squares on the patches (each patch's
// axes against the axes the matrix needs for its reference colour, units
// of the cube root: about a hundredth of CIELAB L*) with a penalty on their
// second differences (a discrete Laplacian), so that between and beyond
// the patches the correction bends no more than the patches ask: a patch
// cannot pull one node alone and leave a bump around it. The penalty's
// weight is chosen by cross-validation on the patches, among candidates
// that include no correction at all.
//
// The profile bakes the description into a CIELAB table of 33 nodes per
// axis on the same axes (the grid's nodes are among them, so the
// correction is carried as it is; only the matrix's curvature within a
// cell is interpolated).
#ifndef AUCAL_SMOOTH_TABLE_FIT_H
#define AUCAL_SMOOTH_TABLE_FIT_H

#include <array>
#include <string>
#include <vector>

#include "shaper_matrix_fit.h"

namespace aucal::icc {

struct SmoothTable {
    ShaperMatrix base;      // axes (its shapers) and the matrix the departures feed
    int nodes = 0;          // per axis
    double smoothness = 0;  // the penalty's weight the fit used; infinity: no departures
    std::vector<std::array<double, 3>> departure;  // nodes^3 axis departures, red slowest
};

// 9 nodes: the correction is smooth, and the nested cross-validation
// multiplies the solve's time (17 nodes cost about thirty times as much).
constexpr int kSmoothTableNodes = 9;
// Nodes per axis of the baked CIELAB table in the profile: 4 * 8 + 1, so the
// grid's nodes are its nodes. The matrix's curvature within a cell is left
// to the interpolation: on the bench's scanners up to about 0.1 CIEDE2000 at
// the patches with 33 nodes (a 210 kB table), 0.3 with 17.
constexpr int kSmoothTableProfileNodes = 33;
// The penalty weights the cross-validation chooses among (per unit of
// squared second difference, against one patch's squared axis error), the
// last infinite: the shaper-matrix itself.
const std::vector<double>& smoothnessCandidates();

// The table axis (0..1) of channel c at a scanner level.
double smoothTableAxis(const ShaperMatrix& base, int channel, double level);
// PCS CIELAB of scanner levels, and of a point on the table's axes.
Lab3 smoothTableLab(const SmoothTable& table, const std::array<double, 3>& levels);
Lab3 smoothTableLabAtAxes(const SmoothTable& table, const std::array<double, 3>& axes);
// What the profile holds: the description at the nodes of the baked table
// (clipped to the CIELAB encoding's range), read tetrahedrally between them
// as LittleCMS reads it.
Lab3 smoothTableProfileLab(const SmoothTable& table, const std::array<double, 3>& levels);

// Fits the shaper-matrix and then the grid with the given penalty weight;
// false with a sentence when the patches do not determine it.
bool fitSmoothTable(const PatchSet& patches, double smoothness, SmoothTable* table, std::string* error);
// The same with the weight that predicts held-out patches best (mean
// CIEDE2000, `folds`-fold cross-validation on these patches; the
// shaper-matrix is fitted once on all of them).
bool fitSmoothTableChosen(const PatchSet& patches, int folds, SmoothTable* table, std::string* error);

}  // namespace aucal::icc

#endif
