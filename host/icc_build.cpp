// Building the ICC profiles with LittleCMS: the header and tags every
// profile carries, then each kind's curves, matrix or table.
#include "icc_build.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "lcms_handles.h"
#include "shaper_matrix_fit.h"
#include "qel_layout.h"
#include "scanner_model_eval.h"

namespace aucal::icc {

namespace {

namespace sm = qel::scanner_model;

bool say(std::string* error, const std::string& sentence) {
    if (error) *error = sentence;
    return false;
}

// The chad tag's nine numbers, row-major.
std::array<double, 9> rowMajor(const Matrix3& m) {
    std::array<double, 9> r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[3 * i + j] = m[i][j];
    return r;
}

// ---- profile assembly ------------------------------------------------------

// The header and the tags that say what the profile is; the label's kind
// defaults to what the builder makes.
ProfilePtr newProfile(cmsProfileClassSignature cls, cmsColorSpaceSignature space, cmsColorSpaceSignature pcs,
                      ProfileLabel label, const char* kind) {
    ProfilePtr h(cmsCreateProfilePlaceholder(nullptr));
    if (!h) return h;
    if (label.kind.empty()) label.kind = kind;
    cmsSetDeviceClass(h.get(), cls);
    cmsSetColorSpace(h.get(), space);
    cmsSetPCS(h.get(), pcs);
    cmsSetHeaderRenderingIntent(h.get(), INTENT_PERCEPTUAL);
    if (!writeLabel(h.get(), label)) h.reset();
    return h;
}

// White D50 (the adapted media white) and the adaptation that took `white` there.
// The media white tag by the profile version's convention: ICC v4 stores the
// media white adapted to the PCS by the chad matrix (so D50 scaled by the
// white's luminance relative to a perfect diffuser, Y = 100 on `white`'s
// scale; a display's white is D50 itself), v2 the media white as measured.
// Absolute colorimetric intent then gives the target's own white (L* about
// 94 for the target white), not L* 100.
bool writeWhite(cmsHPROFILE h, const Xyz3& white) {
    std::array<double, 9> chad = rowMajor(bradford(normalised(white), kD50));
    const bool display = cmsGetDeviceClass(h) == cmsSigDisplayClass;
    const double luminance = display ? 1.0 : white[1] / 100.0;
    const Xyz3 media = cmsGetEncodedICCversion(h) >= 0x4000000 ? kD50 : normalised(white);
    const cmsCIEXYZ tag{media[0] * luminance, media[1] * luminance, media[2] * luminance};
    return cmsWriteTag(h, cmsSigMediaWhitePointTag, &tag) && cmsWriteTag(h, cmsSigChromaticAdaptationTag, chad.data());
}

CurvePtr curve16(const std::vector<double>& values) {
    std::vector<cmsUInt16Number> table(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        table[i] = static_cast<cmsUInt16Number>(std::clamp(values[i], 0.0, 1.0) * 65535.0 + 0.5);
    return CurvePtr(cmsBuildTabulatedToneCurve16(nullptr, static_cast<cmsUInt32Number>(table.size()), table.data()));
}

// A-curves, CLUT, identity B-curves: the lutAtoBType layout of a v4 A2B0, or
// input curves, CLUT and output curves of a v2 lut16Type.
bool writeCurvesAndGrid(cmsHPROFILE h, const std::array<CurvePtr, 3>& curves, const std::vector<cmsUInt16Number>& grid,
                        int nodes = qel::kGridNodes) {
    if (!curves[0] || !curves[1] || !curves[2]) return false;
    PipelinePtr lut(cmsPipelineAlloc(nullptr, 3, 3));
    if (!lut) return false;
    cmsToneCurve* c[3] = {curves[0].get(), curves[1].get(), curves[2].get()};
    cmsStage* a = cmsStageAllocToneCurves(nullptr, 3, c);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, static_cast<cmsUInt32Number>(nodes), 3, 3, grid.data());
    cmsStage* b = cmsStageAllocToneCurves(nullptr, 3, nullptr);
    bool ok = a && clut && b;
    // The pipeline owns a stage once it is inserted.
    if (ok) ok = cmsPipelineInsertStage(lut.get(), cmsAT_END, a) != 0;
    else if (a) cmsStageFree(a);
    if (ok) ok = cmsPipelineInsertStage(lut.get(), cmsAT_END, clut) != 0;
    else if (clut) cmsStageFree(clut);
    if (ok) ok = cmsPipelineInsertStage(lut.get(), cmsAT_END, b) != 0;
    else if (b) cmsStageFree(b);
    return ok && cmsWriteTag(h, cmsSigAToB0Tag, lut.get());
}

bool writeMatrixShaper(cmsHPROFILE h, const Matrix3& m, const std::array<CurvePtr, 3>& curves) {
    const cmsTagSignature colorant[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature trc[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        cmsCIEXYZ xyz{m[0][c], m[1][c], m[2][c]};
        if (!curves[c] || !cmsWriteTag(h, colorant[c], &xyz) || !cmsWriteTag(h, trc[c], curves[c].get())) return false;
    }
    return true;
}

}  // namespace

bool saveProfile(cmsHPROFILE h, Bytes* out, std::string* error) {
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(h, nullptr, &size) || size == 0) return say(error, "LittleCMS could not write the profile");
    out->assign(size, 0);
    if (!cmsSaveProfileToMem(h, out->data(), &size)) return say(error, "LittleCMS could not write the profile");
    out->resize(size);
    finishHeader(out);
    return true;
}

// ---- building ------------------------------------------------------------------

bool scannerLutProfile(const std::vector<float>& model, Bytes* out, std::string* error, ProfileLabel label) {
    if (model.size() < static_cast<std::size_t>(sm::kFloats)) return say(error, "the scanner model is too short");
    ProfilePtr h = newProfile(cmsSigInputClass, cmsSigRgbData, cmsSigLabData, label,
                              "scanner input profile (tone curves and CIELAB grid)");
    if (!h || !writeWhite(h.get(), kTargetWhite)) return say(error, "LittleCMS could not start the profile");
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> v(256);
        for (int n = 0; n < 256; ++n) v[n] = qel::ModelGridCoordinate(model.data(), c, n);
        curves[c] = curve16(v);
    }
    // Nodes in PCS CIELAB in the version's encoding; colours beyond its
    // range (a*, b* from -128 to 127) are clipped by the encoding.
    std::vector<cmsUInt16Number> grid(3 * qel::kGridNodes * qel::kGridNodes * qel::kGridNodes);
    for (std::size_t i = 0; i < grid.size(); i += 3) {
        const float* p = &model[sm::kGrid + i];
        const Lab3 lab = pcsLabFromTargetLab({p[0], p[1], p[2]});
        if (!std::isfinite(lab[0]) || !std::isfinite(lab[1]) || !std::isfinite(lab[2]))
            return say(error, "the scanner model's grid holds a value that is not a number");
        encodeLab(label.version, lab, &grid[i]);
    }
    if (!writeCurvesAndGrid(h.get(), curves, grid) || !shareTableWithAllIntents(h.get()))
        return say(error, "LittleCMS could not write the A2B0 table");
    return saveProfile(h.get(), out, error);
}

bool scannerMatrixProfile(const ShaperMatrix& fit, Bytes* out, std::string* error, ProfileLabel label) {
    ProfilePtr h = newProfile(cmsSigInputClass, cmsSigRgbData, cmsSigXYZData, label,
                              "scanner input profile (shaper curves and a matrix fitted on the target)");
    if (!h || !writeWhite(h.get(), kTargetWhite)) return say(error, "LittleCMS could not start the profile");
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> v(sm::kLevels);
        for (int n = 0; n < sm::kLevels; ++n) v[n] = shaperValue(fit, c, n);
        curves[c] = curve16(v);
    }
    if (!writeMatrixShaper(h.get(), fit.m, curves)) return say(error, "LittleCMS could not write the matrix and curves");
    return saveProfile(h.get(), out, error);
}

bool scannerTableProfile(const SmoothTable& table, Bytes* out, std::string* error, ProfileLabel label) {
    ProfilePtr h = newProfile(cmsSigInputClass, cmsSigRgbData, cmsSigLabData, label,
                              "scanner input profile (shaper curves and a smooth CIELAB table fitted on the target)");
    if (!h || !writeWhite(h.get(), kTargetWhite)) return say(error, "LittleCMS could not start the profile");
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> v(sm::kLevels);
        for (int n = 0; n < sm::kLevels; ++n) v[n] = smoothTableAxis(table.base, c, n);
        curves[c] = curve16(v);
    }
    // The description sampled on a finer grid over the same axes, PCS CIELAB
    // in the version's encoding (clipped to its range).
    const int n = kSmoothTableProfileNodes;
    std::vector<cmsUInt16Number> grid(3 * static_cast<std::size_t>(n) * n * n);
    for (std::size_t i = 0; i < grid.size() / 3; ++i) {
        const std::array<double, 3> axes{static_cast<double>(i / (n * n)) / (n - 1),
                                         static_cast<double>((i / n) % n) / (n - 1), static_cast<double>(i % n) / (n - 1)};
        encodeLab(label.version, smoothTableLabAtAxes(table, axes), &grid[3 * i]);
    }
    if (!writeCurvesAndGrid(h.get(), curves, grid, n) || !shareTableWithAllIntents(h.get()))
        return say(error, "LittleCMS could not write the A2B0 table");
    return saveProfile(h.get(), out, error);
}

bool deviceLinkProfile(const std::vector<std::uint8_t>& block, Bytes* out, std::string* error, ProfileLabel label) {
    if (block.size() < qel::kLutBlockLayoutBytes) return say(error, "the lookup correction block is too short");
    ProfilePtr h = newProfile(cmsSigLinkClass, cmsSigRgbData, cmsSigRgbData, label,
                              "printer correction device link (scanner RGB to printer RGB)");
    if (!h) return say(error, "LittleCMS could not start the profile");
    // Input table value g (0..255) is grid coordinate g / 16 on nodes that
    // stand for coordinates 0, 16, .., 256: normalised, g / 256.
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> v(256);
        for (int n = 0; n < 256; ++n) v[n] = block[qel::blockTableOffset(c, n)] / 256.0;
        curves[c] = curve16(v);
    }
    std::vector<cmsUInt16Number> grid(3 * qel::kGridNodes * qel::kGridNodes * qel::kGridNodes);
    for (std::size_t i = 0; i < grid.size(); ++i) grid[i] = static_cast<cmsUInt16Number>(block[qel::kLutBlockGrid + i] * 257);
    if (!writeCurvesAndGrid(h.get(), curves, grid)) return say(error, "LittleCMS could not write the A2B0 table");
    // A device link names the profiles it joins: here the scanner and the printer.
    if (!writeSequence(h.get(), label.version,
                       {{cmsSigReflectiveScanner, "aucal", "scanner model"},
                        {cmsSigInkJetPrinter, "aucal", "printer correction"}}))
        return say(error, "LittleCMS could not write the profile sequence");
    return saveProfile(h.get(), out, error);
}

Matrix3 monitorRgbToXyz(const Phosphors& p) {
    const double x[3] = {static_cast<float>(p.xr), static_cast<float>(p.xg), static_cast<float>(p.xb)};
    const double y[3] = {static_cast<float>(p.yr), static_cast<float>(p.yg), static_cast<float>(p.yb)};
    Matrix3 prim{};
    for (int j = 0; j < 3; ++j) {
        prim[0][j] = x[j];
        prim[1][j] = y[j];
        prim[2][j] = 1 - x[j] - y[j];
    }
    Matrix3 inverse{};
    if (!invert(prim, &inverse)) return Matrix3{};
    const Xyz3 s = applyMatrix(inverse, kD65);
    Matrix3 m = prim;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] *= s[j];
    return m;
}

MonitorCurves monitorCurves(const std::vector<std::uint8_t>& block) {
    MonitorCurves out;
    if (block.size() < qel::kMatrixBlockLayoutBytes) return out;
    for (int c = 0; c < 3; ++c) {
        int bestMid = 0, bestMiss = 256 * 256;
        for (int mid = 5; mid <= 250; ++mid) {
            const double gamma = std::log(0.5) / std::log(mid / 255.0);
            int miss = 0;
            for (int i = 0; i < 256 && miss < bestMiss; ++i) {
                const int t = static_cast<int>(255.0 * std::pow(i / 255.0, 1.0 / gamma));
                miss += std::abs(t - block[qel::blockTableOffset(c, i)]);
            }
            if (miss < bestMiss) {
                bestMiss = miss;
                bestMid = mid;
            }
        }
        // Tables the engine wrote match exactly; anything else is taken as tabulated.
        if (bestMiss == 0) {
            out.matchedLevel[c] = bestMid;
            out.gamma[c] = std::log(0.5) / std::log(bestMid / 255.0);
        }
    }
    return out;
}

bool phosphorsFromBlock(const std::vector<std::uint8_t>& block, const std::vector<float>& model, Phosphors* out) {
    if (block.size() < qel::kMatrixBlockLayoutBytes || model.size() < static_cast<std::size_t>(sm::kFloats)) return false;
    // The display white the model is referred to: x 0.3127, y 0.329, Y 100.
    const double white[3] = {0.3127 * 100 / 0.329, 100.0, (1 - 0.3127 - 0.329) * 100 / 0.329};
    Matrix3 a{}, c{};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) {
            a[k][j] = model[sm::linearMatrixIndex(k, 1 + j)] * white[k];
            c[k][j] = qel::loadFloatLE(&block[qel::matrixEntryOffset(k, 1 + j)]) / 255.0;
        }
    Matrix3 aInverse{}, rgbToXyz{};
    if (!invert(a, &aInverse) || !invert(multiply(c, aInverse), &rgbToXyz)) return false;
    double xy[3][2];
    for (int j = 0; j < 3; ++j) {
        const double sum = rgbToXyz[0][j] + rgbToXyz[1][j] + rgbToXyz[2][j];
        if (!std::isfinite(sum) || std::fabs(sum) < 1e-12) return false;
        xy[j][0] = rgbToXyz[0][j] / sum;
        xy[j][1] = rgbToXyz[1][j] / sum;
    }
    *out = {xy[0][0], xy[0][1], xy[1][0], xy[1][1], xy[2][0], xy[2][1]};
    return true;
}

bool monitorProfile(const std::vector<std::uint8_t>& block, const Phosphors& phosphors, Bytes* out,
                    MonitorCurves* curvesOut, std::string* error, ProfileLabel label) {
    if (block.size() < qel::kMatrixBlockLayoutBytes) return say(error, "the matrix correction block is too short");
    const Matrix3 rgbToXyz = monitorRgbToXyz(phosphors);
    Matrix3 check{};
    if (!invert(rgbToXyz, &check)) return say(error, "the phosphor chromaticities do not make a monitor matrix");
    ProfilePtr h = newProfile(cmsSigDisplayClass, cmsSigRgbData, cmsSigXYZData, label,
                              "monitor profile (phosphors and visually matched tone curves)");
    if (!h || !writeWhite(h.get(), kD65)) return say(error, "LittleCMS could not start the profile");
    const MonitorCurves found = monitorCurves(block);
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        if (found.matchedLevel[c] != 0) {
            curves[c].reset(cmsBuildGamma(nullptr, found.gamma[c]));
        } else {
            // Not a power curve: the display curve is the table's inverse.
            std::vector<cmsUInt16Number> table(256);
            for (int i = 0; i < 256; ++i) table[i] = static_cast<cmsUInt16Number>(block[qel::blockTableOffset(c, i)] * 257);
            CurvePtr drive(cmsBuildTabulatedToneCurve16(nullptr, 256, table.data()));
            if (drive) curves[c].reset(cmsReverseToneCurve(drive.get()));
        }
    }
    // Colorants on the PCS scale (Y = 1), adapted from D65 to D50.
    const Matrix3 adapted = multiply(bradford(normalised(kD65), kD50), rgbToXyz);
    Matrix3 m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = adapted[i][j] / 100.0;
    if (!writeMatrixShaper(h.get(), m, curves)) return say(error, "LittleCMS could not write the matrix and curves");
    if (curvesOut) *curvesOut = found;
    return saveProfile(h.get(), out, error);
}

}  // namespace aucal::icc
