// The exported patches read back by other parsers: LittleCMS's CGATS reader
// and a JSON reader give the values written.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "patch_export.h"

namespace {

TEST(PatchExport, CgatsAndJsonReadBackTheValues) {
    std::vector<aucal::MeasuredPatch> patches(3);
    patches[0] = {"A1", {12.5, 200, 255}, {10.1, 11.2, 3.3}, {40.1, -5.5, 30.25}, true, {41, -5, 29}, 1.234};
    patches[1] = {"GS1", {250, 250.5, 249}, {80.2, 83.1, 69.0}, {96.5, 0.1, -0.2}, false, {}, 0};
    patches[2] = {"L22", {0, 0, 0}, {0.5, 0.6, 0.4}, {5.4, 1, -1}, true, {5, 1, -1}, 0.4};

    const std::string cgats = aucal::patchesCgats(patches, "test target");
    cmsHANDLE it8 = cmsIT8LoadFromMem(nullptr, cgats.data(), static_cast<cmsUInt32Number>(cgats.size()));
    ASSERT_NE(it8, nullptr) << cgats;
    EXPECT_EQ(cmsIT8GetPropertyDbl(it8, "NUMBER_OF_SETS"), 3.0);
    const nlohmann::json json = nlohmann::json::parse(aucal::patchesJson(patches, "test target"));
    ASSERT_EQ(json["patches"].size(), 3u);
    for (const aucal::MeasuredPatch& p : patches) {
        SCOPED_TRACE(p.name);
        const char* fields[9] = {"RGB_R", "RGB_G", "RGB_B", "XYZ_X", "XYZ_Y", "XYZ_Z", "LAB_L", "LAB_A", "LAB_B"};
        for (int k = 0; k < 9; ++k) {
            const double written = k < 3 ? p.rgb[k] / 2.55 : k < 6 ? p.xyz[k - 3] : p.lab[k - 6];
            EXPECT_NEAR(cmsIT8GetDataDbl(it8, p.name.c_str(), fields[k]), written, 1e-4) << fields[k];
        }
        const auto& j = *std::find_if(json["patches"].begin(), json["patches"].end(),
                                      [&](const nlohmann::json& e) { return e["name"] == p.name; });
        EXPECT_EQ(j["rgb"].get<std::vector<double>>(), std::vector<double>(p.rgb.begin(), p.rgb.end()));
        EXPECT_EQ(j["lab"].get<std::vector<double>>(), std::vector<double>(p.lab.begin(), p.lab.end()));
        EXPECT_EQ(j.contains("de2000"), p.modelled);
        if (p.modelled) {
            EXPECT_EQ(j["de2000"].get<double>(), p.de2000);
        }
    }
    cmsIT8Free(it8);
}

}  // namespace
