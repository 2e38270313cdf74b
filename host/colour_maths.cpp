// The connection space of the host's scanner profiles.
#include "colour_maths.h"

namespace aucal {

Xyz3 pcsXyzFromReference(const Xyz3& xyz) {
    static const Matrix3 m = bradford(normalised(kTargetWhite), kD50);
    return applyMatrix(m, {xyz[0] / kTargetWhite[1], xyz[1] / kTargetWhite[1], xyz[2] / kTargetWhite[1]});
}

Lab3 pcsLab(const Xyz3& pcsXyz) { return labFromXyz(pcsXyz, kD50); }

Lab3 pcsLabFromTargetLab(const Lab3& lab) { return pcsLab(pcsXyzFromReference(xyzFromLab(lab, kTargetWhite))); }

}  // namespace aucal
