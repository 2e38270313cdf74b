// Colour maths in double for the host and the simulators: CIELAB against a
// chosen white, colour differences (CIE 1976 and CIEDE2000), 3x3 algebra and
// the Bradford chromatic adaptation. The engine keeps its own arithmetic
// (float, as its models are defined); these are the tools' measuring sticks.
#ifndef AUCAL_COLOUR_MATHS_COLOUR_MATHS_H
#define AUCAL_COLOUR_MATHS_COLOUR_MATHS_H

#include <array>

namespace colour_maths {

using Lab3 = std::array<double, 3>;
using Xyz3 = std::array<double, 3>;
using Matrix3 = std::array<std::array<double, 3>, 3>;

// CIELAB of xyz against white (any scale, the same for both): cube root,
// CIE linear segment below (6/29)^3.
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

}  // namespace colour_maths

#endif
