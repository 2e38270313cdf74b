// Checking the ICC profiles: LittleCMS reads each back and runs colours
// through it, against what the profile was made from.
#include "icc_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "lcms_handles.h"
#include "qel_layout.h"
#include "scanner_model_eval.h"

namespace aucal::icc {

namespace {

bool say(std::string* error, const std::string& sentence) {
    if (error) *error = sentence;
    return false;
}

std::uint32_t nextRandom(std::uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

}  // namespace

// ---- checking ------------------------------------------------------------------

void DeSummary::add(double de) {
    mean = (mean * count + de) / (count + 1);
    max = std::max(max, de);
    ++count;
}

std::string checkStructure(const Bytes& profile, ProfileKind kind) {
    ProfilePtr h = openProfile(profile);
    if (!h) return "LittleCMS cannot open the profile";
    struct Expect {
        cmsProfileClassSignature cls = cmsSigInputClass;
        cmsColorSpaceSignature space = cmsSigRgbData, pcs = cmsSigLabData;
        std::vector<cmsTagSignature> tags;
    };
    const std::vector<cmsTagSignature> common{cmsSigProfileDescriptionTag, cmsSigCopyrightTag, cmsSigDeviceMfgDescTag,
                                              cmsSigDeviceModelDescTag};
    const std::vector<cmsTagSignature> shaper{cmsSigMediaWhitePointTag, cmsSigChromaticAdaptationTag,
                                              cmsSigRedColorantTag,     cmsSigGreenColorantTag,
                                              cmsSigBlueColorantTag,    cmsSigRedTRCTag,
                                              cmsSigGreenTRCTag,        cmsSigBlueTRCTag};
    Expect e;
    switch (kind) {
        case ProfileKind::ScannerLut:
            e = {cmsSigInputClass, cmsSigRgbData, cmsSigLabData,
                 {cmsSigMediaWhitePointTag, cmsSigChromaticAdaptationTag, cmsSigAToB0Tag, cmsSigAToB1Tag,
                  cmsSigAToB2Tag}};
            break;
        case ProfileKind::ScannerMatrix: e = {cmsSigInputClass, cmsSigRgbData, cmsSigXYZData, shaper}; break;
        case ProfileKind::Monitor: e = {cmsSigDisplayClass, cmsSigRgbData, cmsSigXYZData, shaper}; break;
        case ProfileKind::DeviceLink:
            e = {cmsSigLinkClass, cmsSigRgbData, cmsSigRgbData, {cmsSigAToB0Tag, cmsSigProfileSequenceDescTag}};
            break;
    }
    e.tags.insert(e.tags.end(), common.begin(), common.end());
    if (cmsGetDeviceClass(h.get()) != e.cls) return "the profile's class is wrong";
    if (cmsGetColorSpace(h.get()) != e.space || cmsGetPCS(h.get()) != e.pcs) return "the profile's colour spaces are wrong";
    const cmsUInt32Number version = cmsGetEncodedICCversion(h.get());
    if (version != 0x02400000 && version != 0x04300000) return "the profile is neither ICC version 2.4 nor 4.3";
    const bool v2 = version == 0x02400000;
    for (cmsTagSignature tag : e.tags) {
        std::string name;
        for (int shift = 24; shift >= 0; shift -= 8) name.push_back(static_cast<char>((tag >> shift) & 0xff));
        if (!cmsIsTag(h.get(), tag)) return "the profile has no " + name + " tag";
        if (cmsReadTag(h.get(), tag) == nullptr) return "LittleCMS cannot read the " + name + " tag";
    }
    // Version 4 carries the MD5 of the profile as its ID; version 2 has zeros there.
    cmsUInt8Number stored[16], fresh[16] = {};
    cmsGetHeaderProfileID(h.get(), stored);
    if (!v2) {
        profileId(profile, fresh);
        if (std::all_of(stored, stored + 16, [](cmsUInt8Number b) { return b == 0; })) return "the profile has no profile ID";
    }
    if (std::memcmp(stored, fresh, 16) != 0) return "the stored profile ID is not what the profile's version needs";
    // Every tag read and written again by LittleCMS, except a version 2
    // profile sequence, which LittleCMS would lay out with padding between
    // its descriptions where version 2 readers expect none.
    ProfilePtr copy = openProfile(profile);
    for (cmsTagSignature tag : e.tags)
        if (!(v2 && tag == cmsSigProfileSequenceDescTag)) cmsReadTag(copy.get(), tag);
    Bytes again;
    std::string error;
    if (!saveProfile(copy.get(), &again, &error)) return error;
    if (again != profile) return "the profile does not survive a round trip through LittleCMS unchanged";
    return {};
}

Lab3 modelGridPcsLab(const std::vector<float>& model, const std::array<double, 3>& levels) {
    constexpr int kLast = qel::kGridNodes - 1;
    int i[3];
    double f[3];
    for (int c = 0; c < 3; ++c) {
        const double u = kLast * qel::ModelGridCoordinate(model.data(), c, static_cast<int>(levels[c] + 0.5));
        i[c] = std::min(kLast - 1, static_cast<int>(u));
        f[c] = u - i[c];
    }
    auto at = [&](int d0, int d1, int d2) {
        const float* p = &model[qel::scanner_model::gridIndex(i[0] + d0, i[1] + d1, i[2] + d2)];
        const Lab3 lab = pcsLabFromTargetLab({p[0], p[1], p[2]});
        return Lab3{std::clamp(lab[0], 0.0, 100.0), std::clamp(lab[1], -128.0, 127.0), std::clamp(lab[2], -128.0, 127.0)};
    };
    // The tetrahedron of (f0, f1, f2): corners from (0,0,0) to (1,1,1) along
    // the axes in falling order of their fractions.
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int a, int b) { return f[a] > f[b]; });
    int corner[3] = {0, 0, 0};
    Lab3 previous = at(0, 0, 0), out = previous;
    for (int step = 0; step < 3; ++step) {
        corner[order[step]] = 1;
        const Lab3 next = at(corner[0], corner[1], corner[2]);
        for (int k = 0; k < 3; ++k) out[k] += f[order[step]] * (next[k] - previous[k]);
        previous = next;
    }
    return out;
}

bool checkInputProfile(const Bytes& profile, const Prediction& source, const std::vector<float>& model,
                       const PatchSet& patches, InputCheck* check, std::string* error) {
    ProfilePtr in = openProfile(profile);
    ProfilePtr lab(cmsCreateLab4Profile(nullptr));
    if (!in || !lab) return say(error, "LittleCMS cannot open the profile");
    TransformPtr t(cmsCreateTransform(in.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                      cmsFLAGS_NOCACHE));
    if (!t) return say(error, "LittleCMS cannot make a transform from the profile");
    *check = InputCheck{};
    const bool withReference = patches.xyz.size() == patches.rgb.size();
    for (std::size_t p = 0; p < patches.rgb.size(); ++p) {
        const auto& c = patches.rgb[p];
        std::array<int, 3> levels;
        double in01[3];
        for (int k = 0; k < 3; ++k) {
            levels[k] = std::clamp(static_cast<int>(c[k] + 0.5), 0, 255);
            in01[k] = levels[k] / 255.0;
        }
        cmsCIELab out;
        cmsDoTransform(t.get(), in01, &out, 1);
        const Lab3 got{out.L, out.a, out.b};
        const float levelValues[3] = {float(levels[0]), float(levels[1]), float(levels[2])};
        float xyz[3];
        qel::ModelLevelsXyz(model.data(), levelValues, xyz);
        check->againstSource.add(deltaE2000(got, source({double(levels[0]), double(levels[1]), double(levels[2])})));
        check->againstPolynomial.add(deltaE2000(got, pcsLab(pcsXyzFromReference({xyz[0], xyz[1], xyz[2]}))));
        if (withReference) check->againstReference.add(deltaE2000(got, pcsLab(pcsXyzFromReference(patches.xyz[p]))));
    }
    return true;
}

void LinkStats::add(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    long long within = 0, sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int d = std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
        sum += d;
        within += d <= 1;
        maxAbs = std::max(maxAbs, d);
    }
    values = static_cast<long long>(a.size());
    meanAbs = a.empty() ? 0 : static_cast<double>(sum) / static_cast<double>(a.size());
    within1 = a.empty() ? 0 : static_cast<double>(within) / static_cast<double>(a.size());
}

std::array<std::uint8_t, 3> tetrahedralLookup(const std::vector<std::uint8_t>& block, const std::uint8_t rgb[3]) {
    int i[3];
    double f[3];
    for (int c = 0; c < 3; ++c) {
        const int g = block[qel::blockTableOffset(c, rgb[c])];
        i[c] = g / 16;
        f[c] = (g % 16) / 16.0;
    }
    auto at = [&](int d0, int d1, int d2, int k) {
        return static_cast<double>(block[qel::lutNodeOffset(i[0] + d0, i[1] + d1, i[2] + d2) + k]);
    };
    const double x = f[0], y = f[1], z = f[2];
    std::array<std::uint8_t, 3> out{};
    for (int k = 0; k < 3; ++k) {
        const double c000 = at(0, 0, 0, k), c111 = at(1, 1, 1, k);
        double v;
        if (x >= y && y >= z) v = c000 + x * (at(1, 0, 0, k) - c000) + y * (at(1, 1, 0, k) - at(1, 0, 0, k)) + z * (c111 - at(1, 1, 0, k));
        else if (x >= z && z >= y) v = c000 + x * (at(1, 0, 0, k) - c000) + z * (at(1, 0, 1, k) - at(1, 0, 0, k)) + y * (c111 - at(1, 0, 1, k));
        else if (z >= x && x >= y) v = c000 + z * (at(0, 0, 1, k) - c000) + x * (at(1, 0, 1, k) - at(0, 0, 1, k)) + y * (c111 - at(1, 0, 1, k));
        else if (y >= x && x >= z) v = c000 + y * (at(0, 1, 0, k) - c000) + x * (at(1, 1, 0, k) - at(0, 1, 0, k)) + z * (c111 - at(1, 1, 0, k));
        else if (y >= z && z >= x) v = c000 + y * (at(0, 1, 0, k) - c000) + z * (at(0, 1, 1, k) - at(0, 1, 0, k)) + x * (c111 - at(0, 1, 1, k));
        else v = c000 + z * (at(0, 0, 1, k) - c000) + y * (at(0, 1, 1, k) - at(0, 0, 1, k)) + x * (c111 - at(0, 1, 1, k));
        out[k] = static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
    }
    return out;
}

bool checkDeviceLink(const Bytes& profile, const std::vector<std::uint8_t>& block, const EngineExports& engine,
                     int pixels, std::uint32_t seed, LinkCheck* check, std::string* error) {
    if (!engine.initCorrect || !engine.correctImage || !engine.releaseCorrect)
        return say(error, "the colour engine has no correction exports");
    ProfilePtr link = openProfile(profile);
    if (!link) return say(error, "LittleCMS cannot open the device link");
    // Without optimisation LittleCMS evaluates the link's own curves and grid
    // (tetrahedral interpolation) rather than a resampled copy.
    TransformPtr t(cmsCreateTransform(link.get(), TYPE_RGB_8, nullptr, TYPE_RGB_8, INTENT_PERCEPTUAL,
                                      cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE));
    if (!t) return say(error, "LittleCMS cannot make a transform from the device link");
    std::vector<std::uint8_t> original(3 * static_cast<std::size_t>(pixels));
    std::uint32_t state = seed;
    for (auto& v : original) v = static_cast<std::uint8_t>(nextRandom(&state) & 0xff);
    std::vector<std::uint8_t> ours = original, theirs(original.size());
    cmsDoTransform(t.get(), original.data(), theirs.data(), static_cast<cmsUInt32Number>(pixels));
    if (engine.initCorrect(block.data(), static_cast<int32_t>(block.size())) != 0)
        return say(error, "InitCorrect refused the block");
    ImageBuffer image{1, pixels, ours.data()};
    const int32_t status = engine.correctImage(&image);
    engine.releaseCorrect();
    if (status != 0) return say(error, "CorrectImage failed");
    std::vector<std::uint8_t> tetrahedral(original.size());
    for (std::size_t i = 0; i < original.size(); i += 3) {
        const auto v = tetrahedralLookup(block, &original[i]);
        std::memcpy(&tetrahedral[i], v.data(), 3);
    }
    *check = LinkCheck{};
    check->againstEngine.add(theirs, ours);
    check->againstTetrahedral.add(theirs, tetrahedral);
    return true;
}

bool checkMonitorProfile(const Bytes& profile, const Phosphors& phosphors, const MonitorCurves& curves,
                         MonitorCheck* check, std::string* error) {
    ProfilePtr mon = openProfile(profile);
    ProfilePtr xyz(cmsCreateXYZProfile());
    if (!mon || !xyz) return say(error, "LittleCMS cannot open the monitor profile");
    TransformPtr t(cmsCreateTransform(mon.get(), TYPE_RGB_DBL, xyz.get(), TYPE_XYZ_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                      cmsFLAGS_NOCACHE));
    if (!t) return say(error, "LittleCMS cannot make a transform from the monitor profile");
    auto run = [&](double r, double g, double b) {
        const double in[3] = {r, g, b};
        cmsCIEXYZ out;
        cmsDoTransform(t.get(), in, &out, 1);
        return Xyz3{out.X, out.Y, out.Z};
    };
    *check = MonitorCheck{};
    const Xyz3 white = run(1, 1, 1);
    for (int k = 0; k < 3; ++k) check->whiteError = std::max(check->whiteError, std::fabs(white[k] - kD50[k]));
    const Matrix3 back = bradford(kD50, normalised(kD65));
    const double px[3] = {phosphors.xr, phosphors.xg, phosphors.xb}, py[3] = {phosphors.yr, phosphors.yg, phosphors.yb};
    for (int c = 0; c < 3; ++c) {
        const Xyz3 full = run(c == 0, c == 1, c == 2);
        const Xyz3 own = applyMatrix(back, full);
        const double sum = own[0] + own[1] + own[2];
        check->primaryXyError = std::max({check->primaryXyError, std::fabs(own[0] / sum - px[c]), std::fabs(own[1] / sum - py[c])});
        if (curves.matchedLevel[c] != 0) {
            const double d = curves.matchedLevel[c] / 255.0;
            const Xyz3 half = run(c == 0 ? d : 0, c == 1 ? d : 0, c == 2 ? d : 0);
            check->halfLevelError = std::max(check->halfLevelError, std::fabs(half[1] / full[1] - 0.5));
        }
    }
    return true;
}

}  // namespace aucal::icc
