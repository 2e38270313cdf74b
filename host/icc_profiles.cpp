#include "icc_profiles.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "report.h"

namespace aucal::icc {

namespace {

// ---- LittleCMS objects, owned ------------------------------------------------

struct ProfileCloser {
    void operator()(void* h) const {
        if (h) cmsCloseProfile(h);
    }
};
struct TransformCloser {
    void operator()(void* h) const {
        if (h) cmsDeleteTransform(h);
    }
};
struct PipelineFree {
    void operator()(cmsPipeline* p) const { cmsPipelineFree(p); }
};
struct CurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
struct MluFree {
    void operator()(cmsMLU* m) const { cmsMLUfree(m); }
};
struct SeqFree {
    void operator()(cmsSEQ* s) const { cmsFreeProfileSequenceDescription(s); }
};
struct It8Free {
    void operator()(void* h) const {
        if (h) cmsIT8Free(h);
    }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
using TransformPtr = std::unique_ptr<void, TransformCloser>;
using PipelinePtr = std::unique_ptr<cmsPipeline, PipelineFree>;
using CurvePtr = std::unique_ptr<cmsToneCurve, CurveFree>;
using MluPtr = std::unique_ptr<cmsMLU, MluFree>;
using SeqPtr = std::unique_ptr<cmsSEQ, SeqFree>;
using It8Ptr = std::unique_ptr<void, It8Free>;

constexpr int kGridNodes = 17;
constexpr std::size_t kModelGrid = 807;      // first float of the model's CIELAB grid
constexpr std::size_t kModelPolynomial = 768;
constexpr std::size_t kLutGrid = 768;        // first node byte of a lookup block
constexpr std::size_t kLutLayoutBytes = 15507;
constexpr std::size_t kMatrixLayoutBytes = 816;

std::size_t node(int i0, int i1, int i2) { return 3 * static_cast<std::size_t>(289 * i0 + 17 * i1 + i2); }

bool say(std::string* error, const std::string& sentence) {
    if (error) *error = sentence;
    return false;
}

Matrix3 multiply(const Matrix3& a, const Matrix3& b) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}

// Inverse by cofactors; false for a singular matrix.
bool invert(const Matrix3& m, Matrix3* out) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) return false;
    Matrix3& r = *out;
    r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}

Xyz3 normalised(const Xyz3& w) { return {w[0] / w[1], 1.0, w[2] / w[1]}; }

// The chad tag's nine numbers, row-major.
std::array<double, 9> rowMajor(const Matrix3& m) {
    std::array<double, 9> r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[3 * i + j] = m[i][j];
    return r;
}

// ---- profile assembly ------------------------------------------------------

bool writeText(cmsHPROFILE h, cmsTagSignature tag, const std::string& text) {
    MluPtr mlu(cmsMLUalloc(nullptr, 1));
    return mlu && cmsMLUsetASCII(mlu.get(), "en", "US", text.c_str()) && cmsWriteTag(h, tag, mlu.get());
}

ProfilePtr newProfile(cmsProfileClassSignature cls, cmsColorSpaceSignature space, cmsColorSpaceSignature pcs,
                      const std::string& description) {
    ProfilePtr h(cmsCreateProfilePlaceholder(nullptr));
    if (!h) return h;
    cmsSetProfileVersion(h.get(), 4.3);
    cmsSetDeviceClass(h.get(), cls);
    cmsSetColorSpace(h.get(), space);
    cmsSetPCS(h.get(), pcs);
    cmsSetHeaderRenderingIntent(h.get(), INTENT_PERCEPTUAL);
    if (!writeText(h.get(), cmsSigProfileDescriptionTag, description) ||
        !writeText(h.get(), cmsSigCopyrightTag, "No copyright, use freely"))
        h.reset();
    return h;
}

// White D50 (the adapted media white) and the adaptation that took `white` there.
bool writeWhite(cmsHPROFILE h, const Xyz3& white) {
    std::array<double, 9> chad = rowMajor(bradford(normalised(white), kD50));
    return cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ()) &&
           cmsWriteTag(h, cmsSigChromaticAdaptationTag, chad.data());
}

bool saveProfile(cmsHPROFILE h, Bytes* out, std::string* error) {
    if (!cmsMD5computeID(h)) return say(error, "LittleCMS could not compute the profile ID");
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(h, nullptr, &size) || size == 0) return say(error, "LittleCMS could not write the profile");
    out->assign(size, 0);
    if (!cmsSaveProfileToMem(h, out->data(), &size)) return say(error, "LittleCMS could not write the profile");
    out->resize(size);
    return true;
}

CurvePtr curve16(const std::vector<double>& values) {
    std::vector<cmsUInt16Number> table(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        table[i] = static_cast<cmsUInt16Number>(std::clamp(values[i], 0.0, 1.0) * 65535.0 + 0.5);
    return CurvePtr(cmsBuildTabulatedToneCurve16(nullptr, static_cast<cmsUInt32Number>(table.size()), table.data()));
}

// A-curves, CLUT, identity B-curves: the lutAtoBType layout of a v4 A2B0.
bool writeCurvesAndGrid(cmsHPROFILE h, const std::array<CurvePtr, 3>& curves, const std::vector<cmsUInt16Number>& grid) {
    if (!curves[0] || !curves[1] || !curves[2]) return false;
    PipelinePtr lut(cmsPipelineAlloc(nullptr, 3, 3));
    if (!lut) return false;
    cmsToneCurve* c[3] = {curves[0].get(), curves[1].get(), curves[2].get()};
    cmsStage* a = cmsStageAllocToneCurves(nullptr, 3, c);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, kGridNodes, 3, 3, grid.data());
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

std::vector<double> toneCurve(const std::vector<float>& model, int channel) {
    std::vector<double> v(256);
    for (int n = 0; n < 256; ++n) v[n] = std::clamp<double>(model[256 * channel + n], 0.0, 1.0);
    return v;
}

ProfilePtr openProfile(const Bytes& bytes) {
    return ProfilePtr(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

std::uint32_t nextRandom(std::uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

}  // namespace

// ---- colour frames -------------------------------------------------------------

Matrix3 bradford(const Xyz3& from, const Xyz3& to) {
    static const Matrix3 kCone{{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
    Matrix3 inverse{};
    invert(kCone, &inverse);
    const Xyz3 a = applyMatrix(kCone, from), b = applyMatrix(kCone, to);
    Matrix3 scale{};
    for (int i = 0; i < 3; ++i) scale[i][i] = b[i] / a[i];
    return multiply(inverse, multiply(scale, kCone));
}

Xyz3 applyMatrix(const Matrix3& m, const Xyz3& v) {
    Xyz3 r{0, 0, 0};
    for (int i = 0; i < 3; ++i) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return r;
}

Xyz3 pcsXyzFromReference(const Xyz3& xyz) {
    static const Matrix3 m = bradford(normalised(kTargetWhite), kD50);
    return applyMatrix(m, {xyz[0] / kTargetWhite[1], xyz[1] / kTargetWhite[1], xyz[2] / kTargetWhite[1]});
}

Lab3 pcsLab(const Xyz3& pcsXyz) { return labFromXyz(pcsXyz, kD50); }

Lab3 pcsLabFromTargetLab(const Lab3& lab) {
    // CIELAB back to XYZ against the target white (reference scale), then into the PCS.
    const double fy = (lab[0] + 16.0) / 116.0, fx = fy + lab[1] / 500.0, fz = fy - lab[2] / 200.0;
    auto inv = [](double t) { return t > 6.0 / 29.0 ? t * t * t : 3.0 * (6.0 / 29.0) * (6.0 / 29.0) * (t - 4.0 / 29.0); };
    return pcsLab(pcsXyzFromReference({kTargetWhite[0] * inv(fx), kTargetWhite[1] * inv(fy), kTargetWhite[2] * inv(fz)}));
}

// ---- patches -------------------------------------------------------------------

std::vector<std::string> patchNames() {
    std::vector<std::string> names;
    for (int r = 0; r < 12; ++r)
        for (int c : {1, 2, 3, 5, 6, 7, 9, 10, 11}) {
            char name[8];
            std::snprintf(name, sizeof name, "%c%d", 'A' + r, c);
            names.emplace_back(name);
        }
    for (int g = 1; g <= 22; ++g) names.push_back("GS" + std::to_string(g));
    return names;
}

bool samplePatches(const RgbImage& scan, std::vector<std::array<double, 3>>* rgb, std::string* error) {
    const FrameBox frame = findTargetFrame(scan);
    if (!frame.found) return say(error, "the target's frame was not found in the scan");
    rgb->clear();
    auto sample = [&](int row, int column) {
        const auto w = cellWindow(frame, row, column);
        double sum[3] = {0, 0, 0};
        long n = 0;
        for (int y = std::max(0, w[1]); y <= std::min(scan.height - 1, w[3]); ++y)
            for (int x = std::max(0, w[0]); x <= std::min(scan.width - 1, w[2]); ++x) {
                const std::uint8_t* p = &scan.pixels[3ull * (static_cast<std::size_t>(y) * scan.width + x)];
                for (int c = 0; c < 3; ++c) sum[c] += p[c];
                ++n;
            }
        if (n == 0) return false;
        rgb->push_back({sum[0] / n, sum[1] / n, sum[2] / n});
        return true;
    };
    for (int r = 1; r <= 12; ++r)
        for (int c : {1, 2, 3, 5, 6, 7, 9, 10, 11})
            if (!sample(r, c)) return say(error, "a patch's sample window lies outside the scan");
    for (int c = 1; c <= 22; ++c)
        if (!sample(14, c)) return say(error, "a patch's sample window lies outside the scan");
    return true;
}

namespace {

// Patch index of a sample name: A1..L22 (also written A01), GS1..GS22; -1 for
// the patches the model does not use.
int patchIndex(const std::string& id) {
    auto number = [](const std::string& digits) {
        if (digits.empty() || digits.size() > 3) return -1;
        int n = 0;
        for (char d : digits) {
            if (d < '0' || d > '9') return -1;
            n = 10 * n + (d - '0');
        }
        return n;
    };
    if (id.size() > 2 && id[0] == 'G' && id[1] == 'S') {
        const int n = number(id.substr(2));
        return n >= 1 && n <= 22 ? 107 + n : -1;
    }
    if (id.size() < 2 || id[0] < 'A' || id[0] > 'L') return -1;
    static const int kColumn[12] = {0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1};
    const int column = number(id.substr(1));
    if (column < 1 || column > 11 || kColumn[column - 1] < 0) return -1;
    return 9 * (id[0] - 'A') + kColumn[column - 1];
}

}  // namespace

bool readReferenceXyz(const std::string& path, std::vector<Xyz3>* xyz, std::string* error) {
    It8Ptr it8(cmsIT8LoadFromFile(nullptr, path.c_str()));
    if (!it8) return say(error, "cannot read the reference data file " + path);
    char** fields = nullptr;
    const int fieldCount = cmsIT8EnumDataFormat(it8.get(), &fields);
    auto column = [&](const char* name) {
        for (int i = 0; i < fieldCount; ++i)
            if (fields[i] != nullptr && std::strcmp(fields[i], name) == 0) return i;
        return -1;
    };
    const int id = column("SAMPLE_ID");
    const int cx = column("XYZ_X"), cy = column("XYZ_Y"), cz = column("XYZ_Z");
    const int cl = column("LAB_L"), ca = column("LAB_A"), cb = column("LAB_B");
    const bool haveXyz = cx >= 0 && cy >= 0 && cz >= 0, haveLab = cl >= 0 && ca >= 0 && cb >= 0;
    if (id < 0 || (!haveXyz && !haveLab))
        return say(error, "the reference data file " + path + " has no SAMPLE_ID with XYZ or CIELAB columns");
    auto value = [&](int row, int col, double* v) {
        const char* text = cmsIT8GetDataRowCol(it8.get(), row, col);
        if (text == nullptr) return false;
        char* end = nullptr;
        *v = std::strtod(text, &end);
        return end != text && std::isfinite(*v);
    };
    std::vector<Xyz3> found(kPatchCount);
    std::vector<bool> seen(kPatchCount, false);
    const int rows = static_cast<int>(cmsIT8GetPropertyDbl(it8.get(), "NUMBER_OF_SETS"));
    for (int row = 0; row < rows; ++row) {
        const char* name = cmsIT8GetDataRowCol(it8.get(), row, id);
        const int index = name ? patchIndex(name) : -1;
        if (index < 0) continue;
        Xyz3 v{};
        if (haveXyz && value(row, cx, &v[0]) && value(row, cy, &v[1]) && value(row, cz, &v[2])) {
        } else {
            cmsCIELab lab;
            if (!haveLab || !value(row, cl, &lab.L) || !value(row, ca, &lab.a) || !value(row, cb, &lab.b))
                return say(error, "the reference data file " + path + " has no XYZ or CIELAB for patch " + name);
            cmsCIEXYZ x;
            cmsLab2XYZ(cmsD50_XYZ(), &x, &lab);
            v = {100 * x.X, 100 * x.Y, 100 * x.Z};
        }
        found[index] = v;
        seen[index] = true;
    }
    const std::vector<std::string> names = patchNames();
    for (int i = 0; i < kPatchCount; ++i)
        if (!seen[i]) return say(error, "the reference data file " + path + " has no values for patch " + names[i]);
    *xyz = found;
    return true;
}

bool loadPatchSet(const std::string& imagePath, const std::string& referencePath, PatchSet* patches,
                  std::string* error) {
    RgbImage scan;
    if (!readImage(imagePath, &scan, error)) return false;
    return samplePatches(scan, &patches->rgb, error) && readReferenceXyz(referencePath, &patches->xyz, error);
}

// ---- the model -----------------------------------------------------------------

Xyz3 modelPolynomialXyz(const std::vector<float>& m, const std::array<int, 3>& levels) {
    double lin[3];
    for (int c = 0; c < 3; ++c) lin[c] = m[256 * c + std::clamp(levels[c], 0, 255)];
    const double t[9] = {lin[0], lin[1], lin[2], lin[0] * lin[0], lin[1] * lin[1], lin[2] * lin[2],
                         lin[0] * lin[1], lin[1] * lin[2], lin[0] * lin[2]};
    Xyz3 xyz{0, 0, 0};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 9; ++j) xyz[k] += m[kModelPolynomial + 9 * k + j] * t[j];
    return xyz;
}

double gridCoordinate(const std::vector<float>& model, int channel, int level) {
    const double s = std::sqrt(std::clamp<double>(model[256 * channel + std::clamp(level, 0, 255)], 0.0, 1.0));
    auto nodeValue = [](int k) { return static_cast<int>(255.0 * k / 16.0 + 0.5) / 255.0; };
    for (int k = 0; k < 16; ++k) {
        const double lo = nodeValue(k), hi = nodeValue(k + 1);
        if (s <= hi) return (k + std::max(0.0, s - lo) / (hi - lo)) / 16.0;
    }
    return 1.0;
}

Lab3 modelGridLab(const std::vector<float>& model, const std::array<int, 3>& levels) {
    int index[3];
    double frac[3];
    for (int c = 0; c < 3; ++c) {
        const double u = 16.0 * gridCoordinate(model, c, levels[c]);
        index[c] = std::min(15, static_cast<int>(u));
        frac[c] = u - index[c];
    }
    Lab3 lab{0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        const int d0 = corner >> 2, d1 = (corner >> 1) & 1, d2 = corner & 1;
        const double w = (d0 ? frac[0] : 1 - frac[0]) * (d1 ? frac[1] : 1 - frac[1]) * (d2 ? frac[2] : 1 - frac[2]);
        const float* p = &model[kModelGrid + node(index[0] + d0, index[1] + d1, index[2] + d2)];
        for (int k = 0; k < 3; ++k) lab[k] += w * p[k];
    }
    return lab;
}

// ---- building ------------------------------------------------------------------

bool scannerLutProfile(const std::vector<float>& model, Bytes* out, std::string* error) {
    if (model.size() < static_cast<std::size_t>(QEL_MODEL_FLOATS)) return say(error, "the scanner model is too short");
    ProfilePtr h = newProfile(cmsSigInputClass, cmsSigRgbData, cmsSigLabData,
                              "aucal scanner: tone curves and CIELAB grid of the scanner model");
    if (!h || !writeWhite(h.get(), kTargetWhite)) return say(error, "LittleCMS could not start the profile");
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> v(256);
        for (int n = 0; n < 256; ++n) v[n] = gridCoordinate(model, c, n);
        curves[c] = curve16(v);
    }
    // Nodes in PCS CIELAB, v4 encoding; colours beyond its range (a*, b*
    // from -128 to 127) are clipped by the encoding.
    std::vector<cmsUInt16Number> grid(3 * kGridNodes * kGridNodes * kGridNodes);
    for (std::size_t i = 0; i < grid.size(); i += 3) {
        const float* p = &model[kModelGrid + i];
        const Lab3 lab = pcsLabFromTargetLab({p[0], p[1], p[2]});
        if (!std::isfinite(lab[0]) || !std::isfinite(lab[1]) || !std::isfinite(lab[2]))
            return say(error, "the scanner model's grid holds a value that is not a number");
        const cmsCIELab v{lab[0], lab[1], lab[2]};
        cmsFloat2LabEncoded(&grid[i], &v);
    }
    if (!writeCurvesAndGrid(h.get(), curves, grid)) return say(error, "LittleCMS could not write the A2B0 table");
    return saveProfile(h.get(), out, error);
}

bool fitShaperMatrix(const std::vector<float>& model, const PatchSet& patches, ShaperMatrix* fit,
                     std::string* error) {
    if (patches.rgb.size() != patches.xyz.size() || patches.rgb.size() < 3)
        return say(error, "the shaper-matrix fit needs patches with both scanner and reference colours");
    // Normal equations: (L^T L) m_k = L^T y_k for each PCS component k.
    Matrix3 n{};
    std::array<Xyz3, 3> b{};
    std::vector<Xyz3> lin(patches.rgb.size()), target(patches.rgb.size());
    for (std::size_t p = 0; p < patches.rgb.size(); ++p) {
        for (int c = 0; c < 3; ++c)
            lin[p][c] = std::clamp<double>(model[256 * c + std::clamp(static_cast<int>(patches.rgb[p][c] + 0.5), 0, 255)], 0.0, 1.0);
        target[p] = pcsXyzFromReference(patches.xyz[p]);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) n[i][j] += lin[p][i] * lin[p][j];
            for (int k = 0; k < 3; ++k) b[k][i] += lin[p][i] * target[p][k];
        }
    }
    Matrix3 inverse{};
    if (!invert(n, &inverse)) return say(error, "the patches do not determine a matrix (the tone curves are flat)");
    for (int k = 0; k < 3; ++k) {
        const Xyz3 row = applyMatrix(inverse, b[k]);
        for (int j = 0; j < 3; ++j) fit->m[k][j] = row[j];
    }
    double sum = 0;
    for (std::size_t p = 0; p < lin.size(); ++p) {
        const double d = deltaE76(pcsLab(applyMatrix(fit->m, lin[p])), pcsLab(target[p]));
        sum += d * d;
    }
    fit->rmsDeltaE = std::sqrt(sum / static_cast<double>(lin.size()));
    return true;
}

bool scannerMatrixProfile(const std::vector<float>& model, const ShaperMatrix& fit, Bytes* out,
                          std::string* error) {
    if (model.size() < static_cast<std::size_t>(QEL_MODEL_FLOATS)) return say(error, "the scanner model is too short");
    ProfilePtr h = newProfile(cmsSigInputClass, cmsSigRgbData, cmsSigXYZData,
                              "aucal scanner: tone curves and a 3x3 matrix fitted on the target");
    if (!h || !writeWhite(h.get(), kTargetWhite)) return say(error, "LittleCMS could not start the profile");
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) curves[c] = curve16(toneCurve(model, c));
    if (!writeMatrixShaper(h.get(), fit.m, curves)) return say(error, "LittleCMS could not write the matrix and curves");
    return saveProfile(h.get(), out, error);
}

bool deviceLinkProfile(const std::vector<std::uint8_t>& block, Bytes* out, std::string* error) {
    if (block.size() < kLutLayoutBytes) return say(error, "the lookup correction block is too short");
    ProfilePtr h = newProfile(cmsSigLinkClass, cmsSigRgbData, cmsSigRgbData,
                              "aucal printer correction: scanner RGB to printer RGB");
    if (!h) return say(error, "LittleCMS could not start the profile");
    // Input table value g (0..255) is grid coordinate g / 16 on nodes that
    // stand for coordinates 0, 16, .., 256: normalised, g / 256.
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> v(256);
        for (int n = 0; n < 256; ++n) v[n] = block[256 * c + n] / 256.0;
        curves[c] = curve16(v);
    }
    std::vector<cmsUInt16Number> grid(3 * kGridNodes * kGridNodes * kGridNodes);
    for (std::size_t i = 0; i < grid.size(); ++i) grid[i] = static_cast<cmsUInt16Number>(block[kLutGrid + i] * 257);
    if (!writeCurvesAndGrid(h.get(), curves, grid)) return say(error, "LittleCMS could not write the A2B0 table");
    // A device link names the profiles it joins: here the scanner and the printer.
    SeqPtr seq(cmsAllocProfileSequenceDescription(nullptr, 2));
    if (!seq) return say(error, "LittleCMS could not start the profile sequence");
    for (cmsUInt32Number i = 0; i < 2; ++i) {
        seq->seq[i].technology = i == 0 ? cmsSigReflectiveScanner : cmsSigInkJetPrinter;
        cmsMLUsetASCII(seq->seq[i].Manufacturer, "en", "US", "aucal");
        cmsMLUsetASCII(seq->seq[i].Model, "en", "US", i == 0 ? "scanner" : "printer");
        cmsMLUsetASCII(seq->seq[i].Description, "en", "US", i == 0 ? "scanner model" : "printer correction");
    }
    if (!cmsWriteTag(h.get(), cmsSigProfileSequenceDescTag, seq.get()))
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
    if (block.size() < kMatrixLayoutBytes) return out;
    for (int c = 0; c < 3; ++c) {
        int bestMid = 0, bestMiss = 256 * 256;
        for (int mid = 5; mid <= 250; ++mid) {
            const double gamma = std::log(0.5) / std::log(mid / 255.0);
            int miss = 0;
            for (int i = 0; i < 256 && miss < bestMiss; ++i) {
                const int t = static_cast<int>(255.0 * std::pow(i / 255.0, 1.0 / gamma));
                miss += std::abs(t - block[256 * c + i]);
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
    if (block.size() < kMatrixLayoutBytes || model.size() < static_cast<std::size_t>(QEL_MODEL_FLOATS)) return false;
    // The display white the model is referred to: x 0.3127, y 0.329, Y 100.
    const double white[3] = {0.3127 * 100 / 0.329, 100.0, (1 - 0.3127 - 0.329) * 100 / 0.329};
    Matrix3 a{}, c{};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) {
            a[k][j] = model[795 + 4 * k + 1 + j] * white[k];
            float v;
            std::memcpy(&v, &block[768 + 4 * (4 * k + 1 + j)], sizeof v);
            c[k][j] = v / 255.0;
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
                    MonitorCurves* curvesOut, std::string* error) {
    if (block.size() < kMatrixLayoutBytes) return say(error, "the matrix correction block is too short");
    const Matrix3 rgbToXyz = monitorRgbToXyz(phosphors);
    Matrix3 check{};
    if (!invert(rgbToXyz, &check)) return say(error, "the phosphor chromaticities do not make a monitor matrix");
    ProfilePtr h = newProfile(cmsSigDisplayClass, cmsSigRgbData, cmsSigXYZData,
                              "aucal monitor: phosphors and visually matched tone curves");
    if (!h || !writeWhite(h.get(), kD65)) return say(error, "LittleCMS could not start the profile");
    const MonitorCurves found = monitorCurves(block);
    std::array<CurvePtr, 3> curves;
    for (int c = 0; c < 3; ++c) {
        if (found.matchedLevel[c] != 0) {
            curves[c].reset(cmsBuildGamma(nullptr, found.gamma[c]));
        } else {
            // Not a power curve: the display curve is the table's inverse.
            std::vector<cmsUInt16Number> table(256);
            for (int i = 0; i < 256; ++i) table[i] = static_cast<cmsUInt16Number>(block[256 * c + i] * 257);
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
    const std::vector<cmsTagSignature> common{cmsSigProfileDescriptionTag, cmsSigCopyrightTag};
    const std::vector<cmsTagSignature> shaper{cmsSigMediaWhitePointTag, cmsSigChromaticAdaptationTag,
                                              cmsSigRedColorantTag,     cmsSigGreenColorantTag,
                                              cmsSigBlueColorantTag,    cmsSigRedTRCTag,
                                              cmsSigGreenTRCTag,        cmsSigBlueTRCTag};
    Expect e;
    switch (kind) {
        case ProfileKind::ScannerLut:
            e = {cmsSigInputClass, cmsSigRgbData, cmsSigLabData,
                 {cmsSigMediaWhitePointTag, cmsSigChromaticAdaptationTag, cmsSigAToB0Tag}};
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
    if (cmsGetEncodedICCversion(h.get()) < 0x4000000) return "the profile is not ICC version 4";
    for (cmsTagSignature tag : e.tags) {
        std::string name;
        for (int shift = 24; shift >= 0; shift -= 8) name.push_back(static_cast<char>((tag >> shift) & 0xff));
        if (!cmsIsTag(h.get(), tag)) return "the profile has no " + name + " tag";
        if (cmsReadTag(h.get(), tag) == nullptr) return "LittleCMS cannot read the " + name + " tag";
    }
    cmsUInt8Number stored[16], fresh[16];
    cmsGetHeaderProfileID(h.get(), stored);
    if (!cmsMD5computeID(h.get())) return "LittleCMS cannot compute the profile ID";
    cmsGetHeaderProfileID(h.get(), fresh);
    if (std::memcmp(stored, fresh, 16) != 0) return "the stored profile ID does not match the profile's MD5";
    if (std::all_of(stored, stored + 16, [](cmsUInt8Number b) { return b == 0; })) return "the profile has no profile ID";
    Bytes again;
    std::string error;
    if (!saveProfile(h.get(), &again, &error)) return error;
    if (again != profile) return "the profile does not survive a round trip through LittleCMS unchanged";
    return {};
}

bool checkInputProfile(const Bytes& profile, const std::vector<float>& model, const PatchSet& patches,
                       InputCheck* check, std::string* error) {
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
        check->againstGrid.add(deltaE2000(got, pcsLabFromTargetLab(modelGridLab(model, levels))));
        check->againstPolynomial.add(deltaE2000(got, pcsLab(pcsXyzFromReference(modelPolynomialXyz(model, levels)))));
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
        const int g = block[256 * c + rgb[c]];
        i[c] = g / 16;
        f[c] = (g % 16) / 16.0;
    }
    auto at = [&](int d0, int d1, int d2, int k) {
        return static_cast<double>(block[kLutGrid + node(i[0] + d0, i[1] + d1, i[2] + d2) + k]);
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

bool writeProfile(const std::string& path, const Bytes& profile, std::string* error) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(profile.data()), static_cast<std::streamsize>(profile.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return say(error, "cannot write " + path);
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::remove(temporary.c_str());
        return say(error, "cannot write " + path + ": " + ec.message());
    }
    return true;
}

}  // namespace aucal::icc
