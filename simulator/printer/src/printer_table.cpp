// The printer table a host would hand to PrinterTargetOpenAnalysis, made
// from the true printer: for each working-space node, the drive that prints
// its colour best.
//
// Working space: linear RGB on the 0..100 scale with the D65 white at 100,
// 100, 100, given by its matrix from XYZ; codes are 255 (linear / 100) to the
// power 1 / 2.2. A node's colour is reproduced relative to the paper, its
// lightness range 0..100 scaled into the printer's black-to-paper range.
#include <algorithm>
#include <cmath>

#include "colour_maths/colour_maths.h"
#include "qel_layout.h"
#include "virtual_printer/virtual_printer.h"

namespace printsim {
namespace {

constexpr Xyz kD65{95.04697, 100.0, 108.88268};
constexpr colour_maths::Matrix3 kWorkingFromXyz{{
    {1.9709, -0.5494, -0.2974},
    {-0.9538, 1.9364, -0.0274},
    {0.0638, -0.1294, 0.9814},
}};
constexpr double kTableStep = 255.0 / 16.0;
constexpr std::size_t kTableBytes = qel::kPrinterTableBufferBytes;

// XYZ of a working-space linear RGB.
Xyz xyzOfWorking(const double rgb[3]) {
    static const colour_maths::Matrix3 kXyzFromWorking = [] {
        colour_maths::Matrix3 inverse{};
        colour_maths::invert(kWorkingFromXyz, &inverse);
        return inverse;
    }();
    const colour_maths::Xyz3 v = colour_maths::applyMatrix(kXyzFromWorking, {rgb[0], rgb[1], rgb[2]});
    return {v[0], v[1], v[2]};
}

}  // namespace

std::vector<std::uint8_t> printerTable(const PrinterResponse& printer) {
    const PrinterGamut gamut(printer);
    const double black = gamut.blackLightness();
    std::vector<std::uint8_t> table(kTableBytes, 0);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                const int idx[3] = {i0, i1, i2};
                double linear[3];
                for (int c = 0; c < 3; ++c) linear[c] = 100.0 * std::pow(idx[c] * kTableStep / 255.0, 2.2);
                Lab want = xyzToLab(xyzOfWorking(linear), kD65);
                want.l = black + want.l * (100.0 - black) / 100.0;
                const std::array<double, 3> drive = gamut.bestDrive(want);
                std::uint8_t* node = &table[qel::gridNodeOffset(i0, i1, i2)];
                for (int c = 0; c < 3; ++c) node[c] = static_cast<std::uint8_t>(std::clamp(drive[c] + 0.5, 0.0, 255.0));
            }
    return table;
}

}  // namespace printsim
