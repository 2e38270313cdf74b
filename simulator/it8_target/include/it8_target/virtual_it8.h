// The virtual IT8.7/2 target: a plausible set of reference values, the
// reference data file that carries them, and the target rendered as a
// scanner would see it through a known ("true") scanner response.
//
// Layout of the rendered target, in cells of `cellInches` (0.2 in): a frame
// of 24 x 16 cells outlined by a thin dark line (0.02 in) on a medium grey base, lying
// on a medium grey surround (the scanner lid). Cell rows 1..12 hold the IT8
// rows A..L at cell columns 1..22, cell row 14 the grey scale GS1..GS22; the
// other cells are base. GS0 and GS23 are in the reference data but not on
// the rendered target: their cells would be the frame's side columns.
// The top edge of the target (row A) is scanned first.
//
// The rendered scan is an imaging::Image in scan-line order (row 0 is the
// first scanned line, the top edge; pixels red, green, blue) with its
// resolution in the metadata. Written with the Targa codec (bottom row
// first) it is the file that the scanner drivers write: file row 0 is the
// last scanned line.
//
// Deterministic: the same inputs give the same bytes on every platform
// (the noise comes from a generator of our own).
#ifndef AUCAL_IT8_TARGET_VIRTUAL_IT8_H
#define AUCAL_IT8_TARGET_VIRTUAL_IT8_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace it8sim {

// CIE XYZ on the reference file's scale: a perfect white has Y = 100.
struct Xyz {
    double x = 0, y = 0, z = 0;
};

struct Rgb8 {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb8&) const = default;
};

// How the true scanner turns the light of a patch into levels. Per channel:
//   signal = sensor response to XYZ (a D50 white reflector gives 1), mixed
//            with crosstalk, with flare added ((signal + flare) / (1 + flare):
//            stray light lifts the shadows, the white stays 1), clamped to 0..1;
//   level  = black + (white - black) * signal^(1 / gamma), rounded, 0..255;
// plus Gaussian noise of noiseSigma levels per pixel and channel. On the
// rendered scan the lamp lights the bed unevenly: the signal is multiplied by
// 1 - falloff * u^2, u running from -1 at the scan's left edge through 0 in
// its middle to 1 at its right edge; trueScannerRgb is the middle's.
struct ScannerResponse {
    std::array<double, 3> gamma{2.2, 2.2, 2.2};
    std::array<double, 3> whiteLevel{250, 250, 250};
    std::array<double, 3> blackLevel{3, 3, 3};
    // Fraction of each channel's signal taken from each of the other two
    // (0: none; neutral colours are unchanged by it).
    double crosstalk = 0.0;
    double flare = 0.0;    // fraction of the white's signal added as stray light
    double falloff = 0.0;  // the light's fall at the scan's side edges, a fraction
    double noiseSigma = 0.0;
    std::uint64_t seed = 1;
};

enum class ResponsePreset {
    Mild,       // near-equal gammas, little crosstalk
    NonLinear,  // strongly different tone curves per channel
    Crosstalk,  // strong channel crosstalk and unequal white levels
    Linear,     // gamma 1
};
ScannerResponse responsePreset(ResponsePreset preset);
// "mild", "nonlinear", "crosstalk", "linear".
std::optional<ResponsePreset> presetFromName(const std::string& name);
const char* presetName(ResponsePreset preset);

// The sensor signal (0..1 per channel, before the tone curve).
std::array<double, 3> scannerSignal(const Xyz& xyz, const ScannerResponse& response);
// The level for a signal before rounding and noise.
double toneLevel(double signal, int channel, const ScannerResponse& response);
// The signal whose level (before rounding and noise) this is: the tone
// curve undone (0 at and below black, above 1 beyond white).
double signalOfLevel(double level, int channel, const ScannerResponse& response);
// The truth: what the scanner gives, without noise, for a uniform area.
Rgb8 trueScannerRgb(const Xyz& xyz, const ScannerResponse& response);

// The 288 reference values of a target: rows A..L x columns 1..22 and the
// grey scale GS0..GS23 from light to dark. Every value is a multiple of 0.01,
// so the reference file carries it exactly.
struct It8ReferenceSet {
    Xyz colour[12][22];  // [row A..L][column 1..22]
    Xyz grey[24];        // GS0..GS23
};
// A plausible set: colours spread over a print gamut, a near-neutral grey
// scale, A22 a dark saturated red (so a target turned by half a turn never
// shows a light neutral where GS1 belongs).
It8ReferenceSet makeIt8Reference();
// The reference colour of a frame cell: rows 1..12 columns 1..22 and row 14
// columns 1..22; nothing for the other cells.
std::optional<Xyz> cellReference(const It8ReferenceSet& refs, int cellRow, int cellColumn);

// The reference data file ("IT8.7/2" keyword, SAMPLE_ID XYZ_X XYZ_Y XYZ_Z
// LAB_L LAB_A LAB_B, LF line ends, A1..L22 then GS0..GS23).
std::string it8ReferenceText(const It8ReferenceSet& refs);
bool writeIt8ReferenceFile(const std::string& path, const It8ReferenceSet& refs);

struct TargetOptions {
    double dpi = 300;
    double cellInches = 0.2;
    double marginInches = 0.3;      // surround beyond the target's extent on every side
    double frameLineInches = 0.02;  // width of the dark outline
    double patchGapCells = 0.06;    // base showing between patches, each side
    double tiltDegrees = 0;         // target turned on the glass about its centre
    double skewDegrees = 0;         // lean of the target's vertical edges (a sheared scan)
    bool halfTurn = false;          // target turned by half a turn (grey scale scanned first)
    int interruptRow = -1;          // first file row crossed by a light stripe; -1: none
    int interruptRows = 1;          // the stripe's height in file rows
    int supersample = 3;            // sub-samples per pixel side (edges mixed in linear light)
    int bitsPerSample = 8;          // 8, or 16: level * 257 before rounding, noise alike
    Xyz surround{17.08, 18.0, 14.85};  // lid, medium grey
    Xyz base{23.73, 25.0, 20.63};      // target base between patches
    Xyz frame{0.19, 0.2, 0.17};        // dark outline
    Xyz stripe{85.4, 88.6, 73.1};      // the interrupting stripe
};

// Scan-line order: row 0 first scanned; RGB of bitsPerSample; x and y resolution dpi.
imaging::Image renderIt8TargetRgb(const It8ReferenceSet& refs, const ScannerResponse& response,
                             const TargetOptions& options);

// Where the middle of a frame cell lands: pixel x and scan line (fractional).
struct ScanPoint {
    double x = 0, line = 0;
};
ScanPoint cellCentreInScan(const TargetOptions& options, int imageWidth, int imageHeight, int cellRow,
                           int cellColumn);

}  // namespace it8sim

#endif
