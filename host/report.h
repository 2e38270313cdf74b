// The demo's report: one self-contained HTML page with inline SVG and
// embedded PNG pictures.
#ifndef AUCAL_REPORT_H
#define AUCAL_REPORT_H

#include <string>
#include <utility>
#include <vector>

#include "colour_maths.h"
#include "icc_check.h"
#include "image_io.h"
#include "target_patches.h"

namespace aucal {

struct PatchDifference {
    std::string name;  // "A1" .. "L22", "GS1" .. "GS22"
    Lab3 reference;
    Lab3 model;
    double de76;
    double de2000;
};

struct GamutSlice {
    double lightness = 50;
    std::vector<std::pair<double, double>> boundary;  // a*, b* of the printable edge, by hue
    std::vector<std::pair<double, double>> targets;   // a*, b* of model grid colours near this lightness
};

struct ReportData {
    RgbImage it8Scan;
    TargetReading it8Reading;  // the frame and windows the engine sampled in it8Scan
    std::vector<float> model;
    std::vector<PatchDifference> patches;
    RgbImage chartScan;
    std::vector<double> printerNodeDe;      // CIE76, per printable grid node
    std::vector<double> printerNodeDe2000;  // CIEDE2000, the same nodes
    GamutSlice gamut;
    RgbImage sample, sampleMonitor, samplePrinter, samplePrinted;
    std::vector<std::pair<std::string, double>> timings;  // step, milliseconds
    std::vector<std::pair<std::string, std::string>> files;  // label, file name in the folder
    std::vector<icc::ProfileFigures> profiles;               // ICC profiles written, with their check figures
    std::vector<std::string> notes;
};

std::string renderReport(const ReportData& data);
bool writeReport(const std::string& path, const ReportData& data, std::string* error);

std::string pngBytes(const RgbImage& image);

}  // namespace aucal

#endif
