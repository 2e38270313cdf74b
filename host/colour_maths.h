// The host's colour maths for measuring and for the ICC profiles: CIELAB and
// colour differences (CIE 1976 and CIEDE2000), 3x3 algebra, the Bradford
// chromatic adaptation, and the conversions between the model's frame of
// reference (the target white) and the ICC connection space (D50). The
// engine has its own arithmetic; these are the host's, in double.
#ifndef AUCAL_COLOUR_MATHS_H
#define AUCAL_COLOUR_MATHS_H

#include <array>

#include "qel_layout.h"

namespace aucal {

using Lab3 = std::array<double, 3>;
using Xyz3 = std::array<double, 3>;
using Matrix3 = std::array<std::array<double, 3>, 3>;

// The model's white, the ICC PCS white (Y = 1) and the monitor matrix's white.
constexpr Xyz3 kTargetWhite{qel::kTargetWhiteXyz[0], qel::kTargetWhiteXyz[1], qel::kTargetWhiteXyz[2]};
constexpr Xyz3 kD50{0.9642, 1.0, 0.8249};
constexpr Xyz3 kD65{95.04697, 100.0, 108.88268};

Lab3 labFromXyz(const Xyz3& xyz, const Xyz3& white);
Xyz3 xyzFromLab(const Lab3& lab, const Xyz3& white);
double deltaE76(const Lab3& a, const Lab3& b);
double deltaE2000(const Lab3& a, const Lab3& b);

Matrix3 multiply(const Matrix3& a, const Matrix3& b);
Xyz3 applyMatrix(const Matrix3& m, const Xyz3& v);
// Inverse by cofactors; false for a singular (or not finite) matrix.
bool invert(const Matrix3& m, Matrix3* out);
// A white scaled to Y = 1.
Xyz3 normalised(const Xyz3& white);
// Bradford adaptation matrix from white `from` to white `to` (any scale: the
// result maps `from` to `to` exactly).
Matrix3 bradford(const Xyz3& from, const Xyz3& to);

// Colour on the reference scale (Y = 100 for a perfect white, as the model's
// polynomial and the reference data give it) in the scanner profiles' PCS:
// relative to the target white, Bradford-adapted to D50 (Y = 1).
Xyz3 pcsXyzFromReference(const Xyz3& xyz);
// CIELAB relative to the target white (the model grid's values) in PCS CIELAB.
Lab3 pcsLabFromTargetLab(const Lab3& lab);
Lab3 pcsLab(const Xyz3& pcsXyz);

}  // namespace aucal

#endif
