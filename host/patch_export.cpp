#include "patch_export.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "utc_time.h"

namespace aucal {

namespace {

std::string fixed(double v, int decimals) {
    char b[48];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}


}  // namespace

std::string patchesCgats(const std::vector<MeasuredPatch>& patches, const std::string& description) {
    std::string s = "CTI3\n\nDESCRIPTOR \"";
    s += description;
    s += "\"\nORIGINATOR \"aucal\"\nCREATED \"";
    s += utcNow("%Y-%m-%dT%H:%M:%SZ");
    s += "\"\nDEVICE_CLASS \"INPUT\"\nCOLOR_REP \"XYZ_RGB\"\n\n"
         "NUMBER_OF_FIELDS 10\nBEGIN_DATA_FORMAT\n"
         "SAMPLE_ID RGB_R RGB_G RGB_B XYZ_X XYZ_Y XYZ_Z LAB_L LAB_A LAB_B\nEND_DATA_FORMAT\n\nNUMBER_OF_SETS ";
    s += std::to_string(patches.size());
    s += "\nBEGIN_DATA\n";
    for (const MeasuredPatch& p : patches) {
        s += p.name;
        for (double v : p.rgb) s.append(" ").append(fixed(v / 2.55, 4));
        for (double v : p.xyz) s.append(" ").append(fixed(v, 5));
        for (double v : p.lab) s.append(" ").append(fixed(v, 5));
        s += "\n";
    }
    return s + "END_DATA\n";
}

std::string patchesJson(const std::vector<MeasuredPatch>& patches, const std::string& description) {
    nlohmann::ordered_json out;
    out["description"] = description;
    out["created"] = utcNow("%Y-%m-%dT%H:%M:%SZ");
    out["units"] = {{"rgb", "scanner levels 0 to 255, mean of the sample window"},
                    {"xyz", "reference XYZ, D50, Y = 100 for a perfect white"},
                    {"lab", "CIELAB against the target's white"},
                    {"de2000", "CIEDE2000 between the reference and the scanner model"}};
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const MeasuredPatch& p : patches) {
        nlohmann::ordered_json j{{"name", p.name}, {"rgb", p.rgb}, {"xyz", p.xyz}, {"lab", p.lab}};
        if (p.modelled) {
            j["model_lab"] = p.modelLab;
            j["de2000"] = p.de2000;
        }
        list.push_back(j);
    }
    out["patches"] = list;
    return out.dump(1) + "\n";
}

}  // namespace aucal
