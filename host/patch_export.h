// The scanned target's patches as files other tools read: CGATS in the layout
// of ArgyllCMS's .ti3 (device values in percent, XYZ on the 100 scale; its
// colprof builds a profile from it, a spreadsheet opens it as text) and JSON.
#ifndef AUCAL_PATCH_EXPORT_H
#define AUCAL_PATCH_EXPORT_H

#include <array>
#include <string>
#include <vector>

#include "colour_maths.h"

namespace aucal {

struct MeasuredPatch {
    std::string name;             // "A1" .. "L22", "GS1" .. "GS22"
    std::array<double, 3> rgb{};  // scanner levels 0..255, mean of the patch's sample window
    Xyz3 xyz{};                   // reference XYZ, D50, Y = 100 for a perfect white
    Lab3 lab{};                   // reference CIELAB against the target's white
    bool modelled = false;        // the model's colour and its difference below are known
    Lab3 modelLab{};              // the scanner model's CIELAB for the patch's levels
    double de2000 = 0;            // CIEDE2000 between reference and model
};

// description: one line saying where the patches come from.
std::string patchesCgats(const std::vector<MeasuredPatch>& patches, const std::string& description);
std::string patchesJson(const std::vector<MeasuredPatch>& patches, const std::string& description);

}  // namespace aucal

#endif
