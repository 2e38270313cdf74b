// What a person needs to judge a printer correction made from a scanned
// chart, in the terms of the scanner's figures (fit_quality.h):
//
// Patch differences. For each of the 512 chart patches, the colour the
// correction aims at for the patch's scanned colour (the scanner model's
// colour, scaled into the printer's lightness range as the engine's printer
// model does) against the colour the printer prints for the block's answer,
// as the engine's printer model (its interpolation of the measured chart)
// predicts it. Every chart colour is one the printer printed, so a good
// correction reproduces it; what is left is the block's grid, the search and
// the lightness scaling.
//
// Placement check. The printer model believes whatever the chart reader
// sampled, so a misread chart makes a wrong correction that agrees with
// itself; the check compares the sampled patches with what was printed
// instead. The chart's drives step evenly along red, green and blue, so each
// patch's scanned colour lies near the mean of what its neighbours along
// each drive axis predict; a column or row of the chart far worse than the
// rest (shifted sample windows) or a single patch far off while its
// neighbours agree (swapped patches, a mark on the print) is reported.
#ifndef AUCAL_PRINTER_FIT_QUALITY_H
#define AUCAL_PRINTER_FIT_QUALITY_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine_library.h"
#include "fit_quality.h"

namespace aucal {

constexpr int kChartPatches = 512;

// Patch p = 16 i + j of the chart (patch row i, column j, counted from the
// chart's corner mark) as "R<i+1>C<j+1>".
std::string chartPatchName(int patch);

// The 512 patch means (levels 0..255) that the engine's chart reader samples
// in the upright chart scan at targaPath; false with a sentence when it does
// not find the chart.
bool readChartPatches(const std::string& targaPath, std::vector<std::array<double, 3>>* rgb, std::string* error);

// The placement check alone, on the 512 patch means in chart order.
std::vector<std::string> chartPlacementWarnings(const std::vector<std::array<double, 3>>& rgb);

// The figures of a lookup block made from the chart scan at targaPath with
// model; the block is loaded into the engine (InitCorrect) to correct the
// patches' colours and released again.
bool printerFitQualityOf(const EngineExports& engine, const std::string& targaPath, const std::vector<float>& model,
                         const std::vector<std::uint8_t>& block, FitQuality* quality, std::string* error);

}  // namespace aucal

#endif
