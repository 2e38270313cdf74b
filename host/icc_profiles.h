// ICC profiles made from the engine's results, written and checked with
// LittleCMS 2:
//   - scanner input profile (RGB device, CIELAB PCS, ICC v4): A2B0 holds the
//     model's three tone curves as shaper curves and its 17 x 17 x 17 CIELAB
//     grid as the table;
//   - scanner shaper-matrix profile (CIEXYZ PCS): the model's tone curves and
//     a 3x3 matrix fitted by least squares on the 130 target patches;
//   - device link (RGB to RGB) from a lookup correction block: its input
//     curves and its grid;
//   - monitor profile (CIEXYZ PCS): the colorants of the phosphors and the
//     tone curves that the matrix correction block's tables invert.
//
// White: the model is referred to the fixed target white (82.22, 85.27, 70.37);
// the scanner profiles map it to the PCS white D50 by the Bradford chromatic
// adaptation (its matrix is the profiles' chad tag). The monitor's own white
// is D65; its profile adapts D65 to D50 by Bradford the same way.
#ifndef AUCAL_ICC_PROFILES_H
#define AUCAL_ICC_PROFILES_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "colour_difference.h"
#include "engine_library.h"
#include "image_io.h"

namespace aucal::icc {

using Bytes = std::vector<std::uint8_t>;
using Matrix3 = std::array<std::array<double, 3>, 3>;

constexpr Xyz3 kTargetWhite{82.22, 85.27, 70.37};
constexpr Xyz3 kD50{0.9642, 1.0, 0.8249};     // the ICC PCS white, Y = 1
constexpr Xyz3 kD65{95.04697, 100.0, 108.88268};  // the monitor matrix's white

// Bradford adaptation matrix from white `from` to white `to` (any scale: the
// result maps `from` to `to` exactly).
Matrix3 bradford(const Xyz3& from, const Xyz3& to);
Xyz3 applyMatrix(const Matrix3& m, const Xyz3& v);

// Colour on the reference scale (Y = 100 for a perfect white, as the model's
// polynomial and the reference data give it) in the scanner profiles' PCS:
// relative to the target white, Bradford-adapted to D50 (Y = 1).
Xyz3 pcsXyzFromReference(const Xyz3& xyz);
// CIELAB relative to the target white (the model grid's values) in PCS CIELAB.
Lab3 pcsLabFromTargetLab(const Lab3& lab);
Lab3 pcsLab(const Xyz3& pcsXyz);

// ---- the 130 target patches ------------------------------------------------

// In the model's patch order: A1..L11 without columns 4 and 8, row by row,
// then GS1..GS22.
constexpr int kPatchCount = 130;
std::vector<std::string> patchNames();

struct PatchSet {
    std::vector<std::array<double, 3>> rgb;  // scanner levels 0..255, mean of each sample window
    std::vector<Xyz3> xyz;                   // reference XYZ, Y = 100 for a perfect white
};

// The patch means of a scanned target image, sampled as the report samples
// them; false with a sentence when the target is not found.
bool samplePatches(const RgbImage& scan, std::vector<std::array<double, 3>>* rgb, std::string* error);
// The XYZ of the 130 patches from an IT8.7/2 reference data file (XYZ_X,
// XYZ_Y, XYZ_Z, or D50 CIELAB where the XYZ columns are missing).
bool readReferenceXyz(const std::string& path, std::vector<Xyz3>* xyz, std::string* error);
bool loadPatchSet(const std::string& imagePath, const std::string& referencePath, PatchSet* patches,
                  std::string* error);

// ---- the scanner model as the profiles see it ------------------------------

// The model's colorimetric prediction for scanner levels: tone curves, then
// the 9-term polynomial, on the reference scale.
Xyz3 modelPolynomialXyz(const std::vector<float>& model, const std::array<int, 3>& levels);
// Where a scanner level falls on the model grid's axis, 0..1 (node k at k/16):
// the square root of the tone curve, placed between the node levels
// round(255 k / 16) at which the grid was computed.
double gridCoordinate(const std::vector<float>& model, int channel, int level);
// The model grid's CIELAB (target white) at scanner levels, interpolated
// trilinearly as the engine interpolates its grids.
Lab3 modelGridLab(const std::vector<float>& model, const std::array<int, 3>& levels);

// ---- building ----------------------------------------------------------------

// Each writes the profile's bytes (ICC v4, profile ID computed); false with a
// sentence on failure.
bool scannerLutProfile(const std::vector<float>& model, Bytes* out, std::string* error);

struct ShaperMatrix {
    Matrix3 m{};        // tone-curve-linear RGB (0..1) to PCS XYZ (D50, Y = 1)
    double rmsDeltaE = 0;  // CIE76 residual of the fit on its patches, in PCS CIELAB
};
// Least squares on the patches, three unknowns per PCS component; false when
// the patches do not determine a matrix.
bool fitShaperMatrix(const std::vector<float>& model, const PatchSet& patches, ShaperMatrix* fit,
                     std::string* error);
bool scannerMatrixProfile(const std::vector<float>& model, const ShaperMatrix& fit, Bytes* out,
                          std::string* error);

// block: a LutCorrectionBlock as the engine wrote it (at least 15507 bytes).
bool deviceLinkProfile(const std::vector<std::uint8_t>& block, Bytes* out, std::string* error);

struct Phosphors {
    double xr = 0.635, yr = 0.333, xg = 0.28, yg = 0.595, xb = 0.152, yb = 0.063;
};
struct MonitorCurves {
    std::array<int, 3> matchedLevel{0, 0, 0};  // the visual-match level each table was built for; 0: none fits
    std::array<double, 3> gamma{0, 0, 0};      // the display exponent of that level (0 when tabulated)
};
// Linear monitor RGB (0..1) to XYZ on the 100 scale, white D65, from the
// phosphor chromaticities (each taken as a 32-bit float, as the engine takes
// them).
Matrix3 monitorRgbToXyz(const Phosphors& p);
// The tone curves a matrix block's tables stand for: each table holds
// 255 (i / 255)^(1 / gamma) for the gamma whose half-luminance level is the
// matched level; the level is recovered by rebuilding the tables.
MonitorCurves monitorCurves(const std::vector<std::uint8_t>& block);
// The phosphors a matrix block was made with, given the scanner model it was
// made from: the block's matrix is 255 M A, with A the model's linear matrix
// referred to the display white and M the monitor's XYZ-to-RGB matrix, so
// M = (block / 255) A^-1 and the phosphors are the chromaticities of the
// columns of M^-1. False when the model or the block leave M undetermined.
bool phosphorsFromBlock(const std::vector<std::uint8_t>& block, const std::vector<float>& model, Phosphors* out);
// block: a MatrixCorrectionBlock (at least 816 bytes).
bool monitorProfile(const std::vector<std::uint8_t>& block, const Phosphors& phosphors, Bytes* out,
                    MonitorCurves* curves, std::string* error);

// ---- checking ----------------------------------------------------------------

enum class ProfileKind { ScannerLut, ScannerMatrix, DeviceLink, Monitor };

// Read back with LittleCMS: the header's class and colour spaces, the tags the
// kind requires (cmsIsTag), the stored profile ID against a fresh MD5, and a
// round trip (saved again, the bytes are the same). Empty when all pass,
// otherwise what failed.
std::string checkStructure(const Bytes& profile, ProfileKind kind);

struct DeSummary {
    int count = 0;
    double mean = 0, max = 0;
    void add(double de);
};

struct InputCheck {
    DeSummary againstGrid;        // profile through LittleCMS vs the model grid, trilinear (CIEDE2000)
    DeSummary againstPolynomial;  // vs the model's tone curves and polynomial (CIEDE2000)
    DeSummary againstReference;   // vs the reference data, when the patches carry it (CIEDE2000)
};
// The patches' scanner levels (rounded) through an input profile with
// LittleCMS (relative colorimetric, PCS CIELAB) against the model's colours.
bool checkInputProfile(const Bytes& profile, const std::vector<float>& model, const PatchSet& patches,
                       InputCheck* check, std::string* error);

struct LinkStats {
    long long values = 0;  // channel values compared
    double meanAbs = 0;    // mean |difference|, levels
    int maxAbs = 0;
    double within1 = 0;    // share of values within one level
    void add(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);
};
struct LinkCheck {
    LinkStats againstEngine;       // LittleCMS vs CorrectImage (tetrahedral vs trilinear, rounding vs truncation)
    LinkStats againstTetrahedral;  // LittleCMS vs the block read tetrahedrally by us (the profile's content)
};
// The block's colour for a pixel, read tetrahedrally in floating point and
// rounded: what the device link must give in LittleCMS.
std::array<std::uint8_t, 3> tetrahedralLookup(const std::vector<std::uint8_t>& block, const std::uint8_t rgb[3]);
// `pixels` random pixels (seeded) through the device link with LittleCMS
// against CorrectImage of the loaded engine with the block.
bool checkDeviceLink(const Bytes& profile, const std::vector<std::uint8_t>& block, const EngineExports& engine,
                     int pixels, std::uint32_t seed, LinkCheck* check, std::string* error);

struct MonitorCheck {
    double whiteError = 0;       // |XYZ of full drive - D50|, largest component
    double primaryXyError = 0;   // largest chromaticity error of the primaries against the phosphors
    double halfLevelError = 0;   // largest |Y - 0.5| at the matched levels
};
bool checkMonitorProfile(const Bytes& profile, const Phosphors& phosphors, const MonitorCurves& curves,
                         MonitorCheck* check, std::string* error);

// What `aucal icc --check` holds the profiles to. The scanner table differs
// from the model grid only by interpolation (LittleCMS tetrahedral, the grid
// read trilinearly) and by the table's 16-bit encoding; the device link
// differs from CorrectImage by interpolation and by rounding (LittleCMS rounds
// to the nearest level, CorrectImage truncates its sum).
constexpr double kGridToleranceDe2000 = 1.0;  // largest CIEDE2000, patches through the scanner table
constexpr int kLinkToleranceLevels = 1;       // largest |LittleCMS - the block read tetrahedrally|, levels
constexpr double kLinkMeanToleranceLevels = 1.0;  // mean |LittleCMS - CorrectImage|, levels
constexpr double kMonitorTolerance = 1e-3;    // white (PCS XYZ), primaries (xy), half-level luminance

// One profile's check figures, as the command prints them and the demo's
// report shows them.
struct ProfileFigures {
    std::string file;                 // where it was written
    std::string description;
    std::string structure;            // empty: read back and tag checks passed; otherwise what failed
    std::vector<std::string> lines;   // check figures, one sentence each
    bool withinTolerance = true;      // structure and figures within the stated tolerances
};

// Writes profile bytes atomically (temporary file, then rename).
bool writeProfile(const std::string& path, const Bytes& profile, std::string* error);

}  // namespace aucal::icc

#endif
