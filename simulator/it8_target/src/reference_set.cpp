// The virtual target's reference values and its IT8.7/2 reference data file.
#include <cmath>
#include <cstdio>
#include <fstream>

#include "imaging/utf8_file.h"
#include "it8_target/virtual_it8.h"

namespace it8sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
// D50 white on the Y = 100 scale.
constexpr double kWhite[3] = {96.42, 100.0, 82.49};

double labInverse(double t) {
    const double d = 6.0 / 29.0;
    return t > d ? t * t * t : 3.0 * d * d * (t - 4.0 / 29.0);
}
double labForward(double t) {
    const double d = 6.0 / 29.0;
    return t > d * d * d ? std::cbrt(t) : t / (3.0 * d * d) + 4.0 / 29.0;
}

double round2(double v) { return std::round(v * 100.0) / 100.0; }

Xyz labToXyz(double L, double a, double b) {
    const double fy = (L + 16.0) / 116.0;
    const double fx = fy + a / 500.0;
    const double fz = fy - b / 200.0;
    return {round2(kWhite[0] * labInverse(fx)), round2(kWhite[1] * labInverse(fy)),
            round2(kWhite[2] * labInverse(fz))};
}

void xyzToLab(const Xyz& c, double lab[3]) {
    const double fx = labForward(c.x / kWhite[0]);
    const double fy = labForward(c.y / kWhite[1]);
    const double fz = labForward(c.z / kWhite[2]);
    lab[0] = 116.0 * fy - 16.0;
    lab[1] = 500.0 * (fx - fy);
    lab[2] = 200.0 * (fy - fz);
}

// Largest chroma a print reaches at lightness L and hue h (degrees): a
// lens-shaped gamut whose most colourful lightness rises towards yellow.
double printChroma(double L, double hueDegrees) {
    const double peakL = 50.0 + 25.0 * std::cos((hueDegrees - 90.0) * kPi / 180.0);
    const double t = (L - peakL) / 55.0;
    const double c = 72.0 * (1.0 - t * t);
    return c < 8.0 ? 8.0 : c;
}

Xyz lch(double L, double chromaFraction, double hueDegrees) {
    const double c = chromaFraction * printChroma(L, hueDegrees);
    const double h = hueDegrees * kPi / 180.0;
    return labToXyz(L, c * std::cos(h), c * std::sin(h));
}

}  // namespace

It8ReferenceSet makeIt8Reference() {
    It8ReferenceSet s;
    for (int row = 0; row < 12; ++row) {
        // Twelve hues, 30 degrees apart, starting at a red.
        const double hue = 20.0 + 30.0 * row;
        for (int col = 0; col < 22; ++col) {
            Xyz& out = s.colour[row][col];
            if (col < 12) {
                // Three lightness groups of four: three chroma steps of the
                // row's hue and one full-chroma neighbouring hue.
                static constexpr double kGroupL[3] = {28.0, 48.0, 72.0};
                static constexpr double kStep[3] = {0.35, 0.65, 1.0};
                const int group = col / 4, pos = col % 4;
                out = pos < 3 ? lch(kGroupL[group], kStep[pos], hue) : lch(kGroupL[group] + 4.0, 0.8, hue + 15.0);
            } else if (col < 19) {
                // A lightness ramp at half chroma.
                out = lch(35.0 + 7.5 * (col - 12), 0.5, hue + 7.5);
            } else {
                // Three saturated colours, the last dark (A22 is a dark red).
                static constexpr double kL[3] = {60.0, 45.0, 38.0};
                static constexpr double kDh[3] = {-10.0, 0.0, 10.0};
                out = lch(kL[col - 19], col == 21 ? 1.0 : 0.9, hue + kDh[col - 19]);
            }
        }
    }
    // GS0 (paper) to GS23, evenly spaced in lightness, a faint warm tint.
    for (int n = 0; n < 24; ++n) s.grey[n] = labToXyz(93.0 - n * (89.0 / 23.0), 0.3, 1.2);
    return s;
}

std::optional<Xyz> cellReference(const It8ReferenceSet& refs, int cellRow, int cellColumn) {
    if (cellColumn < 1 || cellColumn > 22) return std::nullopt;
    if (cellRow >= 1 && cellRow <= 12) return refs.colour[cellRow - 1][cellColumn - 1];
    if (cellRow == 14) return refs.grey[cellColumn];
    return std::nullopt;
}

std::string it8ReferenceText(const It8ReferenceSet& refs) {
    std::string text =
        "IT8.7/2\n"
        "ORIGINATOR\t\"aucal virtual IT8 target\"\n"
        "DESCRIPTOR\t\"Virtual IT8.7/2 reflective target, D50, 2 degree observer\"\n"
        "MANUFACTURER\t\"aucal\"\n"
        "PROD_DATE\t\"virtual\"\n"
        "NUMBER_OF_FIELDS\t7\n"
        "BEGIN_DATA_FORMAT\n"
        "SAMPLE_ID\tXYZ_X\tXYZ_Y\tXYZ_Z\tLAB_L\tLAB_A\tLAB_B\n"
        "END_DATA_FORMAT\n"
        "NUMBER_OF_SETS\t288\n"
        "BEGIN_DATA\n";
    char line[160];
    auto add = [&](const std::string& id, const Xyz& c) {
        double lab[3];
        xyzToLab(c, lab);
        std::snprintf(line, sizeof line, "%s\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\t%.2f\n", id.c_str(), c.x, c.y, c.z,
                      lab[0], lab[1], lab[2]);
        text += line;
    };
    for (int row = 0; row < 12; ++row)
        for (int col = 0; col < 22; ++col)
            add(std::string(1, static_cast<char>('A' + row)) + std::to_string(col + 1), refs.colour[row][col]);
    for (int n = 0; n < 24; ++n) add("GS" + std::to_string(n), refs.grey[n]);
    text += "END_DATA\n";
    return text;
}

bool writeIt8ReferenceFile(const std::string& path, const It8ReferenceSet& refs) {
    std::ofstream out(imaging::utf8Path(path), std::ios::binary | std::ios::trunc);
    const std::string text = it8ReferenceText(refs);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

}  // namespace it8sim
