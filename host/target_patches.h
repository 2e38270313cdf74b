// The scanned IT8.7/2 target and its reference data as the host uses them,
// read with the engine's own code (the engine's reading library): the frame
// the engine traced, the windows it averaged, its patch means and the
// reference values it reads. What the report draws and what the profile fits
// use is therefore exactly what ScannerIT8Analysis analysed.
#ifndef AUCAL_TARGET_PATCHES_H
#define AUCAL_TARGET_PATCHES_H

#include <array>
#include <string>
#include <vector>

#include "colour_maths.h"

namespace aucal {

// In the model's patch order (the engine's reference patch index): A1..L11
// without columns 4 and 8, row by row, then GS1..GS22.
constexpr int kPatchCount = 130;
std::vector<std::string> patchNames();

// Pixel coordinates with the top row of the picture first, as RgbImage holds
// it (the engine counts file rows).
struct PixelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // inclusive
};
struct PixelPoint {
    double x = 0, y = 0;
};

struct TargetReading {
    int width = 0, height = 0;
    // The traced frame: start and end of the left edge, end and start of the
    // right edge (a closed outline).
    std::array<PixelPoint, 4> frame{};
    // Every cell window the engine averaged: cell rows 1..12, columns 1..22,
    // then the grey scale row, columns 1..22. Windows clipped away are left out.
    std::vector<PixelBox> windows;
    // The engine's patch means (integer levels 0..255), model patch order.
    std::vector<std::array<double, 3>> rgb;
    // The same windows' means as they are, model patch order: the engine
    // truncates its means to whole levels, half a level low on average,
    // while a scanned pixel's level is rounded.
    std::vector<std::array<double, 3>> meanRgb;
};

// Reads the target image with the engine's reader; false with a sentence
// when the engine does not find the target in it.
bool readTargetPatches(const std::string& imagePath, TargetReading* reading, std::string* error);

// The XYZ of the 130 patches (Y = 100 for a perfect white) from a reference
// data file, read by the engine's reader; an empty path gives the engine's
// built-in table.
bool readReferenceXyz(const std::string& path, std::vector<Xyz3>* xyz, std::string* error);

struct PatchSet {
    std::vector<std::array<double, 3>> rgb;  // scanner levels 0..255: the windows' means, not truncated
    std::vector<Xyz3> xyz;                   // reference XYZ, Y = 100 for a perfect white
};
bool loadPatchSet(const std::string& imagePath, const std::string& referencePath, PatchSet* patches,
                  std::string* error);

}  // namespace aucal

#endif
