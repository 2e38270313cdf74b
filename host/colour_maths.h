// The host's colour maths: the shared CIELAB, colour differences, 3x3 algebra
// and Bradford adaptation (colour_maths/), and the conversions between the
// model's frame of reference (the target white) and the ICC connection space
// (D50) of the scanner profiles.
#ifndef AUCAL_COLOUR_MATHS_H
#define AUCAL_COLOUR_MATHS_H

#include "colour_maths/colour_maths.h"
#include "qel_layout.h"

namespace aucal {

using colour_maths::applyMatrix;
using colour_maths::bradford;
using colour_maths::deltaE2000;
using colour_maths::deltaE76;
using colour_maths::invert;
using colour_maths::Lab3;
using colour_maths::labFromXyz;
using colour_maths::Matrix3;
using colour_maths::multiply;
using colour_maths::normalised;
using colour_maths::Xyz3;
using colour_maths::xyzFromLab;

// The model's white, the ICC PCS white (Y = 1) and the monitor matrix's white.
constexpr Xyz3 kTargetWhite{qel::kTargetWhiteXyz[0], qel::kTargetWhiteXyz[1], qel::kTargetWhiteXyz[2]};
constexpr Xyz3 kD50{0.9642, 1.0, 0.8249};
constexpr Xyz3 kD65{95.04697, 100.0, 108.88268};

// Colour on the reference scale (Y = 100 for a perfect white, as the model's
// polynomial and the reference data give it) in the scanner profiles' PCS:
// relative to the target white, Bradford-adapted to D50 (Y = 1).
Xyz3 pcsXyzFromReference(const Xyz3& xyz);
// CIELAB relative to the target white (the model grid's values) in PCS CIELAB.
Lab3 pcsLabFromTargetLab(const Lab3& lab);
Lab3 pcsLab(const Xyz3& pcsXyz);

}  // namespace aucal

#endif
