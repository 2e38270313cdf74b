// What a person needs to judge a characterisation: how far the fitted model
// lies from the reference on the target's own patches (CIEDE2000 and CIE76:
// mean, median, 95th percentile, maximum, the five worst patches by name),
// and a placement check that warns when the differences fall in a pattern
// that a misread target makes rather than a scanner: a column or row of the
// colour field far worse than the rest (a shifted sample grid or a target cut
// off), a grey scale whose measured levels do not fall from GS1 to GS22, a
// single patch far off while its neighbours agree (dust, a label, a scratch).
#ifndef AUCAL_FIT_QUALITY_H
#define AUCAL_FIT_QUALITY_H

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "report.h"
#include "target_patches.h"

namespace aucal {

struct DeStats {
    double mean = 0, median = 0, p95 = 0, max = 0;
};
// Percentiles by the nearest rank.
DeStats deStats(std::vector<double> values);

struct FitQuality {
    std::string heading = "patch differences, model against reference:";
    std::string document = "target";  // what a misread would be a misread of
    DeStats de2000, de76;
    std::vector<std::pair<std::string, double>> worst;  // up to five, CIEDE2000, worst first
    std::vector<std::string> warnings;                  // the placement check; empty: nothing suspicious
};

// The statistics and the five worst of any set of patch differences (the
// placement check is left to the caller).
FitQuality summarisePatches(const std::vector<PatchDifference>& patches);

// Each patch's colour as the model gives it (its polynomial on the patch
// means the engine sampled) against the reference data the engine read, both
// as CIELAB against the target white.
std::vector<PatchDifference> patchDifferences(const PatchSet& patches, const std::vector<float>& model);

// patches: the 130 in the model's patch order (A1..L11 without columns 4 and
// 8, then GS1..GS22); greyLevels: the measured R, G, B of GS1..GS22.
FitQuality scannerFitQuality(const std::vector<PatchDifference>& patches,
                             const std::vector<std::array<double, 3>>& greyLevels);

// The figures of a scanner model against the target it was fitted on: the
// normalised scan and reference data handed to the engine (an empty
// referencePath: the built-in table).
bool scannerFitQualityOf(const std::string& scanPath, const std::string& referencePath,
                         const std::vector<float>& model, FitQuality* quality, std::string* error);

// The figures as lines of text, for the terminal and the saved file's header.
std::vector<std::string> qualityLines(const FitQuality& quality);
// The same lines, each ended by a line feed.
std::string qualityNote(const FitQuality& quality);

}  // namespace aucal

#endif
