// The profiles aucal writes, read by two colour management modules: version
// 2.4 profiles by ArgyllCMS (iccdump without complaint, xicclu giving the
// colours LittleCMS gives) and by LittleCMS; version 4.3 profiles by
// LittleCMS, with the colours of their version 2.4 twins. And what the
// profiles say about themselves: description, copyright, device tags.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "aucal_run.h"
#include "colour_maths.h"
#include "headless_browser.h"
#include "support/temp_dir.h"

namespace {

using aucal::Lab3;
using testsupport::runAucal;
using testsupport::runCommand;

struct Profile {
    void* h;
    explicit Profile(const std::string& path) : h(cmsOpenProfileFromFile(path.c_str(), "r")) {}
    ~Profile() {
        if (h) cmsCloseProfile(h);
    }
};

std::vector<std::array<double, 3>> rgbGrid() {
    std::vector<std::array<double, 3>> rgb;
    for (int r = 0; r <= 5; ++r)
        for (int g = 0; g <= 5; ++g)
            for (int b = 0; b <= 5; ++b) rgb.push_back({r / 5.0, g / 5.0, b / 5.0});
    return rgb;
}

// RGB (0..1) of a device link's output, as CIELAB if it were sRGB: links are
// compared in the same unit as the other profiles.
Lab3 srgbLab(const std::array<double, 3>& rgb) {
    static void* srgb = cmsCreate_sRGBProfile();
    static void* lab = cmsCreateLab4Profile(nullptr);
    static void* t = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                        cmsFLAGS_NOOPTIMIZE);
    cmsCIELab out;
    const double in[3] = {rgb[0], rgb[1], rgb[2]};
    cmsDoTransform(t, in, &out, 1);
    return {out.L, out.a, out.b};
}

// The grid through a profile with LittleCMS: PCS CIELAB (D50, relative
// colorimetric), or a link's output as sRGB CIELAB.
std::vector<Lab3> throughLittleCms(const std::string& path, bool link) {
    Profile p(path);
    std::vector<Lab3> out;
    if (!p.h) return out;
    void* lab = cmsCreateLab4Profile(nullptr);
    void* t = cmsCreateTransform(p.h, TYPE_RGB_DBL, link ? nullptr : lab, link ? TYPE_RGB_DBL : TYPE_Lab_DBL,
                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
    for (const auto& rgb : rgbGrid()) {
        double v[3];
        if (t) cmsDoTransform(t, rgb.data(), v, 1);
        out.push_back(link ? srgbLab({v[0], v[1], v[2]}) : Lab3{v[0], v[1], v[2]});
    }
    if (t) cmsDeleteTransform(t);
    cmsCloseProfile(lab);
    return out;
}

// The same with ArgyllCMS's xicclu (forward; relative colorimetric to CIELAB,
// a link in its one direction).
std::vector<Lab3> throughArgyll(const testsupport::TempDir& dir, const std::string& path, bool link) {
    std::string input;
    for (const auto& rgb : rgbGrid()) input += std::to_string(rgb[0]) + " " + std::to_string(rgb[1]) + " " +
                                               std::to_string(rgb[2]) + "\n";
    testsupport::writeText(dir.file("grid.txt"), input);
    std::string text;
    if (runCommand("xicclu -ff " + std::string(link ? "" : "-ir -pl ") + path + " < " + dir.file("grid.txt"), &text) != 0)
        return {};
    std::vector<Lab3> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t arrow = line.rfind("->");
        if (arrow == std::string::npos) continue;
        std::istringstream values(line.substr(arrow + 2));
        std::array<double, 3> v{};
        if (!(values >> v[0] >> v[1] >> v[2])) continue;
        out.push_back(link ? srgbLab(v) : v);
    }
    return out;
}

double largestDifference(const std::vector<Lab3>& a, const std::vector<Lab3>& b) {
    double largest = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) largest = std::max(largest, aucal::deltaE2000(a[i], b[i]));
    return largest;
}

std::string text(void* h, cmsTagSignature tag) {
    const auto* mlu = static_cast<const cmsMLU*>(cmsReadTag(h, tag));
    if (mlu == nullptr) return {};
    char buffer[512] = {};
    cmsMLUgetASCII(mlu, "en", "US", buffer, sizeof buffer);
    return buffer;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(IccTwoCmms, ProfilesReadTheSameInArgyllAndLittleCms) {
    testsupport::TempDir dir;
    auto at = [&](const std::string& name) { return dir.file("demo/" + name); };
    const testsupport::CliRun demo = runAucal("-q demo --out " + dir.file("demo"));
    ASSERT_EQ(demo.status, 0) << demo.output;
    // The same profiles as version 4.3.
    ASSERT_EQ(runAucal("-q icc --icc-version 4.3 --model " + at("scanner.mdl") + " --output " + at("scanner-4.icc")).status, 0);
    ASSERT_EQ(runAucal("-q icc --icc-version 4.3 --block " + at("printer.blk") + " --output " + at("link-4.icc")).status, 0);
    ASSERT_EQ(runAucal("-q icc --icc-version 4.3 --block " + at("monitor.blk") + " --output " + at("monitor-4.icc")).status, 0);

    const struct Row {
        const char* file;
        const char* version4;  // its version 4.3 twin, if made above
        bool link;
        std::vector<cmsTagSignature> tables;  // beside the description, copyright and device tags
    } rows[] = {
        {"scanner.icc", "scanner-4.icc", false, {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag}},
        {"scanner-matrix.icc", nullptr, false, {cmsSigRedColorantTag, cmsSigRedTRCTag}},
        {"printer-link.icc", "link-4.icc", true, {cmsSigAToB0Tag, cmsSigProfileSequenceDescTag}},
        {"monitor.icc", "monitor-4.icc", false, {cmsSigRedColorantTag, cmsSigRedTRCTag}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        std::string dump;
        ASSERT_EQ(runCommand("iccdump -v 3 " + at(row.file) + " 2>&1", &dump), 0);
        EXPECT_NE(dump.find("Version      = 2.4.0"), std::string::npos);
        for (const char* complaint : {"warning", "unable", "error", "not supported"})
            EXPECT_EQ(lower(dump).find(complaint), std::string::npos) << complaint << " in\n" << dump.substr(0, 3000);

        const std::vector<Lab3> little = throughLittleCms(at(row.file), row.link);
        const std::vector<Lab3> argyll = throughArgyll(dir, at(row.file), row.link);
        ASSERT_EQ(little.size(), rgbGrid().size());
        ASSERT_EQ(argyll.size(), little.size());
        const double between = largestDifference(little, argyll);
        std::printf("%-20s LittleCMS against ArgyllCMS: largest CIEDE2000 %.4f\n", row.file, between);
        EXPECT_LE(between, 0.5);

        Profile p(at(row.file));
        ASSERT_NE(p.h, nullptr);
        for (cmsTagSignature tag : row.tables) EXPECT_TRUE(cmsIsTag(p.h, tag)) << std::hex << tag;
        const std::string description = text(p.h, cmsSigProfileDescriptionTag);
        EXPECT_NE(description.find(", from "), std::string::npos) << description;
        EXPECT_NE(description.find(".blk"), description.find(".mdl")) << "no source file named: " << description;
        for (cmsTagSignature tag : {cmsSigCopyrightTag, cmsSigDeviceMfgDescTag, cmsSigDeviceModelDescTag})
            EXPECT_FALSE(text(p.h, tag).empty()) << std::hex << tag;

        if (row.version4 == nullptr) continue;
        Profile v4(at(row.version4));
        ASSERT_NE(v4.h, nullptr);
        EXPECT_EQ(cmsGetEncodedICCversion(v4.h), 0x04300000u);
        // Made without --device-make or --device-model: the tags say so, the
        // description leaves the device out.
        const std::string unnamed = text(v4.h, cmsSigProfileDescriptionTag);
        EXPECT_EQ(unnamed.find("unspecified"), std::string::npos) << unnamed;
        EXPECT_EQ(text(v4.h, cmsSigDeviceMfgDescTag), "unspecified");
        // Only the 16-bit encodings of the two versions differ.
        const double twins = largestDifference(little, throughLittleCms(at(row.version4), row.link));
        std::printf("%-20s version 2.4 against 4.3 in LittleCMS: largest CIEDE2000 %.4f\n", row.file, twins);
        EXPECT_LE(twins, 0.05);
    }
}

}  // namespace
