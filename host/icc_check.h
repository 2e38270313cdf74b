// Checking the ICC profiles: read back with LittleCMS and measured against
// what each was made from (the model, the correction block, the phosphors),
// with the tolerances that `aucal icc --check` holds them to.
#ifndef AUCAL_ICC_CHECK_H
#define AUCAL_ICC_CHECK_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine_library.h"
#include "icc_build.h"

namespace aucal::icc {

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
    DeSummary againstSource;      // profile through LittleCMS vs what it was made from (CIEDE2000)
    DeSummary againstPolynomial;  // vs the model's tone curves and polynomial (CIEDE2000)
    DeSummary againstReference;   // vs the reference data, when the patches carry it (CIEDE2000)
};
// The patches' scanner levels (rounded) through an input profile with
// LittleCMS (relative colorimetric, PCS CIELAB) against `source` (what the
// profile was made from, in PCS CIELAB), the model's polynomial and the
// reference data.
bool checkInputProfile(const Bytes& profile, const Prediction& source, const std::vector<float>& model,
                       const PatchSet& patches, InputCheck* check, std::string* error);

// The model grid as the scanner table holds it: nodes in PCS CIELAB, clipped
// to the table's encoding (a*, b* -128..127), read tetrahedrally between the
// nodes at the grid coordinates of the levels, as LittleCMS reads the table.
Lab3 modelGridPcsLab(const std::vector<float>& model, const std::array<double, 3>& levels);

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

// What `aucal icc --check` holds the profiles to: each profile read the way
// LittleCMS reads it, against what it was made from read the same way. A
// wrong table, curve, white or matrix shows by whole units; each tolerance
// stands above what the encoding and the interpolation leave on every
// virtual scanner of the accuracy bench (which prints the largest it sees),
// and well below what a fault shows.
//
// Scanner profiles, on the target's patches: the 16-bit encoding of curves
// and tables (1/65535 of the range, 1/256 of a CIELAB unit for a* and b*)
// and LittleCMS's single-precision arithmetic. Tables leave below 0.01. A
// shaper-matrix's curves are linear light, so in the darkest patches one
// 16-bit step is a sizeable part of the value, and the matrix of a scanner
// with crosstalk magnifies it: up to about 0.04 on the bench. The model grid
// read trilinearly would differ from the table read tetrahedrally by up to
// about 2 where the gamut pull bends the grid, and the smooth table's
// description from its 33^3 bake by up to about 0.1 where the matrix curves
// within a cell: that is interpolation, not the profile, so each table is
// compared with what it was made from at its nodes, read as the table is.
constexpr double kSourceToleranceDe2000 = 0.05;  // largest CIEDE2000, patches through a scanner profile
// The device link against the block read tetrahedrally as LittleCMS reads
// it: the two round a node's value differently (to the nearest level, and
// from the block's levels to 16 bits and back), one level at most.
constexpr int kLinkToleranceLevels = 1;  // largest |LittleCMS - the block read tetrahedrally|, levels
// The device link against CorrectImage: LittleCMS interpolates
// tetrahedrally and rounds, CorrectImage trilinearly and truncates, so single
// pixels differ by up to tens of levels where the printer grid bends; the
// mean stays near 0.6 of a level on the bench's blocks, while a table out of
// place moves it by many levels.
constexpr double kLinkMeanToleranceLevels = 1.0;  // mean |LittleCMS - CorrectImage|, levels
// The monitor profile's white, primaries and half-level luminance are
// computed in double precision from the phosphors and the tables; the
// profile holds them as s15Fixed16 numbers (1.5e-5) and 16-bit curves, so a
// thousandth, the step of a chromaticity given to three decimals, is some
// sixty times what the encoding leaves.
constexpr double kMonitorTolerance = 1e-3;  // white (PCS XYZ), primaries (xy), half-level luminance

// One profile's check figures, as the command prints them and the demo's
// report shows them.
struct ProfileFigures {
    std::string file;                 // where it was written
    std::string description;
    std::string structure;            // empty: read back and tag checks passed; otherwise what failed
    std::vector<std::string> lines;   // check figures, one sentence each
    bool withinTolerance = true;      // structure and figures within the stated tolerances
    std::string failure;              // when not: what is outside, one sentence
    std::vector<double> heldOut;      // profiles fitted on the patches: each patch's cross-validated CIEDE2000
    std::string recommendation;       // for the recommended scanner profile: why, one sentence; else empty
    Bytes bytes;                      // the profile
};

}  // namespace aucal::icc

#endif
