// The report's charts, drawn with svg_chart: the scanner's tone curves, the
// colour difference of each target patch, the printer correction's
// difference per printable grid colour, and a slice of the printer gamut.
// Every axis is scaled to its data, so that no value is cut off.
#ifndef AUCAL_REPORT_CHARTS_H
#define AUCAL_REPORT_CHARTS_H

#include <string>
#include <vector>

#include "report.h"

namespace aucal {

// model: the scanner model's floats (its three tone curves first).
std::string toneCurveChart(const std::vector<float>& model);
// One bar per patch, in the model's patch order, labelled by row.
std::string patchDifferenceChart(const std::vector<PatchDifference>& patches);
// One bar per printable grid colour, in grid order.
std::string printerDifferenceChart(const std::vector<double>& de2000);
// The slice's printable area and the grid colours near it, a* and b* drawn to one scale.
std::string gamutChart(const GamutSlice& slice);

}  // namespace aucal

#endif
