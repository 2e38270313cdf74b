// The virtual printer: its printer response, the print-and-scan geometry,
// the exact scanner model and the printer table.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "imaging/targa.h"
#include "virtual_printer/virtual_printer.h"
#include "qel_layout.h"

namespace {

using printsim::Lab;
using printsim::PrinterPreset;
using printsim::Xyz;

const printsim::PrinterResponse& inkjet() {
    static const printsim::PrinterResponse p = printsim::printerPreset(PrinterPreset::Inkjet);
    return p;
}

TEST(PrinterResponse, PaperAndBlackAreTheOverprintsAndNotIdeal) {
    for (PrinterPreset preset : {PrinterPreset::Inkjet, PrinterPreset::Laser, PrinterPreset::Newsprint}) {
        const auto p = printsim::printerPreset(preset);
        const Xyz white = printsim::printRgb(255, 255, 255, p);
        const Xyz black = printsim::printRgb(0, 0, 0, p);
        EXPECT_NEAR(white.y, p.primaries[printsim::kPaper].y, 1e-9);
        EXPECT_NEAR(black.y, p.primaries[printsim::kBlack].y, 1e-9);
        const Lab blackLab = printsim::xyzToLab(black, white);
        EXPECT_GT(blackLab.l, 10.0) << printsim::printerPresetName(preset);
        EXPECT_LT(white.y, 100.0);
        EXPECT_EQ(printsim::printerPresetFromName(printsim::printerPresetName(preset)), preset);
    }
    EXPECT_FALSE(printsim::printerPresetFromName("offset").has_value());
}

TEST(PrinterResponse, DriveDarkensMonotonicallyWithDotGain) {
    double last = 1e9;
    for (int r = 255; r >= 0; r -= 15) {
        const double y = printsim::printRgb(r, 128, 200, inkjet()).y;
        EXPECT_LT(y, last) << r;
        last = y;
    }
    // Half coverage prints darker than without gain.
    auto noGain = inkjet();
    noGain.dotGain = {0, 0, 0};
    EXPECT_LT(printsim::printRgb(128, 255, 255, inkjet()).y, printsim::printRgb(128, 255, 255, noGain).y);
    // Overprints interact: cyan ink changes how much magenta takes off.
    const double magentaOnPaper = printsim::printRgb(255, 255, 255, inkjet()).y - printsim::printRgb(255, 128, 255, inkjet()).y;
    const double magentaOnCyan = printsim::printRgb(128, 255, 255, inkjet()).y - printsim::printRgb(128, 128, 255, inkjet()).y;
    EXPECT_GT(std::fabs(magentaOnPaper - magentaOnCyan), 1.0);
}

TEST(PrinterResponse, LabRoundTripAndGamutInverse) {
    const Xyz white = printsim::paperWhite(inkjet());
    const Xyz x{30.5, 22.25, 40.0};
    const Xyz back = printsim::labToXyz(printsim::xyzToLab(x, white), white);
    EXPECT_NEAR(back.x, x.x, 1e-9);
    EXPECT_NEAR(back.y, x.y, 1e-9);
    EXPECT_NEAR(back.z, x.z, 1e-9);
    EXPECT_NEAR(printsim::xyzToLab(white, white).l, 100.0, 1e-9);

    const printsim::PrinterGamut gamut(inkjet());
    EXPECT_NEAR(gamut.blackLightness(), printsim::xyzToLab(printsim::printRgb(0, 0, 0, inkjet()), white).l, 1e-12);
    for (const auto& drive : {std::array<double, 3>{40, 200, 120}, {255, 0, 30}, {128, 128, 128}}) {
        const Lab target = gamut.printLab(drive[0], drive[1], drive[2]);
        EXPECT_LT(gamut.distance(target), 0.05);
        const auto found = gamut.bestDrive(target);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(found[c], drive[c], 1.0);
    }
    // Far outside: the nearest print is far away.
    EXPECT_GT(gamut.distance(Lab{50, 120, 0}), 20.0);
}

// A 40 x 30 image: left half red-ish, right half a dark blue, one black
// pixel row at the top.
imaging::Image testImage() {
    imaging::Image im = imaging::Image::make(40, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            std::uint8_t* p = im.row(y) + 3 * x;
            if (y == 0) {
                p[0] = p[1] = p[2] = 0;
            } else if (x < 20) {
                p[0] = 230, p[1] = 60, p[2] = 40;
            } else {
                p[0] = 20, p[1] = 30, p[2] = 120;
            }
        }
    return im;
}

TEST(PrintAndScan, PixelsShowThePrintedColourWhereThePointMapSays) {
    const auto scanner = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    printsim::PrintScanOptions o;
    o.printDpi = 20;
    o.dpi = 60;
    o.marginInches = 0.5;
    o.tiltDegrees = 2.0;
    const imaging::Image im = testImage();
    const imaging::Image scan = printsim::printAndScan(im, inkjet(), scanner, o);
    EXPECT_EQ(scan.width % 4, 0);
    EXPECT_EQ(scan.width, (40 / 20 + 1) * 60 / 4 * 4);
    EXPECT_EQ(scan.height, static_cast<int>((30.0 / 20 + 1) * 60));
    auto expectAt = [&](double x, double y, int r, int g, int b) {
        const auto pos = printsim::imagePointInScan(o, im.width, im.height, x, y);
        const std::uint8_t* p = scan.row(static_cast<int>(pos.y + 0.5)) + 3 * static_cast<int>(pos.x + 0.5);
        const it8sim::Rgb8 want = it8sim::trueScannerRgb(printsim::printRgb(r, g, b, inkjet()), scanner);
        EXPECT_EQ(p[0], want.r) << x << "," << y;
        EXPECT_EQ(p[1], want.g) << x << "," << y;
        EXPECT_EQ(p[2], want.b) << x << "," << y;
    };
    expectAt(5, 10, 230, 60, 40);
    expectAt(35, 25, 20, 30, 120);
    expectAt(10, 0, 0, 0, 0);            // the top row stays at the top
    expectAt(-5, 10, 255, 255, 255);     // paper around the image
    const auto top = printsim::imagePointInScan(o, im.width, im.height, 20, 0);
    const auto bottom = printsim::imagePointInScan(o, im.width, im.height, 20, 29);
    EXPECT_LT(top.y, bottom.y);
}

TEST(PrintAndScan, NoiseAndBlurAreSeededAndDeterministic) {
    auto scanner = it8sim::responsePreset(it8sim::ResponsePreset::Mild);
    scanner.noiseSigma = 2.0;
    printsim::PrintScanOptions o;
    o.printDpi = 20;
    o.dpi = 40;
    o.blurPixels = 1.0;
    const imaging::Image im = testImage();
    const auto a = printsim::printAndScan(im, inkjet(), scanner, o);
    const auto b = printsim::printAndScan(im, inkjet(), scanner, o);
    EXPECT_EQ(a.pixels, b.pixels);
    scanner.seed = 2;
    EXPECT_NE(printsim::printAndScan(im, inkjet(), scanner, o).pixels, a.pixels);
    // Blur spreads the black top row into the rows below it.
    scanner.noiseSigma = 0;
    const auto sharp = printsim::printAndScan(im, inkjet(), scanner, [&] { auto s = o; s.blurPixels = 0; return s; }());
    const auto soft = printsim::printAndScan(im, inkjet(), scanner, o);
    const auto below = printsim::imagePointInScan(o, im.width, im.height, 10, 1);
    const int x = static_cast<int>(below.x + 0.5), y = static_cast<int>(below.y + 0.5);
    EXPECT_LT(soft.row(y)[3 * x], sharp.row(y)[3 * x]);
}

TEST(IdealScannerModel, InvertsTheScanner) {
    for (auto preset : {it8sim::ResponsePreset::Mild, it8sim::ResponsePreset::Crosstalk, it8sim::ResponsePreset::NonLinear}) {
        const auto scanner = it8sim::responsePreset(preset);
        const std::vector<float> m = printsim::idealScannerModel(scanner);
        ASSERT_EQ(m.size(), 15546u);
        for (int c = 0; c < 3; ++c) {
            EXPECT_FLOAT_EQ(m[256 * c + 255], 1.0f);
            for (int n = 0; n < 256; ++n) ASSERT_GE(m[256 * c + n], 0.0f);
        }
        // Scan a colour, then take the model's tone curves and polynomial
        // back to XYZ: within the rounding of the levels.
        for (const Xyz& x : {Xyz{40, 35, 20}, Xyz{20, 30, 45}, Xyz{60, 62, 50}}) {
            const it8sim::Rgb8 rgb = it8sim::trueScannerRgb(x, scanner);
            const double t[3] = {m[rgb.r], m[256 + rgb.g], m[512 + rgb.b]};
            double v[3];
            for (int row = 0; row < 3; ++row) {
                const float* k = &m[qel::scanner_model::polynomialIndex(row, 0)];
                v[row] = k[0] * t[0] + k[1] * t[1] + k[2] * t[2];
                for (int q = 3; q < 9; ++q) EXPECT_EQ(k[q], 0.0f);
            }
            EXPECT_NEAR(v[0], x.x, 0.02 * x.x) << it8sim::presetName(preset);
            EXPECT_NEAR(v[1], x.y, 0.02 * x.y);
            EXPECT_NEAR(v[2], x.z, 0.02 * x.z);
        }
        // Grid: the black node is black, the middle grey node neutral-ish.
        EXPECT_NEAR(printsim::modelGridLab(m, 0, 0, 0).l, 0.0, 1e-6);
        const Lab mid = printsim::modelGridLab(m, 8, 8, 8);
        EXPECT_GT(mid.l, 30);
        EXPECT_LT(mid.l, 100);
    }
}

TEST(PrinterTable, NodesPrintTheirWorkingColours) {
    const std::vector<std::uint8_t> t = printsim::printerTable(inkjet());
    ASSERT_EQ(t.size(), 15509u);
    auto node = [&](int i0, int i1, int i2) { return &t[qel::gridNodeOffset(i0, i1, i2)]; };
    EXPECT_GE(node(16, 16, 16)[0], 250);
    EXPECT_GE(node(16, 16, 16)[1], 250);
    EXPECT_GE(node(16, 16, 16)[2], 250);
    // Black takes the printer's darkest neutral.
    const std::uint8_t* k = node(0, 0, 0);
    for (int c = 0; c < 3; ++c) EXPECT_LE(k[c], 24);
    // Mid colours: each drive prints its working colour (lightness scaled
    // from black to paper) as closely as the printer can.
    const printsim::PrinterGamut gamut(inkjet());
    EXPECT_NEAR(gamut.printLab(k[0], k[1], k[2]).l, gamut.blackLightness(), 1.5);
    const double m[3][3] = {{1.9709, -0.5494, -0.2974}, {-0.9538, 1.9364, -0.0274}, {0.0638, -0.1294, 0.9814}};
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    for (const std::array<int, 3> n : {std::array<int, 3>{6, 10, 7}, {12, 8, 8}, {9, 9, 14}, {10, 10, 10}}) {
        double lin[3], xyz[3];
        for (int c = 0; c < 3; ++c) lin[c] = 100 * std::pow(n[c] / 16.0, 2.2);
        for (int c = 0; c < 3; ++c) {  // Cramer's rule
            double a[3][3];
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k) a[r][k] = k == c ? lin[r] : m[r][k];
            xyz[c] = det(a) / det(m);
        }
        Lab want = printsim::xyzToLab(Xyz{xyz[0], xyz[1], xyz[2]}, Xyz{95.04697, 100, 108.88268});
        want.l = gamut.blackLightness() + want.l * (100 - gamut.blackLightness()) / 100;
        const std::uint8_t* d = node(n[0], n[1], n[2]);
        const double err = printsim::deltaE(gamut.printLab(d[0], d[1], d[2]), want);
        EXPECT_LT(err, gamut.distance(want) + 1.0) << n[0] << "," << n[1] << "," << n[2];
    }
    for (std::size_t k = qel::kPrinterTableBytes; k < t.size(); ++k) EXPECT_EQ(t[k], 0);
}

}  // namespace
