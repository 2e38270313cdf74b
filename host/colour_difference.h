// CIELAB and colour differences for the host's reports (CIE 1976 and
// CIEDE2000). The engine has its own arithmetic; these are for measuring.
#ifndef AUCAL_COLOUR_DIFFERENCE_H
#define AUCAL_COLOUR_DIFFERENCE_H

#include <array>

namespace aucal {

using Lab3 = std::array<double, 3>;
using Xyz3 = std::array<double, 3>;

Lab3 labFromXyz(const Xyz3& xyz, const Xyz3& white);
double deltaE76(const Lab3& a, const Lab3& b);
double deltaE2000(const Lab3& a, const Lab3& b);

}  // namespace aucal

#endif
