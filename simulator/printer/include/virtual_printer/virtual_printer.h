// The virtual printer: prints an RGB image through a known ("true") printer
// response, and scans the print with the virtual target's true scanner, so
// that the printer characterisation can be run and judged end to end.
//
// Printer model: the RGB drive of a pixel (0..255 per channel) becomes the
// cyan, magenta and yellow coverages 1 - R / 255, 1 - G / 255, 1 - B / 255;
// each grows by dot gain (a coverage c prints as c + 4 g c (1 - c), g the
// gain at half coverage); the eight overprints of the three inks (paper,
// C, M, Y, M+Y, C+Y, C+M, C+M+Y) mix by their Demichel areas, in the
// Yule-Nielsen sense (XYZ to the power 1 / n mixed linearly), which gives
// the channel interaction of a real print. The paper is not a perfect white
// and the three-ink black is not a perfect black.
//
// Print and scan geometry: the image is printed at `printDpi` image pixels
// per inch in the middle of a sheet that covers the whole scan area, turned
// by `tiltDegrees` about its centre, and scanned at `dpi`. Images are
// imaging::Image (rows top first); the scan keeps the image's orientation:
// its top row shows the image's top side. Written with the Targa codec
// (bottom row first), its file row 0 shows the side of the chart's file
// row 0, as the scanner drivers write the print when its top is scanned last.
//
// Deterministic: the same inputs give the same bytes (the noise comes from
// a generator of our own).
#ifndef AUCAL_VIRTUAL_PRINTER_H
#define AUCAL_VIRTUAL_PRINTER_H

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "it8_target/virtual_it8.h"

namespace printsim {

using it8sim::Xyz;

// CIELAB against a chosen white (cube root, CIE linear segment).
struct Lab {
    double l = 0, a = 0, b = 0;
};
Lab xyzToLab(const Xyz& xyz, const Xyz& white);
Xyz labToXyz(const Lab& lab, const Xyz& white);
double deltaE(const Lab& p, const Lab& q);  // CIE 1976

// The D50 white on the Y = 100 scale: the printer's and scanner's light.
constexpr Xyz kD50{96.42, 100.0, 82.49};

// Overprint order of the primaries.
enum Overprint : int { kPaper = 0, kCyan, kMagenta, kYellow, kRed /*M+Y*/, kGreen /*C+Y*/, kBlue /*C+M*/, kBlack /*C+M+Y*/ };

struct PrinterResponse {
    std::array<Xyz, 8> primaries;   // XYZ (D50, Y = 100 scale) of each overprint, by Overprint
    std::array<double, 3> dotGain;  // cyan, magenta, yellow; 0..0.25
    double yuleNielsen = 1.0;       // n >= 1
};

enum class PrinterPreset {
    Inkjet,     // clean primaries, moderate dot gain, black L* about 16
    Laser,      // heavy dot gain, a greyish black (L* about 25)
    Newsprint,  // yellowish paper, weak inks, strong interaction
};
PrinterResponse printerPreset(PrinterPreset preset);
// "inkjet", "laser", "newsprint".
std::optional<PrinterPreset> printerPresetFromName(const std::string& name);
const char* printerPresetName(PrinterPreset preset);

// The printed colour of one RGB drive (0..255 per channel; fractions allowed).
Xyz printRgb(double r, double g, double b, const PrinterResponse& printer);
// The printer's paper (drive 255, 255, 255).
inline Xyz paperWhite(const PrinterResponse& p) { return p.primaries[kPaper]; }

using imaging::Image;

struct PrintScanOptions {
    double printDpi = 100;      // image pixels per inch on the sheet
    double dpi = 300;           // scan resolution
    double marginInches = 0.3;  // paper scanned beyond the image on every side
    double tiltDegrees = 0;     // print turned on the glass about its centre
    double blurPixels = 0;      // Gaussian optical blur, sigma in scan pixels (0: none)
    int supersample = 3;        // sub-samples per scan pixel side
    // Called after each scan row with the rows done and the total; returning
    // false stops the scan, which then gives an empty image.
    std::function<bool(int done, int rows)> onRow;
};

// The print of image scanned at options.dpi through scanner (its noise and
// seed included), as the drivers' Targa file would hold it: 8-bit RGB, width
// a multiple of 4 pixels, the image's top side at the top.
Image printAndScan(const Image& image, const PrinterResponse& printer,
                      const it8sim::ScannerResponse& scanner, const PrintScanOptions& options);

// Where the middle of image pixel (x, y) lands in the scan of printAndScan
// (fractional pixel and row, rows top first), for the same image size and
// options.
struct ScanPosition {
    double x = 0, y = 0;
};
ScanPosition imagePointInScan(const PrintScanOptions& options, int imageWidth, int imageHeight, double x, double y);

// A ScannerModel (15546 floats) that describes scanner exactly where it can:
// tone curves inverting its tone response (1.0 at level 255), a polynomial
// with the linear terms of its sensor (no quadratic terms), a linear matrix
// row per XYZ from levels, and the CIELAB grid of every node from the
// polynomial at (level / 255)^2, against the white 82.22, 85.27, 70.37,
// limited to L* 0..100 and a*, b* -150..150 (no gamut pull).
std::vector<float> idealScannerModel(const it8sim::ScannerResponse& scanner);

// The CIELAB (against the model's white) of grid node (i0, i1, i2).
Lab modelGridLab(const std::vector<float>& model, int i0, int i1, int i2);

// A printer table for PrinterTargetOpenAnalysis: 17^3 nodes of three bytes,
// node (i0, i1, i2) at 3 (289 i0 + 17 i1 + i2), holding the printer R, G, B
// that best prints the working-space colour encoded as 15.9375 (i0, i1, i2)
// (codes to the power 2.2, D65 white = 100, 100, 100), reproduced relative
// to the paper with the lightness range scaled into the printer's. The
// buffer is 15509 bytes, as the export needs (the result overwrites it).
std::vector<std::uint8_t> printerTable(const PrinterResponse& printer);

// The printer's gamut in CIELAB against its paper, for inverse searches: a
// dense grid of drives to start from, refined on the true printer.
class PrinterGamut {
public:
    explicit PrinterGamut(const PrinterResponse& printer, int steps = 25);
    // The print of a drive, CIELAB against the paper.
    Lab printLab(double r, double g, double b) const;
    // The drive (each channel 0..255) whose print is nearest to target.
    std::array<double, 3> bestDrive(const Lab& target) const;
    // CIE 1976 difference between target and the nearest print.
    double distance(const Lab& target) const;
    // L* of the three-ink black against the paper.
    double blackLightness() const { return blackL_; }

private:
    PrinterResponse printer_;
    Xyz paper_;
    int steps_;
    std::vector<Lab> grid_;  // steps^3 prints, red outermost
    double blackL_;
};

}  // namespace printsim

#endif
