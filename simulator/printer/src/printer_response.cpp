// The true printer: overprint primaries, dot gain, Yule-Nielsen mixing; the
// CIELAB conversions of the simulators; the printer's gamut.
#include <algorithm>
#include <cmath>

#include "colour_maths/colour_maths.h"
#include "virtual_printer/virtual_printer.h"

namespace printsim {
namespace {

// A primary given by its CIELAB under D50.
Xyz fromLab(double l, double a, double b) { return labToXyz(Lab{l, a, b}, kD50); }

PrinterResponse makeResponse(const double lab[8][3], std::array<double, 3> gain, double n) {
    PrinterResponse p;
    for (int k = 0; k < 8; ++k) p.primaries[k] = fromLab(lab[k][0], lab[k][1], lab[k][2]);
    p.dotGain = gain;
    p.yuleNielsen = n;
    return p;
}

}  // namespace

Lab xyzToLab(const Xyz& xyz, const Xyz& white) {
    const colour_maths::Lab3 lab = colour_maths::labFromXyz({xyz.x, xyz.y, xyz.z}, {white.x, white.y, white.z});
    return {lab[0], lab[1], lab[2]};
}

Xyz labToXyz(const Lab& lab, const Xyz& white) {
    const colour_maths::Xyz3 xyz = colour_maths::xyzFromLab({lab.l, lab.a, lab.b}, {white.x, white.y, white.z});
    return {xyz[0], xyz[1], xyz[2]};
}

double deltaE(const Lab& p, const Lab& q) { return colour_maths::deltaE76({p.l, p.a, p.b}, {q.l, q.a, q.b}); }

PrinterResponse printerPreset(PrinterPreset preset) {
    // CIELAB (D50) of paper, C, M, Y, M+Y, C+Y, C+M, C+M+Y.
    static const double inkjet[8][3] = {{95.5, 0.5, -3},  {56, -36, -50}, {49, 74, -4},  {89, -4, 92},
                                        {48, 68, 46},     {51, -66, 25},  {25, 23, -46}, {16, 1, 1}};
    static const double laser[8][3] = {{93, 0, -1},   {58, -30, -45}, {52, 66, -6},  {87, -3, 85},
                                       {50, 60, 40},  {54, -55, 22},  {32, 20, -40}, {25, 1, 2}};
    static const double news[8][3] = {{85, 1, 6},   {60, -25, -32}, {56, 52, 0},   {80, -2, 60},
                                      {54, 46, 30}, {58, -38, 18},  {40, 14, -28}, {32, 2, 4}};
    switch (preset) {
        case PrinterPreset::Inkjet: return makeResponse(inkjet, {0.12, 0.14, 0.10}, 1.7);
        case PrinterPreset::Laser: return makeResponse(laser, {0.20, 0.22, 0.18}, 1.3);
        case PrinterPreset::Newsprint: return makeResponse(news, {0.18, 0.20, 0.15}, 2.0);
    }
    return makeResponse(inkjet, {0.12, 0.14, 0.10}, 1.7);
}

std::optional<PrinterPreset> printerPresetFromName(const std::string& name) {
    for (PrinterPreset p : {PrinterPreset::Inkjet, PrinterPreset::Laser, PrinterPreset::Newsprint})
        if (name == printerPresetName(p)) return p;
    return std::nullopt;
}

const char* printerPresetName(PrinterPreset preset) {
    switch (preset) {
        case PrinterPreset::Inkjet: return "inkjet";
        case PrinterPreset::Laser: return "laser";
        case PrinterPreset::Newsprint: return "newsprint";
    }
    return "?";
}

Xyz printRgb(double r, double g, double b, const PrinterResponse& printer) {
    double cover[3] = {1.0 - r / 255.0, 1.0 - g / 255.0, 1.0 - b / 255.0};
    for (int k = 0; k < 3; ++k) {
        const double c = std::clamp(cover[k], 0.0, 1.0);
        const double gain = std::clamp(printer.dotGain[k], 0.0, 0.25);
        cover[k] = c + 4.0 * gain * c * (1.0 - c);
    }
    const double c = cover[0], m = cover[1], y = cover[2];
    // Demichel areas of the eight overprints, in Overprint order.
    const double w[8] = {(1 - c) * (1 - m) * (1 - y), c * (1 - m) * (1 - y), (1 - c) * m * (1 - y),
                         (1 - c) * (1 - m) * y,       (1 - c) * m * y,       c * (1 - m) * y,
                         c * m * (1 - y),             c * m * y};
    const double n = std::max(printer.yuleNielsen, 1.0);
    double sum[3] = {0, 0, 0};
    for (int k = 0; k < 8; ++k) {
        const Xyz& p = printer.primaries[k];
        sum[0] += w[k] * std::pow(p.x, 1.0 / n);
        sum[1] += w[k] * std::pow(p.y, 1.0 / n);
        sum[2] += w[k] * std::pow(p.z, 1.0 / n);
    }
    return {std::pow(sum[0], n), std::pow(sum[1], n), std::pow(sum[2], n)};
}

PrinterGamut::PrinterGamut(const PrinterResponse& printer, int steps)
    : printer_(printer), paper_(paperWhite(printer)), steps_(std::max(steps, 2)) {
    grid_.reserve(static_cast<std::size_t>(steps_) * steps_ * steps_);
    const double step = 255.0 / (steps_ - 1);
    for (int i = 0; i < steps_; ++i)
        for (int j = 0; j < steps_; ++j)
            for (int k = 0; k < steps_; ++k) grid_.push_back(printLab(i * step, j * step, k * step));
    blackL_ = printLab(0, 0, 0).l;
}

Lab PrinterGamut::printLab(double r, double g, double b) const {
    return xyzToLab(printRgb(r, g, b, printer_), paper_);
}

std::array<double, 3> PrinterGamut::bestDrive(const Lab& target) const {
    std::size_t best = 0;
    double bestD = 1e300;
    for (std::size_t k = 0; k < grid_.size(); ++k) {
        const double dl = grid_[k].l - target.l, da = grid_[k].a - target.a, db = grid_[k].b - target.b;
        const double d = dl * dl + da * da + db * db;
        if (d < bestD) {
            bestD = d;
            best = k;
        }
    }
    const double step = 255.0 / (steps_ - 1);
    const int n = steps_;
    std::array<double, 3> p{static_cast<double>(best / (n * n)) * step, static_cast<double>((best / n) % n) * step,
                            static_cast<double>(best % n) * step};
    // Pattern search on the continuous printer with halving probes.
    double probe = step / 2;
    while (probe >= 0.05) {
        bool moved = true;
        while (moved) {
            moved = false;
            std::array<double, 3> bestP = p;
            for (int d0 = -1; d0 <= 1; ++d0)
                for (int d1 = -1; d1 <= 1; ++d1)
                    for (int d2 = -1; d2 <= 1; ++d2) {
                        if (d0 == 0 && d1 == 0 && d2 == 0) continue;
                        const std::array<double, 3> q{std::clamp(p[0] + d0 * probe, 0.0, 255.0),
                                                      std::clamp(p[1] + d1 * probe, 0.0, 255.0),
                                                      std::clamp(p[2] + d2 * probe, 0.0, 255.0)};
                        const Lab lab = printLab(q[0], q[1], q[2]);
                        const double dl = lab.l - target.l, da = lab.a - target.a, db = lab.b - target.b;
                        const double d = dl * dl + da * da + db * db;
                        if (d < bestD) {
                            bestD = d;
                            bestP = q;
                            moved = true;
                        }
                    }
            p = bestP;
        }
        probe /= 2;
    }
    return p;
}

double PrinterGamut::distance(const Lab& target) const {
    const std::array<double, 3> d = bestDrive(target);
    return deltaE(printLab(d[0], d[1], d[2]), target);
}

}  // namespace printsim
