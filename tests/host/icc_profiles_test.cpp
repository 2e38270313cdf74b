// ICC profiles from models and blocks made here, read back with LittleCMS.
#include "icc_check.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstring>

#include "it8_target/virtual_it8.h"
#include "scanner_model_eval.h"
#include "support/temp_dir.h"
#include "target_patches.h"
#include "qel_layout.h"

namespace {

using namespace aucal;
using namespace aucal::icc;

namespace sm = qel::scanner_model;

// A model whose tone curves are (n / 255)^2, so that the grid coordinate of
// a node's level is exactly that node, and whose grid varies differently
// along each axis (so that an axis mix-up shows).
std::vector<float> syntheticModel() {
    std::vector<float> m(QEL_MODEL_FLOATS, 0.0f);
    for (int c = 0; c < 3; ++c)
        for (int n = 0; n < 256; ++n) m[256 * c + n] = static_cast<float>((n / 255.0) * (n / 255.0));
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                float* p = &m[sm::gridIndex(i0, i1, i2)];
                p[0] = static_cast<float>(20 + 4.5 * i1 + 0.3 * i0);
                p[1] = static_cast<float>(6.0 * (i0 - 8));
                p[2] = static_cast<float>(5.0 * (i2 - 8) - 1.0 * i1);
            }
    return m;
}

int nodeLevel(int k) { return sm::gridNodeLevel(k); }

double gridCoordinate(const std::vector<float>& m, int channel, int level) {
    return qel::ModelGridCoordinate(m.data(), channel, level);
}

Lab3 modelGridLab(const std::vector<float>& m, const std::array<int, 3>& levels) {
    Lab3 lab;
    qel::ModelGridLab(m.data(), levels.data(), lab.data());
    return lab;
}

struct Transform {
    cmsHPROFILE in = nullptr, out = nullptr;
    cmsHTRANSFORM t = nullptr;
    Transform(const Bytes& profile, cmsHPROFILE pcs, cmsUInt32Number inFormat, cmsUInt32Number outFormat) {
        in = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
        out = pcs;
        if (in) t = cmsCreateTransform(in, inFormat, out, outFormat, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    }
    ~Transform() {
        if (t) cmsDeleteTransform(t);
        if (in) cmsCloseProfile(in);
        if (out) cmsCloseProfile(out);
    }
};

TEST(IccColourFrames, TargetWhiteBecomesThePcsWhite) {
    const Xyz3 w = applyMatrix(bradford(kTargetWhite, kD50), kTargetWhite);
    // Bradford maps the source white onto the destination white; the scale
    // of the destination is kept.
    EXPECT_NEAR(w[0], kD50[0], 1e-9);
    EXPECT_NEAR(w[2], kD50[2], 1e-9);
    const Lab3 white = pcsLabFromTargetLab({100, 0, 0});
    EXPECT_NEAR(white[0], 100, 1e-6);
    EXPECT_NEAR(white[1], 0, 1e-6);
    EXPECT_NEAR(white[2], 0, 1e-6);
    const Xyz3 pcs = pcsXyzFromReference(kTargetWhite);
    EXPECT_NEAR(pcs[1], 1.0, 1e-9);
    // A colour other than white moves (the adaptation is not the identity).
    const Lab3 red = pcsLabFromTargetLab({50, 60, 30});
    EXPECT_GT(std::fabs(red[1] - 60) + std::fabs(red[2] - 30), 1e-3);
}

TEST(IccScannerGrid, CoordinatesPlaceNodeLevelsOnTheirNodes) {
    const std::vector<float> m = syntheticModel();
    for (int k = 0; k <= 16; ++k) EXPECT_NEAR(gridCoordinate(m, 1, nodeLevel(k)), k / 16.0, 1e-6) << k;
    // Between nodes the coordinate rises; levels 255 and 0 are the ends.
    EXPECT_GT(gridCoordinate(m, 0, 150), gridCoordinate(m, 0, 149));
    EXPECT_DOUBLE_EQ(gridCoordinate(m, 2, 0), 0.0);
    EXPECT_DOUBLE_EQ(gridCoordinate(m, 2, 255), 1.0);
    const Lab3 lab = modelGridLab(m, {nodeLevel(3), nodeLevel(5), nodeLevel(11)});
    EXPECT_NEAR(lab[0], 20 + 4.5 * 5 + 0.3 * 3, 1e-4);
    EXPECT_NEAR(lab[1], 6.0 * (3 - 8), 1e-4);
    EXPECT_NEAR(lab[2], 5.0 * (11 - 8) - 5, 1e-4);
}

TEST(IccScannerLutProfile, NodesComeBackThroughLittleCms) {
    const std::vector<float> m = syntheticModel();
    Bytes profile;
    std::string error;
    ASSERT_TRUE(scannerLutProfile(m, &profile, &error)) << error;
    EXPECT_EQ(checkStructure(profile, ProfileKind::ScannerLut), "");
    EXPECT_NE(checkStructure(profile, ProfileKind::ScannerMatrix), "");

    Transform t(profile, cmsCreateLab4Profile(nullptr), TYPE_RGB_DBL, TYPE_Lab_DBL);
    ASSERT_NE(t.t, nullptr);
    for (const auto& k : {std::array<int, 3>{0, 0, 0}, {3, 5, 11}, {16, 2, 7}, {9, 16, 16}, {16, 16, 16}}) {
        const double in[3] = {nodeLevel(k[0]) / 255.0, nodeLevel(k[1]) / 255.0, nodeLevel(k[2]) / 255.0};
        cmsCIELab out;
        cmsDoTransform(t.t, in, &out, 1);
        const float* p = &m[sm::gridIndex(k[0], k[1], k[2])];
        const Lab3 want = pcsLabFromTargetLab({p[0], p[1], p[2]});
        EXPECT_NEAR(out.L, want[0], 0.01) << k[0] << ' ' << k[1] << ' ' << k[2];
        EXPECT_NEAR(out.a, want[1], 0.01);
        EXPECT_NEAR(out.b, want[2], 0.01);
    }
    PatchSet patches;
    for (int n = 0; n < 130; ++n) patches.rgb.push_back({(n * 37) % 256 * 1.0, (n * 91) % 256 * 1.0, (n * 13) % 256 * 1.0});
    InputCheck check;
    const Prediction grid = [&](const std::array<double, 3>& levels) { return modelGridPcsLab(m, levels); };
    ASSERT_TRUE(checkInputProfile(profile, grid, m, patches, &check, &error)) << error;
    EXPECT_EQ(check.againstSource.count, 130);
    EXPECT_EQ(check.againstReference.count, 0);
    EXPECT_LT(check.againstSource.max, kSourceToleranceDe2000);
}

TEST(IccScannerLutProfile, RefusesShortModelsAndNotANumber) {
    Bytes profile;
    std::string error;
    EXPECT_FALSE(scannerLutProfile(std::vector<float>(100), &profile, &error));
    std::vector<float> m = syntheticModel();
    m[sm::kGrid + 3 * 300 + 1] = std::nanf("");
    EXPECT_FALSE(scannerLutProfile(m, &profile, &error));
    EXPECT_NE(error.find("not a number"), std::string::npos);
}

TEST(IccStructure, ChangedBytesAndForeignDataAreCaught) {
    Bytes profile;
    std::string error;
    // Version 4.3: its profile ID, an MD5 of the whole, gives a changed byte away
    // (version 2.4 has no such sum).
    ProfileLabel v4;
    v4.version = IccVersion::V4_3;
    ASSERT_TRUE(scannerLutProfile(syntheticModel(), &profile, &error, v4)) << error;
    Bytes changed = profile;
    changed[changed.size() - 40] ^= 0x55;  // inside the last tag's data
    EXPECT_NE(checkStructure(changed, ProfileKind::ScannerLut), "");
    EXPECT_EQ(checkStructure(Bytes(200, 7), ProfileKind::ScannerLut), "LittleCMS cannot open the profile");
}

// Patches of a purely matrix-like scanner: level = black + (255 - black)
// lin^(1 / gamma) per channel, PCS XYZ = truth x lin.
PatchSet matrixScannerPatches(const std::array<double, 3>& black, const std::array<double, 3>& gamma,
                              const Matrix3& truth) {
    const Matrix3 back = bradford(kD50, kTargetWhite);  // PCS (Y = 1) to the reference scale
    PatchSet patches;
    for (int n = 0; n < 130; ++n) {
        const Xyz3 lin{((n * 37) % 101) / 100.0, ((n * 91) % 97) / 96.0, ((n * 53 + 20) % 89) / 88.0};
        std::array<double, 3> rgb;
        for (int c = 0; c < 3; ++c) rgb[c] = black[c] + (255 - black[c]) * std::pow(lin[c], 1 / gamma[c]);
        patches.rgb.push_back(rgb);
        patches.xyz.push_back(applyMatrix(back, applyMatrix(truth, lin)));
    }
    return patches;
}

TEST(IccShaperMatrix, FitRecoversTheCurvesAndMatrixOfAMatrixLikeScanner) {
    struct Row {
        std::array<double, 3> black, gamma;
        Matrix3 truth;
    } rows[] = {
        {{0, 0, 0}, {2.2, 2.2, 2.2}, {{{0.45, 0.33, 0.18}, {0.22, 0.70, 0.08}, {0.02, 0.12, 0.70}}}},
        {{12, 8, 20}, {1.8, 2.4, 2.0}, {{{0.50, 0.30, 0.15}, {0.25, 0.65, 0.10}, {0.03, 0.10, 0.68}}}},
        {{4, 30, 2}, {1.0, 1.3, 2.9}, {{{0.40, 0.40, 0.14}, {0.30, 0.60, 0.10}, {0.01, 0.20, 0.60}}}},
    };
    for (const Row& r : rows) {
        const PatchSet patches = matrixScannerPatches(r.black, r.gamma, r.truth);
        ShaperMatrix fit;
        std::string error;
        ASSERT_TRUE(fitShaperMatrix(patches, &fit, &error)) << error;
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(fit.black[c], r.black[c], 0.05) << c;
            EXPECT_NEAR(fit.gamma[c], r.gamma[c], 0.005) << c;
            for (int j = 0; j < 3; ++j) EXPECT_NEAR(fit.m[c][j], r.truth[c][j], 1e-3) << c << ' ' << j;
        }
        EXPECT_LT(fit.rmsDeltaE, 0.01);
        Bytes profile;
        ASSERT_TRUE(scannerMatrixProfile(fit, &profile, &error)) << error;
        EXPECT_EQ(checkStructure(profile, ProfileKind::ScannerMatrix), "");
        InputCheck check;
        const Prediction own = [&](const std::array<double, 3>& levels) { return pcsLab(shaperMatrixXyz(fit, levels)); };
        ASSERT_TRUE(checkInputProfile(profile, own, syntheticModel(), patches, &check, &error)) << error;
        EXPECT_LT(check.againstSource.max, kSourceToleranceDe2000);
        // The smooth table on the same scanner reproduces its patches, and
        // LittleCMS reads its profile as the fit does.
        SmoothTable table;
        ASSERT_TRUE(fitSmoothTableChosen(patches, 5, &table, &error)) << error;
        const PatchSet kept = unclippedPatches(patches);
        for (std::size_t p = 0; p < kept.rgb.size(); ++p)
            EXPECT_LT(deltaE2000(smoothTableLab(table, kept.rgb[p]), pcsLab(pcsXyzFromReference(kept.xyz[p]))), 0.2) << p;
        // Without a correction the table is the shaper-matrix, to rounding.
        SmoothTable matrixOnly;
        ASSERT_TRUE(fitSmoothTable(patches, smoothnessCandidates().back(), &matrixOnly, &error)) << error;
        for (std::size_t p = 0; p < kept.rgb.size(); ++p)
            EXPECT_LT(deltaE76(smoothTableLab(matrixOnly, kept.rgb[p]), pcsLab(shaperMatrixXyz(fit, kept.rgb[p]))), 1e-9)
                << p;
        ASSERT_TRUE(scannerTableProfile(table, &profile, &error)) << error;
        EXPECT_EQ(checkStructure(profile, ProfileKind::ScannerLut), "");
        const Prediction fitted = [&](const std::array<double, 3>& levels) { return smoothTableProfileLab(table, levels); };
        ASSERT_TRUE(checkInputProfile(profile, fitted, syntheticModel(), patches, &check, &error)) << error;
        EXPECT_LT(check.againstSource.max, kSourceToleranceDe2000);
    }
    // Scanner levels without their reference colours leave nothing to fit.
    PatchSet levelsOnly = matrixScannerPatches({0, 0, 0}, {2.2, 2.2, 2.2}, rows[0].truth);
    levelsOnly.xyz.clear();
    ShaperMatrix fit;
    std::string error;
    EXPECT_FALSE(fitShaperMatrix(levelsOnly, &fit, &error));
}

TEST(IccSmoothTable, PenaltyKeepsColoursBetweenThePatchesOnTheScanner) {
    // A matrix-like scanner whose patches carry a measuring error of +-1.5
    // CIELAB L* (alternating): a table that follows every patch swings
    // between them; the penalty keeps colours that are not patches near the
    // scanner's own smooth response.
    const Matrix3 truth{{{0.45, 0.33, 0.18}, {0.22, 0.70, 0.08}, {0.02, 0.12, 0.70}}};
    PatchSet patches = matrixScannerPatches({3, 3, 3}, {2.2, 2.2, 2.2}, truth);
    const Matrix3 back = bradford(kD50, kTargetWhite);
    for (std::size_t p = 0; p < patches.xyz.size(); ++p) {
        Lab3 lab = pcsLab(pcsXyzFromReference(patches.xyz[p]));
        lab[0] += p % 2 ? 1.5 : -1.5;
        patches.xyz[p] = applyMatrix(back, xyzFromLab(lab, kD50));
    }
    // Mean CIE76 error against the scanner at 200 colours that are not patches.
    auto meanBetween = [&](double smoothness) {
        SmoothTable table;
        std::string error;
        EXPECT_TRUE(fitSmoothTable(patches, smoothness, &table, &error)) << error;
        double mean = 0;
        for (int n = 0; n < 200; ++n) {
            const Xyz3 lin{0.05 + 0.9 * ((n * 29) % 83) / 82.0, 0.05 + 0.9 * ((n * 61) % 79) / 78.0,
                           0.05 + 0.9 * ((n * 17) % 73) / 72.0};
            std::array<double, 3> rgb;
            for (int c = 0; c < 3; ++c) rgb[c] = 3 + 252 * std::pow(lin[c], 1 / 2.2);
            mean += deltaE76(smoothTableLab(table, rgb), pcsLab(applyMatrix(truth, lin))) / 200;
        }
        return mean;
    };
    const double loose = meanBetween(smoothnessCandidates().front()), stiff = meanBetween(smoothnessCandidates().back());
    EXPECT_LT(stiff, 0.5);
    EXPECT_LT(stiff, loose);
}

TEST(IccCrossValidation, HeldOutErrorIsTheErrorOfThePatchLeftOut) {
    // Exact patches but one: a fit without that patch is exact, so its
    // held-out error is its own offset, and every other held-out error is
    // what a fit that includes the odd patch makes of it (small).
    PatchSet patches = matrixScannerPatches({5, 5, 5}, {2.0, 2.0, 2.0},
                                            {{{0.45, 0.33, 0.18}, {0.22, 0.70, 0.08}, {0.02, 0.12, 0.70}}});
    const int odd = 17;
    const Lab3 trueLab = pcsLab(pcsXyzFromReference(patches.xyz[odd]));
    patches.xyz[odd][1] *= 1.05;
    const double offset = deltaE2000(trueLab, pcsLab(pcsXyzFromReference(patches.xyz[odd])));
    const Predictor predictor = [](const PatchSet& training, Prediction* predict) {
        ShaperMatrix fit;
        std::string error;
        if (!fitShaperMatrix(training, &fit, &error)) return false;
        *predict = [fit](const std::array<double, 3>& levels) { return pcsLab(shaperMatrixXyz(fit, levels)); };
        return true;
    };
    std::vector<double> heldOut;
    ASSERT_TRUE(crossValidate(patches, 10, predictor, &heldOut));
    ASSERT_EQ(heldOut.size(), 130u);
    EXPECT_NEAR(heldOut[odd], offset, 0.02);
    for (int p = odd % 10; p < 130; p += 10) {
        if (p == odd) continue;
        EXPECT_LT(heldOut[p], 0.02) << p;
    }
    EXPECT_FALSE(crossValidate(patches, 1, predictor, &heldOut));
}

TEST(IccReference, ReadsThe130PatchesInModelOrder) {
    testsupport::TempDir dir;
    const it8sim::It8ReferenceSet refs = it8sim::makeIt8Reference();
    ASSERT_TRUE(it8sim::writeIt8ReferenceFile(dir.file("ref.txt"), refs));
    std::vector<Xyz3> xyz;
    std::string error;
    ASSERT_TRUE(readReferenceXyz(dir.file("ref.txt"), &xyz, &error)) << error;
    ASSERT_EQ(xyz.size(), 130u);
    EXPECT_NEAR(xyz[0][1], refs.colour[0][0].y, 0.006);     // A1
    EXPECT_NEAR(xyz[3][0], refs.colour[0][4].x, 0.006);     // A5: column 4 is not used
    EXPECT_NEAR(xyz[107][2], refs.colour[11][10].z, 0.006); // L11
    EXPECT_NEAR(xyz[108][1], refs.grey[1].y, 0.006);        // GS1
    EXPECT_NEAR(xyz[129][1], refs.grey[22].y, 0.006);       // GS22

    std::string text = it8sim::it8ReferenceText(refs);
    text.replace(text.find("\nGS5\t"), 5, "\nGX5\t");
    testsupport::writeText(dir.file("short.txt"), text);
    EXPECT_FALSE(readReferenceXyz(dir.file("short.txt"), &xyz, &error));
    EXPECT_FALSE(readReferenceXyz(dir.file("missing.txt"), &xyz, &error));

    // Two-digit columns are read; a file without XYZ columns is refused, as
    // the engine refuses it.
    std::string lab = it8sim::it8ReferenceText(refs);
    lab.replace(lab.find("\nA5\t"), 4, "\nA05\t");
    testsupport::writeText(dir.file("a05.txt"), lab);
    ASSERT_TRUE(readReferenceXyz(dir.file("a05.txt"), &xyz, &error)) << error;
    EXPECT_NEAR(xyz[3][0], refs.colour[0][4].x, 0.006);
    lab.replace(lab.find("SAMPLE_ID\tXYZ_X\tXYZ_Y\tXYZ_Z"), 27, "SAMPLE_ID\tXX_X\tXX_Y\tXX_Z");
    testsupport::writeText(dir.file("lab.txt"), lab);
    EXPECT_FALSE(readReferenceXyz(dir.file("lab.txt"), &xyz, &error));
    // No path: the engine's built-in table.
    ASSERT_TRUE(readReferenceXyz("", &xyz, &error)) << error;
    EXPECT_GT(xyz[108][1], 5 * xyz[129][1]);  // GS1 light, GS22 dark
}

// A lookup block whose curves are not the identity and whose nodes differ
// per axis and channel.
std::vector<std::uint8_t> syntheticLutBlock(bool linear) {
    std::vector<std::uint8_t> b(QEL_LUT_BLOCK_SIZE, 0);
    for (int c = 0; c < 3; ++c)
        for (int n = 0; n < 256; ++n) b[256 * c + n] = static_cast<std::uint8_t>(c == 1 ? 255 - n : n);
    for (int i0 = 0; i0 < 17; ++i0)
        for (int i1 = 0; i1 < 17; ++i1)
            for (int i2 = 0; i2 < 17; ++i2) {
                std::uint8_t* p = &b[qel::lutNodeOffset(i0, i1, i2)];
                p[0] = static_cast<std::uint8_t>(std::min(255, 15 * i0));
                p[1] = static_cast<std::uint8_t>(linear ? 10 * i1 + 5 * i2 : (i1 * i1 * 7 + 3 * i0) % 256);
                p[2] = static_cast<std::uint8_t>(linear ? 240 - 14 * i2 : (i2 % 3) * 100 + i0);
            }
    return b;
}

TEST(IccDeviceLink, LittleCmsReadsTheBlockTetrahedrally) {
    for (bool linear : {true, false}) {
        const std::vector<std::uint8_t> block = syntheticLutBlock(linear);
        Bytes profile;
        std::string error;
        ASSERT_TRUE(deviceLinkProfile(block, &profile, &error)) << error;
        EXPECT_EQ(checkStructure(profile, ProfileKind::DeviceLink), "");
        cmsHPROFILE h = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
        ASSERT_NE(h, nullptr);
        cmsHTRANSFORM t = cmsCreateTransform(h, TYPE_RGB_8, nullptr, TYPE_RGB_8, INTENT_PERCEPTUAL,
                                             cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE);
        ASSERT_NE(t, nullptr);
        int worst = 0;
        for (int n = 0; n < 5000; ++n) {
            const std::uint8_t in[3] = {static_cast<std::uint8_t>(n * 7), static_cast<std::uint8_t>(n * 13 + 5),
                                        static_cast<std::uint8_t>(n * 31 + 2)};
            std::uint8_t out[3];
            cmsDoTransform(t, in, out, 1);
            const auto want = tetrahedralLookup(block, in);
            for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(out[k] - want[k]));
        }
        cmsDeleteTransform(t);
        cmsCloseProfile(h);
        EXPECT_LE(worst, kLinkToleranceLevels) << (linear ? "linear" : "uneven") << " grid";
    }
    Bytes profile;
    std::string error;
    EXPECT_FALSE(deviceLinkProfile(std::vector<std::uint8_t>(QEL_MATRIX_BLOCK_SIZE), &profile, &error));
}

TEST(IccDeviceLink, TetrahedralLookupOfALinearGridIsExact) {
    const std::vector<std::uint8_t> block = syntheticLutBlock(true);
    // Channel 1's curve reverses: level 0 is coordinate 255 (node 15, 15/16).
    const std::uint8_t in[3] = {32, 0, 64};
    const auto out = tetrahedralLookup(block, in);
    EXPECT_EQ(out[0], 30);                           // 15 x coordinate 2
    EXPECT_EQ(out[1], static_cast<int>(10 * 255 / 16.0 + 5 * 4 + 0.5));
    EXPECT_EQ(out[2], 240 - 14 * 4);
}

// The tables VisualMatch writes for matched levels.
std::vector<std::uint8_t> matrixBlock(int r, int g, int b) {
    std::vector<std::uint8_t> block(QEL_MATRIX_BLOCK_SIZE, 0);
    const int mids[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
        const double gamma = std::log(0.5) / std::log(mids[c] / 255.0);
        for (int i = 0; i < 256; ++i) block[256 * c + i] = static_cast<std::uint8_t>(255.0 * std::pow(i / 255.0, 1.0 / gamma));
    }
    return block;
}

TEST(IccMonitor, CurvesRecoverTheMatchedLevels) {
    const MonitorCurves curves = monitorCurves(matrixBlock(186, 150, 200));
    EXPECT_EQ(curves.matchedLevel, (std::array<int, 3>{186, 150, 200}));
    EXPECT_NEAR(curves.gamma[0], std::log(0.5) / std::log(186 / 255.0), 1e-12);
    std::vector<std::uint8_t> odd = matrixBlock(186, 150, 200);
    odd[256 + 100] ^= 4;
    const MonitorCurves tabulated = monitorCurves(odd);
    EXPECT_EQ(tabulated.matchedLevel[1], 0);
    EXPECT_EQ(tabulated.matchedLevel[2], 200);
}

TEST(IccMonitor, ProfileHasThePhosphorsAndHalfLuminanceAtTheMatch) {
    for (const Phosphors& p : {Phosphors{}, Phosphors{0.64, 0.33, 0.30, 0.60, 0.15, 0.06}}) {
        std::vector<std::uint8_t> block = matrixBlock(186, 150, 200);
        block[512 + 90] ^= 2;  // blue becomes a tabulated curve
        Bytes profile;
        MonitorCurves curves;
        std::string error;
        ASSERT_TRUE(monitorProfile(block, p, &profile, &curves, &error)) << error;
        EXPECT_EQ(checkStructure(profile, ProfileKind::Monitor), "");
        MonitorCheck check;
        ASSERT_TRUE(checkMonitorProfile(profile, p, curves, &check, &error)) << error;
        EXPECT_LT(check.whiteError, kMonitorTolerance);
        EXPECT_LT(check.primaryXyError, kMonitorTolerance);
        EXPECT_LT(check.halfLevelError, kMonitorTolerance);
        // The same profile judged against other phosphors fails.
        Phosphors other = p;
        other.xr += 0.02;
        ASSERT_TRUE(checkMonitorProfile(profile, other, curves, &check, &error));
        EXPECT_GT(check.primaryXyError, 0.01);
    }
    Bytes profile;
    std::string error;
    EXPECT_FALSE(monitorProfile(matrixBlock(186, 186, 186), Phosphors{0.3, 0.3, 0.3, 0.3, 0.3, 0.3}, &profile,
                                nullptr, &error));
}

TEST(IccMonitor, PhosphorsComeBackFromTheBlockAndTheModel) {
    std::vector<float> model = syntheticModel();
    const float linear[12] = {0.01f, 0.0031f, 0.0012f, 0.0009f, -0.02f, 0.0016f, 0.0033f, 0.0004f,
                              0.005f, 0.0002f, 0.0007f, 0.0041f};
    std::copy(linear, linear + 12, model.begin() + sm::kLinearMatrix);
    const Phosphors p{0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    // The block's matrix as the monitor set-up builds it: 255 M A, with A
    // referred to the display white.
    Matrix3 m{};
    ASSERT_TRUE(invert(monitorRgbToXyz(p), &m));
    const double white[3] = {0.3127 * 100 / 0.329, 100.0, (1 - 0.3127 - 0.329) * 100 / 0.329};
    std::vector<std::uint8_t> block = matrixBlock(186, 186, 186);
    for (int k = 0; k < 3; ++k)
        for (int col = 0; col < 4; ++col) {
            double v = 0;
            for (int j = 0; j < 3; ++j) v += m[k][j] * model[sm::linearMatrixIndex(j, col)] * white[j];
            qel::storeFloatLE(&block[qel::matrixEntryOffset(k, col)], static_cast<float>(255 * v));
        }
    Phosphors found;
    ASSERT_TRUE(phosphorsFromBlock(block, model, &found));
    EXPECT_NEAR(found.xr, p.xr, 1e-4);
    EXPECT_NEAR(found.yr, p.yr, 1e-4);
    EXPECT_NEAR(found.xg, p.xg, 1e-4);
    EXPECT_NEAR(found.yg, p.yg, 1e-4);
    EXPECT_NEAR(found.xb, p.xb, 1e-4);
    EXPECT_NEAR(found.yb, p.yb, 1e-4);
    // A model without a linear matrix determines nothing.
    std::fill(model.begin() + sm::kLinearMatrix, model.begin() + sm::kGrid, 0.0f);
    EXPECT_FALSE(phosphorsFromBlock(block, model, &found));
}

}  // namespace
