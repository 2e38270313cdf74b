// ICC profiles made from the engine's results, written and checked with
// LittleCMS 2:
//   - scanner input profile (RGB device, CIELAB PCS): A2B0 (shared by A2B1
//     and A2B2) holds the model's three tone curves as shaper curves and its
//     17 x 17 x 17 CIELAB grid as the table;
//   - scanner shaper-matrix profile (CIEXYZ PCS): per-channel shapers and a
//     3x3 matrix fitted together on the 130 target patches;
//   - scanner smooth-table profile (CIELAB PCS): the fitted shapers (their
//     cube roots) as A-curves and a small CIELAB grid fitted on the patches
//     with a smoothness penalty (smooth_table_fit.h);
//   - device link (RGB to RGB) from a lookup correction block: its input
//     curves and its grid;
//   - monitor profile (CIEXYZ PCS): the colorants of the phosphors and the
//     tone curves that the matrix correction block's tables invert.
//
// Version 2.4 by default, 4.3 when the label asks (icc_tags.h says what
// differs); the label also gives each profile's description and device tags.
//
// White: the model is referred to the fixed target white (82.22, 85.27, 70.37);
// the scanner profiles map it to the PCS white D50 by the Bradford chromatic
// adaptation (its matrix is the profiles' chad tag). The monitor's own white
// is D65; its profile adapts D65 to D50 by Bradford the same way.
#ifndef AUCAL_ICC_BUILD_H
#define AUCAL_ICC_BUILD_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "colour_maths.h"
#include "icc_tags.h"
#include "shaper_matrix_fit.h"
#include "smooth_table_fit.h"
#include "target_patches.h"

namespace aucal::icc {

using Bytes = std::vector<std::uint8_t>;

// Each writes the profile's bytes in the label's version (2.4 unless it asks for 4.3);
// false with a sentence on failure. An empty label kind is filled in with
// what the function builds.
bool scannerLutProfile(const std::vector<float>& model, Bytes* out, std::string* error, ProfileLabel label = {});

// The fitted shapers (tabulated at the 256 levels) and matrix.
bool scannerMatrixProfile(const ShaperMatrix& fit, Bytes* out, std::string* error, ProfileLabel label = {});

// The table's axes (tabulated at the 256 levels) and its grid, in A2B0 (shared by A2B1 and A2B2).
bool scannerTableProfile(const SmoothTable& table, Bytes* out, std::string* error, ProfileLabel label = {});

// block: a LutCorrectionBlock as the engine wrote it (at least 15507 bytes).
bool deviceLinkProfile(const std::vector<std::uint8_t>& block, Bytes* out, std::string* error, ProfileLabel label = {});

struct Phosphors {
    double xr = 0.635, yr = 0.333, xg = 0.28, yg = 0.595, xb = 0.152, yb = 0.063;
};
struct MonitorCurves {
    std::array<int, 3> matchedLevel{0, 0, 0};  // the visual-match level each table was built for; 0: none fits
    std::array<double, 3> gamma{0, 0, 0};      // the display exponent of that level (0 when tabulated)
};
// Linear monitor RGB (0..1) to XYZ on the 100 scale, white D65, from the
// phosphor chromaticities (each taken as a 32-bit float, as the engine takes
// them).
Matrix3 monitorRgbToXyz(const Phosphors& p);
// The tone curves a matrix block's tables stand for: each table holds
// 255 (i / 255)^(1 / gamma) for the gamma whose half-luminance level is the
// matched level; the level is recovered by rebuilding the tables.
MonitorCurves monitorCurves(const std::vector<std::uint8_t>& block);
// The phosphors a matrix block was made with, given the scanner model it was
// made from: the block's matrix is 255 M A, with A the model's linear matrix
// referred to the display white and M the monitor's XYZ-to-RGB matrix, so
// M = (block / 255) A^-1 and the phosphors are the chromaticities of the
// columns of M^-1. False when the model or the block leave M undetermined.
bool phosphorsFromBlock(const std::vector<std::uint8_t>& block, const std::vector<float>& model, Phosphors* out);
// block: a MatrixCorrectionBlock (at least 816 bytes).
bool monitorProfile(const std::vector<std::uint8_t>& block, const Phosphors& phosphors, Bytes* out,
                    MonitorCurves* curves, std::string* error, ProfileLabel label = {});

// The profile's bytes, with its ID computed for version 4; false with a sentence.
bool saveProfile(cmsHPROFILE h, Bytes* out, std::string* error);

}  // namespace aucal::icc

#endif
